#pragma once

// The xb_ surface of the xBase engine: numbered work areas over FoxPro 2.x
// tables (.dbf with .fpt memos and, later, a structural .cdx), one current
// area, engine-wide settings. A thin layer over the classes in engine/
// (Engine, Table, MemoFile, Expression).
//
// Conventions at this surface:
// - Booleans pass as -1 (true) and 0 (false); functions documented as
//   "boolean" return -1 for success and 0 for failure.
// - Every failure leaves a readable text in xb_LastError() (cleared by the
//   next call that succeeds is NOT guaranteed: read it right after a failure).
// - Field arguments are field names, matched without regard to letter case.
// - Nothing here throws; all functions act on the current work area unless
//   they say otherwise, and fail (0 / "" / error text) when none is open.
// - Single-threaded: call from one thread only.

#include <string>
#include <vector>

// ---------------------------------------------------------------------------
// Constants

// Open modes of xb_Use.
constexpr int kXbModeShared = 0;
constexpr int kXbModeReadOnly = 1;
constexpr int kXbModeExclusive = 2;

// Drivers of xb_Use: 2 is FoxPro (.cdx/.fpt). 1 (NTX) and 3 (NSX) are
// accepted and treated as 2 for reading the .dbf and its memo file.
constexpr int kXbDriverNtx = 1;
constexpr int kXbDriverFox = 2;
constexpr int kXbDriverNsx = 3;

// Kinds of xb_Replace.
constexpr int kXbReplaceText = 1024;  // text, converted to the field's type
constexpr int kXbReplaceDateText =
    1056;  // date text "mm/dd/yy" (also "mm/dd/yyyy"; blank = empty date)
constexpr int kXbReplaceLogical = 128;  // logical: nonzero / "T", ".T.", "Y" = true
constexpr int kXbReplaceDouble = 8;     // double, formatted to the field's width and decimals

// Results of xb_AppendEx.
constexpr int kXbAppendOk = 0;          // a blank record was added and is current
constexpr int kXbAppendLockFailed = 1;  // the header lock was not obtained within the lock time-out
constexpr int kXbAppendNoTable = 2;     // no table open in the current area
constexpr int kXbAppendWriteFailed = 3;     // the file could not be written (disk full, I/O error)
constexpr int kXbAppendTooManyRecords = 4;  // the record count limit of the format was reached
constexpr int kXbAppendReadOnly =
    5;  // the table is open read-only (or its format is read-only here)
constexpr int kXbAppendIndexFailed = 6;  // an open index could not be updated

// Codes of xb_LastErrorCode: each kind of failure has its own; the text of
// xb_LastError names the file (or field, tag, expression) and the cause.
constexpr int kXbErrNone = 0;
constexpr int kXbErrRead = 1;        // a file could not be read, or holds damaged data
constexpr int kXbErrNoTable = 2;     // no table is open in the current work area
constexpr int kXbErrNoField = 3;     // no field by that name or number
constexpr int kXbErrAliasInUse = 4;  // xb_Use: another open area has the alias
constexpr int kXbErrArgument = 5;    // an argument out of its range (mode, kind, record number)
constexpr int kXbErrExpression = 6;  // an expression does not compile or cannot be evaluated
constexpr int kXbErrClose = 7;       // closing could not write the pending changes
constexpr int kXbErrIndex = 8;       // an index cannot be opened, used, updated or checked
constexpr int kXbErrOpen = 9;        // xb_Use: the table was not opened (missing, damaged, in use)
constexpr int kXbErrLocked = 10;     // another user holds the lock (lock time-out passed)
constexpr int kXbErrWrite = 11;      // a file could not be written (disk full, I/O error)
constexpr int kXbErrReadOnly = 12;   // the table is open read-only, or may not be written
constexpr int kXbErrTableFull = 13;  // the record count or size limit of the format
constexpr int kXbErrValue = 14;      // a value does not fit its field, or a field of another type
constexpr int kXbErrNoRecord = 15;   // no current record (end of file)
constexpr int kXbErrCreate = 16;     // xb_Create: the files were not made

// Date formats of xb_SetDateFormat.
constexpr int kXbDateAmerican = 0;  // mm/dd/yy
constexpr int kXbDateAnsi = 1;      // yy.mm.dd
constexpr int kXbDateBritish = 2;   // dd/mm/yy
constexpr int kXbDateFrench = 3;    // dd/mm/yy
constexpr int kXbDateGerman = 4;    // dd.mm.yy
constexpr int kXbDateItalian = 5;   // dd-mm-yy
constexpr int kXbDateSpanish = 6;   // dd-mm-yy
constexpr int kXbDateSystem = 99;   // the system's short date (xb_SetSystemDateFormat)

// ---------------------------------------------------------------------------
// Start and end

void xb_SetStringType(int type);  // accepted for compatibility; strings are std::string
void xb_ErrorLevel(int level);    // accepted for compatibility; errors never abort
std::string xb_Version();         // non-empty
void xb_CloseAll();               // closes every work area (commits pending changes)

// Last error of any xb_ call, in plain words ("" when the last failing call
// left none). xb_LastErrorCode: kXbErrNone, otherwise one of the kXbErr*
// codes above.
std::string xb_LastError();
int xb_LastErrorCode();
void xb_ClearError();

// ---------------------------------------------------------------------------
// Work areas

// Opens a table (path to the .dbf; letter case of the name need not match;
// ".dbf" is added when the name has no extension). alias "" makes one from
// the file name (upper case, unique among open areas). mode: kXbMode*.
// Returns the new area number (>= 1) and makes it current, 0 when not opened
// (xb_LastError says why, e.g. the table is open exclusively elsewhere).
int xb_Use(const std::string& path, const std::string& alias, int mode, int driver);
int xb_Select(int area);                         // makes area current, returns the previous one
int xb_WorkArea(const std::string& alias = {});  // alias -> its area or 0; "" -> current area
std::string xb_Alias();                          // alias of the current area, "" if none
int xb_Close();                                  // closes the current area; boolean
// Why the current area refuses writes: "" when it takes them (an area opened
// shared or exclusively on a file the process may not write opens for
// reading only; so does a format this engine only reads).
std::string xb_ReadOnlyReason();

// ---------------------------------------------------------------------------
// Moving (within the current order, scope, filter and the deleted setting).
// Each returns a boolean: -1 done, 0 failed (no table, I/O error).

int xb_GoTop();
int xb_GoBottom();
int xb_Skip(long n);
int xb_Go(long recno);  // goes to a physical record, ignoring filter and order; out of range -> Eof
long xb_RecNo();        // current record number; RecCount()+1 at Eof of an empty/ended set
int xb_Bof();
int xb_Eof();
int xb_Deleted();  // current record is marked deleted

// ---------------------------------------------------------------------------
// Structure

int xb_RecSize();                            // record length incl. the deletion flag
std::string xb_GetRecord();                  // the current record image (RecSize bytes)
int xb_PutRecord(const std::string& image);  // replaces the current record image; boolean
// A whole-record change, written at once: after xb_BeginRecord the
// xb_Replace / xb_PutMemo / xb_PutBlob calls build a copy of the current
// record instead of writing it (memos go to new blocks of the memo file at
// once); xb_PostRecord writes the copy in one write and then its keys. A
// failure at any step leaves the stored record as it was. xb_CancelRecord,
// a move or a failed xb_PostRecord drops the copy. Booleans.
int xb_BeginRecord();
int xb_PostRecord();
void xb_CancelRecord();
int xb_FieldCount();
std::string xb_FieldName(int n);  // 1-based
char xb_FieldType(int n);         // 'C','N','F','D','L','M','G','B','P'; 0 if no such field
int xb_FieldWidth(int n);
int xb_FieldDecimals(int n);
int xb_FieldOffset(int n);                 // offset in the record image (first field at 1)
int xb_FieldNum(const std::string& name);  // 1-based, 0 if no such field

// Field list for creating a table.
struct XbFieldDef {
    std::string name;  // up to 10 characters; stored in upper case
    char type = 'C';   // C N F D L M (G B P as memo-file blobs)
    int width = 0;     // ignored for D (8), L (1), M/G/B/P (10)
    int decimals = 0;
};

// Creates a new table (.dbf, and its .fpt when a memo/blob field exists,
// with the block size of xb_SetMemoBlockSize). Fails when the file exists.
// Does not open it. Boolean.
int xb_Create(const std::string& path, const std::vector<XbFieldDef>& fields);

// A tag of a new table's structural index (.cdx with the table's base name).
struct XbTagDef {
    std::string name;           // up to 10 characters
    std::string keyExpression;  // its type and width fix the key
    std::string forExpression;  // "" = every record
    bool unique = false;        // one record per key value
    bool descending = false;
};

// Creates the table as above and its structural index with these tags (none:
// no index). Boolean; leaves no file behind when it fails.
int xb_Create(const std::string& path, const std::vector<XbFieldDef>& fields,
              const std::vector<XbTagDef>& tags);

// ---------------------------------------------------------------------------
// Field values of the current record (by field name)

std::string xb_GetString(
    const std::string& field);  // raw field text as stored (memo: the memo text)
std::string xb_GetTrimString(
    const std::string& field);                // same, trailing blanks removed (N: both sides)
int xb_GetLogical(const std::string& field);  // -1 / 0
std::string xb_GetDateString(
    const std::string& field);                  // in the current date format; "" for an empty date
double xb_GetDouble(const std::string& field);  // numeric value (0 for blank)
std::string xb_GetMemo(const std::string& field);  // memo text, "" when none
void xb_MemDealloc(std::string& memo);             // releases a memo's memory (clears it)
std::string xb_GetBlob(const std::string& field);  // memo-file blob bytes (M, G, B, P)
long xb_GetBlobLength(const std::string& field);
int xb_Empty(const std::string& field);  // -1 when blank (spaces, empty memo, empty date)

// Replace: kind kXbReplace*. Booleans. A value that does not fit the field
// (text too long, number too wide, bad date) is refused, nothing written.
int xb_Replace(const std::string& field, int kind, const std::string& value);
int xb_Replace(const std::string& field, int kind, double value);
int xb_PutMemo(const std::string& field, const std::string& text);
int xb_PutBlob(const std::string& field, const std::string& data);

// ---------------------------------------------------------------------------
// Changes

int xb_AppendEx();          // kXbAppend* result
int xb_Delete();            // marks the current record deleted; boolean
int xb_Recall();            // clears the mark; boolean
int xb_Commit();            // flushes; writes record count and last-update date; boolean
int xb_Rlock(long recno);   // nonzero (-1) when locked; the current record is read again
int xb_Unlock(long recno);  // 0 = all; boolean

// ---------------------------------------------------------------------------
// Order, filter, seek. A table's structural .cdx opens with it; orders are
// numbered from 1 over its tags (creation order), then those of files opened
// by xb_IndexOpen. A table opens in record order (0). Seek and scope keys are
// text: for character tags a prefix (the whole key with exact comparison on),
// numbers as digits, dates in the date format or as YYYYMMDD, logicals T/F.
// The scope belongs to the current order; changing the order removes it.
// Every append, replace and delete updates every tag of every open index.

int xb_IndexOpen(const std::string& file);  // -> order number, 0 failed
int xb_SetOrder(int order);                 // boolean; 0 = record order
int xb_IndexOrd();                          // current order number, 0 = record order
std::string xb_TagName(int order);          // "" if none
int xb_TagArea(const std::string& tag);     // -> order number, 0 if none
int xb_Seek(const std::string& key);        // -1 found, 0 not found / failed
int xb_SetScope(const std::string& low, const std::string& high);  // boolean; empty low removes
int xb_Reindex();
// For a table that is not open: when its structural index cannot be used
// (missing, unreadable, lacking a known tag), rebuilds it from the table
// alone, with the tags given by xb_SetKnownTags where the index cannot be
// read. -1 when it was rebuilt; 0 when it was sound (xb_LastError "") or
// could not be rebuilt (xb_LastError says why). Needs the table exclusively.
int xb_RepairIndex(const std::string& path);
// The tags a table is known to have, by its file name (letter case does not
// matter), for every later open and re-index; none forgets them.
void xb_SetKnownTags(const std::string& tableFile, const std::vector<XbTagDef>& tags);
// Checks every tag of the open indexes against the table; boolean (0: the
// index is wrong, xb_LastError says where).
int xb_Verify();                              // boolean
int xb_Query(const std::string& expression);  // boolean; "" removes the filter; a bad
                                              // expression returns 0 and keeps the old one
std::string xb_DBFilter();                    // current filter expression
long xb_QueryRecCount();  // records that pass the filter (and the deleted setting)
long xb_RecCount();       // records in the file, deleted included
long xb_Count();          // the count shown to the user: visible records

// ---------------------------------------------------------------------------
// Engine-wide settings. The Set functions taking a boolean return the
// previous value (-1/0).

int xb_SetCentury(int on);
int xb_SetDeleted(int on);  // on: deleted records are skipped and not counted
int xb_SetExact(int on);    // off (start): text = compares the right operand's length
int xb_SetSoftSeek(int on);
int xb_SetDateFormat(int format);    // kXbDate*; returns the previous format, -1 if refused
int xb_SetEpoch(int year);           // returns the previous epoch
int xb_SetLockTimeout(int seconds);  // returns the previous value
int xb_SetMemoBlockSize(
    int size);  // for new memo files (0 -> 1, 1..32 -> n*512, >=33 bytes); returns previous
int xb_SetTurboRead(int on);  // current area; returns the previous value
// The short date format of format 99, in the letters d dd m mm yy yyyy with
// one separator ("m/d/yy" at start unless the environment's locale gives one).
void xb_SetSystemDateFormat(const std::string& pattern);
std::string xb_DateFormatPattern();  // the pattern in force (century applied), e.g. "dd.mm.yyyy"

// ---------------------------------------------------------------------------
// Describing the open table (listings such as qlyctl dump)

struct XbTableInfo {
    std::string path;      // the table file as opened (letter case resolved)
    int version = 0;       // the header's version byte
    int flags = 0;         // the header's table flags byte
    long recordCount = 0;  // records in the file, deleted included
    int recordLength = 0;  // incl. the deletion flag
    int orderCount = 0;    // tags of the open indexes (orders 1..orderCount)
};
int xb_TableInfo(XbTableInfo& info);  // the current area's table; boolean

struct XbTagInfo {
    std::string file;  // the index file holding the tag
    std::string name;
    std::string keyExpression;
    std::string forExpression;  // "" = every record
    bool unique = false;
    bool descending = false;
    unsigned long long keys = 0;  // counted only when asked (a walk of the tag)
};
// The tag of an order (1..orderCount) of the current area; boolean.
int xb_TagInfo(int order, XbTagInfo& info, bool countKeys = false);

// Evaluates an expression on the current record and returns its value as
// text (numbers plainly, dates in the current format, logicals ".T."/".F.");
// "" and an error text when it is malformed.
std::string xb_EvalString(const std::string& expression);
