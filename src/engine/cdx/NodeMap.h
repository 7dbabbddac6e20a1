#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <utility>
#include <vector>

#include "engine/cdx/Node.h"

// The decoded nodes a tag keeps, by page offset. A map that owns them, and
// beside it a table by page number, so that a search down the tree finds each
// node with one look instead of a walk through hash buckets.
namespace cdx {

class NodeMap {
    using Map = std::unordered_map<uint32_t, std::unique_ptr<Node>>;

public:
    using iterator = Map::iterator;
    using const_iterator = Map::const_iterator;

    iterator begin() { return m_map.begin(); }
    iterator end() { return m_map.end(); }
    const_iterator begin() const { return m_map.begin(); }
    const_iterator end() const { return m_map.end(); }
    size_t size() const { return m_map.size(); }
    bool empty() const { return m_map.empty(); }

    iterator find(uint32_t offset) { return m_map.find(offset); }
    // The node of a page offset; nullptr when it is not held.
    Node* lookup(uint32_t offset) const {
        const size_t slot = offset / kPageSize;
        if (offset % kPageSize != 0 || slot >= m_slots.size())
            return nullptr;
        return m_slots[slot];
    }
    std::pair<iterator, bool> emplace(uint32_t offset, std::unique_ptr<Node> node) {
        auto placed = m_map.emplace(offset, std::move(node));
        if (placed.second)
            setSlot(offset, placed.first->second.get());
        return placed;
    }
    size_t erase(uint32_t offset) {
        setSlot(offset, nullptr);
        return m_map.erase(offset);
    }
    iterator erase(iterator it) {
        setSlot(it->first, nullptr);
        return m_map.erase(it);
    }
    void clear() {
        m_map.clear();
        m_slots = {};
    }

private:
    void setSlot(uint32_t offset, Node* node) {
        if (offset % kPageSize != 0)
            return;
        const size_t slot = offset / kPageSize;
        if (slot >= m_slots.size()) {
            if (!node)
                return;
            m_slots.resize(std::max(slot + 1, m_slots.size() * 2), nullptr);
        }
        m_slots[slot] = node;
    }

    Map m_map;
    std::vector<Node*> m_slots;
};

}  // namespace cdx
