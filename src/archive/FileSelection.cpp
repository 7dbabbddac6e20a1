#include "archive/FileSelection.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>

#include "archive/FileInfo.h"

namespace qly::archive {

namespace {

// Deeper folder trees than this are taken as a loop of links.
constexpr int kMaxDepth = 64;

char lowerChar(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool matchFrom(const std::string& p, std::size_t pi, const std::string& n, std::size_t ni) {
    // Iterative match with backtracking to the last star.
    std::size_t starP = std::string::npos;
    std::size_t starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == '?' || lowerChar(p[pi]) == lowerChar(n[ni]))) {
            ++pi;
            ++ni;
        } else if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (starP != std::string::npos) {
            pi = starP + 1;
            ni = ++starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*') {
        ++pi;
    }
    return pi == p.size();
}

std::string trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return std::string();
    }
    const std::size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

std::string absoluteFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::path path =
        folder.empty() ? std::filesystem::path(".") : std::filesystem::path(folder);
    path = std::filesystem::absolute(path, ec).lexically_normal();
    std::string text = path.string();
    if (text.empty() || text.back() != '/') {
        text += '/';
    }
    return text;
}

}  // namespace

bool wildcardMatch(const std::string& pattern, const std::string& name) {
    if (pattern == "*.*") {
        return true;
    }
    return matchFrom(pattern, 0, name, 0);
}

void FileSelection::addEntry(const std::string& entry, bool onlyArchiveSet) {
    const std::string lower = lowerAscii(entry);
    const std::size_t s = lower.find("/s");
    // "/s" only counts as the option when it is not the start of a folder
    // name: it must be followed by nothing or blanks.
    std::size_t option = std::string::npos;
    for (std::size_t pos = s; pos != std::string::npos; pos = lower.find("/s", pos + 1)) {
        if (trim(lower.substr(pos + 2)).empty()) {
            option = pos;
            break;
        }
    }
    if (option != std::string::npos) {
        addPattern(trim(entry.substr(0, option)), true, onlyArchiveSet, 0);
    } else {
        addPattern(trim(entry), false, onlyArchiveSet, 0);
    }
}

void FileSelection::addPattern(const std::string& pattern, bool subfolders, bool onlyArchiveSet,
                               int depth) {
    if (pattern.empty() || depth > kMaxDepth) {
        return;
    }
    const std::size_t slash = pattern.rfind('/');
    const std::string folder =
        absoluteFolder(slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1));
    const std::string namePattern =
        slash == std::string::npos ? pattern : pattern.substr(slash + 1);
    if (namePattern.empty()) {
        return;
    }

    std::vector<std::string> names;
    if (DIR* dir = ::opendir(folder.c_str())) {
        while (const dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            if (name != "." && name != ".." && wildcardMatch(namePattern, name)) {
                names.push_back(name);
            }
        }
        ::closedir(dir);
    }
    std::sort(names.begin(), names.end());

    for (const std::string& name : names) {
        const std::string path = folder + name;
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            if (subfolders) {
                addPattern(path + "/" + namePattern, true, onlyArchiveSet, depth + 1);
            }
            continue;
        }
        // Devices, pipes and sockets are not files to back up.
        if (!S_ISREG(st.st_mode)) {
            continue;
        }
        const std::string key = lowerAscii(path);
        if (m_seen.count(key) != 0 || equalsNoCase(path, m_archiveName)) {
            continue;
        }
        if (onlyArchiveSet && !archiveAttributeSet(path)) {
            continue;
        }
        m_seen.insert(key);
        m_files.push_back(path);
    }
}

}  // namespace qly::archive
