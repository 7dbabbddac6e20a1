#pragma once

#include <cstdint>
#include <cstring>

#include "base/ByteOrder.h"

// Little-endian helpers for the archive format: every integer on disk is a
// signed 32-bit little-endian value (over the byte-order helpers of base/).

namespace qly::archive {

inline void putInt32(std::uint8_t* out, std::int32_t value) {
    qly::writeLe32(out, static_cast<std::uint32_t>(value));
}

inline std::int32_t getInt32(const std::uint8_t* in) {
    return static_cast<std::int32_t>(qly::readLe32(in));
}

}  // namespace qly::archive
