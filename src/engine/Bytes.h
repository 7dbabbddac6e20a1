#pragma once

// Byte-order helpers for the file formats: the .dbf header is little-endian,
// the .fpt header and memo block headers are big-endian. The one set of them
// lives in base/.

#include "base/ByteOrder.h"

namespace qly::engine {

using qly::readBe16;
using qly::readBe32;
using qly::readLe16;
using qly::readLe32;
using qly::writeBe16;
using qly::writeBe32;
using qly::writeLe16;
using qly::writeLe32;

}  // namespace qly::engine
