// qlyctl export and import: a table to and from a CSV file (RFC 4180, UTF-8,
// a header row of field names).
//
// Export writes the live records in record order: text without trailing
// blanks, dates as YYYY-MM-DD, numbers as stored (with a point), logicals
// as true/false, rich-text memos as their plain text (--rtf: as stored).
// Import checks every row before it writes anything and lists every fault
// with its line and column; a clean file is appended after a backup archive
// of the table has been written next to it.

#include <sys/stat.h>
#include <unistd.h>

#include <QByteArray>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QString>
#include <QStringDecoder>
#include <QTextDocument>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archiver.h"
#include "cli/Commands.h"
#include "engine/Dates.h"
#include "engine/Engine.h"
#include "engine/File.h"
#include "engine/IndexSet.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"
#include "widgets/richtext/CodePage.h"
#include "widgets/richtext/Rtf.h"

namespace qlyctl {

namespace {

using qly::engine::Engine;
using qly::engine::Field;
using qly::engine::Table;
using qly::engine::WorkArea;

int usage(const char* synopsis) {
    std::fprintf(stderr, "usage: qlyctl %s\n", synopsis);
    return kExitUsage;
}

int failure(const char* command, const std::string& message) {
    std::fprintf(stderr, "qlyctl %s: %s\n", command, message.c_str());
    return kExitFailure;
}

std::string upper(std::string s) {
    for (char& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

std::string trimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}

std::string trimBoth(std::string s) {
    s = trimRight(std::move(s));
    size_t b = 0;
    while (b < s.size() && s[b] == ' ')
        ++b;
    return s.substr(b);
}

// Code page 1252 bytes as UTF-8.
std::string utf8FromCp1252(const std::string& bytes) {
    return richtext::decodeCodePage(1252, QByteArray::fromStdString(bytes)).toStdString();
}

// A GUI application for the rich-text reader's document (fonts), without a display.
void ensureGuiApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // Notices of the platform plugin are no business of the exported file.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", text.toLocal8Bit().constData());
    });
    static int argc = 1;
    static char program[] = "qlyctl";
    static char* argv[] = {program, nullptr};
    static QGuiApplication application(argc, argv);
}

std::string memoAsPlainText(const std::string& stored) {
    const QByteArray bytes = QByteArray::fromStdString(stored);
    if (!richtext::looksLikeRtf(bytes)) {
        std::string text = stored;
        while (!text.empty() && text.back() == '\0')
            text.pop_back();
        return utf8FromCp1252(text);
    }
    ensureGuiApplication();
    QTextDocument document;
    richtext::readRtf(bytes, &document);
    return document.toPlainText().toStdString();
}

// ---- CSV ----

std::string csvCell(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string out = "\"";
    for (char c : value) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

struct CsvRow {
    int line = 0;  // where the row starts, 1 = the header
    std::vector<std::string> cells;
};

struct Fault {
    int line = 0;
    int column = 0;  // 0 = the row as a whole
    std::string text;
};

// Splits the whole file into rows; faults of the syntax go to faults.
std::vector<CsvRow> parseCsv(const std::string& data, std::vector<Fault>& faults) {
    std::vector<CsvRow> rows;
    size_t i = 0;
    if (data.compare(0, 3, "\xEF\xBB\xBF") == 0)
        i = 3;
    int line = 1;
    const size_t n = data.size();
    while (i < n) {
        CsvRow row;
        row.line = line;
        bool endOfRow = false;
        while (!endOfRow) {
            std::string cell;
            if (i < n && data[i] == '"') {
                const int startLine = line;
                ++i;
                bool closed = false;
                while (i < n) {
                    if (data[i] == '"') {
                        if (i + 1 < n && data[i + 1] == '"') {
                            cell += '"';
                            i += 2;
                            continue;
                        }
                        ++i;
                        closed = true;
                        break;
                    }
                    if (data[i] == '\n')
                        ++line;
                    cell += data[i++];
                }
                if (!closed) {
                    faults.push_back({startLine, static_cast<int>(row.cells.size()) + 1,
                                      "quoted value is not closed before the end of the file"});
                    row.cells.push_back(cell);
                    rows.push_back(row);
                    return rows;
                }
                if (i < n && data[i] != ',' && data[i] != '\r' && data[i] != '\n') {
                    faults.push_back({line, static_cast<int>(row.cells.size()) + 1,
                                      "text after the closing quote"});
                    while (i < n && data[i] != ',' && data[i] != '\r' && data[i] != '\n')
                        ++i;
                }
            } else {
                while (i < n && data[i] != ',' && data[i] != '\r' && data[i] != '\n') {
                    if (data[i] == '"') {
                        faults.push_back({line, static_cast<int>(row.cells.size()) + 1,
                                          "quote inside a value that is not quoted"});
                    }
                    cell += data[i++];
                }
            }
            row.cells.push_back(std::move(cell));
            if (i < n && data[i] == ',') {
                ++i;
                continue;
            }
            // End of the row: CR LF, LF, a lone CR, or the end of the file.
            if (i < n && data[i] == '\r')
                ++i;
            if (i < n && data[i] == '\n')
                ++i;
            ++line;
            endOfRow = true;
        }
        // A blank line carries no row (a final line break ends the last row).
        if (!(row.cells.size() == 1 && row.cells[0].empty()))
            rows.push_back(std::move(row));
    }
    return rows;
}

// ---- values ----

// The text of one field of a record as export writes it.
bool exportValue(const Table& table, const char* record, const Field& f, bool keepRtf,
                 std::string& out, std::string& error) {
    const std::string raw(record + f.offset, static_cast<size_t>(f.width));
    switch (f.type) {
        case 'C':
            out = utf8FromCp1252(trimRight(raw));
            return true;
        case 'N':
        case 'F':
            out = trimBoth(raw);
            return true;
        case 'D': {
            const std::string t = trimBoth(raw);
            out = t.size() == 8 ? t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) : t;
            return true;
        }
        case 'L': {
            const char c = static_cast<char>(std::toupper(static_cast<unsigned char>(raw[0])));
            out = (c == 'T' || c == 'Y') ? "true" : (c == 'F' || c == 'N') ? "false" : "";
            return true;
        }
        default:
            if (f.isMemoRef()) {
                std::string memo;
                if (!table.readMemo(record, f, memo, error))
                    return false;
                out = keepRtf ? utf8FromCp1252(trimRight(memo)) : memoAsPlainText(memo);
                return true;
            }
            out = utf8FromCp1252(trimRight(raw));
            return true;
    }
}

// UTF-8 text as code page 1252 bytes; a fault text when it cannot be.
std::optional<std::string> cp1252FromUtf8(const std::string& text, std::string& fault) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString decoded = decoder(QByteArray::fromStdString(text));
    if (decoder.hasError()) {
        fault = "is not valid UTF-8";
        return std::nullopt;
    }
    std::string out;
    out.reserve(static_cast<size_t>(decoded.size()));
    for (qsizetype k = 0; k < decoded.size(); ++k) {
        char32_t code = decoded.at(k).unicode();
        if (decoded.at(k).isHighSurrogate() && k + 1 < decoded.size()) {
            code = QChar::surrogateToUcs4(decoded.at(k), decoded.at(k + 1));
            ++k;
        }
        const int byte = code > 0xFFFF ? -1 : richtext::encodeCp1252(static_cast<char16_t>(code));
        if (byte < 0) {
            char buf[96];
            std::snprintf(buf, sizeof buf,
                          "character U+%04X cannot be stored in the table's code page (Windows "
                          "1252)",
                          static_cast<unsigned>(code));
            fault = buf;
            return std::nullopt;
        }
        out += static_cast<char>(byte);
    }
    return out;
}

// Puts one CSV value into a record image (memos: into memo, written later).
// Returns a fault text, or "" when the value fits.
std::string importValue(const Field& f, const std::string& cell, char* image, std::string& memo) {
    std::string fault;
    char* dest = image + f.offset;
    const size_t width = static_cast<size_t>(f.width);
    if (f.isMemoRef()) {
        std::optional<std::string> bytes = cp1252FromUtf8(cell, fault);
        if (!bytes)
            return fault;
        memo = *bytes;
        return "";
    }
    switch (f.type) {
        case 'C': {
            std::optional<std::string> bytes = cp1252FromUtf8(cell, fault);
            if (!bytes)
                return fault;
            std::string text = trimRight(*bytes);
            if (text.find_first_of("\r\n") != std::string::npos)
                return "line breaks do not fit a character field";
            if (text.size() > width)
                return "is " + std::to_string(text.size()) + " characters long; the field holds " +
                       std::to_string(width);
            std::memset(dest, ' ', width);
            std::memcpy(dest, text.data(), text.size());
            return "";
        }
        case 'N':
        case 'F': {
            const std::string t = trimBoth(cell);
            std::memset(dest, ' ', width);
            if (t.empty())
                return "";
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
                    return "'" + cell + "' is not a number (digits with a point)";
                }
            }
            if (digits == 0)
                return "'" + cell + "' is not a number (digits with a point)";
            if (decimals > f.decimals)
                return "'" + cell + "' has more decimals than the field holds (" +
                       std::to_string(f.decimals) + ")";
            const double value = std::strtod(t.c_str(), nullptr);
            if (!qly::engine::formatNumber(value, f.width, f.decimals, dest)) {
                std::memset(dest, ' ', width);
                return "'" + cell + "' is too wide for the field (" + std::to_string(f.width) +
                       " characters, " + std::to_string(f.decimals) + " decimals)";
            }
            return "";
        }
        case 'D': {
            const std::string t = trimBoth(cell);
            std::memset(dest, ' ', width);
            if (t.empty())
                return "";
            int y = 0, m = 0, d = 0;
            bool shape = t.size() == 10 && t[4] == '-' && t[7] == '-';
            for (size_t k = 0; shape && k < t.size(); ++k) {
                if (k != 4 && k != 7 && !std::isdigit(static_cast<unsigned char>(t[k])))
                    shape = false;
            }
            if (shape) {
                y = std::atoi(t.substr(0, 4).c_str());
                m = std::atoi(t.substr(5, 2).c_str());
                d = std::atoi(t.substr(8, 2).c_str());
            }
            if (!shape || !qly::engine::validYmd(y, m, d))
                return "'" + cell + "' is not a date (YYYY-MM-DD)";
            std::memcpy(dest, t.substr(0, 4).data(), 4);
            std::memcpy(dest + 4, t.substr(5, 2).data(), 2);
            std::memcpy(dest + 6, t.substr(8, 2).data(), 2);
            return "";
        }
        case 'L': {
            const std::string t = upper(trimBoth(cell));
            if (t.empty())
                dest[0] = ' ';
            else if (t == "TRUE")
                dest[0] = 'T';
            else if (t == "FALSE")
                dest[0] = 'F';
            else
                return "'" + cell + "' is not true or false";
            return "";
        }
        default:
            return std::string("fields of type ") + f.type + " are not imported";
    }
}

bool readWholeFile(const std::string& path, std::string& out, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = path + ": " + std::strerror(errno);
        return false;
    }
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
        const std::string p =
            qly::engine::resolveFileName(qly::engine::withExtension(dbfPath, ext));
        if (qly::engine::fileExists(p))
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
    for (int k = 2; fs::exists(archive); ++k)
        archive = base + "-" + std::to_string(k) + ".bkp";
    qly::archive::TArchiver a;
    std::string reported;
    a.OnError = [&reported](qly::archive::TArchiver&, int code, const std::string& text) {
        reported = text + " (error " + std::to_string(code) + ")";
    };
    a.setBackupTitle("Before import");
    if (!a.Backup(tableFiles(dbfPath), archive) || a.errorCode() != 0) {
        error = archive + ": the backup failed: " + (reported.empty() ? a.raisedError() : reported);
        return false;
    }
    return true;
}

}  // namespace

int cmdExport(const Args& args) {
    const char* synopsis = "export TABLE OUT.csv [--rtf]";
    std::vector<std::string> positional;
    bool keepRtf = false;
    for (const std::string& a : args) {
        if (a == "--rtf")
            keepRtf = true;
        else if (!a.empty() && a[0] == '-')
            return usage(synopsis);
        else
            positional.push_back(a);
    }
    if (positional.size() != 2)
        return usage(synopsis);
    Engine& engine = Engine::instance();
    engine.settings().deleted = true;
    const int number = engine.use(positional[0], "", Table::Mode::Shared);
    if (number == 0)
        return failure("export", engine.lastError());
    WorkArea& area = *engine.area(number);
    const Table& table = area.table();
    std::string out;
    for (size_t k = 0; k < table.fields().size(); ++k)
        out += (k ? "," : "") + csvCell(table.fields()[k].name);
    out += "\r\n";
    std::string error, value;
    size_t records = 0;
    bool ok = area.goTop(error);
    while (ok && !area.eof()) {
        for (size_t k = 0; ok && k < table.fields().size(); ++k) {
            ok = exportValue(table, area.record(), table.fields()[k], keepRtf, value, error);
            if (k)
                out += ',';
            out += csvCell(value);
        }
        out += "\r\n";
        ++records;
        if (ok)
            ok = area.skip(1, error);
    }
    const std::string path = table.path();
    engine.close(number);
    if (!ok)
        return failure("export", path + ": " + error);
    if (!writeFileAtomically(positional[1], out, error))
        return failure("export", error);
    std::printf("exported %zu records of %s to %s\n", records, path.c_str(), positional[1].c_str());
    return kExitOk;
}

int cmdImport(const Args& args) {
    const char* synopsis = "import TABLE IN.csv [--dry-run] [--map COLUMN=FIELD]... [--rtf]";
    std::vector<std::string> positional;
    std::map<std::string, std::string> mapping;  // column (upper case) -> field, "" = skip
    bool dryRun = false;
    bool keepRtf = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dry-run") {
            dryRun = true;
        } else if (a == "--rtf") {
            keepRtf = true;
        } else if (a == "--map" || a.rfind("--map=", 0) == 0) {
            std::string mapText =
                a == "--map" ? (i + 1 < args.size() ? args[++i] : "") : a.substr(6);
            const size_t eq = mapText.find('=');
            if (eq == std::string::npos || eq == 0)
                return usage(synopsis);
            mapping[upper(mapText.substr(0, eq))] = upper(mapText.substr(eq + 1));
        } else if (!a.empty() && a[0] == '-') {
            return usage(synopsis);
        } else {
            positional.push_back(a);
        }
    }
    if (positional.size() != 2)
        return usage(synopsis);
    const std::string& csvPath = positional[1];
    std::string error, data;
    if (!readWholeFile(csvPath, data, error))
        return failure("import", error);

    Engine& engine = Engine::instance();
    engine.settings().deleted = true;
    const int number =
        engine.use(positional[0], "", dryRun ? Table::Mode::ReadOnly : Table::Mode::Shared);
    if (number == 0)
        return failure("import", engine.lastError());
    WorkArea& area = *engine.area(number);
    Table& table = area.table();
    const std::string tablePath = table.path();
    const std::vector<Field>& fields = table.fields();

    std::vector<Fault> faults;
    std::vector<CsvRow> rows = parseCsv(data, faults);
    // Header: each column names a field (directly or through --map) or is skipped.
    std::vector<int> target;
    if (rows.empty()) {
        faults.push_back({1, 0, "the file has no header row"});
    } else {
        const CsvRow& header = rows.front();
        std::map<int, int> seen;  // field -> column
        for (size_t c = 0; c < header.cells.size(); ++c) {
            const std::string column = upper(trimBoth(header.cells[c]));
            const auto m = mapping.find(column);
            const std::string name = m != mapping.end() ? m->second : column;
            int field = -1;
            if (m != mapping.end() && name.empty()) {
                field = -2;  // skipped on purpose
            } else {
                field = table.fieldIndex(name);
                if (field < 0) {
                    faults.push_back({header.line, static_cast<int>(c) + 1,
                                      "column '" + header.cells[c] + "' names no field of " +
                                          tablePath +
                                          (m != mapping.end() ? " (mapped to " + name + ")" : "")});
                } else if (seen.count(field)) {
                    faults.push_back({header.line, static_cast<int>(c) + 1,
                                      "field " + name + " is given twice (also column " +
                                          std::to_string(seen[field] + 1) + ")"});
                    field = -1;
                } else {
                    seen[field] = static_cast<int>(c);
                }
            }
            target.push_back(field);
        }
        for (const auto& [column, name] : mapping) {
            bool present = false;
            for (const std::string& cell : header.cells)
                present = present || upper(trimBoth(cell)) == column;
            if (!present)
                faults.push_back(
                    {header.line, 0,
                     "--map names column '" + column + "', which the header does not have"});
        }
    }

    // Every row, into record images.
    const size_t recordLength = static_cast<size_t>(table.recordLength());
    std::vector<std::string> images;
    std::vector<std::vector<std::pair<int, std::string>>> memos;
    for (size_t r = 1; r < rows.size(); ++r) {
        const CsvRow& row = rows[r];
        if (row.cells.size() != target.size()) {
            faults.push_back({row.line, 0,
                              "the row has " + std::to_string(row.cells.size()) +
                                  " values; the header has " + std::to_string(target.size()) +
                                  " columns"});
            continue;
        }
        std::string image(recordLength, ' ');
        table.blankRecord(image.data());
        std::vector<std::pair<int, std::string>> rowMemos;
        for (size_t c = 0; c < row.cells.size(); ++c) {
            if (target[c] < 0)
                continue;
            const Field& f = fields[static_cast<size_t>(target[c])];
            std::string memo;
            const std::string fault = importValue(f, row.cells[c], image.data(), memo);
            if (!fault.empty()) {
                faults.push_back({row.line, static_cast<int>(c) + 1, f.name + ": " + fault});
            } else if (f.isMemoRef() && !memo.empty()) {
                (void)keepRtf;  // memo text is stored as given, RTF or plain
                rowMemos.emplace_back(target[c], std::move(memo));
            }
        }
        images.push_back(std::move(image));
        memos.push_back(std::move(rowMemos));
    }

    if (!faults.empty()) {
        engine.close(number);
        for (const Fault& f : faults) {
            if (f.column > 0)
                std::fprintf(stderr, "%s:%d:%d: %s\n", csvPath.c_str(), f.line, f.column,
                             f.text.c_str());
            else
                std::fprintf(stderr, "%s:%d: %s\n", csvPath.c_str(), f.line, f.text.c_str());
        }
        std::fprintf(stderr, "qlyctl import: %zu faults; nothing was written to %s\n",
                     faults.size(), tablePath.c_str());
        return kExitFailure;
    }
    if (dryRun) {
        engine.close(number);
        std::printf("%zu rows of %s can be imported into %s (dry run: nothing written)\n",
                    images.size(), csvPath.c_str(), tablePath.c_str());
        return kExitOk;
    }
    if (!table.writable()) {
        const std::string reason = table.readOnlyReason();
        engine.close(number);
        return failure("import", tablePath + ": " + reason + "; nothing was written");
    }
    std::string archive;
    if (!backUpTable(tablePath, archive, error)) {
        engine.close(number);
        return failure("import", error + "; nothing was written");
    }
    const int lockTimeout = engine.settings().lockTimeout;
    size_t appended = 0;
    bool ok = true;
    for (size_t r = 0; ok && r < images.size(); ++r) {
        std::string& image = images[r];
        for (auto& [field, memo] : memos[r]) {
            if (!table.writeMemo(image.data(), fields[static_cast<size_t>(field)], memo,
                                 lockTimeout, error)) {
                ok = false;
                break;
            }
        }
        uint32_t recno = 0;
        if (ok) {
            const int result = table.appendRecord(image.data(), lockTimeout, recno, error);
            if (result != Table::kAppendOk) {
                ok = false;
                if (result == Table::kAppendIndexFailed)
                    ++appended;
            } else {
                ++appended;
            }
        }
    }
    if (ok)
        ok = table.commit(error);
    engine.close(number);
    if (!ok) {
        return failure("import", tablePath + ": " + error + " after " + std::to_string(appended) +
                                     " of " + std::to_string(images.size()) +
                                     " rows; the table as it was is in " + archive);
    }
    std::printf("imported %zu rows of %s into %s (backup %s)\n", appended, csvPath.c_str(),
                tablePath.c_str(), archive.c_str());
    return kExitOk;
}

}  // namespace qlyctl
