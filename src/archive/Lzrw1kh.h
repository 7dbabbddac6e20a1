#pragma once

#include <cstddef>
#include <cstdint>

// The legacy block decoder (LZRW1KH), read only.
//
// A block s[0..L-1] is either stored (s[0] == 0x80: the rest as it is) or a
// 16-bit control word followed by items; each control bit, from bit 15 down,
// says literal (0: one byte) or item (1): a run (distance 0, 16..4111 copies
// of one byte) or a copy (distance 1..4095, 3..18 bytes, may overlap).
namespace qly::archive {

constexpr std::size_t kLegacyMaxBlock = 32783;

// Expands `size` bytes of `in` into `out` (capacity `outCapacity`). Returns
// the expansion's length, or -1 when the block is damaged: an item runs past
// the block's end, a copy reaches before the output's start, or the output
// would exceed its capacity.
std::int64_t lzrw1khDecode(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                           std::size_t outCapacity);

}  // namespace qly::archive
