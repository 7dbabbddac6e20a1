#pragma once

#include <cstdint>
#include <string>

#include "version/Executable.h"

// The text a version label shows for one entry of a file's version record:
// a string entry of one language block, or the fixed part's flags. Failures
// are shown as the angle-bracket texts below, in the place of the entry.
namespace qly::version {

constexpr const char* kNoDataAvailable = "< No Data Available >";
constexpr const char* kErrorVersionInfo = "< Error retrieving version info >";
constexpr const char* kErrorFixedInfo = "< Error retrieving fixed version info >";
constexpr const char* kErrorTranslation = "< Error retrieving translation info >";
constexpr const char* kErrorStringInfo = "< Error retrieving string version info >";
constexpr const char* kNoVersionInfo = "< No Version Info >";

// The language block that stands for the first one the file declares.
constexpr const char* kFirstLangCharset = "-1";

// The flag bits as words, in bit order, joined by ", " ("Debug Build,
// Private Build"); no bit gives the empty text.
std::string flagsText(std::uint32_t flags);

// What to show. A langCharset of "-1" is replaced by the record's first
// translation when there is one, so that later texts use it directly.
struct EntryQuery {
    bool flags = false;       // the fixed part's flags instead of a string
    std::string key;          // the string entry, "FileVersion"
    std::string langCharset;  // "080904E4" or "-1"
};

std::string entryText(ByteSource& file, EntryQuery& query);
std::string entryText(const std::string& path, EntryQuery& query);

}  // namespace qly::version
