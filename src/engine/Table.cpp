#include "engine/Table.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>

#include "engine/Bytes.h"

namespace qly::engine {

namespace {

// Lock bytes of FoxPro-compatible engines: the header at 0x7FFFFFFE, record n
// at 0x7FFFFFFE - n; a file lock covers the record bytes below the header.
constexpr uint64_t kHeaderLockOffset = 0x7FFFFFFE;
// How long a commit waits for the header lock that another writer holds.
constexpr int kCommitLockSeconds = 10;
constexpr uint64_t kMaxFileSize = 0x7FFFFFFF;  // FoxPro's 2 GB limit
constexpr char kEndOfFile = 0x1A;

bool knownVersion(uint8_t v) {
    return v == 0x03 || v == 0xF5 || v == 0x30 || v == 0x31 || v == 0x32 || v == 0x83;
}

bool sameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::toupper(static_cast<unsigned char>(a[i])) !=
            std::toupper(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

void todayYmd(int& y, int& m, int& d) {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    y = tm.tm_year + 1900;
    m = tm.tm_mon + 1;
    d = tm.tm_mday;
}

// One write counter per file, shared by every Table of this process that has
// the file open, so that read-ahead in one work area notices writes made
// through another.
std::shared_ptr<uint64_t> generationFor(const File& file) {
    static std::map<std::pair<uint64_t, uint64_t>, std::weak_ptr<uint64_t>> registry;
    uint64_t dev = 0, ino = 0;
    if (!file.identity(dev, ino))
        return std::make_shared<uint64_t>(0);
    auto& slot = registry[{dev, ino}];
    std::shared_ptr<uint64_t> g = slot.lock();
    if (!g) {
        g = std::make_shared<uint64_t>(0);
        slot = g;
    }
    for (auto it = registry.begin(); it != registry.end();) {
        it = it->second.expired() ? registry.erase(it) : std::next(it);
    }
    return g;
}

}  // namespace

Table::~Table() {
    if (m_modified && m_writable) {
        std::string ignored;
        commit(ignored);
    }
    unlockRecord(0);
}

std::unique_ptr<Table> Table::open(const std::string& path, Mode mode, std::string& error) {
    std::unique_ptr<Table> t(new Table());
    std::string resolved = resolveFileName(path);
    if (!hasExtension(path) && !fileExists(resolved))
        resolved = resolveFileName(path + ".dbf");
    t->m_path = resolved;
    t->m_mode = mode;
    bool wantWrite = mode != Mode::ReadOnly;
    qly::ErrorCode why = qly::ErrorCode::Ok;
    if (!t->m_file.open(resolved, wantWrite, error, &why)) {
        if (!wantWrite || why != qly::ErrorCode::ReadOnly)
            return nullptr;
        // A file we may not write opens for reading only.
        if (!t->m_file.open(resolved, false, error))
            return nullptr;
        t->m_readOnlyReason = "Table " + resolved + " cannot be written (no permission)";
    } else if (wantWrite) {
        t->m_writable = true;
    }
    if (!t->m_file.lockFile(mode == Mode::Exclusive)) {
        error = mode == Mode::Exclusive
                    ? "Table " + resolved + " is in use elsewhere and cannot be opened exclusively"
                    : "Table " + resolved + " is opened exclusively elsewhere";
        return nullptr;
    }
    t->m_generation = generationFor(t->m_file);
    if (mode == Mode::ReadOnly)
        t->m_readOnlyReason = "Table " + resolved + " is opened read-only";
    if (!t->load(error))
        return nullptr;
    return t;
}

bool Table::load(std::string& error) {
    int64_t fileSize = m_file.size();
    if (fileSize < 32 || !m_file.readAt(0, m_header, 32, error)) {
        error = "Table file is truncated: " + m_path;
        return false;
    }
    m_version = m_header[0];
    if (!knownVersion(m_version)) {
        char buf[8];
        std::snprintf(buf, sizeof buf, "0x%02X", m_version);
        error = "Not a table file (version byte " + std::string(buf) + "): " + m_path;
        return false;
    }
    m_flags = m_header[28];
    m_count = readLe32(m_header + 4);
    m_headerLength = readLe16(m_header + 8);
    m_recordLength = readLe16(m_header + 10);
    bool visual = m_version >= 0x30 && m_version <= 0x32;
    m_binaryMemoRefs = visual;
    if (m_headerLength < 32 + 32 + 1 || m_recordLength < 2 ||
        static_cast<int64_t>(m_headerLength) > fileSize) {
        error = "Table header is damaged (header or record length): " + m_path;
        return false;
    }
    uint64_t needed =
        m_headerLength + static_cast<uint64_t>(m_count) * static_cast<uint64_t>(m_recordLength);
    if (needed > static_cast<uint64_t>(fileSize)) {
        error = "Table file is shorter than its header says (" + std::to_string(m_count) +
                " records of " + std::to_string(m_recordLength) + " bytes): " + m_path;
        return false;
    }
    std::vector<unsigned char> header(m_headerLength);
    if (!m_file.readAt(0, header.data(), header.size(), error))
        return false;
    int offset = 1;
    bool terminated = false;
    bool hasMemo = false;
    for (uint32_t pos = 32; pos < m_headerLength; pos += 32) {
        if (header[pos] == 0x0D) {
            terminated = true;
            break;
        }
        if (pos + 32 > m_headerLength)
            break;
        const unsigned char* d = header.data() + pos;
        Field f;
        size_t nameLen = 0;
        while (nameLen < 11 && d[nameLen] != 0)
            ++nameLen;
        f.name.assign(reinterpret_cast<const char*>(d), nameLen);
        for (char& c : f.name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        f.type = static_cast<char>(std::toupper(d[11]));
        f.width = d[16];
        f.decimals = d[17];
        f.offset = offset;
        switch (f.type) {
            case 'C':
            case 'N':
            case 'F':
            case 'D':
            case 'L':
            case 'M':
            case 'G':
            case 'B':
            case 'P':
                break;
            default:
                error = std::string("Invalid Field Type ") + static_cast<char>(d[11]);
                return false;
        }
        bool badWidth =
            f.width == 0 || ((f.type == 'N' || f.type == 'F') && f.width > 20) ||
            (f.type == 'D' && f.width != 8) || (f.type == 'L' && f.width != 1) ||
            ((f.type == 'M' || f.type == 'G' || f.type == 'P') && f.width != 10 && f.width != 4) ||
            (f.type == 'B' && f.width != 10 && f.width != 8 && f.width != 4);
        if (f.name.empty() || badWidth) {
            error = "Table header is damaged (field " + f.name + "): " + m_path;
            return false;
        }
        if (f.isMemoRef())
            hasMemo = true;
        offset += f.width;
        m_fields.push_back(std::move(f));
    }
    if (!terminated || m_fields.empty()) {
        error = "Table header is damaged (field list): " + m_path;
        return false;
    }
    if (offset > m_recordLength) {
        error = "Table header is damaged (fields exceed the record length): " + m_path;
        return false;
    }
    if (hasMemo) {
        MemoFile::Kind kind = m_version == 0x83 ? MemoFile::Kind::Dbt : MemoFile::Kind::Fpt;
        std::string memoPath =
            resolveFileName(withExtension(m_path, kind == MemoFile::Kind::Dbt ? ".dbt" : ".fpt"));
        if (!m_memo.open(memoPath, kind, m_writable, error)) {
            if (!fileExists(memoPath))
                error = "Memo file is missing: " + memoPath;
            return false;
        }
    }
    if (m_writable && (visual || m_version == 0x83)) {
        m_writable = false;
        m_readOnlyReason = "Table " + m_path + " is in a format this engine only reads";
    }
    if (!m_writable && m_readOnlyReason.empty())
        m_readOnlyReason = "Table " + m_path + " is read-only";
    return true;
}

bool Table::create(const std::string& path, std::vector<Field> fields, int memoBlockSize,
                   std::string& error) {
    if (fields.empty() || fields.size() > 255) {
        error = "A table needs 1 to 255 fields";
        return false;
    }
    std::string dbfPath = hasExtension(path) ? path : path + ".dbf";
    int offset = 1;
    bool hasMemo = false;
    std::set<std::string> names;
    for (Field& f : fields) {
        for (char& c : f.name)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        f.type = static_cast<char>(std::toupper(static_cast<unsigned char>(f.type)));
        bool nameOk = !f.name.empty() && f.name.size() <= 10 &&
                      (std::isalpha(static_cast<unsigned char>(f.name[0])) || f.name[0] == '_');
        for (char c : f.name)
            nameOk = nameOk && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
        if (!nameOk || !names.insert(f.name).second) {
            error = "Invalid or repeated field name: " + f.name;
            return false;
        }
        switch (f.type) {
            case 'C':
                if (f.width < 1 || f.width > 254) {
                    error = "Invalid width for field " + f.name;
                    return false;
                }
                f.decimals = 0;
                break;
            case 'N':
            case 'F':
                if (f.width < 1 || f.width > 20 || f.decimals < 0 ||
                    (f.decimals > 0 && f.decimals > f.width - 2)) {
                    error = "Invalid width or decimals for field " + f.name;
                    return false;
                }
                break;
            case 'D':
                f.width = 8;
                f.decimals = 0;
                break;
            case 'L':
                f.width = 1;
                f.decimals = 0;
                break;
            case 'M':
            case 'G':
            case 'B':
            case 'P':
                f.width = 10;
                f.decimals = 0;
                hasMemo = true;
                break;
            default:
                error = std::string("Invalid Field Type ") + f.type;
                return false;
        }
        f.offset = offset;
        offset += f.width;
    }
    if (offset > 65500) {
        error = "Record is too long";
        return false;
    }
    int blockSize = memoBlockSize;
    if (hasMemo && (blockSize < 1 || blockSize > 65535)) {
        error = "Invalid memo block size";
        return false;
    }
    std::string memoPath = withExtension(dbfPath, ".fpt");
    if (fileExists(dbfPath) || fileExists(resolveFileName(dbfPath)) ||
        (hasMemo && fileExists(resolveFileName(memoPath)))) {
        error = "File already exists: " + dbfPath;
        return false;
    }
    uint32_t headerLength = 32 + 32 * static_cast<uint32_t>(fields.size()) + 1;
    std::vector<unsigned char> buf(headerLength + 1, 0);
    buf[0] = hasMemo ? kVersionFoxMemo : kVersionPlain;
    int y, m, d;
    todayYmd(y, m, d);
    buf[1] = static_cast<unsigned char>(y - 1900);
    buf[2] = static_cast<unsigned char>(m);
    buf[3] = static_cast<unsigned char>(d);
    writeLe16(buf.data() + 8, static_cast<uint16_t>(headerLength));
    writeLe16(buf.data() + 10, static_cast<uint16_t>(offset));
    for (size_t i = 0; i < fields.size(); ++i) {
        unsigned char* p = buf.data() + 32 + 32 * i;
        std::memcpy(p, fields[i].name.data(), fields[i].name.size());
        p[11] = static_cast<unsigned char>(fields[i].type);
        writeLe32(p + 12, static_cast<uint32_t>(fields[i].offset));
        p[16] = static_cast<unsigned char>(fields[i].width);
        p[17] = static_cast<unsigned char>(fields[i].decimals);
    }
    buf[headerLength - 1] = 0x0D;
    buf[headerLength] = static_cast<unsigned char>(kEndOfFile);
    if (hasMemo && !MemoFile::create(memoPath, blockSize, error))
        return false;
    File f;
    if (!f.create(dbfPath, error) || !f.writeAt(0, buf.data(), buf.size(), error) ||
        !f.sync(error)) {
        if (f.isOpen()) {
            f.close();
            removeFile(dbfPath);
        }
        if (hasMemo)
            removeFile(memoPath);
        if (error.empty())
            error = "Cannot write " + dbfPath;
        return false;
    }
    return true;
}

bool Table::setFlags(uint8_t flags, std::string& error) {
    if (!checkWritable(error))
        return false;
    unsigned char b = flags;
    if (!m_file.writeAt(28, &b, 1, error))
        return false;
    m_flags = flags;
    m_header[28] = flags;
    return true;
}

int Table::fieldIndex(std::string_view name) const {
    // Callers ask for the same few fields again and again.
    if (m_lastFieldIndex >= 0 && name == m_lastFieldName)
        return m_lastFieldIndex;
    std::string_view wanted = name;
    // Trailing blanks of a caller's name do not count.
    while (!wanted.empty() && wanted.back() == ' ')
        wanted.remove_suffix(1);
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (sameName(m_fields[i].name, wanted)) {
            m_lastFieldName.assign(name);
            m_lastFieldIndex = static_cast<int>(i);
            return m_lastFieldIndex;
        }
    }
    return -1;
}

int Table::lastUpdateYear() const {
    int v = m_header[1];
    if (v >= 100)
        return 1900 + v;
    return v < 80 ? 2000 + v : 1900 + v;
}

bool Table::refreshCount(std::string& error) {
    if (m_mode == Mode::Exclusive)
        return true;
    unsigned char b[4];
    if (!m_file.readAt(4, b, 4, error))
        return false;
    uint32_t count = readLe32(b);
    int64_t size = m_file.size();
    if (size < 0) {
        error = "Cannot read the size of " + m_path;
        return false;
    }
    // Another process writes the count after the record bytes; never count
    // records that are not yet (or no longer) in the file.
    uint64_t inFile = (static_cast<uint64_t>(size) - std::min<uint64_t>(size, m_headerLength)) /
                      static_cast<uint64_t>(m_recordLength);
    m_count = static_cast<uint32_t>(std::min<uint64_t>(count, inFile));
    return true;
}

bool Table::fileStamp(int64_t& size, int64_t& mtimeNs) const {
    return m_file.stamp(size, mtimeNs);
}

void Table::blankRecord(char* out) const {
    std::memset(out, ' ', static_cast<size_t>(m_recordLength));
    if (m_binaryMemoRefs) {
        for (const Field& f : m_fields) {
            if (f.isMemoRef() && f.width == 4)
                std::memset(out + f.offset, 0, 4);
        }
    }
}

bool Table::readRecord(uint32_t recno, char* out, std::string& error) const {
    if (recno < 1 || recno > m_count) {
        error = "Record is out of range: " + std::to_string(recno);
        return false;
    }
    if (!m_file.readAt(recordOffset(recno), out, static_cast<size_t>(m_recordLength), error)) {
        error = "Cannot read record " + std::to_string(recno) + " of " + m_path;
        return false;
    }
    return true;
}

uint32_t Table::readRecords(uint32_t first, uint32_t count, char* out) const {
    if (first < 1 || first > m_count)
        return 0;
    count = std::min(count, m_count - first + 1);
    size_t bytes = static_cast<size_t>(count) * static_cast<size_t>(m_recordLength);
    size_t got = m_file.readSome(recordOffset(first), out, bytes);
    return static_cast<uint32_t>(got / static_cast<size_t>(m_recordLength));
}

bool Table::checkWritable(std::string& error) const {
    if (!m_writable) {
        error = m_readOnlyReason;
        return false;
    }
    return true;
}

bool Table::writeRecord(uint32_t recno, const char* image, std::string& error) {
    if (!checkWritable(error))
        return false;
    if (recno < 1 || recno > m_count) {
        error = "Record is out of range: " + std::to_string(recno);
        return false;
    }
    std::vector<char> old(static_cast<size_t>(m_recordLength));
    if (!readRecord(recno, old.data(), error))
        return false;
    if (m_observer && !m_observer->beginWrite(error))
        return false;
    const size_t length = static_cast<size_t>(m_recordLength);
    const std::string where = "record " + std::to_string(recno) + " of " + m_path;
    bool ok = m_file.writeAt(recordOffset(recno), image, length, error);
    if (!ok) {
        // A short write may have torn the record: put the old image back.
        ++*m_generation;
        std::string why;
        if (!m_file.writeAt(recordOffset(recno), old.data(), length, why))
            error += "; " + where + " may be damaged: " + why;
    } else {
        m_modified = true;
        ++*m_generation;
        if (m_observer && !m_observer->recordWritten(recno, old.data(), image, error)) {
            // the keys could not follow: the record stays as it was, and the
            // keys already moved go back where the old image has them
            std::string ignored;
            if (m_file.writeAt(recordOffset(recno), old.data(), length, ignored))
                m_observer->recordWritten(recno, image, old.data(), ignored);
            ok = false;
        }
    }
    std::string endError;
    if (m_observer && !m_observer->endWrite(endError) && ok) {
        // The keys were not written (a full disk, an I/O error): the record
        // and its keys go back as they were, in a change of their own (the
        // keys at least in memory, written with the next change that can).
        error = endError;
        ok = false;
        std::string why;
        const bool began = m_observer->beginWrite(why);
        bool undone = m_file.writeAt(recordOffset(recno), old.data(), length, why);
        if (undone) {
            ++*m_generation;
            undone = m_observer->recordWritten(recno, image, old.data(), why) && began;
        }
        if (began && !m_observer->endWrite(why))
            undone = false;
        if (!undone)
            error += "; " + where + " and its index may disagree (rebuild the indexes): " + why;
    }
    return ok;
}

bool Table::writeCountAndDate(uint32_t count, std::string& error) {
    unsigned char b[8];
    int y, m, d;
    todayYmd(y, m, d);
    b[0] = m_version;
    b[1] = static_cast<unsigned char>(std::clamp(y - 1900, 0, 255));
    b[2] = static_cast<unsigned char>(m);
    b[3] = static_cast<unsigned char>(d);
    writeLe32(b + 4, count);
    if (!m_file.writeAt(0, b, sizeof b, error))
        return false;
    std::memcpy(m_header, b, sizeof b);
    return true;
}

int Table::appendRecord(const char* image, int lockTimeout, uint32_t& recno, std::string& error) {
    return appendRecords(image, 1, lockTimeout, recno, error);
}

int Table::appendRecords(const char* images, uint32_t count, int lockTimeout, uint32_t& first,
                         std::string& error) {
    first = 0;
    if (count == 0)
        return kAppendOk;
    if (!checkWritable(error))
        return kAppendReadOnly;
    const bool shared = m_mode == Mode::Shared;
    const auto started = std::chrono::steady_clock::now();
    // The index lock first, then the header lock (the order every writer keeps).
    if (m_observer && !m_observer->beginWrite(error))
        return kAppendLockFailed;
    if (shared && !m_file.lockRange(kHeaderLockOffset, 1, lockTimeout)) {
        error = "Table " + m_path + " is locked by another user";
        std::string ignored;
        if (m_observer)
            m_observer->endWrite(ignored);
        return kAppendLockFailed;
    }
    int result = kAppendOk;
    uint64_t newRecordLock = 0;
    const size_t length = static_cast<size_t>(m_recordLength);
    do {
        if (shared) {
            // Another process may have appended since we last looked.
            unsigned char b[4];
            if (!m_file.readAt(4, b, 4, error)) {
                result = kAppendWriteFailed;
                break;
            }
            m_count = readLe32(b);
        }
        if (m_count > 0xFFFFFFFFu - count ||
            recordOffset(m_count + 1) + static_cast<uint64_t>(count) * length + 1 > kMaxFileSize) {
            error = "Table " + m_path + " has reached its size limit";
            result = kAppendTooMany;
            break;
        }
        // The new records' lock bytes lie inside another program's file
        // lock: holding them honours that lock (waiting what is left of the
        // timeout).
        if (shared && static_cast<uint64_t>(m_count) + count < kHeaderLockOffset) {
            const auto waited = std::chrono::duration_cast<std::chrono::seconds>(
                                    std::chrono::steady_clock::now() - started)
                                    .count();
            const int left = std::max(0, lockTimeout - static_cast<int>(waited));
            newRecordLock = kHeaderLockOffset - (static_cast<uint64_t>(m_count) + count);
            if (!m_file.lockRange(newRecordLock, count, left)) {
                newRecordLock = 0;
                error = "Table " + m_path + " is locked by another user";
                result = kAppendLockFailed;
                break;
            }
        }
        std::vector<char> buf(static_cast<size_t>(count) * length + 1);
        std::memcpy(buf.data(), images, static_cast<size_t>(count) * length);
        buf.back() = kEndOfFile;
        if (!m_file.writeAt(recordOffset(m_count + 1), buf.data(), buf.size(), error)) {
            // Put the end mark back after the last counted record (best effort).
            std::string ignored;
            char end = kEndOfFile;
            m_file.writeAt(recordOffset(m_count + 1), &end, 1, ignored);
            result = kAppendWriteFailed;
            break;
        }
        // The count goes last: until it is written the new records do not exist.
        if (!writeCountAndDate(m_count + count, error)) {
            result = kAppendWriteFailed;
            break;
        }
        first = m_count + 1;
        m_count += count;
        m_modified = true;
        ++*m_generation;
    } while (false);
    if (newRecordLock) {
        // The bytes of records this table has locked itself stay locked.
        const uint32_t lowest = m_count + 1 - (result == kAppendOk ? count : 0);
        bool held = false;
        for (uint32_t r : m_locks)
            held = held || (r >= lowest && r < lowest + count);
        if (!held) {
            m_file.unlockRange(newRecordLock, count);
        } else {
            for (uint32_t k = 0; k < count; ++k) {
                if (!m_locks.count(lowest + k))
                    m_file.unlockRange(kHeaderLockOffset - (lowest + k), 1);
            }
        }
    }
    if (shared)
        m_file.unlockRange(kHeaderLockOffset, 1);
    if (result == kAppendOk && m_observer) {
        for (uint32_t k = 0; k < count; ++k) {
            std::string why;
            if (!m_observer->recordWritten(first + k, nullptr, images + k * length, why) &&
                result == kAppendOk) {
                error = why;
                result = kAppendIndexFailed;
            }
        }
    }
    std::string endError;
    if (m_observer && !m_observer->endWrite(endError) && result == kAppendOk) {
        error = endError;
        result = kAppendIndexFailed;
    }
    return result;
}

bool Table::memoBlock(const char* record, const Field& field, uint32_t& block,
                      std::string& error) const {
    const char* p = record + field.offset;
    block = 0;
    if (field.width == 4 && m_binaryMemoRefs) {
        block = readLe32(reinterpret_cast<const unsigned char*>(p));
        return true;
    }
    uint64_t v = 0;
    bool digits = false;
    for (int i = 0; i < field.width; ++i) {
        char c = p[i];
        if (c == ' ' || c == '\0') {
            if (digits)
                break;
            continue;
        }
        if (c < '0' || c > '9') {
            error = "Bad memo reference in field " + field.name;
            return false;
        }
        digits = true;
        v = v * 10 + static_cast<uint64_t>(c - '0');
        if (v > 0xFFFFFFFFull) {
            error = "Bad memo reference in field " + field.name;
            return false;
        }
    }
    block = static_cast<uint32_t>(v);
    return true;
}

bool Table::readMemo(const char* record, const Field& field, std::string& out,
                     std::string& error) const {
    out.clear();
    uint32_t block = 0;
    if (!memoBlock(record, field, block, error))
        return false;
    if (block == 0)
        return true;
    if (!m_memo.isOpen()) {
        error = "Memo file is not open";
        return false;
    }
    return m_memo.read(block, out, error);
}

bool Table::memoLength(const char* record, const Field& field, uint32_t& length,
                       std::string& error) const {
    length = 0;
    uint32_t block = 0;
    if (!memoBlock(record, field, block, error))
        return false;
    if (block == 0)
        return true;
    if (!m_memo.isOpen()) {
        error = "Memo file is not open";
        return false;
    }
    return m_memo.length(block, length, error);
}

bool Table::writeMemos(const std::vector<MemoWrite>& memos, int lockTimeout, std::string& error) {
    if (memos.empty())
        return true;
    if (!checkWritable(error))
        return false;
    if (!m_memo.isOpen()) {
        error = "Memo file is not open";
        return false;
    }
    std::vector<std::pair<const std::string*, uint32_t>> items;
    items.reserve(memos.size());
    for (const MemoWrite& m : memos) {
        if (!m.field->isMemoRef()) {
            error = "Field " + m.field->name + " is not a memo field";
            return false;
        }
        const char type = m.field->type;
        items.emplace_back(m.data, type == 'M'   ? MemoFile::kTypeText
                                   : type == 'P' ? MemoFile::kTypePicture
                                                 : MemoFile::kTypeObject);
    }
    std::vector<uint32_t> blocks;
    if (!m_memo.writeMany(items, lockTimeout, blocks, error))
        return false;
    for (size_t k = 0; k < memos.size(); ++k) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%10u", blocks[k]);
        std::memcpy(memos[k].record + memos[k].field->offset, buf, 10);
    }
    m_modified = true;
    return true;
}

bool Table::writeMemo(char* record, const Field& field, const std::string& data, int lockTimeout,
                      std::string& error) {
    if (!checkWritable(error))
        return false;
    if (!field.isMemoRef()) {
        error = "Field " + field.name + " is not a memo field";
        return false;
    }
    uint32_t block = 0;
    if (!data.empty()) {
        if (!m_memo.isOpen()) {
            error = "Memo file is not open";
            return false;
        }
        uint32_t type = field.type == 'M'   ? MemoFile::kTypeText
                        : field.type == 'P' ? MemoFile::kTypePicture
                                            : MemoFile::kTypeObject;
        if (!m_memo.write(data, type, lockTimeout, block, error))
            return false;
    }
    char* p = record + field.offset;
    if (block == 0) {
        std::memset(p, ' ', static_cast<size_t>(field.width));
    } else {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%10u", block);
        std::memcpy(p, buf, 10);
    }
    m_modified = true;
    return true;
}

bool Table::commit(std::string& error) {
    // Nothing written since the last commit: nothing to flush.
    if (!m_writable || !m_modified)
        return true;
    {
        uint32_t count = m_count;
        const bool shared = m_mode == Mode::Shared;
        // Another process may be appending: read and rewrite the count under
        // the header lock, and never lower the stored count.
        if (shared && !m_file.lockRange(kHeaderLockOffset, 1, kCommitLockSeconds)) {
            error = "Table " + m_path + " is locked by another user; its header was not written";
            return false;
        }
        bool written = true;
        if (shared) {
            unsigned char b[4];
            written = m_file.readAt(4, b, 4, error);
            if (written) {
                count = std::max(count, readLe32(b));
                m_count = count;
            }
        }
        written = written && writeCountAndDate(count, error);
        if (shared)
            m_file.unlockRange(kHeaderLockOffset, 1);
        if (!written)
            return false;
        m_modified = false;
    }
    if (!m_file.sync(error))
        return false;
    if (m_memo.isOpen() && !m_memo.sync(error))
        return false;
    return true;
}

bool Table::lockRecord(uint32_t recno, int timeoutSeconds) {
    if (recno < 1 || recno > m_count)
        return false;
    if (m_mode != Mode::Shared || m_locks.count(recno)) {
        m_locks.insert(recno);
        return true;
    }
    if (!m_file.lockRange(kHeaderLockOffset - recno, 1, timeoutSeconds))
        return false;
    m_locks.insert(recno);
    return true;
}

void Table::unlockRecord(uint32_t recno) {
    auto release = [this](uint32_t r) {
        if (m_mode == Mode::Shared && m_file.isOpen())
            m_file.unlockRange(kHeaderLockOffset - r, 1);
    };
    if (recno == 0) {
        for (uint32_t r : m_locks)
            release(r);
        m_locks.clear();
    } else if (m_locks.erase(recno)) {
        release(recno);
    }
}

}  // namespace qly::engine
