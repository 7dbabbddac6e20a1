#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "base/Result.h"

// A version record: the layout of a Windows version resource (VS_VERSIONINFO).
// The record is a tree of blocks; every block is
//
//   u16 wLength        bytes of the block, its children included
//   u16 wValueLength   length of the value: bytes (binary) or UTF-16 units (text)
//   u16 wType          0 binary value, 1 text value
//   u16 szKey[]        the key, UTF-16LE, null-terminated
//   padding to a 4-byte boundary
//   value
//   padding to a 4-byte boundary
//   children, each starting on a 4-byte boundary
//
// Boundaries count from the start of the record; all integers are
// little-endian. The root's key is "VS_VERSION_INFO" and its value the fixed
// part (VS_FIXEDFILEINFO, 13 u32: signature 0xFEEF04BD, structure version,
// file version high and low, product version high and low, flags mask,
// flags, OS, type, subtype, date high and low). Its children:
//
//   "StringFileInfo"        one child per language and code page, keyed by
//     "080904E4"            eight hex digits (language, then code page),
//       "CompanyName" ...   whose children are the text entries
//   "VarFileInfo"
//     "Translation"         binary: u32 entries, language in the low word,
//                           code page in the high word
//
// The reader checks every length against the bytes it was given and the
// block that holds it; a damaged record gives a failure, never a read past
// its end.
namespace qly::version {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;
constexpr std::uint32_t kFixedStructVersion = 0x00010000;
constexpr std::size_t kFixedPartSize = 52;
constexpr std::size_t kFixedFlagsOffset = 28;
constexpr std::uint16_t kMaxRecordSize = 0xFFFF;
constexpr const char* kRootKey = "VS_VERSION_INFO";
constexpr const char* kStringFileInfoKey = "StringFileInfo";
constexpr const char* kVarFileInfoKey = "VarFileInfo";
constexpr const char* kTranslationKey = "Translation";

// Bits of the fixed part's flags word.
constexpr std::uint32_t kFlagDebug = 0x01;
constexpr std::uint32_t kFlagPreRelease = 0x02;
constexpr std::uint32_t kFlagPatched = 0x04;
constexpr std::uint32_t kFlagPrivateBuild = 0x08;
constexpr std::uint32_t kFlagInfoInferred = 0x10;
constexpr std::uint32_t kFlagSpecialBuild = 0x20;
constexpr std::uint32_t kFlagsMaskAll = 0x3F;

struct FixedInfo {
    std::uint32_t fileVersionMS = 0;
    std::uint32_t fileVersionLS = 0;
    std::uint32_t productVersionMS = 0;
    std::uint32_t productVersionLS = 0;
    std::uint32_t flagsMask = kFlagsMaskAll;
    std::uint32_t flags = 0;
    std::uint32_t os = 0x00040004;  // 32-bit Windows NT
    std::uint32_t type = 1;         // an application
    std::uint32_t subtype = 0;
    std::uint32_t dateMS = 0;
    std::uint32_t dateLS = 0;
};

struct StringEntry {
    std::string key;    // UTF-8
    std::string value;  // UTF-8
};

struct StringTable {
    std::string langCharset;  // "080904E4"
    std::vector<StringEntry> entries;
};

struct Translation {
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
};

struct VersionRecord {
    bool hasFixed = true;  // false: the root carries no value
    FixedInfo fixed;
    std::vector<StringTable> stringTables;
    std::vector<Translation> translations;  // empty: no VarFileInfo block
};

// "1.2.1.1" (one to four numbers of 0..65535) as the two words of the fixed
// part; false when the text is no version number.
bool parseVersionNumber(std::string_view text, std::uint32_t* ms, std::uint32_t* ls);
std::string formatVersionNumber(std::uint32_t ms, std::uint32_t ls);
// "080904E4": language and code page as eight upper-case hex digits.
std::string langCharsetText(const Translation& translation);

// The record's bytes. Fails when it would pass the 65,535 bytes a record
// can declare.
ResultOr<std::vector<std::uint8_t>> buildRecord(const VersionRecord& record);

// The whole record read back; fails on any damage.
ResultOr<VersionRecord> parseRecord(std::span<const std::uint8_t> bytes);

// Checks that the bytes begin with a record's root block that fits in them;
// gives the root's declared length.
ResultOr<std::size_t> rootLength(std::span<const std::uint8_t> bytes);

// A value found by its path.
struct Value {
    bool text = false;
    // Binary: the value's bytes. Text: its UTF-16LE units up to and
    // including the first null (all of them when there is none).
    std::span<const std::uint8_t> bytes;
    // Bytes for a binary value, UTF-16 units for text, the null counted.
    std::size_t length = 0;
};

// The value of a sub-block named by its path: "\" for the fixed part,
// "\VarFileInfo\Translation", "\StringFileInfo\080904E4\CompanyName".
// Keys compare without regard to the case of ASCII letters. Fails when the
// path names no block or a block on the way is damaged. The value refers to
// the bytes given.
ResultOr<Value> queryValue(std::span<const std::uint8_t> bytes, std::string_view subBlock);

// A text value as UTF-8, without its terminating null.
std::string textOf(const Value& value);

}  // namespace qly::version
