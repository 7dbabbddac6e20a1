#include "data/CsvTransfer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string_view>

#include "archive/Archiver.h"
#include "engine/Dates.h"
#include "engine/Engine.h"
#include "engine/File.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"

namespace qly::csv {

namespace {

using engine::Engine;
using engine::Field;
using engine::Table;
using engine::WorkArea;

// ---- text

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string_view trimRight(std::string_view s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.remove_suffix(1);
    return s;
}

std::string_view trimBoth(std::string_view s) {
    s = trimRight(s);
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    return s;
}

// Code page 1252 differs from Latin-1 only in 0x80..0x9F; the bytes it
// leaves undefined keep their C1 control values, as Windows maps them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// Appends code page 1252 bytes as UTF-8.
void appendUtf8FromCp1252(std::string_view bytes, std::string& out) {
    size_t ascii = 0;
    while (ascii < bytes.size() && static_cast<unsigned char>(bytes[ascii]) < 0x80)
        ++ascii;
    out.append(bytes.data(), ascii);
    for (char c : bytes.substr(ascii)) {
        const auto b = static_cast<unsigned char>(c);
        if (b < 0x80) {
            out += c;
            continue;
        }
        const char32_t code = b < 0xA0 ? kCp1252High[b - 0x80] : b;
        if (code < 0x800) {
            out += static_cast<char>(0xC0 | (code >> 6));
            out += static_cast<char>(0x80 | (code & 0x3F));
        } else {
            out += static_cast<char>(0xE0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (code & 0x3F));
        }
    }
}

int cp1252Byte(char32_t code) {
    if (code < 0x80 || (code >= 0xA0 && code <= 0xFF))
        return static_cast<int>(code);
    for (size_t k = 0; k < kCp1252High.size(); ++k) {
        if (kCp1252High[k] == code)
            return static_cast<int>(0x80 + k);
    }
    return -1;
}

// UTF-8 text as code page 1252 bytes into out; false with a fault text when
// it is not valid UTF-8 or holds a character the code page lacks.
bool cp1252FromUtf8(std::string_view text, std::string& out, std::string& fault) {
    out.clear();
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        // Plain ASCII runs go over whole.
        size_t run = i;
        while (run < n && static_cast<unsigned char>(text[run]) < 0x80)
            ++run;
        if (run > i) {
            out.append(text.data() + i, run - i);
            i = run;
            continue;
        }
        const auto b = static_cast<unsigned char>(text[i]);
        int extra = 0;
        char32_t code = 0;
        char32_t least = 0;
        if ((b & 0xE0) == 0xC0) {
            extra = 1;
            code = b & 0x1F;
            least = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2;
            code = b & 0x0F;
            least = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3;
            code = b & 0x07;
            least = 0x10000;
        } else {
            fault = "is not valid UTF-8";
            return false;
        }
        if (i + static_cast<size_t>(extra) >= n) {
            fault = "is not valid UTF-8";
            return false;
        }
        for (int k = 1; k <= extra; ++k) {
            const auto c = static_cast<unsigned char>(text[i + static_cast<size_t>(k)]);
            if ((c & 0xC0) != 0x80) {
                fault = "is not valid UTF-8";
                return false;
            }
            code = (code << 6) | (c & 0x3F);
        }
        if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
            fault = "is not valid UTF-8";
            return false;
        }
        i += static_cast<size_t>(extra) + 1;
        const int byte = cp1252Byte(code);
        if (byte < 0) {
            char buf[96];
            std::snprintf(buf, sizeof buf,
                          "character U+%04X cannot be stored in the table's code page (Windows "
                          "1252)",
                          static_cast<unsigned>(code));
            fault = buf;
            return false;
        }
        out += static_cast<char>(byte);
    }
    return true;
}

// ---- CSV

void appendCell(std::string_view value, std::string& out) {
    if (value.find_first_of(",\"\r\n") == std::string_view::npos) {
        out.append(value);
        return;
    }
    out += '"';
    for (char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

// Reads the rows of a CSV file one by one; the cells of a row are kept in
// reused strings. Faults of the syntax go to faults.
class CsvReader {
public:
    CsvReader(std::string_view data, std::vector<Fault>& faults) : m_data(data), m_faults(faults) {
        if (m_data.substr(0, 3) == "\xEF\xBB\xBF")
            m_i = 3;
    }

    // The next row that is not blank; false at the end of the file.
    bool next() {
        while (!m_done && m_i < m_data.size()) {
            if (readRow())
                return true;
        }
        return false;
    }
    int line() const { return m_rowLine; }
    size_t position() const { return m_i; }
    size_t size() const { return m_count; }
    std::string_view cell(size_t k) const { return m_cells[k]; }

private:
    std::string& newCell() {
        if (m_count == m_cells.size())
            m_cells.emplace_back();
        std::string& cell = m_cells[m_count++];
        cell.clear();
        return cell;
    }

    // One row; false when it was blank (a final line break ends the last row).
    bool readRow() {
        const std::string_view d = m_data;
        const size_t n = d.size();
        size_t i = m_i;
        m_rowLine = m_line;
        m_count = 0;
        for (;;) {
            std::string& cell = newCell();
            const int column = static_cast<int>(m_count);
            if (i < n && d[i] == '"') {
                const int startLine = m_line;
                ++i;
                bool closed = false;
                while (i < n) {
                    const size_t q = d.find('"', i);
                    const size_t stop = q == std::string_view::npos ? n : q;
                    for (size_t k = i; k < stop; ++k) {
                        if (d[k] == '\n')
                            ++m_line;
                    }
                    cell.append(d.substr(i, stop - i));
                    i = stop;
                    if (i >= n)
                        break;
                    if (i + 1 < n && d[i + 1] == '"') {
                        cell += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    closed = true;
                    break;
                }
                if (!closed) {
                    m_faults.push_back({startLine, column,
                                        "quoted value is not closed before the end of the file"});
                    m_done = true;
                    m_i = n;
                    return true;
                }
                if (i < n && d[i] != ',' && d[i] != '\r' && d[i] != '\n') {
                    m_faults.push_back({m_line, column, "text after the closing quote"});
                    while (i < n && d[i] != ',' && d[i] != '\r' && d[i] != '\n')
                        ++i;
                }
            } else {
                const size_t start = i;
                while (i < n && d[i] != ',' && d[i] != '\r' && d[i] != '\n') {
                    if (d[i] == '"')
                        m_faults.push_back(
                            {m_line, column, "quote inside a value that is not quoted"});
                    ++i;
                }
                cell.append(d.substr(start, i - start));
            }
            if (i < n && d[i] == ',') {
                ++i;
                continue;
            }
            // End of the row: CR LF, LF, a lone CR, or the end of the file.
            if (i < n && d[i] == '\r')
                ++i;
            if (i < n && d[i] == '\n')
                ++i;
            ++m_line;
            break;
        }
        m_i = i;
        return !(m_count == 1 && m_cells[0].empty());
    }

    std::string_view m_data;
    std::vector<Fault>& m_faults;
    size_t m_i = 0;
    int m_line = 1;
    int m_rowLine = 1;
    bool m_done = false;
    std::vector<std::string> m_cells;
    size_t m_count = 0;
};

// ---- files

bool readWholeFile(const std::string& path, std::string& out, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
    struct stat st {};
    if (::fstat(::fileno(f), &st) == 0 && st.st_size > 0)
        out.reserve(static_cast<size_t>(st.st_size));
    char buf[65536];
    size_t n = 0;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        out.append(buf, n);
    const bool bad = std::ferror(f) != 0;
    std::fclose(f);
    if (bad) {
        error = path + ": cannot be read";
        return false;
    }
    return true;
}

// Writes data to path through a temporary file in the same folder and a
// rename, so that path holds either its old content or all of the new.
bool writeFileAtomically(const std::string& path, const std::string& data, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path target(path);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmpl = (folder / ("." + target.filename().string() + ".XXXXXX")).string();
    const int fd = ::mkstemp(tmpl.data());
    if (fd < 0) {
        error = path + ": cannot create a temporary file: " + std::strerror(errno);
        return false;
    }
    size_t done = 0;
    while (done < data.size()) {
        const ssize_t w = ::write(fd, data.data() + done, data.size() - done);
        if (w < 0 && errno == EINTR)
            continue;
        if (w <= 0) {
            error = path + ": cannot be written: " + std::strerror(w < 0 ? errno : ENOSPC);
            ::close(fd);
            ::unlink(tmpl.c_str());
            return false;
        }
        done += static_cast<size_t>(w);
    }
    if (::fsync(fd) != 0 || ::close(fd) != 0) {
        error = path + ": cannot be written: " + std::strerror(errno);
        ::unlink(tmpl.c_str());
        return false;
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::chmod(tmpl.c_str(), 0666 & ~mask);
    if (std::rename(tmpl.c_str(), path.c_str()) != 0) {
        error = path + ": cannot be replaced: " + std::strerror(errno);
        ::unlink(tmpl.c_str());
        return false;
    }
    return true;
}

// The table's files as they are on disk (.dbf, and .cdx and .fpt when there).
std::vector<std::string> tableFiles(const std::string& dbfPath) {
    std::vector<std::string> files{dbfPath};
    for (const char* ext : {".cdx", ".fpt"}) {
        const std::string p = engine::resolveFileName(engine::withExtension(dbfPath, ext));
        if (engine::fileExists(p))
            files.push_back(p);
    }
    return files;
}

// Writes a backup archive of the table beside it; its path goes to archive.
bool backUpTable(const std::string& dbfPath, std::string& archive, std::string& error) {
    namespace fs = std::filesystem;
    const fs::path p(dbfPath);
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = (p.parent_path() / (p.stem().string() + "-before-import-" + stamp)).string();
    archive = base + ".bkp";
    std::error_code ec;
    for (int k = 2; fs::exists(archive, ec) || fs::is_symlink(archive, ec); ++k)
        archive = base + "-" + std::to_string(k) + ".bkp";
    archive::TArchiver a;
    std::string reported;
    a.OnError = [&reported](archive::TArchiver&, int code, const std::string& text) {
        reported = text + " (error " + std::to_string(code) + ")";
    };
    a.setBackupTitle("Before import");
    if (!a.Backup(tableFiles(dbfPath), archive) || a.errorCode() != 0) {
        error = archive + ": the backup failed: " + (reported.empty() ? a.raisedError() : reported);
        return false;
    }
    return true;
}

// A table in a work area of its own; closed (and the area that was current
// selected again) when it goes.
class OpenTable {
public:
    OpenTable(const std::string& path, Table::Mode mode) : m_engine(Engine::instance()) {
        m_previous = m_engine.current();
        m_number = m_engine.use(path, "", mode);
        if (m_number == 0)
            m_error = m_engine.lastError();
    }
    ~OpenTable() { close(); }
    OpenTable(const OpenTable&) = delete;
    OpenTable& operator=(const OpenTable&) = delete;

    bool ok() const { return m_number != 0; }
    const std::string& error() const { return m_error; }
    WorkArea& area() const { return *m_engine.area(m_number); }
    Table& table() const { return area().table(); }
    void close() {
        if (m_number == 0)
            return;
        m_engine.close(m_number);
        m_number = 0;
        if (m_previous != 0 && m_engine.area(m_previous) != nullptr)
            m_engine.select(m_previous);
    }

private:
    Engine& m_engine;
    int m_number = 0;
    int m_previous = 0;
    std::string m_error;
};

constexpr size_t kProgressStep = 2048;

// ---- export values

// Appends the text of one field of a record as export writes it.
bool appendValue(const Table& table, const char* record, const Field& f,
                 const ExportOptions& options, std::string& memo, std::string& plain,
                 std::string& out, std::string& error) {
    const std::string_view raw(record + f.offset, static_cast<size_t>(f.width));
    const size_t start = out.size();
    switch (f.type) {
        case 'C':
            appendUtf8FromCp1252(trimRight(raw), out);
            break;
        case 'N':
        case 'F':
            out.append(trimBoth(raw));
            break;
        case 'D': {
            const std::string_view t = trimBoth(raw);
            if (t.size() == 8) {
                out.append(t.substr(0, 4));
                out += '-';
                out.append(t.substr(4, 2));
                out += '-';
                out.append(t.substr(6, 2));
            } else {
                out.append(t);
            }
            return true;
        }
        case 'L': {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw[0])));
            out.append((c == 'T' || c == 'Y') ? "true" : (c == 'F' || c == 'N') ? "false" : "");
            return true;
        }
        default:
            if (f.isMemoRef()) {
                memo.clear();
                if (!table.readMemo(record, f, memo, error))
                    return false;
                if (!options.keepRtf && options.richText && options.richText(memo, plain)) {
                    appendCell(plain, out);
                    return true;
                }
                std::string_view text = memo;
                if (options.keepRtf)
                    text = trimRight(text);
                else
                    while (!text.empty() && text.back() == '\0')
                        text.remove_suffix(1);
                plain.clear();
                appendUtf8FromCp1252(text, plain);
                appendCell(plain, out);
                return true;
            }
            appendUtf8FromCp1252(trimRight(raw), out);
            break;
    }
    // Text may need quotes: quoted again from what was appended.
    const std::string_view added(out.data() + start, out.size() - start);
    if (added.find_first_of(",\"\r\n") != std::string_view::npos) {
        plain.assign(added);
        out.resize(start);
        appendCell(plain, out);
    }
    return true;
}

// ---- import values

// Puts one CSV value into a record image (memos: into memo, written later).
// Returns false with a fault text when the value does not fit.
bool importValue(const Field& f, std::string_view cell, char* image, std::string& memo,
                 std::string& scratch, std::string& fault) {
    char* dest = image + f.offset;
    const size_t width = static_cast<size_t>(f.width);
    if (f.isMemoRef())
        return cp1252FromUtf8(cell, memo, fault);
    switch (f.type) {
        case 'C': {
            if (!cp1252FromUtf8(cell, scratch, fault))
                return false;
            const std::string_view text = trimRight(scratch);
            if (text.find_first_of("\r\n") != std::string_view::npos) {
                fault = "line breaks do not fit a character field";
                return false;
            }
            if (text.size() > width) {
                fault = "is " + std::to_string(text.size()) + " characters long; the field holds " +
                        std::to_string(width);
                return false;
            }
            std::memset(dest, ' ', width);
            std::memcpy(dest, text.data(), text.size());
            return true;
        }
        case 'N':
        case 'F': {
            const std::string_view t = trimBoth(cell);
            std::memset(dest, ' ', width);
            if (t.empty())
                return true;
            // Digits with an optional sign and one point: no exponents, no
            // thousands separators, no "nan".
            size_t k = (t[0] == '-' || t[0] == '+') ? 1 : 0;
            int digits = 0, decimals = 0;
            bool point = false;
            for (; k < t.size(); ++k) {
                if (t[k] == '.' && !point) {
                    point = true;
                } else if (std::isdigit(static_cast<unsigned char>(t[k]))) {
                    ++digits;
                    if (point)
                        ++decimals;
                } else {
                    digits = -1;
                    break;
                }
            }
            if (digits <= 0) {
                fault = "'" + std::string(cell) + "' is not a number (digits with a point)";
                return false;
            }
            if (decimals > f.decimals) {
                fault = "'" + std::string(cell) + "' has more decimals than the field holds (" +
                        std::to_string(f.decimals) + ")";
                return false;
            }
            scratch.assign(t);
            const double value = std::strtod(scratch.c_str(), nullptr);
            if (!engine::formatNumber(value, f.width, f.decimals, dest)) {
                std::memset(dest, ' ', width);
                fault = "'" + std::string(cell) + "' is too wide for the field (" +
                        std::to_string(f.width) + " characters, " + std::to_string(f.decimals) +
                        " decimals)";
                return false;
            }
            return true;
        }
        case 'D': {
            const std::string_view t = trimBoth(cell);
            std::memset(dest, ' ', width);
            if (t.empty())
                return true;
            bool shape = t.size() == 10 && t[4] == '-' && t[7] == '-';
            for (size_t k = 0; shape && k < t.size(); ++k) {
                if (k != 4 && k != 7 && !std::isdigit(static_cast<unsigned char>(t[k])))
                    shape = false;
            }
            const auto number = [&t](size_t from, size_t count) {
                int v = 0;
                for (size_t k = from; k < from + count; ++k)
                    v = v * 10 + (t[k] - '0');
                return v;
            };
            if (!shape || !engine::validYmd(number(0, 4), number(5, 2), number(8, 2))) {
                fault = "'" + std::string(cell) + "' is not a date (YYYY-MM-DD)";
                return false;
            }
            std::memcpy(dest, t.data(), 4);
            std::memcpy(dest + 4, t.data() + 5, 2);
            std::memcpy(dest + 6, t.data() + 8, 2);
            return true;
        }
        case 'L': {
            const std::string t = upper(std::string(trimBoth(cell)));
            if (t.empty())
                dest[0] = ' ';
            else if (t == "TRUE")
                dest[0] = 'T';
            else if (t == "FALSE")
                dest[0] = 'F';
            else {
                fault = "'" + std::string(cell) + "' is not true or false";
                return false;
            }
            return true;
        }
        default:
            fault = std::string("fields of type ") + f.type + " are not imported";
            return false;
    }
}

// The fields that tell a record of the table apart, as a user knows it.
std::vector<int> keyFields(const Table& table) {
    static const std::vector<std::vector<const char*>> kKeys = {
        {"NAME_ID", "DIVISION"},
        {"COMPANY", "CITY"},
        {"NAME", "CATAGORY", "SERIALNUM"},
    };
    for (const auto& names : kKeys) {
        if (table.fieldIndex(names[0]) < 0)
            continue;
        std::vector<int> out;
        for (const char* n : names) {
            if (table.fieldIndex(n) >= 0)
                out.push_back(table.fieldIndex(n));
        }
        return out;
    }
    return {0};
}

std::string shown(const char* record, const Field& f) {
    std::string s(trimRight(std::string_view(record + f.offset, static_cast<size_t>(f.width))));
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    std::string out;
    appendUtf8FromCp1252(s, out);
    return out;
}

}  // namespace

// ---- export

ExportResult exportTable(const std::string& tablePath, const std::string& csvPath,
                         const ExportOptions& options) {
    ExportResult result;
    OpenTable open(tablePath, Table::Mode::Shared);
    if (!open.ok()) {
        result.error = open.error();
        return result;
    }
    const Table& table = open.table();
    result.tablePath = table.path();
    std::vector<const Field*> fields;
    if (options.fields.empty()) {
        for (const Field& f : table.fields())
            fields.push_back(&f);
    } else {
        for (const std::string& name : options.fields) {
            const int k = table.fieldIndex(upper(name));
            if (k < 0) {
                result.error = result.tablePath + ": there is no field " + name;
                return result;
            }
            fields.push_back(&table.fields()[static_cast<size_t>(k)]);
        }
    }
    std::string error;
    if (!open.table().refreshCount(error)) {
        result.error = result.tablePath + ": " + error;
        return result;
    }
    const uint32_t count = table.recordCount();
    const size_t recordLength = static_cast<size_t>(table.recordLength());
    std::string out;
    out.reserve(static_cast<size_t>(count) * (recordLength / 2 + 16) + 256);
    for (size_t k = 0; k < fields.size(); ++k) {
        if (k)
            out += ',';
        appendCell(fields[k]->name, out);
    }
    out += "\r\n";
    // Records are read in blocks straight from the table: record order,
    // deleted ones left out.
    constexpr uint32_t kBlock = 512;
    std::vector<char> block(recordLength * kBlock);
    std::string memo, plain;
    for (uint32_t first = 1; first <= count; first += kBlock) {
        const uint32_t want = std::min(kBlock, count - first + 1);
        const uint32_t got = table.readRecords(first, want, block.data());
        if (got != want) {
            result.error =
                result.tablePath + ": record " + std::to_string(first + got) + " cannot be read";
            return result;
        }
        for (uint32_t r = 0; r < got; ++r) {
            const char* record = block.data() + static_cast<size_t>(r) * recordLength;
            if (record[0] == '*')
                continue;
            for (size_t k = 0; k < fields.size(); ++k) {
                if (k)
                    out += ',';
                if (!appendValue(table, record, *fields[k], options, memo, plain, out, error)) {
                    result.error = result.tablePath + ": " + error;
                    return result;
                }
            }
            out += "\r\n";
            ++result.records;
        }
        if (options.progress)
            options.progress("Exporting", first + got - 1, count);
    }
    open.close();
    if (!writeFileAtomically(csvPath, out, error)) {
        result.error = error;
        return result;
    }
    result.ok = true;
    return result;
}

// ---- import

ImportResult importTable(const std::string& tablePath, const std::string& csvPath,
                         const ImportOptions& options) {
    ImportResult result;
    std::string error, data;
    if (!readWholeFile(csvPath, data, error)) {
        result.error = error;
        return result;
    }
    OpenTable open(tablePath, options.dryRun ? Table::Mode::ReadOnly : Table::Mode::Shared);
    if (!open.ok()) {
        result.error = open.error();
        return result;
    }
    Table& table = open.table();
    result.tablePath = table.path();
    const std::vector<Field>& fields = table.fields();
    std::vector<Fault>& faults = result.faults;

    // Header: each column names a field (directly or through the mapping) or is skipped.
    CsvReader reader(data, faults);
    std::vector<int> target;
    if (!reader.next()) {
        faults.push_back({1, 0, "the file has no header row"});
    } else {
        std::map<int, int> seen;  // field -> column
        std::vector<std::string> header;
        for (size_t c = 0; c < reader.size(); ++c)
            header.emplace_back(reader.cell(c));
        const int line = reader.line();
        for (size_t c = 0; c < header.size(); ++c) {
            const std::string column = upper(std::string(trimBoth(header[c])));
            const auto m = options.mapping.find(column);
            const std::string name = m != options.mapping.end() ? m->second : column;
            int field = -1;
            if (m != options.mapping.end() && name.empty()) {
                field = -2;  // skipped on purpose
            } else {
                field = table.fieldIndex(name);
                if (field < 0) {
                    faults.push_back(
                        {line, static_cast<int>(c) + 1,
                         "column '" + header[c] + "' names no field of " + result.tablePath +
                             (m != options.mapping.end() ? " (mapped to " + name + ")" : "")});
                } else if (seen.count(field)) {
                    faults.push_back({line, static_cast<int>(c) + 1,
                                      "field " + name + " is given twice (also column " +
                                          std::to_string(seen[field] + 1) + ")"});
                    field = -1;
                } else {
                    seen[field] = static_cast<int>(c);
                }
            }
            target.push_back(field);
        }
        for (const auto& [column, name] : options.mapping) {
            bool present = false;
            for (const std::string& cell : header)
                present = present || upper(std::string(trimBoth(cell))) == column;
            if (!present)
                faults.push_back(
                    {line, 0,
                     "the mapping names column '" + column + "', which the header does not have"});
        }
    }

    // Every row is converted twice: once to check it, and once more to
    // write it when the whole file is clean (so no image is kept meanwhile).
    const size_t recordLength = static_cast<size_t>(table.recordLength());
    std::string image(recordLength, ' ');
    std::vector<std::string> memos(fields.size());
    std::string scratch, fault;
    const size_t total = data.size();
    const auto convert = [&](CsvReader& rows, std::vector<Fault>* rowFaults) {
        if (rows.size() != target.size()) {
            if (rowFaults)
                rowFaults->push_back({rows.line(), 0,
                                      "the row has " + std::to_string(rows.size()) +
                                          " values; the header has " +
                                          std::to_string(target.size()) + " columns"});
            return false;
        }
        table.blankRecord(image.data());
        bool clean = true;
        for (size_t c = 0; c < rows.size(); ++c) {
            if (target[c] < 0)
                continue;
            const size_t k = static_cast<size_t>(target[c]);
            const Field& f = fields[k];
            memos[k].clear();
            if (!importValue(f, rows.cell(c), image.data(), memos[k], scratch, fault)) {
                clean = false;
                if (rowFaults)
                    rowFaults->push_back(
                        {rows.line(), static_cast<int>(c) + 1, f.name + ": " + fault});
            }
        }
        return clean;
    };
    size_t rowNumber = 0;
    while (reader.next()) {
        convert(reader, &faults);
        if (++rowNumber % kProgressStep == 0 && options.progress)
            options.progress("Checking", reader.position(), total);
    }
    result.rows = rowNumber;

    if (!faults.empty()) {
        result.outcome = ImportResult::Outcome::Refused;
        return result;
    }
    if (options.dryRun) {
        result.outcome = ImportResult::Outcome::Checked;
        return result;
    }
    if (!table.writable()) {
        result.error = result.tablePath + ": " + table.readOnlyReason() + "; nothing was written";
        return result;
    }
    if (!backUpTable(result.tablePath, result.backupPath, error)) {
        result.error = error + "; nothing was written";
        return result;
    }
    const int lockTimeout = Engine::instance().settings().lockTimeout;
    std::vector<Fault> none;
    CsvReader writer(data, none);
    writer.next();  // the header
    // Records go in batches under one hold of the locks (one index change
    // each); their memos are written just before them, in one write too.
    constexpr uint32_t kBatch = 512;
    std::string batch(recordLength * kBatch, ' ');
    std::vector<size_t> memoFields;
    for (size_t k = 0; k < fields.size(); ++k) {
        if (fields[k].isMemoRef())
            memoFields.push_back(k);
    }
    std::vector<std::string> memoStore(memoFields.size() * kBatch);
    std::vector<Table::MemoWrite> memoWrites;
    uint32_t batched = 0;
    bool ok = true;
    const auto appendBatch = [&] {
        if (batched == 0)
            return true;
        if (!table.writeMemos(memoWrites, lockTimeout, error))
            return false;
        uint32_t first = 0;
        const int appended = table.appendRecords(batch.data(), batched, lockTimeout, first, error);
        if (appended == Table::kAppendOk || appended == Table::kAppendIndexFailed)
            result.appended += batched;
        memoWrites.clear();
        batched = 0;
        if (options.progress)
            options.progress("Importing", result.appended, result.rows);
        return appended == Table::kAppendOk;
    };
    while (ok && writer.next()) {
        convert(writer, nullptr);
        char* slot = batch.data() + static_cast<size_t>(batched) * recordLength;
        std::memcpy(slot, image.data(), recordLength);
        for (size_t j = 0; j < memoFields.size(); ++j) {
            std::string& memo = memos[memoFields[j]];
            if (memo.empty())
                continue;
            std::string& kept = memoStore[static_cast<size_t>(batched) * memoFields.size() + j];
            kept.swap(memo);
            memoWrites.push_back({slot, &fields[memoFields[j]], &kept});
        }
        if (++batched == kBatch)
            ok = appendBatch();
    }
    if (ok)
        ok = appendBatch();
    if (ok)
        ok = table.commit(error);
    open.close();
    if (!ok) {
        result.error = result.tablePath + ": " + error + " after " +
                       std::to_string(result.appended) + " of " + std::to_string(result.rows) +
                       " rows; the table as it was is in " + result.backupPath;
        return result;
    }
    result.outcome = ImportResult::Outcome::Imported;
    return result;
}

std::string faultLine(const std::string& csvPath, const Fault& fault) {
    std::string out = csvPath + ":" + std::to_string(fault.line);
    if (fault.column > 0)
        out += ":" + std::to_string(fault.column);
    return out + ": " + fault.text;
}

bool readHeader(const std::string& csvPath, std::vector<std::string>& columns, std::string& error) {
    std::string data;
    if (!readWholeFile(csvPath, data, error))
        return false;
    std::vector<Fault> faults;
    CsvReader reader(data, faults);
    if (!reader.next()) {
        error = csvPath + ": the file has no header row";
        return false;
    }
    columns.clear();
    for (size_t c = 0; c < reader.size(); ++c)
        columns.emplace_back(reader.cell(c));
    return true;
}

bool tableFields(const std::string& tablePath, std::vector<std::string>& fields,
                 std::string& error) {
    OpenTable open(tablePath, Table::Mode::ReadOnly);
    if (!open.ok()) {
        error = open.error();
        return false;
    }
    fields.clear();
    for (const Field& f : open.table().fields())
        fields.push_back(f.name);
    return true;
}

// ---- deleted records

bool listDeleted(const std::string& tablePath, std::vector<DeletedRecord>& out,
                 std::string& resolvedPath, std::string& error) {
    OpenTable open(tablePath, Table::Mode::ReadOnly);
    if (!open.ok()) {
        error = open.error();
        return false;
    }
    const Table& table = open.table();
    resolvedPath = table.path();
    const std::vector<int> keys = keyFields(table);
    const size_t recordLength = static_cast<size_t>(table.recordLength());
    const uint32_t count = table.recordCount();
    constexpr uint32_t kBlock = 512;
    std::vector<char> block(recordLength * kBlock);
    out.clear();
    for (uint32_t first = 1; first <= count; first += kBlock) {
        const uint32_t want = std::min(kBlock, count - first + 1);
        const uint32_t got = table.readRecords(first, want, block.data());
        if (got != want) {
            error = resolvedPath + ": record " + std::to_string(first + got) + " cannot be read";
            return false;
        }
        for (uint32_t r = 0; r < got; ++r) {
            const char* record = block.data() + static_cast<size_t>(r) * recordLength;
            if (record[0] != '*')
                continue;
            DeletedRecord d;
            d.recno = first + r;
            for (int k : keys) {
                const Field& f = table.fields()[static_cast<size_t>(k)];
                d.keys.emplace_back(f.name, shown(record, f));
            }
            out.push_back(std::move(d));
        }
    }
    return true;
}

RecallResult recallRecords(const std::string& tablePath, const std::vector<uint32_t>& recnos) {
    RecallResult result;
    OpenTable open(tablePath, Table::Mode::Shared);
    if (!open.ok()) {
        result.error = open.error();
        return result;
    }
    WorkArea& area = open.area();
    Table& table = area.table();
    result.tablePath = table.path();
    std::string error;
    if (!table.refreshCount(error)) {
        result.error = result.tablePath + ": " + error;
        return result;
    }
    for (uint32_t r : recnos) {
        if (r == 0 || r > table.recordCount()) {
            result.faults.push_back("record " + std::to_string(r) +
                                    " does not exist (the table has " +
                                    std::to_string(table.recordCount()) + " records)");
        } else if (!area.go(r, error)) {
            result.error = result.tablePath + ": " + error;
            return result;
        } else if (!area.isDeleted()) {
            result.faults.push_back("record " + std::to_string(r) + " is not deleted");
        }
    }
    if (!result.faults.empty())
        return result;
    bool ok = true;
    for (uint32_t r : recnos) {
        ok = area.go(r, error) && (!area.isDeleted() || area.setDeletedFlag(false, error));
        if (!ok)
            break;
        result.recalled.push_back(r);
    }
    if (ok)
        ok = table.commit(error);
    if (!ok) {
        result.error = result.tablePath + ": " + error;
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace qly::csv
