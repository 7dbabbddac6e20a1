#pragma once

#include <cstdint>

#include "base/ByteOrder.h"

// Byte-order helpers of the compound-index layer. Header and node words are
// little-endian; the record number and child pointer of interior entries
// are big-endian. Names of this layer over the one set in base/.

namespace cdx {

inline uint16_t getLe16(const uint8_t* p) {
    return qly::readLe16(p);
}
inline uint32_t getLe32(const uint8_t* p) {
    return qly::readLe32(p);
}
inline uint32_t getBe32(const uint8_t* p) {
    return qly::readBe32(p);
}
inline void putLe16(uint8_t* p, uint16_t v) {
    qly::writeLe16(p, v);
}
inline void putLe32(uint8_t* p, uint32_t v) {
    qly::writeLe32(p, v);
}
inline void putBe32(uint8_t* p, uint32_t v) {
    qly::writeBe32(p, v);
}

}  // namespace cdx
