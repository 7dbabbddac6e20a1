#pragma once

// A work area: one open table with its cursor (current record, Bof, Eof),
// its filter and its order.
//
// All movement goes through scan(): candidates come from the order (record
// order, or a RecordOrder such as an index tag with its scope) and a
// candidate is visible unless the deleted setting hides it or the filter
// rejects it. All changes go through change(), which locks the record in
// shared mode, re-reads it, applies the change and writes it through
// Table::writeRecord (where the record observer sees old and new images).

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/Expression.h"
#include "engine/Settings.h"
#include "engine/Table.h"

namespace qly::engine {

class IndexSet;

// An order of records other than record-number order (an index tag, with its
// scope). Record numbers; 0 = none.
class RecordOrder {
public:
    virtual ~RecordOrder() = default;
    virtual uint32_t first() = 0;
    virtual uint32_t last() = 0;
    virtual uint32_t next(uint32_t recno) = 0;
    virtual uint32_t prev(uint32_t recno) = 0;
    // A failure met while walking (damaged index); "" when none.
    virtual std::string error() const { return {}; }
};

class WorkArea {
public:
    WorkArea(int number, std::string alias, std::unique_ptr<Table> table, const Settings* settings);
    ~WorkArea();

    int number() const { return m_number; }
    const std::string& alias() const { return m_alias; }
    Table& table() { return *m_table; }
    const Table& table() const { return *m_table; }
    const Settings& settings() const { return *m_settings; }

    // Movement. false on an I/O failure (error set).
    bool goTop(std::string& error);
    bool goBottom(std::string& error);
    bool skip(long n, std::string& error);
    bool go(uint32_t recno, std::string& error);  // ignores filter and order
    // Goes to the first visible record from candidate on, in the current
    // order (0 = none: end of file).
    bool seekTo(uint32_t candidate, std::string& error);
    void goEof();
    uint32_t recno() const { return m_recno; }
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    // The current record's image. A move that needs no field of the record
    // (no filter, deleted records shown) reads nothing of the table: the
    // image is read when first asked for. loadRecord reports a failed read;
    // record() then gives a blank image.
    bool isDeleted() { return !m_eof && record()[0] == '*'; }
    const char* record() {
        if (m_pending) {
            std::string ignored;
            loadRecord(ignored);
        }
        return m_record.data();
    }
    bool loadRecord(std::string& error);
    bool visible(const char* image, uint32_t recno) const;

    // Filter: "" removes it; a bad expression keeps the old one.
    bool setFilter(const std::string& text, std::string& error);
    const std::string& filterText() const { return m_filter.text(); }
    bool hasFilter() const { return m_filter.isValid(); }
    // Records that are visible (filter, deleted setting, order's scope).
    bool countVisible(uint32_t& count, std::string& error);

    // The table's indexes (tags, current order, scope, upkeep).
    IndexSet& indexes() { return *m_indexes; }

    // Order: nullptr = record order. The area does not own it.
    void setOrder(RecordOrder* order) { m_order = order; }
    RecordOrder* order() const { return m_order; }

    bool turboRead() const { return m_turbo; }
    void setTurboRead(bool on);

    // Changes of the current record. A failed one tells what kind of failure
    // it met (Refused: the value or the call was refused before anything was
    // written).
    enum class Failure { Refused, NoRecord, ReadOnly, Locked, Read, Write };
    Failure lastFailure() const { return m_failure; }
    using Mutation = std::function<bool(char* image, std::string& error)>;
    bool change(const Mutation& mutate, std::string& error);
    int append(std::string& error);  // Table::kAppend* result
    bool setDeletedFlag(bool deleted, std::string& error);
    bool putRecord(const std::string& image, std::string& error);
    // Field by index: text in the field's own form (kind 1024), date text in
    // a pattern (kind 1056), double (kind 8), logical (kind 128).
    bool replaceText(int field, const std::string& text, std::string& error);
    bool replaceDate(int field, const std::string& text, const std::string& pattern,
                     std::string& error);
    bool replaceDouble(int field, double value, std::string& error);
    bool replaceLogical(int field, bool value, std::string& error);
    bool putMemo(int field, const std::string& data, std::string& error);

    // A whole-record change: after beginRecord, the replace and memo calls
    // above build a copy of the current record (memos are written to the
    // memo file at once, into new blocks, so the stored record still points
    // at its old ones); postRecord then writes that copy in one write and
    // updates the keys, cancelRecord drops it. Either ends the staging.
    bool beginRecord(std::string& error);
    bool postRecord(std::string& error);
    void cancelRecord() { m_staged.reset(); }
    bool staging() const { return m_staged != nullptr; }

    // Invalidates the read-ahead window (after writes through another area).
    void dropCache() { dropWindow(); }

private:
    bool scan(uint32_t candidate, int direction, uint32_t& found, std::string& error);
    uint32_t step(uint32_t recno, int direction);
    const char* fetch(uint32_t recno, int direction, std::string& error);
    void setEof();
    void beginCall();
    uint32_t windowCapacity();
    uint32_t readWindow(uint32_t first, uint32_t count);
    void dropWindow();
    const char* fetchBlock(uint32_t recno, uint32_t perBlock, std::string& error);
    bool refreshCount(std::string& error);
    // Whether telling a record visible needs its image.
    bool needsImage() const { return m_settings->deleted || m_filter.isValid(); }

    int m_number;
    std::string m_alias;
    std::unique_ptr<Table> m_table;
    std::unique_ptr<IndexSet> m_indexes;  // after m_table: goes first
    const Settings* m_settings;
    Expression m_filter;
    RecordOrder* m_order = nullptr;
    bool m_turbo = false;

    std::vector<char> m_record;
    std::unique_ptr<std::vector<char>> m_staged;  // the record being built
    uint32_t m_recno = 0;
    bool m_bof = true;
    bool m_eof = true;
    bool m_pending = false;  // m_record is still to be read for m_recno
    int m_pendingDirection = 1;
    // In an index order, records met one at a time are read alone; the block
    // of the last one, to notice when the order follows the file.
    std::vector<char> m_single;
    uint32_t m_lastSingleBlock = ~uint32_t{0};

    // Read-ahead window of records [m_windowFirst, m_windowFirst + m_windowCount).
    std::vector<char> m_window;
    uint32_t m_windowFirst = 0;
    uint32_t m_windowCount = 0;
    uint32_t m_windowRun = 0;  // records of the last window read; grows while reads go on
    // In an index order: small blocks of records by block number (records
    // [n * perBlock + 1, (n + 1) * perBlock]), the least recently used one
    // given up when they hold kMaxBlockBytes; all dropped with the window.
    static constexpr size_t kBlockBytes = 16 * 1024;
    static constexpr size_t kMaxBlockBytes = 64 * 1024 * 1024;
    struct Block {
        std::vector<char> records;
        std::list<uint32_t>::iterator use;
    };
    std::unordered_map<uint32_t, Block> m_blocks;
    std::list<uint32_t> m_blockUse;  // most recently used first
    size_t m_blockBytes = 0;
    int64_t m_windowFileSize = -1;  // the file's size and time when the window was read
    int64_t m_windowFileTime = -1;
    uint64_t m_windowGeneration = 0;
    std::chrono::steady_clock::time_point m_windowChecked;
    // When the record count was last read from the header, and the write
    // generation then.
    std::chrono::steady_clock::time_point m_countChecked;
    uint64_t m_countGeneration = ~uint64_t{0};
    Failure m_failure = Failure::Refused;
};

// Formats a number for an N/F field of width and decimals; false when it does not fit.
bool formatNumber(double value, int width, int decimals, char* out);

}  // namespace qly::engine
