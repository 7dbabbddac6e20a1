#include "settings/RegistryText.h"

#include <cstdio>

namespace qly::registry {

namespace {

constexpr const char* kHeader = "REGEDIT4";
constexpr const char* kHeaderVersion5 = "Windows Registry Editor Version 5.00";

char lowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
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

// Fills the value of an entry from the text after "=". False when the value
// is malformed; a well-formed value of a type this store does not read
// (hex:, hex(7):, ...) is of type Other.
bool parseValue(const std::string& valueText, Entry& entry) {
    const std::string text = trim(valueText);
    entry.type = ValueType::Other;
    if (!text.empty() && text[0] == '"') {
        std::size_t pos = 0;
        std::string value;
        if (!readQuoted(text, pos, &value) || !trim(text.substr(pos)).empty())
            return false;
        entry.type = ValueType::String;
        entry.text = value;
        return true;
    }
    if (startsWithNoCase(text, "dword:")) {
        std::uint32_t number = 0;
        if (!parseDword(trim(text.substr(6)), &number))
            return false;
        entry.type = ValueType::Integer;
        entry.number = number;
        return true;
    }
    if (startsWithNoCase(text, "hex(2):")) {
        std::string bytes;
        if (!parseHexBytes(text.substr(7), &bytes))
            return false;
        entry.type = ValueType::ExpandString;
        entry.text = decodeExpandString(bytes);
        return true;
    }
    if (startsWithNoCase(text, "hex")) {
        const std::size_t colon = text.find(':');
        std::string bytes;
        return colon != std::string::npos && parseHexBytes(text.substr(colon + 1), &bytes);
    }
    return false;
}

// A line that an export may hold besides the key's values: a blank line, a
// comment, a key, a value (of any key), the default value "@=" or a
// deletion.
bool isExportLine(const std::string& text) {
    if (text.empty() || text[0] == ';')
        return true;
    if (text.size() >= 2 && text.front() == '[' && text.back() == ']')
        return true;
    std::size_t pos = 0;
    std::string name;
    if (text[0] == '@') {
        pos = 1;
    } else if (!readQuoted(text, pos, &name)) {
        return false;
    }
    while (pos < text.size() && isBlank(text[pos]))
        ++pos;
    return pos < text.size() && text[pos] == '=';
}

// UTF-16 with its byte order mark already taken off, as UTF-8.
bool decodeUtf16(const std::string& bytes, bool bigEndian, std::string* out, std::string* error) {
    if (bytes.size() % 2 != 0) {
        *error = "its UTF-16 text ends in half a character";
        return false;
    }
    auto unit = [&](std::size_t i) {
        const auto a = static_cast<unsigned char>(bytes[i]);
        const auto b = static_cast<unsigned char>(bytes[i + 1]);
        return static_cast<std::uint32_t>(bigEndian ? (a << 8) | b : (b << 8) | a);
    };
    out->clear();
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        std::uint32_t code = unit(i);
        if (code >= 0xD800 && code <= 0xDBFF && i + 3 < bytes.size()) {
            const std::uint32_t low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                code = 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00);
                i += 2;
            }
        }
        if (code >= 0xD800 && code <= 0xDFFF) {
            *error = "its UTF-16 text holds a broken character";
            return false;
        }
        if (code == 0) {
            *error = "it holds NUL characters";
            return false;
        }
        appendUtf8(*out, code);
    }
    return true;
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

Entry plainEntry(std::string raw) {
    Entry entry;
    entry.raw = std::move(raw);
    return entry;
}

}  // namespace

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lowerAscii(a[i]) != lowerAscii(b[i]))
            return false;
    }
    return true;
}

Document emptyDocument(const std::string& keyName) {
    Document doc;
    doc.entries.push_back(plainEntry(kHeader));
    doc.entries.push_back(plainEntry(""));
    doc.entries.push_back(plainEntry("[" + keyName + "]"));
    doc.keyEnd = doc.entries.size();
    return doc;
}

bool decodeText(const std::string& bytes, std::string* text, std::string* error) {
    if (bytes.compare(0, 2, "\xFF\xFE") == 0)
        return decodeUtf16(bytes.substr(2), false, text, error);
    if (bytes.compare(0, 2, "\xFE\xFF") == 0)
        return decodeUtf16(bytes.substr(2), true, text, error);
    if (bytes.find('\0') != std::string::npos) {
        *error = "it holds NUL bytes";
        return false;
    }
    *text = bytes.compare(0, 3, "\xEF\xBB\xBF") == 0 ? bytes.substr(3) : bytes;
    return true;
}

Document parseDocument(const std::string& content, const std::string& keyName, ParseNotes* notes) {
    *notes = ParseNotes();
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
    if (first == lines.size())
        return emptyDocument(keyName);
    const std::string header = trim(lines[first]);
    Document doc;
    if (header != kHeader && header != kHeaderVersion5) {
        // No export: what it holds of one is taken under a header of our own.
        notes->noHeader = true;
        doc.entries.push_back(plainEntry(kHeader));
        doc.entries.push_back(plainEntry(""));
    }

    bool inKey = false;
    bool keySeen = false;
    std::size_t keyEnd = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::size_t lineNumber = i + 1;
        Entry entry = plainEntry(lines[i]);
        const std::string text = trim(lines[i]);
        if (text.size() >= 2 && text.front() == '[' && text.back() == ']') {
            inKey = equalsNoCase(text.substr(1, text.size() - 2), keyName);
            doc.entries.push_back(std::move(entry));
            if (inKey) {
                keySeen = true;
                keyEnd = doc.entries.size();
            }
            continue;
        }
        bool good = (notes->noHeader || i != first) ? isExportLine(text) : true;
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
                good = parseValue(valueText, entry);
            }
        }
        if (!good) {
            notes->badLines.push_back(lineNumber);
            if (notes->noHeader)
                continue;
        }
        doc.entries.push_back(std::move(entry));
        if (inKey && doc.entries.back().isValue)
            keyEnd = doc.entries.size();
    }
    if (!keySeen) {
        if (!doc.entries.empty() && !trim(doc.entries.back().raw).empty())
            doc.entries.push_back(plainEntry(""));
        doc.entries.push_back(plainEntry("[" + keyName + "]"));
        keyEnd = doc.entries.size();
    }
    doc.keyEnd = keyEnd;
    return doc;
}

std::string serialize(const std::vector<Entry>& entries) {
    std::string out;
    for (const auto& entry : entries) {
        out += entry.raw;
        out += '\n';
    }
    return out;
}

Entry stringValue(const std::string& name, const std::string& value) {
    Entry entry;
    entry.isValue = true;
    entry.name = name;
    entry.type = ValueType::String;
    entry.text = value;
    entry.raw = quote(name) + "=" + quote(value);
    return entry;
}

Entry integerValue(const std::string& name, std::uint32_t value) {
    Entry entry;
    entry.isValue = true;
    entry.name = name;
    entry.type = ValueType::Integer;
    entry.number = value;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08x", value);
    entry.raw = quote(name) + "=dword:" + digits;
    return entry;
}

const Entry* findValue(const std::vector<Entry>& entries, const std::string& name) {
    // A name given twice: the later line counts, as when the export is imported.
    const Entry* found = nullptr;
    for (const auto& entry : entries) {
        if (entry.isValue && equalsNoCase(entry.name, name))
            found = &entry;
    }
    return found;
}

void putValue(Document& doc, Entry entry) {
    const std::string name = entry.name;
    std::size_t target = doc.entries.size();
    for (std::size_t i = 0; i < doc.entries.size(); ++i) {
        if (doc.entries[i].isValue && equalsNoCase(doc.entries[i].name, name)) {
            target = i;
            break;
        }
    }
    if (target == doc.entries.size()) {
        doc.entries.insert(doc.entries.begin() + static_cast<std::ptrdiff_t>(doc.keyEnd),
                           std::move(entry));
        return;
    }
    // The name keeps the spelling it has in the file; later duplicates go.
    entry.name = doc.entries[target].name;
    entry.raw = quote(entry.name) + entry.raw.substr(quote(name).size());
    doc.entries[target] = std::move(entry);
    for (std::size_t i = doc.entries.size(); i-- > target + 1;) {
        if (doc.entries[i].isValue && equalsNoCase(doc.entries[i].name, name))
            doc.entries.erase(doc.entries.begin() + static_cast<std::ptrdiff_t>(i));
    }
}

}  // namespace qly::registry
