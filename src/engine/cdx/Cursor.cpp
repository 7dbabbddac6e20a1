#include "engine/cdx/Cursor.h"

#include <cstring>

namespace cdx {

#define CDX_TRY(expr)       \
    do {                    \
        Status s_ = (expr); \
        if (!s_.isOk())     \
            return s_;      \
    } while (false)

Status Cursor::land(const TagPos& pos) {
    m_pos = pos;
    m_version = m_tag->version();
    m_valid = pos.valid();
    if (!m_valid)
        return Status::ok();
    const uint8_t* k = nullptr;
    CDX_TRY(m_tag->entryAt(pos, &k, &m_rec));
    m_key.assign(k, k + m_tag->keyLength());
    return Status::ok();
}

Status Cursor::resync(bool* exact) {
    *exact = true;
    if (m_version == m_tag->version())
        return Status::ok();
    TagPos pos;
    CDX_TRY(m_tag->lowerBound(m_key.data(), m_tag->keyLength(), true, m_rec, false, pos));
    *exact = false;
    if (pos.valid()) {
        const uint8_t* k = nullptr;
        uint32_t r = 0;
        CDX_TRY(m_tag->entryAt(pos, &k, &r));
        *exact = r == m_rec && std::memcmp(k, m_key.data(), m_key.size()) == 0;
    }
    m_pos = pos;
    m_version = m_tag->version();
    return Status::ok();
}

Status Cursor::first() {
    TagPos pos;
    CDX_TRY(m_tag->descending() ? m_tag->last(pos) : m_tag->first(pos));
    return land(pos);
}

Status Cursor::last() {
    TagPos pos;
    CDX_TRY(m_tag->descending() ? m_tag->first(pos) : m_tag->last(pos));
    return land(pos);
}

Status Cursor::next() {
    if (!m_valid)
        return Status::ok();
    bool exact = true;
    CDX_TRY(resync(&exact));
    TagPos pos = m_pos;
    if (m_tag->descending()) {
        if (!pos.valid()) {
            CDX_TRY(m_tag->last(pos));
        } else {
            CDX_TRY(m_tag->prev(pos));
        }
    } else if (exact) {
        CDX_TRY(m_tag->next(pos));
    }
    return land(pos);
}

Status Cursor::prev() {
    if (!m_valid)
        return Status::ok();
    bool exact = true;
    CDX_TRY(resync(&exact));
    TagPos pos = m_pos;
    if (!m_tag->descending()) {
        if (!pos.valid()) {
            CDX_TRY(m_tag->last(pos));
        } else {
            CDX_TRY(m_tag->prev(pos));
        }
    } else if (exact) {
        CDX_TRY(m_tag->next(pos));
    }
    return land(pos);
}

Status Cursor::seek(const uint8_t* key, uint32_t len, bool* found) {
    if (found)
        *found = false;
    if (len > m_tag->keyLength())
        len = m_tag->keyLength();
    TagPos pos;
    if (m_tag->descending()) {
        // The last stored entry whose prefix is <= key.
        CDX_TRY(m_tag->lowerBound(key, len, false, 0, true, pos));
        if (pos.valid()) {
            CDX_TRY(m_tag->prev(pos));
        } else {
            CDX_TRY(m_tag->last(pos));
        }
    } else {
        CDX_TRY(m_tag->lowerBound(key, len, false, 0, false, pos));
    }
    CDX_TRY(land(pos));
    if (found)
        *found = m_valid && std::memcmp(m_key.data(), key, len) == 0;
    return Status::ok();
}

Status Cursor::seekLast(const uint8_t* key, uint32_t len) {
    if (len > m_tag->keyLength())
        len = m_tag->keyLength();
    TagPos pos;
    if (m_tag->descending()) {
        // The first stored entry whose prefix is >= key.
        CDX_TRY(m_tag->lowerBound(key, len, false, 0, false, pos));
    } else {
        CDX_TRY(m_tag->lowerBound(key, len, false, 0, true, pos));
        if (pos.valid()) {
            CDX_TRY(m_tag->prev(pos));
        } else {
            CDX_TRY(m_tag->last(pos));
        }
    }
    return land(pos);
}

Status Cursor::seekEntry(const uint8_t* key, uint32_t rec, bool* exact) {
    if (exact)
        *exact = false;
    TagPos pos;
    CDX_TRY(m_tag->lowerBound(key, m_tag->keyLength(), true, rec, false, pos));
    bool hit = false;
    if (pos.valid()) {
        const uint8_t* k = nullptr;
        uint32_t r = 0;
        CDX_TRY(m_tag->entryAt(pos, &k, &r));
        hit = r == rec && std::memcmp(k, key, m_tag->keyLength()) == 0;
    }
    if (!hit && m_tag->descending()) {
        // In descending order what follows is the stored entry before.
        if (pos.valid()) {
            CDX_TRY(m_tag->prev(pos));
        } else {
            CDX_TRY(m_tag->last(pos));
        }
    }
    CDX_TRY(land(pos));
    if (exact)
        *exact = hit;
    return Status::ok();
}

}  // namespace cdx
