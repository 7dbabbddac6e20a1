#include "settings/SettingsStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pwd.h>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace qly {

namespace {

constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kHeaderVersion5 = "Windows Registry Editor Version 5.00";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

bool startsWithNoCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() && equalsNoCase(text.substr(0, prefix.size()), prefix);
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string trim(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

std::string systemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

// Reads a quoted text starting at text[pos] == '"' with the \\ and \"
// escapes; pos ends after the closing quote. False when it is not closed.
bool readQuoted(const std::string& text, std::size_t& pos, std::string* out) {
    if (pos >= text.size() || text[pos] != '"')
        return false;
    ++pos;
    out->clear();
    while (pos < text.size()) {
        const char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\' && pos + 1 < text.size() && (text[pos + 1] == '\\' || text[pos + 1] == '"')) {
            out->push_back(text[pos + 1]);
            pos += 2;
            continue;
        }
        out->push_back(c);
        ++pos;
    }
    return false;
}

std::string quote(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            out.push_back('\\');
        out.push_back(c);
    }
    out.push_back('"');
    return out;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = lowerAscii(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

bool parseDword(const std::string& digits, std::uint32_t* value) {
    if (digits.empty() || digits.size() > 8)
        return false;
    std::uint32_t result = 0;
    for (char c : digits) {
        const int d = hexDigit(c);
        if (d < 0)
            return false;
        result = (result << 4) | static_cast<std::uint32_t>(d);
    }
    *value = result;
    return true;
}

// "41,42,00" -> the bytes; blanks around the commas are allowed.
bool parseHexBytes(const std::string& list, std::string* bytes) {
    bytes->clear();
    const std::string all = trim(list);
    if (all.empty())
        return true;
    std::size_t pos = 0;
    while (true) {
        const std::size_t comma = all.find(',', pos);
        const std::string item =
            trim(all.substr(pos, comma == std::string::npos ? std::string::npos : comma - pos));
        if (item.empty() || item.size() > 2)
            return false;
        int value = 0;
        for (char c : item) {
            const int d = hexDigit(c);
            if (d < 0)
                return false;
            value = value * 16 + d;
        }
        bytes->push_back(static_cast<char>(value));
        if (comma == std::string::npos)
            return true;
        pos = comma + 1;
    }
}

void appendUtf8(std::string& out, std::uint32_t code) {
    if (code < 0x80) {
        out.push_back(static_cast<char>(code));
    } else if (code < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (code >> 6)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else if (code < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (code >> 12)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (code >> 18)));
        out.push_back(static_cast<char>(0x80 | ((code >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((code >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (code & 0x3F)));
    }
}

// The bytes of an expandable string: single-byte text as a REGEDIT4 export
// writes it, or UTF-16LE as a version 5 export does; ends at the first NUL.
std::string decodeExpandString(const std::string& bytes) {
    bool utf16 = bytes.size() >= 2 && bytes.size() % 2 == 0;
    for (std::size_t i = 1; utf16 && i < bytes.size(); i += 2) {
        if (bytes[i] != '\0')
            utf16 = false;
    }
    // A single-byte text of one character and its NUL ("41,00") also looks
    // like UTF-16; both read the same then.
    std::string out;
    if (utf16) {
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
            const auto code = static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[i]));
            if (code == 0)
                break;
            appendUtf8(out, code);
        }
        return out;
    }
    for (char c : bytes) {
        if (c == '\0')
            break;
        out.push_back(c);
    }
    return out;
}

// Fills the value of an entry from the text after "=".
void parseValue(const std::string& valueText, SettingsStore::Entry& entry) {
    const std::string text = trim(valueText);
    entry.type = SettingsStore::ValueType::Other;
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        std::string value;
        if (readQuoted(text, pos, &value) && trim(text.substr(pos)).empty()) {
            entry.type = SettingsStore::ValueType::String;
            entry.text = value;
        }
        return;
    }
    if (startsWithNoCase(text, "dword:")) {
        std::uint32_t number = 0;
        if (parseDword(trim(text.substr(6)), &number)) {
            entry.type = SettingsStore::ValueType::Integer;
            entry.number = number;
        }
        return;
    }
    if (startsWithNoCase(text, "hex(2):")) {
        std::string bytes;
        if (parseHexBytes(text.substr(7), &bytes)) {
            entry.type = SettingsStore::ValueType::ExpandString;
            entry.text = decodeExpandString(bytes);
        }
    }
}

// Splits a '"name"=value' line; false when the line is no value line (a
// comment, a default value "@=", a deletion "=-" or anything else).
bool splitValueLine(const std::string& line, std::string* name, std::string* valueText) {
    const std::string text = trim(line);
    std::size_t pos = 0;
    if (!readQuoted(text, pos, name))
        return false;
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    if (pos >= text.size() || text[pos] != '=')
        return false;
    *valueText = text.substr(pos + 1);
    return trim(*valueText) != "-";
}

struct Document {
    std::vector<SettingsStore::Entry> entries;
    std::size_t keyEnd = 0;
};

SettingsStore::Entry plainEntry(std::string raw) {
    SettingsStore::Entry entry;
    entry.raw = std::move(raw);
    return entry;
}

Document emptyDocument() {
    Document doc;
    doc.entries.push_back(plainEntry(kHeader));
    doc.entries.push_back(plainEntry(""));
    doc.entries.push_back(plainEntry(std::string("[") + kSettingsKeyName + "]"));
    doc.keyEnd = doc.entries.size();
    return doc;
}

bool parseDocument(const std::string& content, Document* doc, std::string* error) {
    if (content.find('\0') != std::string::npos) {
        *error = "the settings file holds NUL bytes";
        return false;
    }
    std::string body = content;
    if (body.compare(0, 3, "\xEF\xBB\xBF") == 0)
        body.erase(0, 3);

    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < body.size()) {
        std::size_t end = body.find('\n', start);
        if (end == std::string::npos)
            end = body.size();
        std::string line = body.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(std::move(line));
        start = end + 1;
    }

    std::size_t first = 0;
    while (first < lines.size() && trim(lines[first]).empty())
        ++first;
    if (first == lines.size()) {
        *doc = emptyDocument();
        return true;
    }
    const std::string header = trim(lines[first]);
    if (header != kHeader && header != kHeaderVersion5) {
        *error = "the settings file is not a registry export (REGEDIT4)";
        return false;
    }

    doc->entries.clear();
    bool inKey = false;
    bool keySeen = false;
    std::size_t keyEnd = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        SettingsStore::Entry entry = plainEntry(lines[i]);
        const std::string text = trim(lines[i]);
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            inKey = equalsNoCase(text.substr(1, text.size() - 2), kSettingsKeyName);
            doc->entries.push_back(std::move(entry));
            if (inKey) {
                keySeen = true;
                keyEnd = doc->entries.size();
            }
            continue;
        }
        std::string name;
        std::string valueText;
        if (splitValueLine(text, &name, &valueText)) {
            // Binary values may go on over several lines, each but the last
            // ending in a backslash.
            if (startsWithNoCase(trim(valueText), "hex")) {
                while (!trim(valueText).empty() && trim(valueText).back() == '\\' &&
                       i + 1 < lines.size()) {
                    valueText = trim(valueText);
                    valueText.pop_back();
                    ++i;
                    entry.raw += "\n" + lines[i];
                    valueText += trim(lines[i]);
                }
            }
            if (inKey) {
                entry.isValue = true;
                entry.name = name;
                parseValue(valueText, entry);
            }
        }
        doc->entries.push_back(std::move(entry));
        if (inKey && doc->entries.back().isValue)
            keyEnd = doc->entries.size();
    }
    if (!keySeen) {
        if (!doc->entries.empty() && !trim(doc->entries.back().raw).empty())
            doc->entries.push_back(plainEntry(""));
        doc->entries.push_back(plainEntry(std::string("[") + kSettingsKeyName + "]"));
        keyEnd = doc->entries.size();
    }
    doc->keyEnd = keyEnd;
    return true;
}

std::string serialize(const std::vector<SettingsStore::Entry>& entries) {
    std::string out;
    for (const auto& entry : entries) {
        out += entry.raw;
        out += '\n';
    }
    return out;
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult readFile(const std::string& path, std::string* content, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        *error = systemError("cannot read " + path, errno);
        return ReadResult::Failed;
    }
    content->clear();
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = systemError("cannot read " + path, errno);
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        content->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool makeFolders(const std::string& folder, std::string* error) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        *error = folder + " is not a folder";
        return false;
    }
    const std::string parent = folderOf(folder);
    if (parent != folder && !makeFolders(parent, error))
        return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = systemError("cannot create " + folder, errno);
        return false;
    }
    return true;
}

mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes a temporary file beside path, syncs it and renames it over path, so
// that path holds either the old or the new contents, never a part.
bool replaceFileAtomically(const std::string& path, const std::string& content,
                           std::string* error) {
    const std::string folder = folderOf(path);
    const auto slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = systemError("cannot create a temporary file in " + folder, errno);
        return false;
    }
    auto fail = [&](const std::string& what) {
        *error = systemError(what, errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    struct stat st {};
    const mode_t mode =
        ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set the mode of " + temp);
    if (!writeAll(fd, content))
        return fail("cannot write " + temp);
    if (::fsync(fd) != 0)
        return fail("cannot sync " + temp);
    if (::close(fd) != 0) {
        *error = systemError("cannot close " + temp, errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        *error = systemError("cannot replace " + path, errno);
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Loads the file; a missing file gives the key alone.
bool loadDocument(const std::string& path, Document* doc, bool* missing, std::string* error) {
    std::string content;
    switch (readFile(path, &content, error)) {
        case ReadResult::Failed:
            return false;
        case ReadResult::Missing:
            *missing = true;
            *doc = emptyDocument();
            return true;
        case ReadResult::Ok:
            break;
    }
    *missing = false;
    if (!parseDocument(content, doc, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace

std::string formatSettingsMessage(const char* text, const std::string& name) {
    std::string out = text;
    const auto pos = out.find("%s");
    if (pos != std::string::npos)
        out.replace(pos, 2, name);
    return out;
}

std::string defaultSettingsFilePath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir;
        if (home != nullptr && home[0] != '\0') {
            homeDir = home;
        } else if (const passwd* pw = ::getpwuid(::getuid());
                   pw != nullptr && pw->pw_dir != nullptr) {
            homeDir = pw->pw_dir;
        }
        base = homeDir + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/KVR/QLY32.reg";
}

SettingsStore::SettingsStore() : m_useDefaultPath(true) {}

SettingsStore::SettingsStore(std::string filePath) : m_filePath(std::move(filePath)) {}

bool SettingsStore::open() {
    close();
    if (m_useDefaultPath)
        m_filePath = defaultSettingsFilePath();
    m_errorText.clear();
    Document doc;
    bool missing = false;
    if (!loadDocument(m_filePath, &doc, &missing, &m_errorText))
        return false;
    if (missing) {
        if (!makeFolders(folderOf(m_filePath), &m_errorText))
            return false;
        if (!replaceFileAtomically(m_filePath, serialize(doc.entries), &m_errorText))
            return false;
    }
    m_entries = std::move(doc.entries);
    m_open = true;
    return true;
}

void SettingsStore::close() {
    m_open = false;
    m_entries.clear();
}

const SettingsStore::Entry* SettingsStore::find(const std::string& name) const {
    // A name given twice: the later line counts, as when the export is imported.
    const Entry* found = nullptr;
    for (const auto& entry : m_entries) {
        if (entry.isValue && equalsNoCase(entry.name, name))
            found = &entry;
    }
    return found;
}

bool SettingsStore::valueExists(const std::string& name) const {
    return m_open && find(name) != nullptr;
}

std::vector<std::string> SettingsStore::valueNames() const {
    std::vector<std::string> names;
    for (const auto& entry : m_entries) {
        if (entry.isValue)
            names.push_back(entry.name);
    }
    return names;
}

SettingsStatus SettingsStore::readString(const std::string& name, std::string* value) const {
    value->clear();
    if (!m_open)
        return SettingsStatus::failure(formatSettingsMessage(kMsgGetDataFailed, name));
    const Entry* entry = find(name);
    if (entry == nullptr)
        return SettingsStatus::success();
    if (entry->type != ValueType::String && entry->type != ValueType::ExpandString)
        return SettingsStatus::failure(formatSettingsMessage(kMsgInvalidDataType, name));
    *value = entry->text;
    return SettingsStatus::success();
}

SettingsStatus SettingsStore::readInteger(const std::string& name, std::int32_t* value) const {
    if (!m_open)
        return SettingsStatus::failure(formatSettingsMessage(kMsgGetDataFailed, name));
    const Entry* entry = find(name);
    if (entry == nullptr)
        return SettingsStatus::failure(formatSettingsMessage(kMsgGetDataFailed, name));
    if (entry->type != ValueType::Integer)
        return SettingsStatus::failure(formatSettingsMessage(kMsgInvalidDataType, name));
    *value = static_cast<std::int32_t>(entry->number);
    return SettingsStatus::success();
}

SettingsStatus SettingsStore::writeString(const std::string& name, const std::string& value) {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        m_errorText = "a value of the settings file cannot hold line breaks or NUL characters";
        return SettingsStatus::failure(formatSettingsMessage(kMsgSetDataFailed, name));
    }
    Entry entry;
    entry.type = ValueType::String;
    entry.text = value;
    entry.raw = quote(name) + "=" + quote(value);
    return write(name, std::move(entry));
}

SettingsStatus SettingsStore::writeInteger(const std::string& name, std::int32_t value) {
    Entry entry;
    entry.type = ValueType::Integer;
    entry.number = static_cast<std::uint32_t>(value);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", entry.number);
    entry.raw = quote(name) + "=dword:" + digits;
    return write(name, std::move(entry));
}

SettingsStatus SettingsStore::write(const std::string& name, Entry entry) {
    const SettingsStatus failed =
        SettingsStatus::failure(formatSettingsMessage(kMsgSetDataFailed, name));
    if (!m_open) {
        m_errorText = "the settings key is not open";
        return failed;
    }
    if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        m_errorText = "a value name cannot hold line breaks or NUL characters";
        return failed;
    }
    // Start from the file as it is now, so that a write made meanwhile by
    // another dialog is kept.
    Document doc;
    bool missing = false;
    if (!loadDocument(m_filePath, &doc, &missing, &m_errorText))
        return failed;
    if (missing && !makeFolders(folderOf(m_filePath), &m_errorText))
        return failed;

    entry.isValue = true;
    std::size_t target = doc.entries.size();
    for (std::size_t i = 0; i < doc.entries.size(); ++i) {
        if (doc.entries[i].isValue && equalsNoCase(doc.entries[i].name, name)) {
            target = i;
            break;
        }
    }
    if (target == doc.entries.size()) {
        entry.name = name;
        doc.entries.insert(doc.entries.begin() + static_cast<std::ptrdiff_t>(doc.keyEnd),
                           std::move(entry));
    } else {
        // The name keeps the spelling it has in the file; later duplicates go.
        entry.name = doc.entries[target].name;
        entry.raw = quote(entry.name) + entry.raw.substr(quote(name).size());
        doc.entries[target] = std::move(entry);
        for (std::size_t i = doc.entries.size(); i-- > target + 1;) {
            if (doc.entries[i].isValue && equalsNoCase(doc.entries[i].name, name))
                doc.entries.erase(doc.entries.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
    if (!replaceFileAtomically(m_filePath, serialize(doc.entries), &m_errorText))
        return failed;
    Document fresh;
    std::string error;
    if (parseDocument(serialize(doc.entries), &fresh, &error)) {
        m_entries = std::move(fresh.entries);
    }
    return SettingsStatus::success();
}

}  // namespace qly
