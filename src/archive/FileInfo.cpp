#include "archive/FileInfo.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qly::archive {

namespace {

constexpr const char* kArchivedAttribute = "user.qly.archived";

std::string mtimeText(const struct stat& st) {
    char text[48];
    std::snprintf(text, sizeof text, "%lld.%09ld", static_cast<long long>(st.st_mtim.tv_sec),
                  static_cast<long>(st.st_mtim.tv_nsec));
    return text;
}

}  // namespace

std::int32_t toDosStamp(std::time_t time) {
    struct tm local {};
    if (localtime_r(&time, &local) == nullptr) {
        return kNoDateStamp;
    }
    const int year = local.tm_year + 1900;
    if (year < 1980 || year > 2107) {
        return kNoDateStamp;
    }
    const std::uint32_t date = (static_cast<std::uint32_t>(year - 1980) << 9) |
                               (static_cast<std::uint32_t>(local.tm_mon + 1) << 5) |
                               static_cast<std::uint32_t>(local.tm_mday);
    const std::uint32_t tod = (static_cast<std::uint32_t>(local.tm_hour) << 11) |
                              (static_cast<std::uint32_t>(local.tm_min) << 5) |
                              static_cast<std::uint32_t>(local.tm_sec / 2);
    return static_cast<std::int32_t>((date << 16) | tod);
}

bool fromDosStamp(std::int32_t stamp, std::time_t& time) {
    const auto v = static_cast<std::uint32_t>(stamp);
    struct tm local {};
    local.tm_year = static_cast<int>((v >> 25) & 0x7F) + 80;
    local.tm_mon = static_cast<int>((v >> 21) & 0x0F) - 1;
    local.tm_mday = static_cast<int>((v >> 16) & 0x1F);
    local.tm_hour = static_cast<int>((v >> 11) & 0x1F);
    local.tm_min = static_cast<int>((v >> 5) & 0x3F);
    local.tm_sec = static_cast<int>(v & 0x1F) * 2;
    if (stamp == kNoDateStamp || local.tm_mon < 0 || local.tm_mon > 11 || local.tm_mday < 1 ||
        local.tm_hour > 23 || local.tm_min > 59 || local.tm_sec > 59) {
        return false;
    }
    local.tm_isdst = -1;
    time = std::mktime(&local);
    return time != static_cast<std::time_t>(-1);
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool isDirectory(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::int32_t fileDosStamp(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return kNoDateStamp;
    }
    return toDosStamp(st.st_mtim.tv_sec);
}

bool setFileDosStamp(const std::string& path, std::int32_t stamp) {
    std::time_t time = 0;
    if (!fromDosStamp(stamp, time)) {
        return false;
    }
    struct timespec times[2];
    times[0].tv_sec = time;
    times[0].tv_nsec = 0;
    times[1] = times[0];
    return ::utimensat(AT_FDCWD, path.c_str(), times, 0) == 0;
}

bool archiveAttributeSet(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return true;
    }
    char value[64];
    const ssize_t n = ::getxattr(path.c_str(), kArchivedAttribute, value, sizeof value - 1);
    if (n < 0) {
        return true;
    }
    return std::string(value, static_cast<std::size_t>(n)) != mtimeText(st);
}

void clearArchiveAttribute(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return;
    }
    const std::string value = mtimeText(st);
    // A file system without user extended attributes refuses this: the
    // attribute then stays set, as documented.
    (void)::setxattr(path.c_str(), kArchivedAttribute, value.data(), value.size(), 0);
}

std::int64_t fileModificationNs(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        return -1;
    }
    return static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

void clearArchiveAttributeAsOf(const std::string& path, std::int64_t mtimeNs) {
    if (mtimeNs < 0) {
        return;
    }
    struct stat st {};
    st.st_mtim.tv_sec = static_cast<time_t>(mtimeNs / 1000000000);
    st.st_mtim.tv_nsec = static_cast<long>(mtimeNs % 1000000000);
    const std::string value = mtimeText(st);
    (void)::setxattr(path.c_str(), kArchivedAttribute, value.data(), value.size(), 0);
}

bool makeDirectoriesBelow(const std::string& base, const std::string& relative,
                          std::string& refused) {
    std::string path = base;
    if (!path.empty() && path.back() == '/') {
        path.pop_back();
    }
    std::size_t pos = 0;
    while (pos < relative.size()) {
        std::size_t slash = relative.find('/', pos);
        if (slash == std::string::npos) {
            slash = relative.size();
        }
        const std::string part = relative.substr(pos, slash - pos);
        pos = slash + 1;
        if (part.empty() || part == ".") {
            continue;
        }
        path += '/';
        path += part;
        struct stat st {};
        if (::lstat(path.c_str(), &st) == 0) {
            if (!S_ISDIR(st.st_mode)) {
                refused = path;
                return false;
            }
            continue;
        }
        if (errno != ENOENT || (::mkdir(path.c_str(), 0755) != 0 && errno != EEXIST) ||
            ::lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            refused = path;
            return false;
        }
    }
    return true;
}

int lockForReplace(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        return -1;
    }
    while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno != EINTR) {
            const int error = errno;
            ::close(fd);
            errno = error;
            return -1;
        }
    }
    return fd;
}

bool makeDirectories(const std::string& path) {
    if (path.empty() || isDirectory(path)) {
        return !path.empty();
    }
    std::string partial;
    std::size_t pos = 0;
    while (pos <= path.size()) {
        const std::size_t slash = path.find('/', pos);
        const std::size_t end = slash == std::string::npos ? path.size() : slash;
        partial = path.substr(0, end);
        if (!partial.empty() && !isDirectory(partial)) {
            if (::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST) {
                return false;
            }
        }
        if (slash == std::string::npos) {
            break;
        }
        pos = slash + 1;
    }
    return isDirectory(path);
}

std::string resolveFileName(const std::string& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0) {
        return path;
    }
    const std::size_t slash = path.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return path;
    }
    std::string found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (equalsNoCase(entry->d_name, name)) {
            found = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);
    if (matches != 1) {
        return path;
    }
    return (slash == std::string::npos ? std::string() : folder) + found;
}

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

bool equalsNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y) {
            return false;
        }
    }
    return true;
}

}  // namespace qly::archive
