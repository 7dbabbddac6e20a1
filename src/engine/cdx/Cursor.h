#pragma once

#include <cstdint>
#include <vector>

#include "engine/cdx/Status.h"
#include "engine/cdx/Tag.h"

// Walks one tag in its order (backwards through the stored order for a
// descending tag). The cursor remembers its entry, so it stays usable when
// the tag is changed underneath it: it finds its place again by key and
// record number, or the next entry when its own was removed.
namespace cdx {

class Cursor {
public:
    explicit Cursor(Tag& tag) : m_tag(&tag) {}

    Status first();
    Status last();
    Status next();
    Status prev();
    // Goes to the first entry, in the tag's order, whose key begins with the
    // len bytes of key; when there is none, to the next entry after where it
    // would be (none: end). *found tells whether the key was there.
    Status seek(const uint8_t* key, uint32_t len, bool* found);
    // Goes to the last entry, in the tag's order, whose key prefix is not
    // past key (the end of a range); none: the cursor leaves the tag.
    Status seekLast(const uint8_t* key, uint32_t len);
    // Goes to the entry (key, rec) itself and sets *exact; without it, to
    // the entry that follows where it would be, in the tag's order.
    Status seekEntry(const uint8_t* key, uint32_t rec, bool* exact = nullptr);

    // False before the first and after the last entry.
    bool valid() const { return m_valid; }
    const uint8_t* key() const { return m_key.data(); }
    uint32_t recNo() const { return m_rec; }
    Tag& tag() { return *m_tag; }
    // True when the tag changed since the cursor last moved.
    bool stale() const { return m_version != m_tag->version(); }

private:
    Status land(const TagPos& pos);
    Status resync(bool* exact);

    Tag* m_tag;
    TagPos m_pos;
    uint64_t m_version = 0;
    std::vector<uint8_t> m_key;
    uint32_t m_rec = 0;
    bool m_valid = false;
};

}  // namespace cdx
