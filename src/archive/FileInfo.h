#pragma once

#include <cstdint>
#include <ctime>
#include <string>

// What the archive engine needs to know about files on disk: existence, size,
// MS-DOS date stamps, the archive attribute and folder creation.
namespace qly::archive {

// The stamp stored for a file whose time is unavailable.
constexpr std::int32_t kNoDateStamp = -1;

// MS-DOS date and time (local time, two-second resolution) from and to
// seconds since the epoch. fromDosStamp returns false for a stamp that names
// no valid date.
std::int32_t toDosStamp(std::time_t time);
bool fromDosStamp(std::int32_t stamp, std::time_t& time);

bool fileExists(const std::string& path);  // a regular file (after links)
bool isDirectory(const std::string& path);

// The file's modification time as a stamp, or kNoDateStamp.
std::int32_t fileDosStamp(const std::string& path);
// Sets the file's modification (and access) time from a stamp; does nothing
// for a stamp that names no valid date.
bool setFileDosStamp(const std::string& path, std::int32_t stamp);

// The archive attribute: set unless the extended attribute user.qly.archived
// holds the file's current modification time. Without user extended
// attributes on the file system, it always reads as set and clearing it does
// nothing.
bool archiveAttributeSet(const std::string& path);
void clearArchiveAttribute(const std::string& path);
// Clears it as of the modification time `mtimeNs` (nanoseconds since the
// epoch) taken before the file was read: a change made since then leaves
// the attribute set.
void clearArchiveAttributeAsOf(const std::string& path, std::int64_t mtimeNs);
// The file's modification time in nanoseconds, or -1.
std::int64_t fileModificationNs(const std::string& path);

// Creates the folder and every missing parent; true when it exists after.
bool makeDirectories(const std::string& path);
// Creates `relative` (folders separated by '/') below the existing folder
// `base`, never walking into a link or through anything but a folder; on
// failure `refused` names the path that stopped it.
bool makeDirectoriesBelow(const std::string& base, const std::string& relative,
                          std::string& refused);

// Takes the exclusive lock a table's user holds shared (flock) on an existing
// file, without waiting and without following a link. Returns the open
// descriptor holding it, or -1 with errno set (EWOULDBLOCK: in use).
int lockForReplace(const std::string& path);

// Resolves a path whose last component may differ in letter case from the
// file on disk: the exact name when it exists, otherwise the one entry of
// the folder that matches without regard to case, otherwise the path as given.
std::string resolveFileName(const std::string& path);

// Lower-cases ASCII letters (names compare without regard to case).
std::string lowerAscii(std::string text);
bool equalsNoCase(const std::string& a, const std::string& b);

}  // namespace qly::archive
