#include "engine/cdx/Node.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>

#include "engine/cdx/Bytes.h"

namespace cdx {

uint32_t countBits(uint32_t keyLength) {
    return static_cast<uint32_t>(std::bit_width(keyLength));
}

uint32_t infoBytes(uint32_t maxRec, uint32_t keyLength) {
    const uint32_t bits = static_cast<uint32_t>(std::bit_width(maxRec)) + 2 * countBits(keyLength);
    return std::max<uint32_t>(3, (bits + 7) / 8);
}

uint32_t trailCount(const uint8_t* key, uint32_t keyLength, uint8_t fill) {
    const uint64_t pattern = 0x0101010101010101ull * fill;
    uint32_t t = 0;
    while (t + 8 <= keyLength) {
        uint64_t w;
        std::memcpy(&w, key + keyLength - t - 8, 8);
        if (w != pattern)
            break;
        t += 8;
    }
    while (t < keyLength && key[keyLength - 1 - t] == fill)
        ++t;
    return t;
}

uint32_t commonPrefix(const uint8_t* a, const uint8_t* b, uint32_t cap) {
    uint32_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        while (i + 8 <= cap) {
            uint64_t x, y;
            std::memcpy(&x, a + i, 8);
            std::memcpy(&y, b + i, 8);
            if (x != y)
                return i + static_cast<uint32_t>(std::countr_zero(x ^ y)) / 8;
            i += 8;
        }
    }
    while (i < cap && a[i] == b[i])
        ++i;
    return i;
}

uint32_t storedLength(const uint8_t* key, const uint8_t* prev, uint32_t keyLength, uint8_t fill) {
    const uint32_t trail = trailCount(key, keyLength, fill);
    if (prev == nullptr)
        return keyLength - trail;
    const uint32_t cap = std::min(keyLength - trail, keyLength - trailCount(prev, keyLength, fill));
    return keyLength - trail - commonPrefix(key, prev, cap);
}

uint32_t interiorCapacity(uint32_t keyLength) {
    return kInteriorSpace / (keyLength + 8);
}

void recomputeLeaf(Node& node, uint8_t fill) {
    node.stored = 0;
    node.maxRec = 0;
    for (uint32_t i = 0; i < node.count; ++i) {
        node.stored +=
            storedLength(node.key(i), i ? node.key(i - 1) : nullptr, node.keyLength, fill);
        node.maxRec = std::max(node.maxRec, node.recs[i]);
    }
}

bool nodeFits(const Node& node) {
    if (node.leaf())
        return leafUsed(node) <= kLeafSpace;
    return node.count <= interiorCapacity(node.keyLength);
}

void nodeInsert(Node& node, uint32_t i, const uint8_t* key, uint32_t rec, uint32_t child,
                uint8_t fill) {
    const uint32_t L = node.keyLength;
    if (node.leaf()) {
        const uint8_t* prev = i ? node.key(i - 1) : nullptr;
        if (i < node.count)
            node.stored -= storedLength(node.key(i), prev, L, fill);
        node.stored += storedLength(key, prev, L, fill);
        if (i < node.count)
            node.stored += storedLength(node.key(i), key, L, fill);
        node.maxRec = std::max(node.maxRec, rec);
    } else {
        node.children.insert(node.children.begin() + i, child);
    }
    node.keys.insert(node.keys.begin() + size_t{i} * L, key, key + L);
    node.recs.insert(node.recs.begin() + i, rec);
    ++node.count;
    node.dirty = true;
}

void nodeErase(Node& node, uint32_t i, uint8_t fill) {
    const uint32_t L = node.keyLength;
    if (node.leaf()) {
        const uint8_t* prev = i ? node.key(i - 1) : nullptr;
        node.stored -= storedLength(node.key(i), prev, L, fill);
        if (i + 1 < node.count) {
            node.stored -= storedLength(node.key(i + 1), node.key(i), L, fill);
            node.stored += storedLength(node.key(i + 1), prev, L, fill);
        }
    } else {
        node.children.erase(node.children.begin() + i);
    }
    node.keys.erase(node.keys.begin() + size_t{i} * L, node.keys.begin() + size_t{i + 1} * L);
    node.recs.erase(node.recs.begin() + i);
    --node.count;
    node.dirty = true;
}

namespace {

// Keys strictly ascending by (key, record number): searching relies on it.
bool checkOrder(const Node& n) {
    for (uint32_t i = 1; i < n.count; ++i) {
        const int c = std::memcmp(n.key(i - 1), n.key(i), n.keyLength);
        if (c > 0 || (c == 0 && n.recs[i - 1] >= n.recs[i]))
            return false;
    }
    return true;
}

}  // namespace

Status decodeNode(const uint8_t* page, uint32_t offset, uint32_t keyLength, uint8_t fill, Node& out,
                  const std::string& where) {
    auto bad = [&](const std::string& what) {
        char at[32];
        std::snprintf(at, sizeof at, "0x%X", offset);
        return Status::corrupt(where + ": index node at " + at + " " + what);
    };
    out.offset = offset;
    out.attr = getLe16(page);
    out.count = getLe16(page + 2);
    out.left = getLe32(page + 4);
    out.right = getLe32(page + 8);
    out.keyLength = keyLength;
    out.dirty = false;
    const uint32_t L = keyLength;
    const uint32_t n = out.count;
    out.keys.resize(size_t{n} * L);
    out.recs.resize(n);
    out.children.clear();
    if (!out.leaf()) {
        if (size_t{n} * (L + 8) > kInteriorSpace)
            return bad("holds more keys than fit in a node");
        if (n == 0)
            return bad("is an interior node without keys");
        out.children.resize(n);
        const uint8_t* p = page + 12;
        for (uint32_t i = 0; i < n; ++i, p += L + 8) {
            std::memcpy(out.key(i), p, L);
            out.recs[i] = getBe32(p + L);
            out.children[i] = getBe32(p + L + 4);
        }
        out.stored = 0;
        out.maxRec = 0;
        return checkOrder(out) ? Status::ok() : bad("holds keys out of order");
    }
    const uint32_t recMask = getLe32(page + 14);
    const uint32_t dupMask = page[18];
    const uint32_t trailMask = page[19];
    const uint32_t rb = page[20], db = page[21], tb = page[22], b = page[23];
    if (n == 0) {
        out.stored = 0;
        out.maxRec = 0;
        return Status::ok();
    }
    if (b < 1 || b > 8 || rb + db + tb != 8 * b || rb > 32 || db > 8 || tb > 8)
        return bad("has impossible entry widths");
    if (size_t{n} * b > kLeafSpace)
        return bad("holds more keys than fit in a node");
    const uint8_t* info = page + kLeafInfoStart;
    uint32_t low = kPageSize;  // lowest key byte used so far
    const uint32_t infoEnd = kLeafInfoStart + n * b;
    out.stored = 0;
    out.maxRec = 0;
    for (uint32_t i = 0; i < n; ++i, info += b) {
        uint64_t v = 0;
        for (uint32_t k = 0; k < b; ++k)
            v |= uint64_t{info[k]} << (8 * k);
        const uint32_t rec = static_cast<uint32_t>(v) & recMask;
        const uint32_t dup = static_cast<uint32_t>(v >> rb) & dupMask;
        const uint32_t trail = static_cast<uint32_t>(v >> (rb + db)) & trailMask;
        if (dup + trail > L)
            return bad("holds a key longer than the key length");
        if (i == 0 && dup != 0)
            return bad("starts with a compressed key");
        const uint32_t s = L - dup - trail;
        if (s > low - infoEnd)
            return bad("holds more key bytes than fit in a node");
        low -= s;
        uint8_t* k = out.key(i);
        if (dup)
            std::memcpy(k, out.key(i - 1), dup);
        std::memcpy(k + dup, page + low, s);
        std::memset(k + dup + s, fill, trail);
        out.recs[i] = rec;
        out.maxRec = std::max(out.maxRec, rec);
    }
    // The page's own compression may differ from ours; keep our measure.
    out.stored = 0;
    for (uint32_t i = 0; i < n; ++i)
        out.stored += storedLength(out.key(i), i ? out.key(i - 1) : nullptr, L, fill);
    return checkOrder(out) ? Status::ok() : bad("holds keys out of order");
}

void encodeNode(const Node& node, uint8_t fill, uint8_t* page) {
    std::memset(page, 0, kPageSize);
    const uint32_t L = node.keyLength;
    putLe16(page, node.attr);
    putLe16(page + 2, static_cast<uint16_t>(node.count));
    putLe32(page + 4, node.left);
    putLe32(page + 8, node.right);
    if (!node.leaf()) {
        uint8_t* p = page + 12;
        for (uint32_t i = 0; i < node.count; ++i, p += L + 8) {
            std::memcpy(p, node.key(i), L);
            putBe32(p + L, node.recs[i]);
            putBe32(p + L + 4, node.children[i]);
        }
        return;
    }
    std::vector<LeafEntry> entries(node.count);
    uint32_t prevTrail = 0;
    for (uint32_t i = 0; i < node.count; ++i) {
        const uint8_t* k = node.key(i);
        LeafEntry& e = entries[i];
        e.key = k;
        e.rec = node.recs[i];
        e.trail = trailCount(k, L, fill);
        e.dup = i ? commonPrefix(k, node.key(i - 1), std::min(L - e.trail, L - prevTrail)) : 0;
        prevTrail = e.trail;
    }
    writeLeafPage(page, node.attr, node.left, node.right, L, entries.data(), node.count);
}

void writeLeafPage(uint8_t* page, uint16_t attr, uint32_t left, uint32_t right, uint32_t keyLength,
                   const LeafEntry* entries, uint32_t count) {
    std::memset(page, 0, kPageSize);
    const uint32_t L = keyLength;
    putLe16(page, attr);
    putLe16(page + 2, static_cast<uint16_t>(count));
    putLe32(page + 4, left);
    putLe32(page + 8, right);
    uint32_t maxRec = 0;
    for (uint32_t i = 0; i < count; ++i)
        maxRec = std::max(maxRec, entries[i].rec);
    const uint32_t cb = countBits(L);
    const uint32_t b = infoBytes(maxRec, L);
    const uint32_t rb = 8 * b - 2 * cb;
    const uint32_t recMask = rb >= 32 ? 0xFFFFFFFFu : (1u << rb) - 1;
    uint8_t* info = page + kLeafInfoStart;
    uint32_t low = kPageSize;
    for (uint32_t i = 0; i < count; ++i, info += b) {
        const LeafEntry& e = entries[i];
        const uint32_t s = L - e.dup - e.trail;
        low -= s;
        std::memcpy(page + low, e.key + e.dup, s);
        const uint64_t v =
            uint64_t{e.rec} | (uint64_t{e.dup} << rb) | (uint64_t{e.trail} << (rb + cb));
        for (uint32_t j = 0; j < b; ++j)
            info[j] = static_cast<uint8_t>(v >> (8 * j));
    }
    putLe16(page + 12, static_cast<uint16_t>(low - (kLeafInfoStart + count * b)));
    putLe32(page + 14, recMask);
    page[18] = static_cast<uint8_t>((1u << cb) - 1);
    page[19] = static_cast<uint8_t>((1u << cb) - 1);
    page[20] = static_cast<uint8_t>(rb);
    page[21] = static_cast<uint8_t>(cb);
    page[22] = static_cast<uint8_t>(cb);
    page[23] = static_cast<uint8_t>(b);
}

}  // namespace cdx
