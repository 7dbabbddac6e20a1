#include "engine/File.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace qly::engine {

namespace {

WriteFault g_writeFault = nullptr;

std::string sysError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

File::~File() {
    close();
}

File::File(File&& other) noexcept : m_fd(other.m_fd), m_path(std::move(other.m_path)) {
    other.m_fd = -1;
}

File& File::operator=(File&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = other.m_fd;
        m_path = std::move(other.m_path);
        other.m_fd = -1;
    }
    return *this;
}

bool File::open(const std::string& path, bool writable, std::string& error) {
    close();
    m_fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (m_fd < 0) {
        error = sysError("Cannot open", path);
        return false;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = "Not a regular file: " + path;
        close();
        return false;
    }
    m_path = path;
    return true;
}

bool File::create(const std::string& path, std::string& error) {
    close();
    m_fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (m_fd < 0) {
        error = sysError("Cannot create", path);
        return false;
    }
    m_path = path;
    return true;
}

void File::close() {
    if (m_fd >= 0) {
        ::close(m_fd);  // releases flock and open-file-description locks
        m_fd = -1;
    }
}

bool File::readAt(uint64_t offset, void* buffer, size_t size, std::string& error) const {
    size_t got = readSome(offset, buffer, size);
    if (got != size) {
        error = "Unexpected end of file in " + m_path;
        return false;
    }
    return true;
}

size_t File::readSome(uint64_t offset, void* buffer, size_t size) const {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return done;
        }
        if (n == 0)
            break;
        done += static_cast<size_t>(n);
    }
    return done;
}

void setWriteFault(WriteFault fault) {
    g_writeFault = fault;
}

bool File::writeAt(uint64_t offset, const void* data, size_t size, std::string& error) {
    if (g_writeFault) {
        long allowed = g_writeFault(m_path, offset, size);
        if (allowed >= 0) {
            size_t n = std::min(size, static_cast<size_t>(allowed));
            if (n > 0 && ::pwrite(m_fd, data, n, static_cast<off_t>(offset)) < 0) {
            }
            errno = ENOSPC;
            error = sysError("Cannot write", m_path);
            return false;
        }
    }
    size_t done = 0;
    const auto* in = static_cast<const char*>(data);
    while (done < size) {
        ssize_t n = ::pwrite(m_fd, in + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            error = sysError("Cannot write", m_path);
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

int64_t File::size() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

bool File::stamp(int64_t& size, int64_t& mtimeNs) const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return false;
    size = st.st_size;
    mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool File::identity(uint64_t& device, uint64_t& inode) const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return false;
    device = static_cast<uint64_t>(st.st_dev);
    inode = static_cast<uint64_t>(st.st_ino);
    return true;
}

bool File::sync() {
    return ::fdatasync(m_fd) == 0;
}

bool File::lockFile(bool exclusive) {
    while (::flock(m_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

bool File::lockRange(uint64_t offset, uint64_t length, int timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        struct flock fl {};
        fl.l_type = F_WRLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0)
            return true;
        if (errno != EAGAIN && errno != EACCES && errno != EINTR)
            return false;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

void File::unlockRange(uint64_t offset, uint64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

std::string folderOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string baseNameOf(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool hasExtension(const std::string& path) {
    return baseNameOf(path).find('.') != std::string::npos;
}

std::string withExtension(const std::string& path, const std::string& ext) {
    std::string folder = folderOf(path);
    std::string base = baseNameOf(path);
    auto dot = base.find_last_of('.');
    if (dot != std::string::npos)
        base.erase(dot);
    return folder + base + ext;
}

bool fileExists(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

std::string resolveFileName(const std::string& path) {
    if (fileExists(path))
        return path;
    std::string folder = folderOf(path);
    std::string base = baseNameOf(path);
    DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (!dir)
        return path;
    std::string match;
    int matches = 0;
    while (dirent* entry = ::readdir(dir)) {
        if (::strcasecmp(entry->d_name, base.c_str()) == 0) {
            match = entry->d_name;
            ++matches;
        }
    }
    ::closedir(dir);
    // With several names differing only in case none is preferred: the
    // caller sees the name as given (and fails to find it).
    if (matches == 1)
        return folder + match;
    return path;
}

}  // namespace qly::engine
