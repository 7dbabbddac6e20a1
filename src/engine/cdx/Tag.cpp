#include "engine/cdx/Tag.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <unordered_set>

#include "engine/cdx/Bytes.h"
#include "engine/cdx/IndexFile.h"

namespace cdx {

namespace {

// Deeper than any real tree: a 512-byte node holds at least two entries,
// so 32 levels cover every record number a table can have.
constexpr uint32_t kMaxDepth = 32;

int compareEntry(const uint8_t* a, uint32_t ra, const uint8_t* b, uint32_t rb, uint32_t length) {
    const int c = std::memcmp(a, b, length);
    if (c != 0)
        return c;
    return ra < rb ? -1 : (ra > rb ? 1 : 0);
}

int compareTarget(const uint8_t* entry, uint32_t rec, const uint8_t* key, uint32_t len,
                  bool withRec, uint32_t target) {
    const int c = std::memcmp(entry, key, len);
    if (c != 0 || !withRec)
        return c;
    return rec < target ? -1 : (rec > target ? 1 : 0);
}

// First entry of a node at or after the target (after it when upper).
uint32_t searchNode(const Node& n, const uint8_t* key, uint32_t len, bool withRec, uint32_t rec,
                    bool upper) {
    uint32_t lo = 0, hi = n.count;
    while (lo < hi) {
        const uint32_t mid = (lo + hi) / 2;
        const int c = compareTarget(n.key(mid), n.recs[mid], key, len, withRec, rec);
        if (c < 0 || (upper && c == 0))
            lo = mid + 1;
        else
            hi = mid;
    }
    return lo;
}

#define CDX_TRY(expr)       \
    do {                    \
        Status s_ = (expr); \
        if (!s_.isOk())     \
            return s_;      \
    } while (false)

}  // namespace

Tag::Tag(IndexFile* file, uint32_t headerOffset) : m_file(file), m_headerOffset(headerOffset) {}

std::string Tag::where() const {
    if (m_headerOffset == 0)
        return m_file->fileName() + " (tag directory)";
    return m_file->fileName() + " tag " + (m_name.empty() ? pageText(m_headerOffset) : m_name);
}

std::string Tag::pageText(uint32_t offset) const {
    char text[32];
    std::snprintf(text, sizeof text, "0x%X", offset);
    return text;
}

void Tag::setKeyType(KeyType type) {
    const uint8_t fill = fillByteFor(type);
    if (fill == m_fill)
        return;
    flush();
    forgetAll();
    m_fill = fill;
}

Status Tag::readHeader() {
    uint8_t h[kHeaderSize];
    CDX_TRY(m_file->readPage(m_headerOffset, h, kHeaderSize));
    auto bad = [&](const std::string& what) { return Status::corrupt(where() + ": " + what); };
    m_root = getLe32(h);
    m_keyLength = getLe16(h + 12);
    m_options = h[14];
    if (m_keyLength < 1 || m_keyLength > kMaxKeyLength)
        return bad("impossible key length " + std::to_string(m_keyLength));
    bool zeroCollation = true;
    for (int i = 494; i < 502; ++i)
        zeroCollation = zeroCollation && h[i] == 0;
    m_machine = zeroCollation || std::memcmp(h + 494, "MACHINE", 7) == 0;
    m_descending = getLe16(h + 502) != 0;
    const uint32_t forOff = getLe16(h + 504), forLen = getLe16(h + 506);
    const uint32_t keyOff = getLe16(h + 508), keyLen = getLe16(h + 510);
    if (keyOff + keyLen > 512 || forOff + forLen > 512)
        return bad("impossible expression lengths in the tag header");
    auto text = [&](uint32_t off, uint32_t len) {
        const char* p = reinterpret_cast<const char*>(h + 512 + off);
        return std::string(p, strnlen(p, len));
    };
    m_keyExpr = text(keyOff, keyLen);
    m_forExpr = text(forOff, forLen);
    if (m_headerOffset != 0 && m_keyExpr.empty())
        return bad("tag has no key expression");
    if (m_root % kPageSize != 0 || m_root < kHeaderSize || m_root > m_file->endOffset() - kPageSize)
        return bad("root node " + pageText(m_root) +
                   " lies outside the file or off a page boundary");
    forgetAll();
    return Status::ok();
}

void Tag::encodeHeader(const TagSpec& tagSpec, uint8_t options, uint32_t root, uint8_t* h) {
    std::memset(h, 0, kHeaderSize);
    putLe32(h, root);
    putLe16(h + 12, static_cast<uint16_t>(tagSpec.keyLength));
    h[14] = options;
    h[15] = 0x01;
    putLe16(h + 502, tagSpec.descending ? 1 : 0);
    const uint16_t keyLen = static_cast<uint16_t>(tagSpec.keyExpression.size() + 1);
    putLe16(h + 504, keyLen);
    putLe16(h + 506, static_cast<uint16_t>(tagSpec.forExpression.size() + 1));
    putLe16(h + 508, 0);
    putLe16(h + 510, keyLen);
    std::memcpy(h + 512, tagSpec.keyExpression.data(), tagSpec.keyExpression.size());
    std::memcpy(h + 512 + keyLen, tagSpec.forExpression.data(), tagSpec.forExpression.size());
}

Status Tag::usable() const {
    if (!m_machine)
        return Status::unsupported(
            where() + ": the tag uses a collation other than machine order; rebuild it");
    return Status::ok();
}

Status Tag::writable() const {
    if (m_file->readOnly())
        return Status::invalid(where() + ": the index is open read-only");
    return usable();
}

size_t Tag::nodeBytes(const Node& n) {
    // The node, its three arrays and what the map and the allocator add.
    return sizeof(Node) + 64 + n.keys.capacity() +
           sizeof(uint32_t) * (n.recs.capacity() + n.children.capacity());
}

Status Tag::trimCache() {
    const size_t limit = std::max<size_t>(m_file->cacheLimit(), 16);
    const size_t budget = m_file->cacheBytes();
    if (m_cache.size() <= limit && m_cacheBytes <= budget)
        return Status::ok();
    // Nodes grow and shrink as keys change: count them afresh.
    m_cacheBytes = 0;
    for (const auto& [offset, n] : m_cache)
        m_cacheBytes += nodeBytes(*n);
    if (m_cache.size() <= limit && m_cacheBytes <= budget)
        return Status::ok();
    CDX_TRY(flush());
    // Interior nodes are few and on every path: only leaves leave.
    const size_t keep = limit * 3 / 4;
    const size_t keepBytes = budget / 4 * 3;
    for (auto it = m_cache.begin();
         it != m_cache.end() && (m_cache.size() > keep || m_cacheBytes > keepBytes);) {
        if (it->second->leaf() && !it->second->root()) {
            m_cacheBytes -= std::min(m_cacheBytes, nodeBytes(*it->second));
            it = m_cache.erase(it);
        } else {
            ++it;
        }
    }
    m_hot = nullptr;
    m_hotOffset = kNoPage;
    return Status::ok();
}

void Tag::dropNode(uint32_t offset) {
    m_dropped.push_back(offset);
}

void Tag::forgetAll() {
    m_cache.clear();
    m_cacheBytes = 0;
    m_dropped.clear();
    m_hot = nullptr;
    m_hotOffset = kNoPage;
}

Status Tag::node(uint32_t offset, Node*& out) {
    if (offset == m_hotOffset) {
        out = m_hot;
        return Status::ok();
    }
    if (Node* held = m_cache.lookup(offset)) {
        out = held;
        m_hot = out;
        m_hotOffset = offset;
        return Status::ok();
    }
    if (offset % kPageSize != 0 || offset < kHeaderSize || offset > m_file->endOffset() - kPageSize)
        return Status::corrupt(where() + ": node pointer " + pageText(offset) +
                               " lies outside the file or off a page boundary");
    uint8_t page[kPageSize];
    CDX_TRY(m_file->readPage(offset, page));
    auto n = std::make_unique<Node>();
    CDX_TRY(decodeNode(page, offset, m_keyLength, m_fill, *n, where()));
    out = n.get();
    m_hot = out;
    m_hotOffset = offset;
    m_cacheBytes += nodeBytes(*n);
    m_cache.emplace(offset, std::move(n));
    return Status::ok();
}

Node* Tag::newNode(uint16_t attr) {
    auto n = std::make_unique<Node>();
    n->offset = m_file->allocate(1);
    n->attr = attr;
    n->keyLength = m_keyLength;
    n->dirty = true;
    Node* raw = n.get();
    m_cacheBytes += nodeBytes(*raw);
    m_cache.emplace(raw->offset, std::move(n));
    return raw;
}

Status Tag::descend(const uint8_t* key, uint32_t len, bool withRec, uint32_t rec, bool upper,
                    std::vector<PathStep>& path) {
    path.clear();
    uint32_t offset = m_root;
    const uint8_t* lowKey = nullptr;
    uint32_t lowRec = 0;
    const uint8_t* highKey = nullptr;
    uint32_t highRec = 0;
    for (uint32_t depth = 0;; ++depth) {
        if (depth >= kMaxDepth)
            return Status::corrupt(where() + ": the node tree loops or is impossibly deep");
        Node* n = nullptr;
        CDX_TRY(node(offset, n));
        if (n->count == 0) {
            if (depth == 0 && n->leaf()) {
                path.push_back({n, 0});
                return Status::ok();
            }
            return Status::corrupt(where() + ": node " + pageText(offset) + " is empty");
        }
        if (highKey && compareEntry(n->lastKey(), n->lastRec(), highKey, highRec, m_keyLength) > 0)
            return Status::corrupt(where() + ": node " + pageText(offset) +
                                   " holds keys beyond its separator");
        if (lowKey && compareEntry(n->key(0), n->recs[0], lowKey, lowRec, m_keyLength) <= 0)
            return Status::corrupt(where() + ": node " + pageText(offset) +
                                   " holds keys out of order");
        uint32_t i = searchNode(*n, key, len, withRec, rec, upper);
        if (n->leaf()) {
            path.push_back({n, i});
            return Status::ok();
        }
        if (i == n->count)
            i = n->count - 1;  // beyond the last key: the last child
        if (i > 0) {
            lowKey = n->key(i - 1);
            lowRec = n->recs[i - 1];
        }
        highKey = n->key(i);
        highRec = n->recs[i];
        path.push_back({n, i});
        offset = n->children[i];
    }
}

Status Tag::verifyPlace(const Node* leaf, uint32_t i, const uint8_t* key, uint32_t len,
                        bool withRec, uint32_t rec, bool upper) {
    // The separators led here; make sure the neighbours agree, so that a
    // damaged separator gives an error rather than a wrong entry.
    if (i == 0 && leaf->left != kNoPage) {
        Node* l = nullptr;
        CDX_TRY(node(leaf->left, l));
        if (l->count > 0) {
            const int c = compareTarget(l->lastKey(), l->lastRec(), key, len, withRec, rec);
            if (c > 0 || (c == 0 && !upper))
                return Status::corrupt(where() + ": a separator above node " +
                                       pageText(leaf->offset) + " is wrong");
        }
    }
    if (i == leaf->count && leaf->right != kNoPage) {
        Node* r = nullptr;
        CDX_TRY(node(leaf->right, r));
        if (r->count > 0) {
            const int c = compareTarget(r->key(0), r->recs[0], key, len, withRec, rec);
            if (c < 0 || (c == 0 && upper))
                return Status::corrupt(where() + ": a separator above node " +
                                       pageText(leaf->offset) + " is wrong");
        }
    }
    return Status::ok();
}

bool Tag::setSeparator(Node* parent, uint32_t j, const Node* child) {
    if (child->count == 0)
        return false;
    if (parent->recs[j] == child->lastRec() &&
        std::memcmp(parent->key(j), child->lastKey(), m_keyLength) == 0)
        return false;
    std::memcpy(parent->key(j), child->lastKey(), m_keyLength);
    parent->recs[j] = child->lastRec();
    parent->dirty = true;
    return true;
}

Status Tag::insert(const uint8_t* key, uint32_t rec, bool* inserted) {
    if (inserted)
        *inserted = false;
    CDX_TRY(writable());
    CDX_TRY(trimCache());
    std::vector<PathStep> path;
    if (unique()) {
        CDX_TRY(descend(key, m_keyLength, false, 0, false, path));
        CDX_TRY(
            verifyPlace(path.back().node, path.back().index, key, m_keyLength, false, 0, false));
        TagPos pos{path.back().node->offset, path.back().index};
        CDX_TRY(normalize(pos));
        if (pos.valid()) {
            const uint8_t* k = nullptr;
            uint32_t r = 0;
            CDX_TRY(entryAt(pos, &k, &r));
            if (std::memcmp(k, key, m_keyLength) == 0)
                return Status::ok();
        }
    }
    CDX_TRY(descend(key, m_keyLength, true, rec, false, path));
    Node* leaf = path.back().node;
    const uint32_t i = path.back().index;
    if (i < leaf->count && leaf->recs[i] == rec && std::memcmp(leaf->key(i), key, m_keyLength) == 0)
        return Status::ok();
    CDX_TRY(verifyPlace(leaf, i, key, m_keyLength, true, rec, false));
    nodeInsert(*leaf, i, key, rec, 0, m_fill);
    ++m_version;
    CDX_TRY(settleAfterInsert(path, i));
    if (inserted)
        *inserted = true;
    return Status::ok();
}

Status Tag::split(Node* n, uint32_t hint, Node*& right) {
    const uint32_t cnt = n->count;
    const uint32_t L = m_keyLength;
    const uint32_t preferred = hint + 1 >= cnt ? cnt - 1 : (hint == 0 ? 1 : cnt / 2);
    uint32_t k = 0;
    if (n->leaf()) {
        // Bytes of each side for every split point, from prefix sums.
        std::vector<uint32_t> after(cnt), alone(cnt), sum(cnt + 1, 0), preMax(cnt), sufMax(cnt);
        for (uint32_t i = 0; i < cnt; ++i) {
            alone[i] = storedLength(n->key(i), nullptr, L, m_fill);
            after[i] = i ? storedLength(n->key(i), n->key(i - 1), L, m_fill) : alone[i];
            sum[i + 1] = sum[i] + after[i];
            preMax[i] = std::max(i ? preMax[i - 1] : 0u, n->recs[i]);
        }
        for (uint32_t i = cnt; i-- > 0;)
            sufMax[i] = std::max(i + 1 < cnt ? sufMax[i + 1] : 0u, n->recs[i]);
        uint32_t best = 0, bestDistance = ~0u;
        for (uint32_t cand = 1; cand < cnt; ++cand) {
            const uint32_t leftBytes = cand * infoBytes(preMax[cand - 1], L) + sum[cand];
            const uint32_t rightBytes =
                (cnt - cand) * infoBytes(sufMax[cand], L) + alone[cand] + sum[cnt] - sum[cand + 1];
            if (leftBytes > kLeafSpace || rightBytes > kLeafSpace)
                continue;
            const uint32_t d = cand > preferred ? cand - preferred : preferred - cand;
            if (d < bestDistance) {
                best = cand;
                bestDistance = d;
            }
        }
        if (best == 0)
            return Status::corrupt(where() + ": a leaf cannot be split");
        k = best;
    } else {
        const uint32_t cap = interiorCapacity(L);
        k = std::clamp(preferred, cnt > cap ? cnt - cap : 1u, std::min(cap, cnt - 1));
    }
    Node* oldRight = nullptr;
    if (n->right != kNoPage)
        CDX_TRY(node(n->right, oldRight));
    Node* r = newNode(n->attr & kAttrLeaf);
    r->keys.assign(n->keys.begin() + size_t{k} * L, n->keys.end());
    r->recs.assign(n->recs.begin() + k, n->recs.end());
    if (!n->leaf())
        r->children.assign(n->children.begin() + k, n->children.end());
    r->count = cnt - k;
    n->keys.resize(size_t{k} * L);
    n->recs.resize(k);
    if (!n->leaf())
        n->children.resize(k);
    n->count = k;
    if (n->leaf()) {
        recomputeLeaf(*n, m_fill);
        recomputeLeaf(*r, m_fill);
    }
    r->left = n->offset;
    r->right = n->right;
    if (oldRight) {
        oldRight->left = r->offset;
        oldRight->dirty = true;
    }
    n->right = r->offset;
    n->dirty = true;
    right = r;
    return Status::ok();
}

Status Tag::settleAfterInsert(std::vector<PathStep>& path, uint32_t hint) {
    for (size_t d = path.size(); d-- > 0;) {
        Node* n = path[d].node;
        Node* right = nullptr;
        if (!nodeFits(*n))
            CDX_TRY(split(n, hint, right));
        if (d == 0) {
            if (right) {
                n->attr &= static_cast<uint16_t>(~kAttrRoot);
                Node* root = newNode(kAttrRoot);
                nodeInsert(*root, 0, n->lastKey(), n->lastRec(), n->offset, m_fill);
                nodeInsert(*root, 1, right->lastKey(), right->lastRec(), right->offset, m_fill);
                m_root = root->offset;
                m_rootDirty = true;
            }
            break;
        }
        Node* parent = path[d - 1].node;
        const uint32_t j = path[d - 1].index;
        bool changed = setSeparator(parent, j, n);
        if (right) {
            nodeInsert(*parent, j + 1, right->lastKey(), right->lastRec(), right->offset, m_fill);
            changed = true;
            hint = j + 1;
        } else {
            hint = j;
        }
        if (!changed)
            break;
    }
    return Status::ok();
}

Status Tag::unlink(Node* n) {
    Node* l = nullptr;
    Node* r = nullptr;
    if (n->left != kNoPage)
        CDX_TRY(node(n->left, l));
    if (n->right != kNoPage)
        CDX_TRY(node(n->right, r));
    if (l) {
        l->right = n->right;
        l->dirty = true;
    }
    if (r) {
        r->left = n->left;
        r->dirty = true;
    }
    return Status::ok();
}

namespace {

bool underfull(const Node& n) {
    if (n.leaf())
        return leafUsed(n) * 3 < kLeafSpace;
    return n.count * 3 < interiorCapacity(n.keyLength);
}

// Moves every entry of b (the right neighbour) into a when they fit.
bool tryMerge(Node& a, Node& b, uint8_t fill) {
    const uint32_t L = a.keyLength;
    if (a.leaf()) {
        const uint32_t stored = a.stored + b.stored - storedLength(b.key(0), nullptr, L, fill) +
                                (a.count ? storedLength(b.key(0), a.lastKey(), L, fill)
                                         : storedLength(b.key(0), nullptr, L, fill));
        const uint32_t maxRec = std::max(a.maxRec, b.maxRec);
        if ((a.count + b.count) * infoBytes(maxRec, L) + stored > kLeafSpace)
            return false;
        a.stored = stored;
        a.maxRec = maxRec;
    } else {
        if (a.count + b.count > interiorCapacity(L))
            return false;
        a.children.insert(a.children.end(), b.children.begin(), b.children.end());
    }
    a.keys.insert(a.keys.end(), b.keys.begin(), b.keys.end());
    a.recs.insert(a.recs.end(), b.recs.begin(), b.recs.end());
    a.count += b.count;
    a.dirty = true;
    return true;
}

}  // namespace

Status Tag::remove(const uint8_t* key, uint32_t rec) {
    CDX_TRY(writable());
    CDX_TRY(trimCache());
    std::vector<PathStep> path;
    CDX_TRY(descend(key, m_keyLength, true, rec, false, path));
    Node* leaf = path.back().node;
    const uint32_t i = path.back().index;
    if (i >= leaf->count || leaf->recs[i] != rec ||
        std::memcmp(leaf->key(i), key, m_keyLength) != 0) {
        CDX_TRY(verifyPlace(leaf, i, key, m_keyLength, true, rec, false));
        return Status::notFound(where() + ": the key of record " + std::to_string(rec) +
                                " is not in the tag");
    }
    nodeErase(*leaf, i, m_fill);
    ++m_version;
    Status s = settleAfterRemove(path);
    for (uint32_t off : m_dropped)
        m_cache.erase(off);
    m_dropped.clear();
    m_hot = nullptr;
    m_hotOffset = kNoPage;
    return s;
}

Status Tag::settleAfterRemove(std::vector<PathStep>& path) {
    for (size_t d = path.size(); d-- > 0;) {
        Node* n = path[d].node;
        if (d == 0) {
            while (!n->leaf() && n->count == 1) {
                Node* child = nullptr;
                CDX_TRY(node(n->children[0], child));
                child->attr |= kAttrRoot;
                child->left = child->right = kNoPage;
                child->dirty = true;
                m_root = child->offset;
                m_rootDirty = true;
                dropNode(n->offset);
                n = child;
            }
            if (!n->leaf() && n->count == 0) {
                n->attr = kAttrRoot | kAttrLeaf;
                n->keys.clear();
                n->recs.clear();
                n->children.clear();
                n->stored = n->maxRec = 0;
                n->dirty = true;
            }
            break;
        }
        Node* parent = path[d - 1].node;
        const uint32_t j = path[d - 1].index;
        if (n->count == 0) {
            CDX_TRY(unlink(n));
            nodeErase(*parent, j, m_fill);
            dropNode(n->offset);
            continue;
        }
        if (underfull(*n)) {
            if (j + 1 < parent->count) {
                Node* r = nullptr;
                CDX_TRY(node(parent->children[j + 1], r));
                if (tryMerge(*n, *r, m_fill)) {
                    CDX_TRY(unlink(r));
                    nodeErase(*parent, j + 1, m_fill);
                    dropNode(r->offset);
                }
            } else if (j > 0) {
                Node* l = nullptr;
                CDX_TRY(node(parent->children[j - 1], l));
                if (tryMerge(*l, *n, m_fill)) {
                    CDX_TRY(unlink(n));
                    nodeErase(*parent, j, m_fill);
                    dropNode(n->offset);
                    setSeparator(parent, j - 1, l);
                    continue;
                }
            }
        }
        setSeparator(parent, j, n);
    }
    return Status::ok();
}

Status Tag::contains(const uint8_t* key, uint32_t rec, bool* found) {
    *found = false;
    TagPos pos;
    CDX_TRY(lowerBound(key, m_keyLength, true, rec, false, pos));
    if (!pos.valid())
        return Status::ok();
    const uint8_t* k = nullptr;
    uint32_t r = 0;
    CDX_TRY(entryAt(pos, &k, &r));
    *found = r == rec && std::memcmp(k, key, m_keyLength) == 0;
    return Status::ok();
}

// ---------------------------------------------------------------------------
// Walking the leaves

Status Tag::stepRight(TagPos& pos, Node* from) {
    const uint32_t next = from->right;
    if (next == kNoPage) {
        pos = TagPos{};
        return Status::ok();
    }
    Node* r = nullptr;
    CDX_TRY(node(next, r));
    if (!r->leaf() || r->left != from->offset || r->count == 0 ||
        (from->count > 0 &&
         compareEntry(r->key(0), r->recs[0], from->lastKey(), from->lastRec(), m_keyLength) <= 0))
        return Status::corrupt(where() + ": the leaf after " + pageText(from->offset) +
                               " is not linked in order");
    pos = TagPos{next, 0};
    return Status::ok();
}

Status Tag::normalize(TagPos& pos) {
    if (!pos.valid())
        return Status::ok();
    Node* n = nullptr;
    CDX_TRY(node(pos.leaf, n));
    if (pos.index < n->count)
        return Status::ok();
    return stepRight(pos, n);
}

Status Tag::first(TagPos& pos) {
    CDX_TRY(usable());
    CDX_TRY(trimCache());
    uint32_t offset = m_root;
    for (uint32_t depth = 0;; ++depth) {
        if (depth >= kMaxDepth)
            return Status::corrupt(where() + ": the node tree loops or is impossibly deep");
        Node* n = nullptr;
        CDX_TRY(node(offset, n));
        if (n->leaf()) {
            pos = TagPos{offset, 0};
            return normalize(pos);
        }
        offset = n->children[0];
    }
}

Status Tag::last(TagPos& pos) {
    CDX_TRY(usable());
    CDX_TRY(trimCache());
    uint32_t offset = m_root;
    for (uint32_t depth = 0;; ++depth) {
        if (depth >= kMaxDepth)
            return Status::corrupt(where() + ": the node tree loops or is impossibly deep");
        Node* n = nullptr;
        CDX_TRY(node(offset, n));
        if (n->leaf()) {
            pos = n->count ? TagPos{offset, n->count - 1} : TagPos{};
            return Status::ok();
        }
        offset = n->children[n->count - 1];
    }
}

Status Tag::next(TagPos& pos) {
    if (!pos.valid())
        return Status::ok();
    CDX_TRY(trimCache());
    Node* n = nullptr;
    CDX_TRY(node(pos.leaf, n));
    if (pos.index + 1 < n->count) {
        ++pos.index;
        return Status::ok();
    }
    return stepRight(pos, n);
}

Status Tag::prev(TagPos& pos) {
    if (!pos.valid())
        return Status::ok();
    CDX_TRY(trimCache());
    Node* n = nullptr;
    CDX_TRY(node(pos.leaf, n));
    if (pos.index > 0 && pos.index <= n->count) {
        --pos.index;
        return Status::ok();
    }
    if (n->left == kNoPage) {
        pos = TagPos{};
        return Status::ok();
    }
    Node* l = nullptr;
    CDX_TRY(node(n->left, l));
    if (!l->leaf() || l->right != n->offset || l->count == 0 ||
        (n->count > 0 &&
         compareEntry(l->lastKey(), l->lastRec(), n->key(0), n->recs[0], m_keyLength) >= 0))
        return Status::corrupt(where() + ": the leaf before " + pageText(n->offset) +
                               " is not linked in order");
    pos = TagPos{l->offset, l->count - 1};
    return Status::ok();
}

Status Tag::lowerBound(const uint8_t* key, uint32_t len, bool withRec, uint32_t rec, bool upper,
                       TagPos& pos) {
    CDX_TRY(usable());
    CDX_TRY(trimCache());
    if (len > m_keyLength)
        len = m_keyLength;
    std::vector<PathStep>& path = m_searchPath;  // kept: a search allocates nothing
    CDX_TRY(descend(key, len, withRec, rec, upper, path));
    CDX_TRY(verifyPlace(path.back().node, path.back().index, key, len, withRec, rec, upper));
    pos = TagPos{path.back().node->offset, path.back().index};
    return normalize(pos);
}

Status Tag::entryAt(const TagPos& pos, const uint8_t** key, uint32_t* rec) {
    if (!pos.valid())
        return Status::invalid(where() + ": no current entry");
    Node* n = nullptr;
    CDX_TRY(node(pos.leaf, n));
    if (pos.index >= n->count)
        return Status::invalid(where() + ": no current entry");
    *key = n->key(pos.index);
    *rec = n->recs[pos.index];
    return Status::ok();
}

// ---------------------------------------------------------------------------
// Bulk build

Status Tag::build(const uint8_t* keys, const uint32_t* recs, size_t n) {
    if (m_file->readOnly())
        return Status::invalid(where() + ": the index is open read-only");
    const uint32_t L = m_keyLength;
    // Sorted on the first 16 key bytes held beside the index; the rest of
    // the key is only read for ties.
    struct Item {
        uint64_t p0;
        uint64_t p1;
        uint32_t index;
    };
    std::vector<Item> order(n);
    for (size_t i = 0; i < n; ++i) {
        uint64_t p[2] = {0, 0};
        const uint8_t* k = keys + i * L;
        if (L >= 16) {
            std::memcpy(p, k, 16);
            p[0] = __builtin_bswap64(p[0]);
            p[1] = __builtin_bswap64(p[1]);
        } else {
            for (uint32_t b = 0; b < 16; ++b)
                p[b / 8] = (p[b / 8] << 8) | (b < L ? k[b] : 0);
        }
        order[i] = Item{p[0], p[1], static_cast<uint32_t>(i)};
    }
    std::sort(order.begin(), order.end(), [&](const Item& a, const Item& b) {
        if (a.p0 != b.p0)
            return a.p0 < b.p0;
        if (a.p1 != b.p1)
            return a.p1 < b.p1;
        if (L > 16) {
            const int c = std::memcmp(keys + size_t{a.index} * L + 16,
                                      keys + size_t{b.index} * L + 16, L - 16);
            if (c != 0)
                return c < 0;
        }
        return recs[a.index] < recs[b.index];
    });
    if (unique()) {
        size_t w = 0;
        for (size_t i = 0; i < order.size(); ++i) {
            if (w > 0 && order[w - 1].p0 == order[i].p0 && order[w - 1].p1 == order[i].p1 &&
                std::memcmp(keys + size_t{order[w - 1].index} * L,
                            keys + size_t{order[i].index} * L, L) == 0)
                continue;
            order[w++] = order[i];
        }
        order.resize(w);
    }

    // The old tree is dropped; its root page receives the new root.
    forgetAll();
    const uint32_t base = m_file->endOffset();
    std::vector<uint8_t> out;
    out.reserve((n * (L + 4) / kLeafSpace + 2) * kPageSize);
    std::vector<uint8_t> seps;
    std::vector<uint32_t> sepRecs;
    std::vector<uint32_t> sepChildren;
    uint32_t pages = 0;
    uint8_t page[kPageSize];

    std::vector<LeafEntry> leaf;
    leaf.reserve(kLeafSpace);
    uint32_t stored = 0, maxRec = 0, prevTrail = 0;
    auto emitLeaf = [&]() {
        const uint32_t offset = base + pages * kPageSize;
        out.resize(out.size() + kPageSize);
        // The last leaf's right link is patched below.
        writeLeafPage(out.data() + out.size() - kPageSize, kAttrLeaf,
                      pages ? offset - kPageSize : kNoPage, offset + kPageSize, L, leaf.data(),
                      static_cast<uint32_t>(leaf.size()));
        seps.insert(seps.end(), leaf.back().key, leaf.back().key + L);
        sepRecs.push_back(leaf.back().rec);
        sepChildren.push_back(offset);
        ++pages;
        leaf.clear();
        stored = maxRec = 0;
    };
    for (size_t i = 0; i < order.size(); ++i) {
        const Item& item = order[i];
        // Keys are read in sorted order, all over memory: ask for them early.
        if (i + 8 < order.size())
            __builtin_prefetch(keys + size_t{order[i + 8].index} * L + L - 1);
        const uint8_t* k = keys + size_t{item.index} * L;
        const uint32_t rec = recs[item.index];
        const uint32_t trail = trailCount(k, L, m_fill);
        uint32_t dup =
            leaf.empty() ? 0 : commonPrefix(k, leaf.back().key, std::min(L - trail, L - prevTrail));
        const uint32_t newMax = std::max(maxRec, rec);
        if (!leaf.empty() &&
            (leaf.size() + 1) * infoBytes(newMax, L) + stored + (L - dup - trail) > kLeafSpace) {
            emitLeaf();
            dup = 0;
        }
        leaf.push_back(LeafEntry{k, rec, dup, trail});
        stored += L - dup - trail;
        maxRec = std::max(maxRec, rec);
        prevTrail = trail;
    }
    if (pages == 0) {
        // Everything fits in the root leaf.
        writeLeafPage(page, kAttrRoot | kAttrLeaf, kNoPage, kNoPage, L, leaf.data(),
                      static_cast<uint32_t>(leaf.size()));
        CDX_TRY(m_file->writeBytes(m_root, page, kPageSize));
    } else {
        if (!leaf.empty())
            emitLeaf();
        putLe32(out.data() + size_t{pages - 1} * kPageSize + 8, kNoPage);
        // Interior levels until one node remains; it goes to the root page.
        const uint32_t cap = interiorCapacity(L);
        for (;;) {
            const size_t m = sepRecs.size();
            const size_t nodes = (m + cap - 1) / cap;
            std::vector<uint8_t> upSeps;
            std::vector<uint32_t> upRecs, upChildren;
            size_t at = 0;
            for (size_t b = 0; b < nodes; ++b) {
                const size_t take = m / nodes + (b < m % nodes ? 1 : 0);
                Node in;
                in.keyLength = L;
                in.attr = nodes == 1 ? kAttrRoot : 0;
                in.offset = nodes == 1 ? m_root : base + pages * kPageSize;
                in.left = (nodes == 1 || b == 0) ? kNoPage : in.offset - kPageSize;
                in.right = (nodes == 1 || b + 1 == nodes) ? kNoPage : in.offset + kPageSize;
                in.count = static_cast<uint32_t>(take);
                in.keys.assign(seps.begin() + at * L, seps.begin() + (at + take) * L);
                in.recs.assign(sepRecs.begin() + at, sepRecs.begin() + at + take);
                in.children.assign(sepChildren.begin() + at, sepChildren.begin() + at + take);
                at += take;
                encodeNode(in, m_fill, page);
                if (nodes == 1) {
                    CDX_TRY(m_file->writeBytes(m_root, page, kPageSize));
                } else {
                    upSeps.insert(upSeps.end(), in.keys.end() - L, in.keys.end());
                    upRecs.push_back(in.recs.back());
                    upChildren.push_back(in.offset);
                    out.insert(out.end(), page, page + kPageSize);
                    ++pages;
                }
            }
            if (nodes == 1)
                break;
            seps.swap(upSeps);
            sepRecs.swap(upRecs);
            sepChildren.swap(upChildren);
        }
        if (m_file->allocate(pages) != base)
            return Status::invalid(where() + ": pages allocated during a build");
        CDX_TRY(m_file->writeBytes(base, out.data(), out.size()));
    }
    if (!m_machine) {
        // Rebuilt in machine order: the header must say so.
        const uint8_t zeros[8] = {};
        CDX_TRY(m_file->writeBytes(m_headerOffset + 494, zeros, sizeof zeros));
        m_machine = true;
    }
    ++m_version;
    return Status::ok();
}

Status Tag::flush() {
    uint8_t page[kPageSize];
    for (auto& [offset, n] : m_cache) {
        if (!n->dirty)
            continue;
        encodeNode(*n, m_fill, page);
        CDX_TRY(m_file->writeBytes(offset, page, kPageSize));
        n->dirty = false;
    }
    if (m_rootDirty) {
        uint8_t b[4];
        putLe32(b, m_root);
        CDX_TRY(m_file->writeBytes(m_headerOffset, b, sizeof b));
        m_rootDirty = false;
    }
    return Status::ok();
}

// ---------------------------------------------------------------------------
// Consistency check

Status Tag::checkNode(uint32_t offset, uint32_t depth, const uint8_t* lowKey, uint32_t lowRec,
                      const uint8_t* highKey, uint32_t highRec, CheckState& st) {
    if (depth >= kMaxDepth)
        return Status::corrupt(where() + ": the node tree loops or is impossibly deep");
    if (!st.seen.insert(offset).second)
        return Status::corrupt(where() + ": node " + pageText(offset) +
                               " is reached twice (the tree loops)");
    Node local;
    const Node* n = nullptr;
    auto it = m_cache.find(offset);
    if (it != m_cache.end()) {
        n = it->second.get();
    } else {
        if (offset % kPageSize != 0 || offset < kHeaderSize ||
            offset > m_file->endOffset() - kPageSize)
            return Status::corrupt(where() + ": node pointer " + pageText(offset) +
                                   " lies outside the file or off a page boundary");
        uint8_t page[kPageSize];
        CDX_TRY(m_file->readPage(offset, page));
        CDX_TRY(decodeNode(page, offset, m_keyLength, m_fill, local, where()));
        n = &local;
    }
    const std::string at = "node " + pageText(offset);
    if ((depth == 0) != n->root())
        return Status::corrupt(where() + ": " + at + " has a wrong root mark");
    if (n->count == 0 && depth > 0)
        return Status::corrupt(where() + ": " + at + " is empty");
    if (st.levels.size() <= depth)
        st.levels.resize(depth + 1);
    st.levels[depth].push_back({offset, n->left, n->right});
    for (uint32_t i = 1; i < n->count; ++i) {
        const int c =
            compareEntry(n->key(i - 1), n->recs[i - 1], n->key(i), n->recs[i], m_keyLength);
        if (c >= 0)
            return Status::corrupt(where() + ": " + at + " holds keys out of order");
        if (n->leaf() && unique() && std::memcmp(n->key(i - 1), n->key(i), m_keyLength) == 0)
            return Status::corrupt(where() + ": " + at + " holds a key twice in a unique tag");
    }
    if (n->count > 0) {
        if (lowKey) {
            const int c = compareEntry(n->key(0), n->recs[0], lowKey, lowRec, m_keyLength);
            if (c <= 0 ||
                (n->leaf() && unique() && std::memcmp(n->key(0), lowKey, m_keyLength) == 0))
                return Status::corrupt(where() + ": " + at +
                                       " holds keys out of order with its neighbour");
        }
        if (highKey && compareEntry(n->lastKey(), n->lastRec(), highKey, highRec, m_keyLength) != 0)
            return Status::corrupt(where() + ": the separator of " + at + " is not its last key");
    }
    if (n->leaf()) {
        if (st.leafDepth < 0)
            st.leafDepth = static_cast<int>(depth);
        if (st.leafDepth != static_cast<int>(depth))
            return Status::corrupt(where() + ": leaves lie at different depths");
        st.entries += n->count;
        return Status::ok();
    }
    // Copy what the children need: a cached parent may be trimmed meanwhile.
    const std::vector<uint8_t> keys = n->keys;
    const std::vector<uint32_t> recs = n->recs;
    const std::vector<uint32_t> children = n->children;
    for (uint32_t i = 0; i < children.size(); ++i) {
        const uint8_t* lk = i ? keys.data() + size_t{i - 1} * m_keyLength : lowKey;
        const uint32_t lr = i ? recs[i - 1] : lowRec;
        CDX_TRY(checkNode(children[i], depth + 1, lk, lr, keys.data() + size_t{i} * m_keyLength,
                          recs[i], st));
    }
    return Status::ok();
}

Status Tag::check(uint64_t* entries) {
    CDX_TRY(usable());
    CheckState st;
    CDX_TRY(checkNode(m_root, 0, nullptr, 0, nullptr, 0, st));
    for (const auto& level : st.levels) {
        for (size_t i = 0; i < level.size(); ++i) {
            const uint32_t wantLeft = i ? level[i - 1].offset : kNoPage;
            const uint32_t wantRight = i + 1 < level.size() ? level[i + 1].offset : kNoPage;
            if (level[i].left != wantLeft || level[i].right != wantRight)
                return Status::corrupt(where() + ": the sibling links of node " +
                                       pageText(level[i].offset) + " are wrong");
        }
    }
    if (entries)
        *entries = st.entries;
    return Status::ok();
}

}  // namespace cdx
