#pragma once

// Byte-order helpers for every file format of the program. The .dbf and .cdx
// headers and the archive format are little-endian; the .fpt header, memo
// block headers and the record numbers of interior index entries are
// big-endian.

#include <cstdint>

namespace qly {

inline uint16_t readLe16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t readLe32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t readLe64(const unsigned char* p) {
    return static_cast<uint64_t>(readLe32(p)) | (static_cast<uint64_t>(readLe32(p + 4)) << 32);
}
inline uint16_t readBe16(const unsigned char* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t readBe32(const unsigned char* p) {
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}
inline uint64_t readBe64(const unsigned char* p) {
    return (static_cast<uint64_t>(readBe32(p)) << 32) | static_cast<uint64_t>(readBe32(p + 4));
}

inline void writeLe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
}
inline void writeLe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * i));
}
inline void writeLe64(unsigned char* p, uint64_t v) {
    writeLe32(p, static_cast<uint32_t>(v));
    writeLe32(p + 4, static_cast<uint32_t>(v >> 32));
}
inline void writeBe16(unsigned char* p, uint16_t v) {
    p[0] = static_cast<unsigned char>(v >> 8);
    p[1] = static_cast<unsigned char>(v);
}
inline void writeBe32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>(v >> (8 * (3 - i)));
}

}  // namespace qly
