#include "engine/cdx/PageCache.h"

namespace cdx {

const std::vector<uint8_t>* PageCache::find(uint64_t number) {
    if (number == m_lastNumber)
        return m_last;
    auto it = m_blocks.find(number);
    if (it == m_blocks.end())
        return nullptr;
    m_use.splice(m_use.begin(), m_use, it->second.use);
    m_lastNumber = number;
    m_last = &it->second.bytes;
    return m_last;
}

const std::vector<uint8_t>* PageCache::add(uint64_t number, std::vector<uint8_t> bytes) {
    while (!m_use.empty() && m_bytes + bytes.size() > m_limit)
        drop(m_blocks.find(m_use.back()));
    m_bytes += bytes.size();
    m_use.push_front(number);
    auto it = m_blocks.emplace(number, Entry{std::move(bytes), m_use.begin()}).first;
    m_lastNumber = number;
    m_last = &it->second.bytes;
    return m_last;
}

void PageCache::drop(std::unordered_map<uint64_t, Entry>::iterator it) {
    if (it == m_blocks.end())
        return;
    if (it->first == m_lastNumber) {
        m_lastNumber = ~uint64_t{0};
        m_last = nullptr;
    }
    m_bytes -= it->second.bytes.size();
    m_use.erase(it->second.use);
    m_blocks.erase(it);
}

void PageCache::forget(uint64_t offset, size_t n) {
    if (m_blocks.empty() || n == 0)
        return;
    const uint64_t first = offset / kBlockSize;
    const uint64_t last = (offset + n - 1) / kBlockSize;
    for (uint64_t number = first; number <= last; ++number)
        drop(m_blocks.find(number));
}

void PageCache::clear() {
    m_blocks.clear();
    m_use.clear();
    m_bytes = 0;
    m_lastNumber = ~uint64_t{0};
    m_last = nullptr;
}

}  // namespace cdx
