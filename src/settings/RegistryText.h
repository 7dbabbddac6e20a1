#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The text of a registry export (REGEDIT4), as the settings store keeps its
// key in it: the lines as they stand, and the typed values of one key.
//
//   REGEDIT4
//
//   [HKEY_CURRENT_USER\SOFTWARE\KVR\QLY32]
//   "PATH"="/home/ann/inventory/"
//   "DATEFORMAT"=dword:00000004
//
// Strings are "..." with \\ and \" escapes; integers dword: and eight hex
// digits; hex(2): (an expandable string, single-byte or UTF-16LE) is read as
// a string without expansion. Binary values may go on over several lines,
// each but the last ending in a backslash. Value names compare without
// regard to case. Blank lines, ";" comments, lines that are no value and
// other keys are kept as they are. The header may also be the one of a
// version 5 export, which Windows writes in UTF-16 with a byte order mark
// (decodeText turns it, and UTF-8 with a mark, into plain UTF-8).
namespace qly::registry {

enum class ValueType { String, ExpandString, Integer, Other };

// One line of the file: kept text, or a parsed value of the key.
struct Entry {
    std::string raw;       // the text as it stood in the file (may span lines)
    bool isValue = false;  // a "name"=value line inside the key's section
    std::string name;
    ValueType type = ValueType::Other;
    std::string text;          // String, ExpandString
    std::uint32_t number = 0;  // Integer
};

// The lines of an export, and the place after the key's last value, where
// a new value goes.
struct Document {
    std::vector<Entry> entries;
    std::size_t keyEnd = 0;
};

// What a parse could not take in.
struct ParseNotes {
    // The first line is no export header: the text is no registry export.
    bool noHeader = false;
    // The numbers (from 1) of the lines that are nothing an export holds, or
    // a value of the key that is malformed (an unclosed string, a dword that
    // is no number).
    std::vector<std::size_t> badLines;
};

bool equalsNoCase(const std::string& a, const std::string& b);

// The bytes of a file as UTF-8 text: a UTF-8 byte order mark is dropped;
// UTF-16 with its byte order mark (little- or big-endian) is converted.
// False, with *error saying why, when the bytes are no text (NUL bytes,
// broken UTF-16).
bool decodeText(const std::string& bytes, std::string* text, std::string* error);

// A document holding the header and the key alone.
Document emptyDocument(const std::string& keyName);
// Reads the text of an export (UTF-8, see decodeText); the values of the key
// keyName are parsed, a missing key section is added at the end. What does
// not parse is listed in *notes. Lines that are no part of an export are
// kept as they stand, except in a text without an export header: there they
// are left out and the document gets the header. An empty text gives the
// empty document.
Document parseDocument(const std::string& content, const std::string& keyName, ParseNotes* notes);
// The text of the lines, each ended by a line feed.
std::string serialize(const std::vector<Entry>& entries);

// Value lines as an export writes them: "name"="text" with escapes, and
// "name"=dword:0000002a.
Entry stringValue(const std::string& name, const std::string& value);
Entry integerValue(const std::string& name, std::uint32_t value);

// The line of the value name; when the name is given twice the later line
// counts, as when the export is imported. nullptr when there is none.
const Entry* findValue(const std::vector<Entry>& entries, const std::string& name);
// Sets a value (an Entry made by stringValue or integerValue): it replaces
// the first line of that name, which keeps its spelling, and later lines of
// the name go; a new name is added after the key's last value.
void putValue(Document& doc, Entry entry);

}  // namespace qly::registry
