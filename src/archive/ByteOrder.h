#pragma once

#include <cstdint>
#include <cstring>

// Little-endian helpers for the archive format: every integer on disk is a
// signed 32-bit little-endian value.
namespace qly::archive {

inline void putInt32(std::uint8_t* out, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    out[0] = static_cast<std::uint8_t>(v);
    out[1] = static_cast<std::uint8_t>(v >> 8);
    out[2] = static_cast<std::uint8_t>(v >> 16);
    out[3] = static_cast<std::uint8_t>(v >> 24);
}

inline std::int32_t getInt32(const std::uint8_t* in) {
    const std::uint32_t v =
        static_cast<std::uint32_t>(in[0]) | (static_cast<std::uint32_t>(in[1]) << 8) |
        (static_cast<std::uint32_t>(in[2]) << 16) | (static_cast<std::uint32_t>(in[3]) << 24);
    return static_cast<std::int32_t>(v);
}

}  // namespace qly::archive
