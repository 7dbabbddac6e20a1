#pragma once

#include <string>
#include <unordered_set>
#include <vector>

// Turns file patterns (wildcards, "/s") into a list of files to back up.
//
// An entry is a path whose last component may hold the wildcards * and ?,
// optionally followed by "/s" (any letter case) to include subfolders. Names
// match without regard to case; folders are matched by the same pattern as
// files. The selection keeps the order in which files are found (entries in
// turn, each folder's entries sorted by name), holds each file once (compared
// without regard to case) and leaves out the archive itself when the caller
// named it by its full path.
namespace qly::archive {

// Windows-style wildcard match without regard to case; "*.*" matches every
// name, also names without a dot.
bool wildcardMatch(const std::string& pattern, const std::string& name);

class FileSelection {
public:
    explicit FileSelection(std::string archiveName) : m_archiveName(std::move(archiveName)) {}

    // Adds the files one entry selects. With `onlyArchiveSet`, only files whose
    // archive attribute is set.
    void addEntry(const std::string& entry, bool onlyArchiveSet);

    const std::vector<std::string>& files() const { return m_files; }

private:
    void addPattern(const std::string& pattern, bool subfolders, bool onlyArchiveSet, int depth);

    std::string m_archiveName;
    std::vector<std::string> m_files;
    std::unordered_set<std::string> m_seen;  // lower-cased paths
};

}  // namespace qly::archive
