#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <list>
#include <unordered_map>
#include <vector>

// Blocks of an index file kept in memory, the least recently used one given
// up when they hold more than the limit. A page met at random then costs a
// copy instead of a read of the file once its block was read, and a tag read
// from end to end (a search over the whole table, a check) reads the file in
// a few large pieces.
namespace cdx {

class PageCache {
public:
    static constexpr size_t kBlockSize = 64 * 1024;
    static constexpr size_t kFirstRead = 4 * 1024;

    explicit PageCache(size_t limitBytes = size_t{32} << 20) : m_limit(limitBytes) {}

    // Copies n bytes at offset into out. A block not held is read through
    // readBlock(offset, buffer, length), cut at fileSize; false when that fails
    // or the bytes lie past fileSize.
    template <typename ReadBlock>
    bool read(uint64_t offset, void* out, size_t n, uint64_t fileSize, ReadBlock&& readBlock) {
        auto* to = static_cast<uint8_t*>(out);
        while (n > 0) {
            const uint64_t number = offset / kBlockSize;
            const uint64_t start = number * kBlockSize;
            if (start >= fileSize)
                return false;
            const size_t at = static_cast<size_t>(offset - start);
            const size_t part = std::min(n, kBlockSize - at);
            const std::vector<uint8_t>* block = find(number);
            if (block && at + part > block->size()) {
                // Only the start of the block was read: read all of it.
                dropBlock(number);
                block = nullptr;
            }
            if (!block) {
                size_t length =
                    static_cast<size_t>(std::min<uint64_t>(kBlockSize, fileSize - start));
                // The first read of a file (its headers, when it opens) stays small.
                if (m_blocks.empty() && at + part <= kFirstRead)
                    length = std::min(length, kFirstRead);
                std::vector<uint8_t> bytes(length);
                if (!readBlock(start, bytes.data(), bytes.size()))
                    return false;
                block = add(number, std::move(bytes));
            }
            if (at + part > block->size())
                return false;
            std::memcpy(to, block->data() + at, part);
            to += part;
            offset += part;
            n -= part;
        }
        return true;
    }

    // The bytes at offset changed: the blocks holding them are read again.
    void forget(uint64_t offset, size_t n);
    void clear();
    size_t bytes() const { return m_bytes; }

private:
    struct Entry {
        std::vector<uint8_t> bytes;
        std::list<uint64_t>::iterator use;
    };
    const std::vector<uint8_t>* find(uint64_t number);
    const std::vector<uint8_t>* add(uint64_t number, std::vector<uint8_t> bytes);
    void drop(std::unordered_map<uint64_t, Entry>::iterator it);
    void dropBlock(uint64_t number) { drop(m_blocks.find(number)); }

    size_t m_limit;
    size_t m_bytes = 0;
    std::unordered_map<uint64_t, Entry> m_blocks;
    std::list<uint64_t> m_use;  // most recently used first
    uint64_t m_lastNumber = ~uint64_t{0};
    const std::vector<uint8_t>* m_last = nullptr;
};

}  // namespace cdx
