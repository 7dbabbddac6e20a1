#pragma once

// A table to and from a CSV file (RFC 4180, UTF-8, a header row of field
// names), shared by qlyctl export/import and the program's Import/Export
// dialog.
//
// Export writes the live records in record order: text without trailing
// blanks, dates as YYYY-MM-DD, numbers as stored (with a point), logicals as
// true/false, rich-text memos as their plain text (keepRtf: as stored). The
// file is replaced whole or left as it was.
//
// Import checks every row before it writes anything and gives every fault
// with its line and column; a clean file is appended after a backup archive
// of the table has been written next to it. Each table is opened in its own
// work area (shared), so a program that has the same table open sees the new
// records once it reads the table again.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qly::csv {

// Told how far a long run has come: done of total (rows or records), and the
// phase ("Checking", "Importing", "Exporting").
using Progress = std::function<void(const char* phase, size_t done, size_t total)>;

// The plain text of a stored memo when it is rich text (UTF-8), false when
// it is not; supplied by the caller, which has the rich-text reader.
using RichTextReader = std::function<bool(const std::string& stored, std::string& plainUtf8)>;

struct ExportOptions {
    bool keepRtf = false;
    // Fields written, in this order (names, any letter case); empty = all.
    std::vector<std::string> fields;
    RichTextReader richText;  // none: memos go out as stored
    Progress progress;
};

struct ExportResult {
    bool ok = false;
    std::string error;      // path and cause when !ok
    std::string tablePath;  // the table as the engine resolved it
    size_t records = 0;
};

ExportResult exportTable(const std::string& tablePath, const std::string& csvPath,
                         const ExportOptions& options);

struct Fault {
    int line = 0;
    int column = 0;  // 0 = the row as a whole
    std::string text;
};

struct ImportOptions {
    bool dryRun = false;
    // Column (upper case, as in the header) -> field (upper case); an empty
    // field skips the column. A column not named here goes to the field of
    // its own name. A column named here that the header lacks is a fault.
    std::map<std::string, std::string> mapping;
    Progress progress;
};

struct ImportResult {
    enum class Outcome {
        Imported,  // rows appended (backup written first)
        Checked,   // dry run: every row fits, nothing written
        Refused,   // faults listed, nothing written
        Failed     // error says why; appended rows before it (backup in backupPath)
    };
    Outcome outcome = Outcome::Failed;
    std::vector<Fault> faults;
    std::string error;
    std::string tablePath;
    std::string backupPath;
    size_t rows = 0;      // data rows of the file
    size_t appended = 0;  // records written
};

ImportResult importTable(const std::string& tablePath, const std::string& csvPath,
                         const ImportOptions& options);

// "file:line:column: text" (or "file:line: text" for a whole row).
std::string faultLine(const std::string& csvPath, const Fault& fault);

// The header row of a CSV file (its column names, as written); false with
// error (path and cause) when it cannot be read or has no header.
bool readHeader(const std::string& csvPath, std::vector<std::string>& columns, std::string& error);

// The field names of a table, in file order.
bool tableFields(const std::string& tablePath, std::vector<std::string>& fields,
                 std::string& error);

// ---- Deleted records (a deletion marks a record; its bytes stay, the
// tables are never packed)

struct DeletedRecord {
    uint32_t recno = 0;
    // The fields that tell the record apart as a user knows it, with their
    // values (trailing blanks removed, control characters as blanks).
    std::vector<std::pair<std::string, std::string>> keys;
};

// The deleted records of a table in record order; false with error.
bool listDeleted(const std::string& tablePath, std::vector<DeletedRecord>& out,
                 std::string& resolvedPath, std::string& error);

struct RecallResult {
    bool ok = false;
    std::vector<std::string> faults;  // numbers that are no deleted record: nothing recalled
    std::string error;                // an engine failure (recalled says how many before it)
    std::string tablePath;
    std::vector<uint32_t> recalled;
};

// Recalls the records; every number is checked before any record changes.
RecallResult recallRecords(const std::string& tablePath, const std::vector<uint32_t>& recnos);

}  // namespace qly::csv
