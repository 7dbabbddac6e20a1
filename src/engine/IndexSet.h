#pragma once

// The indexes of one table: its structural compound index (.cdx with the
// table's base name, opened with the table when the header's flag says one
// exists), further compound index files opened later, the current order with
// its key scope, and the upkeep of every tag whenever a record is written.
//
// Orders are numbered from 1 over the tags of the open files: the
// structural file's tags first, in creation order, then each further file's.
// Tag keys come from the tag's key expression evaluated on the record; a
// FOR expression, where the tag has one, decides whether the record is in
// the tag at all. Records marked deleted keep their keys.
//
// Index files of one table opened in several work areas of this process are
// shared, so that every area sees the others' changes.

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/Expression.h"
#include "engine/Settings.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"
#include "engine/cdx/Cursor.h"
#include "engine/cdx/IndexFile.h"

namespace qly::engine {

// A tag of a new structural index.
struct TagDef {
    std::string name;           // up to 10 characters
    std::string keyExpression;  // its result type and width fix the key
    std::string forExpression;  // "" = every record
    bool unique = false;
    bool descending = false;
};

// What dump and reindex tell of a tag.
struct TagInfo {
    std::string file;
    std::string name;
    std::string keyExpression;
    std::string forExpression;
    bool unique = false;
    bool descending = false;
    uint64_t keys = 0;  // counted only on request
};

// Tag definitions the program knows for its tables, by table file name
// (letter case does not matter), process-wide. A table's structural index
// that lacks one of them is damaged; a re-index rebuilds it with them, and
// from them alone where the index cannot be read at all.
void setKnownTags(const std::string& tableFile, std::vector<TagDef> tags);
// The definitions known for the table at path (by its file name); empty when none.
std::vector<TagDef> knownTags(const std::string& tablePath);

class IndexSet : public RecordObserver {
public:
    IndexSet(Table& table, const Settings* settings);
    ~IndexSet() override;
    IndexSet(const IndexSet&) = delete;
    IndexSet& operator=(const IndexSet&) = delete;

    // Opens the structural .cdx when the table's header says it has one.
    bool openStructural(std::string& error);
    // Opens a further compound index; the order number of its first tag, 0 on failure.
    int openFile(const std::string& path, std::string& error);

    int orderCount() const { return static_cast<int>(m_tags.size()); }
    int currentOrder() const { return m_current; }
    std::string tagName(int order) const;  // "" when there is no such order
    TagInfo tagInfo(int order, bool countKeys = false) const;
    int orderOf(const std::string& tag) const;     // 0 when none; letter case does not matter
    bool setOrder(int order, std::string& error);  // 0 = record order
    // The current order for the work area; nullptr in record order.
    RecordOrder* order();

    // Looks the key up in the current order: recno receives the first record
    // with a key at or after it (0 = none), found whether its key begins with it.
    bool seek(const std::string& key, uint32_t& recno, bool& found, std::string& error);
    // Does the record's key in the current order begin with key (as seek reads it)?
    bool keyMatches(const char* image, uint32_t recno, const std::string& key, bool& matches,
                    std::string& error);
    // Keeps the keys from low to high in the current order; an empty low removes it.
    bool setScope(const std::string& low, const std::string& high, std::string& error);
    bool hasScope() const { return m_scoped; }

    // Rebuilds every open index file from the table (which must be open
    // exclusively). The structural one keeps its tags, corrected by the
    // table's known tags (a tag whose name was lost is found by its key
    // expression; a missing one is added); a table with known tags and no
    // structural index gets one.
    bool reindex(std::string& error);
    // Is there anything reindex would build?
    bool canReindex() const;
    // Rebuilds the structural index of a table open exclusively (and in no
    // work area) from the table alone: from the tags of its index where that
    // can be read, corrected by the known tags as reindex does, else from the
    // known tags. report tells what was done, in a sentence.
    static bool rebuildStructural(Table& table, const Settings* settings, std::string& report,
                                  std::string& error);
    // Writes changed index pages; sync also forces them to disk.
    bool flush(bool sync, std::string& error);
    // Each tag against the table: the tree is sound, and every record's key is
    // there exactly once where it belongs (FOR, unique), and nothing else.
    bool verify(std::string& error);

    bool recordWritten(uint32_t recno, const char* oldImage, const char* newImage,
                       std::string& error) override;
    // In a shared table, record writes change the index files under their locks.
    bool beginWrite(std::string& error) override;
    bool endWrite(std::string& error) override;
    // In a shared table, re-reads index files another writer changed, at most
    // once per recheck interval.
    bool recheck(std::string& error);

    // Creates the structural index of a table that has none yet and sets the
    // table's flag. The table must hold no records.
    static bool createStructural(Table& table, const std::vector<TagDef>& tags,
                                 const Settings* settings, std::string& error);

    struct OpenTag;
    class TagOrder;

private:
    // An order-free digest of (key, record) entries: two sums of independent
    // 64-bit mixes, so that a lost, added or changed entry shows.
    struct KeyDigest {
        uint64_t a = 0;
        uint64_t b = 0;
        uint64_t count = 0;
        void add(const uint8_t* key, size_t length, uint32_t rec);
        bool operator==(const KeyDigest& o) const {
            return a == o.a && b == o.b && count == o.count;
        }
    };

    bool addFile(std::shared_ptr<cdx::IndexFile> file, std::string& error);
    // The tag's key of a record; included tells whether the FOR expression keeps it.
    void makeKey(OpenTag& tag, const char* image, uint32_t recno, std::string& key, bool& included,
                 bool ignoreCondition);
    void makeKeyInto(OpenTag& tag, const char* image, uint32_t recno, char* key, bool& included,
                     bool ignoreCondition);
    // The lowest record other than except whose key in tag is key (0: none).
    bool lowestWithKey(OpenTag& tag, const std::string& key, uint32_t except, uint32_t& found,
                       std::string& error);
    bool searchKey(const OpenTag& tag, const std::string& text, bool exact, std::string& key,
                   std::string& error) const;
    bool rebuildFile(size_t index, std::string& error);
    // verify's slow path for a tag whose entries differ from the table's:
    // finds the record whose key is wrong.
    bool verifyByRecord(OpenTag& tag, uint64_t entries, std::string& error);
    // Builds an index file holding tags, from every record, beside path and
    // then in its place. unsynced receives the error of syncing the folder
    // after the rename ("" when it was synced): the file is in place anyway.
    // digests, when given, receives each tag's digest of the keys written
    // (unique tags left out), by file and upper-case tag name, for verify.
    using Digests = std::map<std::pair<std::string, std::string>, KeyDigest>;
    static bool writeIndex(Table& table, const std::string& path, bool structural,
                           const std::vector<TagDef>& tags, const Settings* settings,
                           std::string& unsynced, std::string& error, Digests* digests = nullptr);
    // The damage message for an entry naming a record the table does not have.
    std::string badRecordText(const OpenTag& tag, uint32_t recno) const;

    Table& m_table;
    const Settings* m_settings;
    std::vector<std::shared_ptr<cdx::IndexFile>> m_files;
    std::vector<std::unique_ptr<OpenTag>> m_tags;
    int m_current = 0;
    std::unique_ptr<TagOrder> m_order;
    bool m_scoped = false;
    std::string m_low;
    std::string m_high;
    std::string m_scratch;
    std::chrono::steady_clock::time_point m_checked{};
    size_t m_changing = 0;  // index files locked by beginWrite
    // The keys the last re-index took from the table, by file and tag name,
    // and the table's write count and records then.
    Digests m_rebuilt;
    uint64_t m_rebuiltGeneration = 0;
    uint32_t m_rebuiltCount = 0;
};

// Creates a table and, with tags, its structural index. Fails when a file
// exists; leaves nothing behind when it fails.
bool createTable(const std::string& path, const std::vector<Field>& fields,
                 const std::vector<TagDef>& tags, const Settings& settings, std::string& error);

}  // namespace qly::engine
