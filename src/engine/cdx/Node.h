#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/cdx/Status.h"

// One 512-byte page of a compound index, decoded.
//
// Node header (all nodes), little-endian:
//   0  u16 attributes: 0x01 root, 0x02 leaf (other bits ignored on read)
//   2  u16 number of keys
//   4  i32 left sibling offset, -1 none
//   8  i32 right sibling offset, -1 none
// Interior node: from 12, entries of key (L bytes, full, padded with the
//   fill byte) + record number (u32 BE) + child offset (u32 BE); entry i
//   holds the greatest (key, record) of child i's subtree.
// Leaf node:
//   12 u16 free bytes   14 u32 record mask   18 u8 dup mask   19 u8 trail mask
//   20 u8 RB   21 u8 DB   22 u8 TB   23 u8 B (bytes per info entry)
//   24 info entries (B bytes each, LE; from the low end: record number RB
//      bits, duplicate count DB bits, trailing count TB bits), and key bytes
//      growing down from the end of the page: for each key only the bytes
//      after the prefix it shares with the previous key and before its
//      trailing fill bytes.
namespace cdx {

constexpr uint32_t kPageSize = 512;
constexpr uint32_t kHeaderSize = 1024;
constexpr uint32_t kNoPage = 0xFFFFFFFFu;
constexpr uint16_t kAttrRoot = 0x01;
constexpr uint16_t kAttrLeaf = 0x02;
constexpr uint32_t kLeafSpace = 488;
constexpr uint32_t kInteriorSpace = 500;
constexpr uint32_t kLeafInfoStart = 24;

struct Node {
    uint32_t offset = 0;
    uint16_t attr = 0;
    uint32_t left = kNoPage;
    uint32_t right = kNoPage;
    uint32_t count = 0;
    uint32_t keyLength = 0;
    std::vector<uint8_t> keys;       // count * keyLength bytes, full keys
    std::vector<uint32_t> recs;      // record number of each key
    std::vector<uint32_t> children;  // interior only: child page of each key
    uint32_t stored = 0;             // leaf: key bytes the page stores
    uint32_t maxRec = 0;             // leaf: an upper bound of its record numbers
    bool dirty = false;

    bool leaf() const { return (attr & kAttrLeaf) != 0; }
    bool root() const { return (attr & kAttrRoot) != 0; }
    const uint8_t* key(uint32_t i) const { return keys.data() + size_t{i} * keyLength; }
    uint8_t* key(uint32_t i) { return keys.data() + size_t{i} * keyLength; }
    const uint8_t* lastKey() const { return key(count - 1); }
    uint32_t lastRec() const { return recs[count - 1]; }
};

// Bits for the duplicate and trailing counts of a key length.
uint32_t countBits(uint32_t keyLength);
// Bytes per info entry needed for record numbers up to maxRec (at least 3).
uint32_t infoBytes(uint32_t maxRec, uint32_t keyLength);
uint32_t commonPrefix(const uint8_t* a, const uint8_t* b, uint32_t cap);
uint32_t trailCount(const uint8_t* key, uint32_t keyLength, uint8_t fill);
// Key bytes a leaf stores for `key` after `prev` (nullptr: first of its node).
uint32_t storedLength(const uint8_t* key, const uint8_t* prev, uint32_t keyLength, uint8_t fill);
uint32_t interiorCapacity(uint32_t keyLength);

// Recomputes a leaf's stored bytes and record bound from its entries.
void recomputeLeaf(Node& node, uint8_t fill);
// Bytes a leaf occupies out of kLeafSpace.
inline uint32_t leafUsed(const Node& node) {
    return node.count * infoBytes(node.maxRec, node.keyLength) + node.stored;
}
bool nodeFits(const Node& node);

// Decodes and checks a page. `where` names the file for error texts.
Status decodeNode(const uint8_t* page, uint32_t offset, uint32_t keyLength, uint8_t fill, Node& out,
                  const std::string& where);
void encodeNode(const Node& node, uint8_t fill, uint8_t* page);

// One key of a leaf being written: dup bytes shared with the previous key,
// trail fill bytes at its end.
struct LeafEntry {
    const uint8_t* key;
    uint32_t rec;
    uint32_t dup;
    uint32_t trail;
};
void writeLeafPage(uint8_t* page, uint16_t attr, uint32_t left, uint32_t right, uint32_t keyLength,
                   const LeafEntry* entries, uint32_t count);

// Inserts or erases entry i of a node (keys, recs and, for interiors, children).
// A leaf's stored bytes and record bound follow along.
void nodeInsert(Node& node, uint32_t i, const uint8_t* key, uint32_t rec, uint32_t child,
                uint8_t fill);
void nodeErase(Node& node, uint32_t i, uint8_t fill);

}  // namespace cdx
