#pragma once

// A FoxPro 2.x table file (.dbf) with its memo file.
//
// DBF layout:
//   header, 32 bytes: version (0x03 no memo, 0xF5 FoxPro with memo; 0x30..0x32
//     Visual FoxPro and 0x83 dBASE III with .dbt are read only here), last
//     update YY MM DD (year - 1900), record count u32 LE at 4, header length
//     u16 LE at 8, record length u16 LE at 10, table flags at 28 (0x01: a
//     structural .cdx exists), code page mark at 29.
//   field descriptors, 32 bytes each: name (11, NUL padded), type, offset
//     u32 LE, width, decimals; ended by 0x0D (Visual FoxPro adds a 263-byte
//     backlink; the header length tells where records start).
//   records: deletion flag (' ' or '*') and the fields, no separators; then
//     one 0x1A.
//
// Every change of a record goes through writeRecord() or appendRecord(), which
// pass the old and new images to the record observer (index maintenance).
// The record count in the header is written only after the record bytes, so
// count, data and the end mark agree at every point.

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/Field.h"
#include "engine/File.h"
#include "engine/MemoFile.h"

namespace qly::engine {

// Told of every record written; the index layer keeps its tags in step here.
class RecordObserver {
public:
    virtual ~RecordObserver() = default;
    // After the record image was written. oldImage is null for an appended
    // record. Returning false reports a failure (error set).
    virtual bool recordWritten(uint32_t recno, const char* oldImage, const char* newImage,
                               std::string& error) = 0;
    // Around every record write: beginWrite before the record is written (a
    // false result refuses the write), endWrite after recordWritten or a
    // failed write (a false result reports an index failure).
    virtual bool beginWrite(std::string& /*error*/) { return true; }
    virtual bool endWrite(std::string& /*error*/) { return true; }
};

class Table {
public:
    enum class Mode { Shared = 0, ReadOnly = 1, Exclusive = 2 };

    // Results of appendRecord (the xb_AppendEx codes).
    static constexpr int kAppendOk = 0;
    static constexpr int kAppendLockFailed = 1;
    static constexpr int kAppendWriteFailed = 3;
    static constexpr int kAppendTooMany = 4;
    static constexpr int kAppendReadOnly = 5;
    static constexpr int kAppendIndexFailed = 6;

    static constexpr uint8_t kVersionPlain = 0x03;
    static constexpr uint8_t kVersionFoxMemo = 0xF5;
    static constexpr uint8_t kFlagStructuralCdx = 0x01;

    // Opens a table; the name is resolved without regard to letter case.
    static std::unique_ptr<Table> open(const std::string& path, Mode mode, std::string& error);
    // Creates a table and, when it has memo/blob fields, its .fpt. Fails when
    // either file exists. Field offsets are computed here.
    static bool create(const std::string& path, std::vector<Field> fields, int memoBlockSize,
                       std::string& error);

    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    const std::string& path() const { return m_path; }
    Mode mode() const { return m_mode; }
    bool writable() const { return m_writable; }
    // Why writes are refused ("" when writable).
    const std::string& readOnlyReason() const { return m_readOnlyReason; }
    uint8_t version() const { return m_version; }
    uint8_t flags() const { return m_flags; }
    bool setFlags(uint8_t flags, std::string& error);

    const std::vector<Field>& fields() const { return m_fields; }
    int fieldIndex(std::string_view name) const;  // -1 when none
    uint32_t recordCount() const { return m_count; }
    int recordLength() const { return m_recordLength; }
    uint32_t headerLength() const { return m_headerLength; }
    int lastUpdateYear() const;
    int lastUpdateMonth() const { return m_header[2]; }
    int lastUpdateDay() const { return m_header[3]; }

    // Re-reads the record count from the header (another process may append).
    bool refreshCount(std::string& error);

    void blankRecord(char* out) const;
    bool readRecord(uint32_t recno, char* out, std::string& error) const;
    // Reads up to count records from first into out; returns the number read.
    uint32_t readRecords(uint32_t first, uint32_t count, char* out) const;
    // The one place a stored record changes (replace, delete, recall, memo).
    bool writeRecord(uint32_t recno, const char* image, std::string& error);
    // Appends image as a new record; recno receives its number. kAppend* result.
    int appendRecord(const char* image, int lockTimeout, uint32_t& recno, std::string& error);
    // Appends count records (images one after another, recordLength() bytes
    // each) under one hold of the locks: one write of the records, one of
    // the header, one index change. first receives the first one's number.
    // All or none are appended (kAppendIndexFailed: all, keys not all kept).
    int appendRecords(const char* images, uint32_t count, int lockTimeout, uint32_t& first,
                      std::string& error);

    // Memo fields. block 0 = no memo.
    bool memoBlock(const char* record, const Field& field, uint32_t& block,
                   std::string& error) const;
    bool readMemo(const char* record, const Field& field, std::string& out,
                  std::string& error) const;
    bool memoLength(const char* record, const Field& field, uint32_t& length,
                    std::string& error) const;
    // Writes data to the memo file and points the field of record at it (the
    // caller then writes the record). Empty data clears the reference.
    bool writeMemo(char* record, const Field& field, const std::string& data, int lockTimeout,
                   std::string& error);

    // Several memos at once (one memo-file write): each names the record
    // image and field it belongs to and its data (not empty). The references
    // are set in the images (the caller then appends or writes them).
    struct MemoWrite {
        char* record;
        const Field* field;
        const std::string* data;
    };
    bool writeMemos(const std::vector<MemoWrite>& memos, int lockTimeout, std::string& error);

    // Writes the last-update date and flushes.
    bool commit(std::string& error);

    bool lockRecord(uint32_t recno, int timeoutSeconds);
    void unlockRecord(uint32_t recno);  // 0 = all
    bool isRecordLocked(uint32_t recno) const { return m_locks.count(recno) != 0; }

    void setObserver(RecordObserver* observer) { m_observer = observer; }
    RecordObserver* observer() const { return m_observer; }

private:
    Table() = default;
    bool load(std::string& error);
    bool checkWritable(std::string& error) const;
    bool writeCountAndDate(uint32_t count, std::string& error);
    // Size and modification time of the .dbf, to tell whether another
    // process wrote it since a read-ahead.
public:
    bool fileStamp(int64_t& size, int64_t& mtimeNs) const;
    // Counts the writes to this file through any Table of this process.
    uint64_t writeGeneration() const { return *m_generation; }

private:
    uint64_t recordOffset(uint32_t recno) const {
        return m_headerLength +
               static_cast<uint64_t>(recno - 1) * static_cast<uint64_t>(m_recordLength);
    }

    std::string m_path;
    Mode m_mode = Mode::Shared;
    File m_file;
    MemoFile m_memo;
    bool m_writable = false;
    bool m_modified = false;
    std::string m_readOnlyReason;
    unsigned char m_header[32] = {};
    uint8_t m_version = 0;
    uint8_t m_flags = 0;
    uint32_t m_count = 0;
    uint32_t m_headerLength = 0;
    int m_recordLength = 0;
    bool m_binaryMemoRefs = false;  // Visual FoxPro: 4-byte references
    std::vector<Field> m_fields;
    std::set<uint32_t> m_locks;
    RecordObserver* m_observer = nullptr;
    std::shared_ptr<uint64_t> m_generation;
    mutable std::string m_lastFieldName;
    mutable int m_lastFieldIndex = -1;
};

}  // namespace qly::engine
