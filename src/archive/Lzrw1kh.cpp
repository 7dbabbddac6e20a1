#include "archive/Lzrw1kh.h"

#include <cstring>

namespace qly::archive {

std::int64_t lzrw1khDecode(const std::uint8_t* in, std::size_t size, std::uint8_t* out,
                           std::size_t outCapacity) {
    if (size == 0) {
        return 0;
    }
    if (in[0] == 0x80) {
        if (size - 1 > outCapacity) {
            return -1;
        }
        std::memcpy(out, in + 1, size - 1);
        return static_cast<std::int64_t>(size - 1);
    }
    if (size < 3) {
        return -1;
    }
    unsigned control = (static_cast<unsigned>(in[1]) << 8) | in[2];
    int bits = 16;
    std::size_t x = 3;
    std::size_t produced = 0;
    while (x < size) {
        if (bits == 0) {
            if (x + 2 > size) {
                return -1;
            }
            control = (static_cast<unsigned>(in[x]) << 8) | in[x + 1];
            x += 2;
            bits = 16;
            // A control word at the very end announces nothing.
            if (x >= size) {
                break;
            }
        }
        if ((control & 0x8000u) == 0) {
            if (produced >= outCapacity) {
                return -1;
            }
            out[produced++] = in[x++];
        } else {
            if (x + 2 > size) {
                return -1;
            }
            const std::size_t distance =
                (static_cast<std::size_t>(in[x]) << 4) | (static_cast<std::size_t>(in[x + 1]) >> 4);
            if (distance == 0) {
                if (x + 4 > size) {
                    return -1;
                }
                const std::size_t count =
                    ((static_cast<std::size_t>(in[x + 1]) & 0x0F) << 8) + in[x + 2] + 16;
                if (count > outCapacity - produced) {
                    return -1;
                }
                std::memset(out + produced, in[x + 3], count);
                produced += count;
                x += 4;
            } else {
                const std::size_t count = (static_cast<std::size_t>(in[x + 1]) & 0x0F) + 3;
                if (distance > produced || count > outCapacity - produced) {
                    return -1;
                }
                for (std::size_t i = 0; i < count; ++i) {
                    out[produced] = out[produced - distance];
                    ++produced;
                }
                x += 2;
            }
        }
        control = (control << 1) & 0xFFFFu;
        --bits;
    }
    return static_cast<std::int64_t>(produced);
}

}  // namespace qly::archive
