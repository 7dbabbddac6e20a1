#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "engine/cdx/KeyCodec.h"
#include "engine/cdx/Node.h"
#include "engine/cdx/NodeMap.h"
#include "engine/cdx/Status.h"

// One tag of a compound index: a 1024-byte tag header and a B-tree of
// 512-byte nodes (see Node.h).
//
// Tag header (the compound header at offset 0 has the same layout and
// describes the tag directory, whose keys are the tag names):
//   0   u32 root node offset          4   u32 free list (written 0, ignored)
//   8   u32 reserved (0)              12  u16 key length (1-240)
//   14  u8  options: 0x01 unique, 0x08 FOR clause, 0x20 compact,
//           0x40 compound, 0x80 structural (compound header only)
//   15  u8  signature 0x01
//   494 8 bytes collation name (zero = machine order)
//   502 u16 1 = descending          504 u16 FOR expression offset in the pool
//   506 u16 FOR length incl. NUL    508 u16 key expression offset in the pool
//   510 u16 key expression length incl. NUL
//   512 expression pool: key text, NUL, FOR text, NUL
// Keys are compared as unsigned bytes; equal keys are ordered by record
// number. A descending tag is stored ascending and walked backwards.
namespace cdx {

class IndexFile;

constexpr uint8_t kOptUnique = 0x01;
constexpr uint8_t kOptFor = 0x08;
constexpr uint8_t kOptCompact = 0x20;
constexpr uint8_t kOptCompound = 0x40;
constexpr uint8_t kOptStructural = 0x80;

// What a new tag is made of.
struct TagSpec {
    std::string name;  // up to 10 characters: letter or _, then letters, digits, _
    std::string keyExpression;
    std::string forExpression;  // "" = every record
    uint32_t keyLength = 10;    // 1-240; 8 for numeric and date keys, 1 for logical
    KeyType keyType = KeyType::Character;
    bool unique = false;
    bool descending = false;
};

// A place in a tag's leaves: entry `index` of leaf page `leaf`.
struct TagPos {
    uint32_t leaf = kNoPage;
    uint32_t index = 0;
    bool valid() const { return leaf != kNoPage; }
};

class Tag {
public:
    Tag(IndexFile* file, uint32_t headerOffset);

    const std::string& name() const { return m_name; }
    const std::string& keyExpression() const { return m_keyExpr; }
    const std::string& forExpression() const { return m_forExpr; }
    uint32_t keyLength() const { return m_keyLength; }
    uint32_t headerOffset() const { return m_headerOffset; }
    uint8_t options() const { return m_options; }
    bool unique() const { return (m_options & kOptUnique) != 0; }
    bool hasFor() const { return !m_forExpr.empty(); }
    bool descending() const { return m_descending; }
    // False for a tag built under a collation other than machine order:
    // such a tag can be neither searched nor updated here, only rebuilt.
    bool machineCollation() const { return m_machine; }
    uint8_t fillByte() const { return m_fill; }
    // The key type follows from the key expression, which the engine
    // evaluates; it decides the fill byte (blank for character keys).
    void setKeyType(KeyType type);
    // Changes with every update of the tag's entries.
    uint64_t version() const { return m_version; }

    // Adds (key, rec); key is keyLength() bytes. A unique tag that already
    // holds the key, or a tag that already holds the pair, is left as it is
    // and *inserted is false.
    Status insert(const uint8_t* key, uint32_t rec, bool* inserted = nullptr);
    // Removes (key, rec); NotFound when the tag does not hold the pair.
    Status remove(const uint8_t* key, uint32_t rec);
    Status contains(const uint8_t* key, uint32_t rec, bool* found);
    // Replaces every entry with n (key, rec) pairs given in any order:
    // keys is n * keyLength() bytes. A unique tag keeps the lowest record
    // number of each key.
    Status build(const uint8_t* keys, const uint32_t* recs, size_t n);
    // Walks the whole tree: well-formed nodes, keys in order, separators
    // and sibling links right. *entries receives the number of keys.
    Status check(uint64_t* entries = nullptr);

    // Physical walking, ascending, for Cursor. An invalid position is the
    // end. prefixLen compares only the first bytes of keys.
    Status first(TagPos& pos);
    Status last(TagPos& pos);
    Status next(TagPos& pos);
    Status prev(TagPos& pos);
    // First entry whose key prefix is >= key (upper: > key); with withRec
    // the record number breaks ties.
    Status lowerBound(const uint8_t* key, uint32_t len, bool withRec, uint32_t rec, bool upper,
                      TagPos& pos);
    Status entryAt(const TagPos& pos, const uint8_t** key, uint32_t* rec);

    // Loads the header; used by IndexFile.
    Status readHeader();
    Status flush();
    // Writes a complete new header for tagSpec with an empty root leaf.
    static void encodeHeader(const TagSpec& tagSpec, uint8_t options, uint32_t root,
                             uint8_t* header);

private:
    friend class IndexFile;

    struct PathStep {
        Node* node;
        uint32_t index;
    };
    struct LevelNode {
        uint32_t offset;
        uint32_t left;
        uint32_t right;
    };
    struct CheckState {
        std::unordered_set<uint32_t> seen;
        std::vector<std::vector<LevelNode>> levels;
        uint64_t entries = 0;
        int leafDepth = -1;
    };

    Status node(uint32_t offset, Node*& out);
    Status usable() const;
    Status writable() const;
    Status trimCache();
    static size_t nodeBytes(const Node& n);
    void dropNode(uint32_t offset);
    void forgetAll();
    Status descend(const uint8_t* key, uint32_t len, bool withRec, uint32_t rec, bool upper,
                   std::vector<PathStep>& path);
    Status normalize(TagPos& pos);
    Status verifyPlace(const Node* leaf, uint32_t i, const uint8_t* key, uint32_t len, bool withRec,
                       uint32_t rec, bool upper);
    Status stepRight(TagPos& pos, Node* from);
    Status settleAfterInsert(std::vector<PathStep>& path, uint32_t hint);
    Status settleAfterRemove(std::vector<PathStep>& path);
    Status split(Node* n, uint32_t hint, Node*& right);
    Status unlink(Node* n);
    bool setSeparator(Node* parent, uint32_t j, const Node* child);
    Node* newNode(uint16_t attr);
    std::string where() const;
    std::string pageText(uint32_t offset) const;
    Status checkNode(uint32_t offset, uint32_t depth, const uint8_t* lowKey, uint32_t lowRec,
                     const uint8_t* highKey, uint32_t highRec, CheckState& st);

    IndexFile* m_file;
    uint32_t m_headerOffset;
    std::string m_name;
    std::string m_keyExpr;
    std::string m_forExpr;
    uint32_t m_keyLength = 0;
    uint8_t m_options = 0;
    bool m_descending = false;
    bool m_machine = true;
    uint8_t m_fill = 0x20;
    uint32_t m_root = kNoPage;
    bool m_rootDirty = false;
    uint64_t m_version = 0;
    NodeMap m_cache;
    size_t m_cacheBytes = 0;  // of the cached nodes, as counted when they came in
    std::vector<PathStep> m_searchPath;
    std::vector<uint32_t> m_dropped;
    Node* m_hot = nullptr;  // the node found last, looked up first
    uint32_t m_hotOffset = kNoPage;
};

}  // namespace cdx
