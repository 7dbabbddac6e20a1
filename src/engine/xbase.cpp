// The xb_ surface: thin functions over Engine, WorkArea and Table.

#include "engine/xbase.h"

#include <cctype>
#include <cstdlib>

#include "engine/Dates.h"
#include "engine/Engine.h"
#include "engine/Expression.h"
#include "engine/IndexSet.h"

using qly::engine::Engine;
using qly::engine::Expression;
using qly::engine::Field;
using qly::engine::RecordView;
using qly::engine::Table;
using qly::engine::Value;
using qly::engine::WorkArea;

namespace {

constexpr int kTrue = -1;
constexpr int kFalse = 0;

const char* const kNoIndex = "No index is open in this work area";

int boolOf(bool b) {
    return b ? kTrue : kFalse;
}

// Starts an xb_ call: clears the last error.
Engine& begin() {
    Engine& e = Engine::instance();
    e.clearError();
    return e;
}

WorkArea* requireArea(Engine& e) {
    WorkArea* a = e.currentArea();
    if (!a)
        e.setError("No table is open in the current work area", kXbErrNoTable);
    return a;
}

int fail(Engine& e, const std::string& error, int code) {
    e.setError(error.empty() ? std::string("Operation failed") : error, code);
    return kFalse;
}

// The code of a failed change of the current record.
int changeFailure(const WorkArea& a) {
    switch (a.lastFailure()) {
        case WorkArea::Failure::Refused:
            return kXbErrValue;
        case WorkArea::Failure::NoRecord:
            return kXbErrNoRecord;
        case WorkArea::Failure::ReadOnly:
            return kXbErrReadOnly;
        case WorkArea::Failure::Locked:
            return kXbErrLocked;
        case WorkArea::Failure::Read:
            return kXbErrRead;
        case WorkArea::Failure::Write:
            break;
    }
    return kXbErrWrite;
}

// The code of a failed xb_AppendEx.
int appendFailure(int result) {
    switch (result) {
        case kXbAppendLockFailed:
            return kXbErrLocked;
        case kXbAppendNoTable:
            return kXbErrNoTable;
        case kXbAppendTooManyRecords:
            return kXbErrTableFull;
        case kXbAppendReadOnly:
            return kXbErrReadOnly;
        case kXbAppendIndexFailed:
            return kXbErrIndex;
        default:
            return kXbErrWrite;
    }
}

// The current area and the index of a field in it; nullptr when either is missing.
WorkArea* fieldOf(const std::string& name, int& index) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return nullptr;
    index = a->table().fieldIndex(name);
    if (index < 0) {
        e.setError("Field " + name + " is not found", kXbErrNoField);
        return nullptr;
    }
    std::string error;
    if (!a->loadRecord(error)) {
        e.setError(error, kXbErrRead);
        return nullptr;
    }
    return a;
}

// The current area with its record read; nullptr when there is none or the
// read failed (error set).
WorkArea* recordOf(Engine& e) {
    WorkArea* a = requireArea(e);
    std::string error;
    if (a && !a->loadRecord(error)) {
        e.setError(error, kXbErrRead);
        return nullptr;
    }
    return a;
}

const Field& fieldAt(WorkArea* a, int index) {
    return a->table().fields()[static_cast<size_t>(index)];
}

std::string rawField(WorkArea* a, const Field& f) {
    return std::string(a->record() + f.offset, static_cast<size_t>(f.width));
}

int32_t dateOf(WorkArea* a, const Field& f, bool& ok) {
    int32_t julian = 0;
    ok = qly::engine::julianFromStored(a->record() + f.offset, julian);
    return julian;
}

}  // namespace

// ---------------------------------------------------------------------------
// Start and end

void xb_SetStringType(int) {
    begin();
}
void xb_ErrorLevel(int) {
    begin();
}
std::string xb_Version() {
    return "Quillory xBase engine 1.0 (FoxPro 2.x tables)";
}
void xb_CloseAll() {
    begin().closeAll();
}
std::string xb_LastError() {
    return Engine::instance().lastError();
}
int xb_LastErrorCode() {
    return Engine::instance().lastErrorCode();
}
void xb_ClearError() {
    Engine::instance().clearError();
}

// ---------------------------------------------------------------------------
// Work areas

int xb_Use(const std::string& path, const std::string& alias, int mode, int driver) {
    Engine& e = begin();
    if (mode < kXbModeShared || mode > kXbModeExclusive)
        return fail(e, "Invalid open mode " + std::to_string(mode), kXbErrArgument);
    if (driver < kXbDriverNtx || driver > kXbDriverNsx)
        return fail(e, "Invalid driver " + std::to_string(driver), kXbErrArgument);
    return e.use(path, alias, static_cast<Table::Mode>(mode));
}

int xb_Select(int area) {
    return begin().select(area);
}

int xb_WorkArea(const std::string& alias) {
    Engine& e = begin();
    if (alias.empty())
        return e.current();
    return e.areaOf(alias);
}

std::string xb_Alias() {
    Engine& e = begin();
    WorkArea* a = e.currentArea();
    return a ? a->alias() : std::string();
}

std::string xb_ReadOnlyReason() {
    WorkArea* a = begin().currentArea();
    return a ? a->table().readOnlyReason() : std::string();
}

int xb_Close() {
    Engine& e = begin();
    if (!requireArea(e))
        return kFalse;
    return boolOf(e.close(e.current()));
}

// ---------------------------------------------------------------------------
// Moving

namespace {
template <typename F>
int move(F f) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    if (!f(*a, error))
        return fail(e, error, kXbErrRead);
    return kTrue;
}
}  // namespace

int xb_GoTop() {
    return move([](WorkArea& a, std::string& err) { return a.goTop(err); });
}
int xb_GoBottom() {
    return move([](WorkArea& a, std::string& err) { return a.goBottom(err); });
}
int xb_Skip(long n) {
    return move([n](WorkArea& a, std::string& err) { return a.skip(n, err); });
}

int xb_Go(long recno) {
    return move([recno](WorkArea& a, std::string& err) {
        if (recno < 1 || recno > 0xFFFFFFFFL)
            return a.go(0, err);
        return a.go(static_cast<uint32_t>(recno), err);
    });
}

long xb_RecNo() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    return a ? static_cast<long>(a->recno()) : 0;
}

int xb_Bof() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    return a ? boolOf(a->bof()) : kTrue;
}

int xb_Eof() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    return a ? boolOf(a->eof()) : kTrue;
}

int xb_Deleted() {
    Engine& e = begin();
    WorkArea* a = recordOf(e);
    return a ? boolOf(a->isDeleted()) : kFalse;
}

// ---------------------------------------------------------------------------
// Structure

int xb_RecSize() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    return a ? a->table().recordLength() : 0;
}

std::string xb_GetRecord() {
    Engine& e = begin();
    WorkArea* a = recordOf(e);
    if (!a)
        return {};
    return std::string(a->record(), static_cast<size_t>(a->table().recordLength()));
}

int xb_PutRecord(const std::string& image) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    return a->putRecord(image, error) ? kTrue : fail(e, error, changeFailure(*a));
}

int xb_BeginRecord() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    return a->beginRecord(error) ? kTrue : fail(e, error, changeFailure(*a));
}

int xb_PostRecord() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    return a->postRecord(error) ? kTrue : fail(e, error, changeFailure(*a));
}

void xb_CancelRecord() {
    WorkArea* a = Engine::instance().currentArea();
    if (a)
        a->cancelRecord();
}

namespace {
const Field* fieldByNumber(int n) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return nullptr;
    if (n < 1 || static_cast<size_t>(n) > a->table().fields().size()) {
        e.setError("Field number " + std::to_string(n) + " is out of range", kXbErrNoField);
        return nullptr;
    }
    return &a->table().fields()[static_cast<size_t>(n - 1)];
}
}  // namespace

int xb_FieldCount() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    return a ? static_cast<int>(a->table().fields().size()) : 0;
}

std::string xb_FieldName(int n) {
    const Field* f = fieldByNumber(n);
    return f ? f->name : std::string();
}

char xb_FieldType(int n) {
    const Field* f = fieldByNumber(n);
    return f ? f->type : '\0';
}

int xb_FieldWidth(int n) {
    const Field* f = fieldByNumber(n);
    return f ? f->width : 0;
}

int xb_FieldDecimals(int n) {
    const Field* f = fieldByNumber(n);
    return f ? f->decimals : 0;
}

int xb_FieldOffset(int n) {
    const Field* f = fieldByNumber(n);
    return f ? f->offset : 0;
}

int xb_FieldNum(const std::string& name) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return 0;
    return a->table().fieldIndex(name) + 1;
}

int xb_Create(const std::string& path, const std::vector<XbFieldDef>& fields) {
    Engine& e = begin();
    std::vector<Field> list;
    for (const XbFieldDef& d : fields) {
        Field f;
        f.name = d.name;
        f.type = d.type;
        f.width = d.width;
        f.decimals = d.decimals;
        list.push_back(f);
    }
    std::string error;
    if (!Table::create(path, list, e.settings().memoBlockSize, error))
        return fail(e, error, kXbErrCreate);
    return kTrue;
}

int xb_Create(const std::string& path, const std::vector<XbFieldDef>& fields,
              const std::vector<XbTagDef>& tags) {
    Engine& e = begin();
    std::vector<Field> list;
    for (const XbFieldDef& d : fields) {
        Field f;
        f.name = d.name;
        f.type = d.type;
        f.width = d.width;
        f.decimals = d.decimals;
        list.push_back(f);
    }
    std::vector<qly::engine::TagDef> defs;
    for (const XbTagDef& t : tags)
        defs.push_back(
            qly::engine::TagDef{t.name, t.keyExpression, t.forExpression, t.unique, t.descending});
    std::string error;
    if (!qly::engine::createTable(path, list, defs, e.settings(), error))
        return fail(e, error, kXbErrCreate);
    return kTrue;
}

// ---------------------------------------------------------------------------
// Field values

namespace {
std::string memoText(WorkArea* a, const Field& f) {
    std::string out, error;
    if (!a->table().readMemo(a->record(), f, out, error))
        fail(Engine::instance(), error, kXbErrRead);
    return out;
}
}  // namespace

std::string xb_GetString(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return {};
    const Field& f = fieldAt(a, i);
    if (f.isMemoRef())
        return memoText(a, f);
    return rawField(a, f);
}

std::string xb_GetTrimString(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return {};
    const Field& f = fieldAt(a, i);
    if (f.isMemoRef()) {
        std::string s = memoText(a, f);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
            s.pop_back();
        return s;
    }
    const char* p = a->record() + f.offset;
    size_t begin = 0, end = static_cast<size_t>(f.width);
    while (end > 0 && (p[end - 1] == ' ' || p[end - 1] == '\0'))
        --end;
    if (f.type == 'N' || f.type == 'F') {
        while (begin < end && p[begin] == ' ')
            ++begin;
    }
    return std::string(p + begin, end - begin);
}

int xb_GetLogical(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return kFalse;
    const Field& f = fieldAt(a, i);
    if (f.type != 'L')
        return fail(Engine::instance(), "Field " + f.name + " is not a logical field", kXbErrValue);
    char c = a->record()[f.offset];
    return boolOf(c == 'T' || c == 't' || c == 'Y' || c == 'y');
}

std::string xb_GetDateString(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return {};
    const Field& f = fieldAt(a, i);
    Engine& e = Engine::instance();
    if (f.type != 'D') {
        fail(e, "Field " + f.name + " is not a date field", kXbErrValue);
        return {};
    }
    bool ok = false;
    int32_t julian = dateOf(a, f, ok);
    if (!ok) {
        fail(e, "Field " + f.name + " holds an invalid date: " + rawField(a, f), kXbErrValue);
        return {};
    }
    return qly::engine::formatDate(julian, e.settings().datePattern());
}

double xb_GetDouble(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return 0;
    const Field& f = fieldAt(a, i);
    if (f.type != 'N' && f.type != 'F') {
        fail(Engine::instance(), "Field " + f.name + " is not a numeric field", kXbErrValue);
        return 0;
    }
    char buf[32];
    std::string raw = rawField(a, f);
    raw.copy(buf, std::min<size_t>(raw.size(), sizeof buf - 1));
    buf[std::min<size_t>(raw.size(), sizeof buf - 1)] = 0;
    return std::strtod(buf, nullptr);
}

std::string xb_GetMemo(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return {};
    const Field& f = fieldAt(a, i);
    if (!f.isMemoRef()) {
        fail(Engine::instance(), "Field " + f.name + " is not a memo field", kXbErrValue);
        return {};
    }
    std::string out, error;
    if (!a->table().readMemo(a->record(), f, out, error))
        fail(Engine::instance(), error, kXbErrRead);
    return out;
}

void xb_MemDealloc(std::string& memo) {
    memo.clear();
    memo.shrink_to_fit();
}

std::string xb_GetBlob(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return {};
    const Field& f = fieldAt(a, i);
    if (!f.isMemoRef())
        return rawField(a, f);
    std::string out, error;
    if (!a->table().readMemo(a->record(), f, out, error))
        fail(Engine::instance(), error, kXbErrRead);
    return out;
}

long xb_GetBlobLength(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return 0;
    const Field& f = fieldAt(a, i);
    if (!f.isMemoRef())
        return f.width;
    uint32_t len = 0;
    std::string error;
    if (!a->table().memoLength(a->record(), f, len, error)) {
        fail(Engine::instance(), error, kXbErrRead);
        return 0;
    }
    return static_cast<long>(len);
}

int xb_Empty(const std::string& field) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return kTrue;
    const Field& f = fieldAt(a, i);
    const char* p = a->record() + f.offset;
    if (f.isMemoRef()) {
        uint32_t len = 0;
        std::string error;
        if (!a->table().memoLength(a->record(), f, len, error)) {
            fail(Engine::instance(), error, kXbErrRead);
            return kTrue;
        }
        return boolOf(len == 0);
    }
    switch (f.type) {
        case 'L':
            return boolOf(!(*p == 'T' || *p == 't' || *p == 'Y' || *p == 'y'));
        case 'N':
        case 'F': {
            char buf[32];
            size_t n = std::min<size_t>(static_cast<size_t>(f.width), sizeof buf - 1);
            std::copy(p, p + n, buf);
            buf[n] = 0;
            return boolOf(std::strtod(buf, nullptr) == 0);
        }
        default:
            for (int k = 0; k < f.width; ++k) {
                if (p[k] != ' ' && p[k] != '\0')
                    return kFalse;
            }
            return kTrue;
    }
}

int xb_Replace(const std::string& field, int kind, const std::string& value) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return kFalse;
    Engine& e = Engine::instance();
    std::string error;
    bool ok = false;
    int code = kXbErrValue;  // refused before the area was asked
    switch (kind) {
        case kXbReplaceText:
            ok = a->replaceText(i, value, error);
            code = changeFailure(*a);
            break;
        case kXbReplaceDateText:
            ok = a->replaceDate(i, value, "mm/dd/yy", error);
            code = changeFailure(*a);
            break;
        case kXbReplaceLogical: {
            if (fieldAt(a, i).type != 'L') {
                error = "Field " + fieldAt(a, i).name + " is not a logical field";
                break;
            }
            ok = a->replaceText(i, value, error);
            code = changeFailure(*a);
            break;
        }
        case kXbReplaceDouble: {
            char* end = nullptr;
            double d = std::strtod(value.c_str(), &end);
            if (end == value.c_str()) {
                error = "Not a number: " + value;
                break;
            }
            ok = a->replaceDouble(i, d, error);
            code = changeFailure(*a);
            break;
        }
        default:
            error = "Invalid replace kind " + std::to_string(kind);
            code = kXbErrArgument;
            break;
    }
    return ok ? kTrue : fail(e, error, code);
}

int xb_Replace(const std::string& field, int kind, double value) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return kFalse;
    Engine& e = Engine::instance();
    std::string error;
    bool ok = false;
    int code = kXbErrValue;  // refused before the area was asked
    switch (kind) {
        case kXbReplaceDouble:
            ok = a->replaceDouble(i, value, error);
            code = changeFailure(*a);
            break;
        case kXbReplaceLogical:
            ok = a->replaceLogical(i, value != 0, error);
            code = changeFailure(*a);
            break;
        default:
            error = "Replace kind " + std::to_string(kind) + " needs a text value";
            code = kXbErrArgument;
            break;
    }
    return ok ? kTrue : fail(e, error, code);
}

int xb_PutMemo(const std::string& field, const std::string& text) {
    int i = 0;
    WorkArea* a = fieldOf(field, i);
    if (!a)
        return kFalse;
    std::string error;
    return a->putMemo(i, text, error) ? kTrue : fail(Engine::instance(), error, changeFailure(*a));
}

int xb_PutBlob(const std::string& field, const std::string& data) {
    return xb_PutMemo(field, data);
}

// ---------------------------------------------------------------------------
// Changes

int xb_AppendEx() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kXbAppendNoTable;
    std::string error;
    int result = a->append(error);
    if (result != kXbAppendOk)
        fail(e, error, appendFailure(result));
    return result;
}

int xb_Delete() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    return a->setDeletedFlag(true, error) ? kTrue : fail(e, error, changeFailure(*a));
}

int xb_Recall() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    return a->setDeletedFlag(false, error) ? kTrue : fail(e, error, changeFailure(*a));
}

int xb_Commit() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    if (!a->table().commit(error))
        return fail(e, error, a->table().writable() ? kXbErrWrite : kXbErrReadOnly);
    if (!a->indexes().flush(true, error))
        return fail(e, error, kXbErrIndex);
    return kTrue;
}

int xb_Rlock(long recno) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    if (recno < 1 || recno > static_cast<long>(a->table().recordCount()))
        return fail(e, "Record is out of range: " + std::to_string(recno), kXbErrArgument);
    if (!a->table().lockRecord(static_cast<uint32_t>(recno), e.settings().lockTimeout))
        return fail(e,
                    "Record " + std::to_string(recno) + " of " + a->table().path() +
                        " is locked by another user",
                    kXbErrLocked);
    // Locking the current record reads it again: the caller sees it as it is now.
    if (!a->eof() && static_cast<long>(a->recno()) == recno) {
        std::string error;
        if (!a->skip(0, error))
            return fail(e, error, kXbErrRead);
    }
    return kTrue;
}

int xb_Unlock(long recno) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    a->table().unlockRecord(recno < 0 ? 0 : static_cast<uint32_t>(recno));
    return kTrue;
}

// ---------------------------------------------------------------------------
// Order, filter, seek

int xb_IndexOpen(const std::string& file) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return 0;
    std::string error;
    const int order = a->indexes().openFile(file, error);
    if (order == 0)
        fail(e, "Cannot open index " + file + ": " + error, kXbErrIndex);
    return order;
}

int xb_SetOrder(int order) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    if (!a->indexes().setOrder(order, error))
        return fail(e, error, kXbErrIndex);
    a->setOrder(a->indexes().order());
    return kTrue;
}

int xb_IndexOrd() {
    Engine& e = begin();
    WorkArea* a = e.currentArea();
    return a ? a->indexes().currentOrder() : 0;
}

std::string xb_TagName(int order) {
    Engine& e = begin();
    WorkArea* a = e.currentArea();
    return a ? a->indexes().tagName(order) : std::string();
}

int xb_TagArea(const std::string& tag) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return 0;
    const int order = a->indexes().orderOf(tag);
    if (order == 0)
        fail(e, "Tag " + tag + " is not found in the indexes of " + a->table().path(), kXbErrIndex);
    return order;
}

int xb_Seek(const std::string& key) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    uint32_t recno = 0;
    bool found = false;
    qly::engine::IndexSet& ix = a->indexes();
    if (!ix.seek(key, recno, found, error))
        return fail(e, error, kXbErrIndex);
    if (!a->seekTo(recno, error))
        return fail(e, error, kXbErrRead);
    // Hidden records were passed over: is the one reached still a match?
    if (found && !a->eof() && a->recno() != recno &&
        (!a->loadRecord(error) || !ix.keyMatches(a->record(), a->recno(), key, found, error)))
        return fail(e, error, kXbErrIndex);
    if (a->eof())
        found = false;
    if (!found && !e.settings().softSeek)
        a->goEof();
    return boolOf(found);
}

int xb_SetScope(const std::string& low, const std::string& high) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    if (!a->indexes().setScope(low, high, error))
        return fail(e, error, kXbErrIndex);
    return a->goTop(error) ? kTrue : fail(e, error, kXbErrRead);
}

int xb_Verify() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    return a->indexes().verify(error) ? kTrue : fail(e, error, kXbErrIndex);
}

int xb_Reindex() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    qly::engine::IndexSet& ix = a->indexes();
    if (!ix.canReindex())
        return fail(e, kNoIndex, kXbErrIndex);
    const bool ok = ix.reindex(error) && ix.flush(true, error);
    a->setOrder(ix.order());
    if (!ok)
        return fail(e, error, kXbErrIndex);
    return a->goTop(error) ? kTrue : fail(e, error, kXbErrRead);
}

int xb_TableInfo(XbTableInfo& info) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    const Table& t = a->table();
    info.path = t.path();
    info.version = t.version();
    info.flags = t.flags();
    info.recordCount = static_cast<long>(t.recordCount());
    info.recordLength = t.recordLength();
    info.orderCount = a->indexes().orderCount();
    return kTrue;
}

int xb_TagInfo(int order, XbTagInfo& info, bool countKeys) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    const qly::engine::IndexSet& ix = a->indexes();
    if (order < 1 || order > ix.orderCount())
        return fail(e, "Order " + std::to_string(order) + " is not open for " + a->table().path(),
                    kXbErrIndex);
    const qly::engine::TagInfo tag = ix.tagInfo(order, countKeys);
    info.file = tag.file;
    info.name = tag.name;
    info.keyExpression = tag.keyExpression;
    info.forExpression = tag.forExpression;
    info.unique = tag.unique;
    info.descending = tag.descending;
    info.keys = tag.keys;
    return kTrue;
}

int xb_RepairIndex(const std::string& path) {
    Engine& e = begin();
    e.clearError();
    bool rebuilt = false;
    std::string report, error;
    if (!e.repairIndex(path, false, rebuilt, report, error))
        return fail(e, error, kXbErrIndex);
    return boolOf(rebuilt);
}

void xb_SetKnownTags(const std::string& tableFile, const std::vector<XbTagDef>& tags) {
    std::vector<qly::engine::TagDef> defs;
    for (const XbTagDef& t : tags)
        defs.push_back(
            qly::engine::TagDef{t.name, t.keyExpression, t.forExpression, t.unique, t.descending});
    qly::engine::setKnownTags(tableFile, std::move(defs));
}

int xb_Query(const std::string& expression) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    std::string error;
    if (!a->setFilter(expression, error))
        return fail(e, "The filter " + expression + " of " + a->table().path() + ": " + error,
                    kXbErrExpression);
    if (!a->goTop(error))
        return fail(e, error, kXbErrRead);
    return kTrue;
}

std::string xb_DBFilter() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    return a ? a->filterText() : std::string();
}

long xb_QueryRecCount() {
    return xb_Count();
}

long xb_RecCount() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return 0;
    std::string error;
    if (!a->table().refreshCount(error))
        fail(e, error, kXbErrRead);
    return static_cast<long>(a->table().recordCount());
}

long xb_Count() {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return 0;
    uint32_t count = 0;
    std::string error;
    if (!a->countVisible(count, error)) {
        fail(e, error, kXbErrRead);
        return 0;
    }
    return static_cast<long>(count);
}

// ---------------------------------------------------------------------------
// Settings

namespace {
int setFlag(bool& flag, int on) {
    begin();
    bool previous = flag;
    flag = on != 0;
    return boolOf(previous);
}
}  // namespace

int xb_SetCentury(int on) {
    return setFlag(Engine::instance().settings().century, on);
}
int xb_SetDeleted(int on) {
    return setFlag(Engine::instance().settings().deleted, on);
}
int xb_SetExact(int on) {
    return setFlag(Engine::instance().settings().exact, on);
}
int xb_SetSoftSeek(int on) {
    return setFlag(Engine::instance().settings().softSeek, on);
}

int xb_SetDateFormat(int format) {
    Engine& e = begin();
    if (!((format >= kXbDateAmerican && format <= kXbDateSpanish) || format == kXbDateSystem)) {
        fail(e, "Invalid date format " + std::to_string(format), kXbErrArgument);
        return -1;
    }
    int previous = e.settings().dateFormat;
    e.settings().dateFormat = format;
    return previous;
}

int xb_SetEpoch(int year) {
    Engine& e = begin();
    int previous = e.settings().epoch;
    if (year < 1 || year > 9999) {
        fail(e, "Invalid epoch " + std::to_string(year), kXbErrArgument);
        return previous;
    }
    e.settings().epoch = year;
    return previous;
}

int xb_SetLockTimeout(int seconds) {
    Engine& e = begin();
    int previous = e.settings().lockTimeout;
    e.settings().lockTimeout = std::max(0, seconds);
    return previous;
}

int xb_SetMemoBlockSize(int size) {
    Engine& e = begin();
    int previous = e.settings().memoBlockSize;
    int bytes = size == 0 ? 1 : size <= 32 ? size * 512 : size;
    if (size < 0 || bytes > 65535) {
        fail(e, "Invalid memo block size " + std::to_string(size), kXbErrArgument);
        return previous;
    }
    e.settings().memoBlockSize = bytes;
    return previous;
}

int xb_SetTurboRead(int on) {
    Engine& e = begin();
    WorkArea* a = requireArea(e);
    if (!a)
        return kFalse;
    bool previous = a->turboRead();
    a->setTurboRead(on != 0);
    return boolOf(previous);
}

void xb_SetSystemDateFormat(const std::string& pattern) {
    Engine& e = begin();
    e.settings().systemPattern = pattern.empty() ? std::string("m/d/yy") : pattern;
}

std::string xb_DateFormatPattern() {
    return begin().settings().datePattern();
}

std::string xb_EvalString(const std::string& expression) {
    Engine& e = begin();
    WorkArea* a = e.currentArea();
    static const std::vector<Field> kNoFields;
    Expression expr;
    std::string error;
    if (!expr.compile(expression, a ? a->table().fields() : kNoFields, &e.settings(), error)) {
        fail(e, "The expression " + expression + ": " + error, kXbErrExpression);
        return {};
    }
    std::string blank;
    RecordView view;
    if (a) {
        if (!a->loadRecord(error)) {
            fail(e, error, kXbErrRead);
            return {};
        }
        view.data = a->record();
        view.recno = a->recno();
    } else {
        blank.assign(1, ' ');
        view.data = blank.data();
    }
    Value v;
    expr.evaluate(view, v);
    return expr.toText(v);
}
