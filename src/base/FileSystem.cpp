#include "base/FileSystem.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace qly {

namespace {

Result sysFailure(const std::string& what, const std::string& path, int error) {
    std::string message = what + " " + path + ": " + std::strerror(error);
    switch (error) {
        case ENOENT:
            return Result::notFound(std::move(message));
        case ENOSPC:
        case EDQUOT:
            return Result::noSpace(std::move(message));
        case EROFS:
        case EACCES:
        case EPERM:
            return Result::readOnly(std::move(message));
        case EAGAIN:
            return Result::locked(std::move(message));
        default:
            return Result::ioError(std::move(message));
    }
}

Result sysFailure(const std::string& what, const std::string& path) {
    return sysFailure(what, path, errno);
}

FileInfo infoOf(const struct stat& st) {
    FileInfo info;
    if (S_ISREG(st.st_mode))
        info.type = FileType::Regular;
    else if (S_ISDIR(st.st_mode))
        info.type = FileType::Folder;
    else if (S_ISLNK(st.st_mode))
        info.type = FileType::Symlink;
    info.size = static_cast<uint64_t>(st.st_size);
    info.mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    info.device = static_cast<uint64_t>(st.st_dev);
    info.inode = static_cast<uint64_t>(st.st_ino);
    info.permissions = static_cast<uint32_t>(st.st_mode & 07777);
    return info;
}

// ---- POSIX ----------------------------------------------------------------

class PosixHandle : public FileHandle {
public:
    PosixHandle(int fd, std::string path) : FileHandle(std::move(path)), m_fd(fd) {}
    ~PosixHandle() override { ::close(m_fd); }  // also releases its locks

    ResultOr<size_t> readAt(uint64_t offset, void* buffer, size_t size) override {
        size_t done = 0;
        auto* out = static_cast<char*>(buffer);
        while (done < size) {
            ssize_t n = ::pread(m_fd, out + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return sysFailure("Cannot read", path());
            }
            if (n == 0)
                break;
            done += static_cast<size_t>(n);
        }
        return done;
    }

    Result writeAt(uint64_t offset, const void* data, size_t size) override {
        size_t done = 0;
        const auto* in = static_cast<const char*>(data);
        while (done < size) {
            ssize_t n = ::pwrite(m_fd, in + done, size - done, static_cast<off_t>(offset + done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                return sysFailure("Cannot write", path());
            }
            if (n == 0)
                return sysFailure("Cannot write", path(), ENOSPC);
            done += static_cast<size_t>(n);
        }
        return Result::ok();
    }

    ResultOr<FileInfo> info() override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0)
            return sysFailure("Cannot examine", path());
        return infoOf(st);
    }

    Result truncate(uint64_t size) override {
        while (::ftruncate(m_fd, static_cast<off_t>(size)) != 0) {
            if (errno != EINTR)
                return sysFailure("Cannot resize", path());
        }
        return Result::ok();
    }

    Result sync() override {
        if (::fdatasync(m_fd) != 0)
            return sysFailure("Cannot sync", path());
        return Result::ok();
    }

    Result setPermissions(uint32_t permissions) override {
        if (::fchmod(m_fd, static_cast<mode_t>(permissions & 07777)) != 0)
            return sysFailure("Cannot set the permissions of", path());
        return Result::ok();
    }

    Result lockFile(bool exclusive) override {
        while (::flock(m_fd, (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB) != 0) {
            if (errno == EWOULDBLOCK)
                return Result::locked("Cannot lock " + path() + ": in use by another program");
            if (errno != EINTR)
                return sysFailure("Cannot lock", path());
        }
        return Result::ok();
    }

    Result lockRange(uint64_t offset, uint64_t length) override {
        for (;;) {
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = static_cast<off_t>(offset);
            fl.l_len = static_cast<off_t>(length);
            if (::fcntl(m_fd, F_OFD_SETLK, &fl) == 0)
                return Result::ok();
            if (errno == EINTR)
                continue;
            if (errno == EAGAIN || errno == EACCES)
                return Result::locked("Cannot lock " + path() + ": in use by another user");
            return sysFailure("Cannot lock", path());
        }
    }

    void unlockRange(uint64_t offset, uint64_t length) override {
        struct flock fl {};
        fl.l_type = F_UNLCK;
        fl.l_whence = SEEK_SET;
        fl.l_start = static_cast<off_t>(offset);
        fl.l_len = static_cast<off_t>(length);
        ::fcntl(m_fd, F_OFD_SETLK, &fl);
    }

private:
    int m_fd;
};

class PosixFileSystem : public FileSystem {
public:
    ResultOr<std::unique_ptr<FileHandle>> open(const std::string& path, OpenMode mode,
                                               Links links) override {
        // Non-blocking, so that a FIFO or a device does not hold the open up
        // before it is refused; no terminal becomes the controlling one.
        int flags = O_CLOEXEC | O_NONBLOCK | O_NOCTTY;
        switch (mode) {
            case OpenMode::Read:
                flags |= O_RDONLY;
                break;
            case OpenMode::ReadWrite:
                flags |= O_RDWR;
                break;
            case OpenMode::CreateNew:
                flags |= O_RDWR | O_CREAT | O_EXCL;
                break;
            case OpenMode::CreateOrTruncate:
                flags |= O_RDWR | O_CREAT | O_TRUNC;
                break;
        }
        if (links == Links::Refuse)
            flags |= O_NOFOLLOW;
        const bool creates = mode == OpenMode::CreateNew || mode == OpenMode::CreateOrTruncate;
        int fd;
        do {
            fd = ::open(path.c_str(), flags, 0644);
        } while (fd < 0 && errno == EINTR);
        if (fd < 0) {
            if (errno == ELOOP && links == Links::Refuse)
                return Result::invalid("Refusing to open " + path + ": it is a symbolic link");
            return sysFailure(creates ? "Cannot create" : "Cannot open", path);
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
            ::close(fd);
            return Result::invalid("Not a regular file: " + path);
        }
        // A regular file ignores O_NONBLOCK: reads and writes wait as usual.
        return std::unique_ptr<FileHandle>(new PosixHandle(fd, path));
    }

    Result rename(const std::string& from, const std::string& to) override {
        if (::rename(from.c_str(), to.c_str()) != 0)
            return sysFailure("Cannot rename " + from + " to", to);
        return Result::ok();
    }

    Result remove(const std::string& path) override {
        if (::unlink(path.c_str()) != 0)
            return sysFailure("Cannot remove", path);
        return Result::ok();
    }

    ResultOr<FileInfo> info(const std::string& path) override {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0)
            return sysFailure("Cannot examine", path);
        return infoOf(st);
    }

    Result makeFolder(const std::string& path) override {
        if (::mkdir(path.c_str(), 0755) != 0)
            return sysFailure("Cannot make the folder", path);
        return Result::ok();
    }

    ResultOr<std::vector<std::string>> listFolder(const std::string& path) override {
        DIR* dir = ::opendir(path.empty() ? "." : path.c_str());
        if (!dir)
            return sysFailure("Cannot list the folder", path);
        std::vector<std::string> names;
        errno = 0;
        while (dirent* entry = ::readdir(dir)) {
            std::string name = entry->d_name;
            if (name != "." && name != "..")
                names.push_back(std::move(name));
        }
        const int error = errno;
        ::closedir(dir);
        if (error != 0)
            return sysFailure("Cannot list the folder", path, error);
        return names;
    }

    Result syncFolder(const std::string& path) override {
        const std::string folder = path.empty() ? "." : path;
        int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd < 0)
            return sysFailure("Cannot open the folder", folder);
        const bool ok = ::fsync(fd) == 0;
        const int error = errno;
        ::close(fd);
        if (!ok)
            return sysFailure("Cannot sync the folder", folder, error);
        return Result::ok();
    }
};

}  // namespace

Result FileHandle::readExactly(uint64_t offset, void* buffer, size_t size) {
    size_t done = 0;
    auto* out = static_cast<char*>(buffer);
    while (done < size) {
        ResultOr<size_t> got = readAt(offset + done, out + done, size - done);
        if (!got)
            return got.result();
        if (got.value() == 0)
            return Result::corrupt("Unexpected end of file in " + path());
        done += got.value();
    }
    return Result::ok();
}

ResultOr<uint64_t> FileHandle::size() {
    ResultOr<FileInfo> i = info();
    if (!i)
        return i.result();
    return i.value().size;
}

Result lockRangeWaiting(FileHandle& handle, uint64_t offset, uint64_t length, int timeoutSeconds,
                        int pauseMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
    for (;;) {
        Result r = handle.lockRange(offset, length);
        if (r.code() != ErrorCode::Locked || std::chrono::steady_clock::now() >= deadline)
            return r;
        std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
    }
}

FileSystem& FileSystem::posix() {
    static PosixFileSystem fs;
    return fs;
}

std::string folderOfPath(const std::string& path) {
    auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string nameOfPath(const std::string& path) {
    auto slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// ---- in memory --------------------------------------------------------------

struct MemoryFileSystem::Node {
    FileType type = FileType::Regular;
    std::vector<uint8_t> bytes;
    std::string target;  // of a symbolic link
    int64_t mtimeNs = 0;
    uint64_t inode = 0;
    uint32_t permissions = 0644;
    // Locks of the node's handles: whole-file holders and byte ranges.
    int sharedLocks = 0;
    bool exclusiveLock = false;
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
};

MemoryFileSystem::MemoryFileSystem() {
    auto root = std::make_shared<Node>();
    root->type = FileType::Folder;
    m_entries["/"] = root;
    m_entries["."] = root;
}

namespace {

std::string normalised(const std::string& path) {
    std::string p = path;
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (p.rfind("./", 0) == 0 && p.size() > 2)
        p = p.substr(2);
    return p;
}

}  // namespace

// A handle on a node of a MemoryFileSystem; the node outlives a removal.
class MemoryNodeHandle : public FileHandle {
public:
    using NodePtr = std::shared_ptr<MemoryFileSystem::Node>;
    MemoryNodeHandle(std::string path, NodePtr node, bool writable, int64_t* clock)
        : FileHandle(std::move(path)),
          m_node(std::move(node)),
          m_writable(writable),
          m_clock(clock) {}
    ~MemoryNodeHandle() override {
        if (m_shared)
            --m_node->sharedLocks;
        if (m_exclusive)
            m_node->exclusiveLock = false;
        for (auto& r : m_ranges)
            eraseRange(r.first, r.second);
    }

    ResultOr<size_t> readAt(uint64_t offset, void* buffer, size_t size) override {
        const auto& b = m_node->bytes;
        if (offset >= b.size())
            return size_t{0};
        size_t n = std::min<uint64_t>(size, b.size() - offset);
        std::memcpy(buffer, b.data() + offset, n);
        return n;
    }

    Result writeAt(uint64_t offset, const void* data, size_t size) override {
        if (!m_writable)
            return Result::readOnly("Cannot write " + path() + ": opened for reading");
        auto& b = m_node->bytes;
        if (offset + size > b.size())
            b.resize(offset + size);
        if (size > 0)
            std::memcpy(b.data() + offset, data, size);
        m_node->mtimeNs = ++*m_clock;
        return Result::ok();
    }

    ResultOr<FileInfo> info() override {
        FileInfo i;
        i.type = FileType::Regular;
        i.size = m_node->bytes.size();
        i.mtimeNs = m_node->mtimeNs;
        i.device = 1;
        i.inode = m_node->inode;
        i.permissions = m_node->permissions;
        return i;
    }

    Result setPermissions(uint32_t permissions) override {
        m_node->permissions = permissions & 07777;
        return Result::ok();
    }

    Result truncate(uint64_t size) override {
        if (!m_writable)
            return Result::readOnly("Cannot resize " + path() + ": opened for reading");
        m_node->bytes.resize(size);
        m_node->mtimeNs = ++*m_clock;
        return Result::ok();
    }

    Result sync() override { return Result::ok(); }

    Result lockFile(bool exclusive) override {
        const int othersShared = m_node->sharedLocks - (m_shared ? 1 : 0);
        const bool othersExclusive = m_node->exclusiveLock && !m_exclusive;
        if (othersExclusive || (exclusive && othersShared > 0))
            return Result::locked("Cannot lock " + path() + ": in use by another program");
        if (m_shared)
            --m_node->sharedLocks;
        m_shared = !exclusive;
        m_exclusive = exclusive;
        if (m_shared)
            ++m_node->sharedLocks;
        m_node->exclusiveLock = m_node->exclusiveLock || exclusive;
        return Result::ok();
    }

    Result lockRange(uint64_t offset, uint64_t length) override {
        for (const auto& r : m_node->ranges) {
            const bool mine = std::find(m_ranges.begin(), m_ranges.end(), r) != m_ranges.end();
            if (!mine && offset < r.first + r.second && r.first < offset + length)
                return Result::locked("Cannot lock " + path() + ": in use by another user");
        }
        m_node->ranges.emplace_back(offset, length);
        m_ranges.emplace_back(offset, length);
        return Result::ok();
    }

    void unlockRange(uint64_t offset, uint64_t length) override {
        auto it = std::find(m_ranges.begin(), m_ranges.end(), std::make_pair(offset, length));
        if (it == m_ranges.end())
            return;
        m_ranges.erase(it);
        eraseRange(offset, length);
    }

private:
    void eraseRange(uint64_t offset, uint64_t length) {
        auto& all = m_node->ranges;
        auto it = std::find(all.begin(), all.end(), std::make_pair(offset, length));
        if (it != all.end())
            all.erase(it);
    }

    NodePtr m_node;
    bool m_writable;
    int64_t* m_clock;
    bool m_shared = false;
    bool m_exclusive = false;
    std::vector<std::pair<uint64_t, uint64_t>> m_ranges;
};

ResultOr<std::unique_ptr<FileHandle>> MemoryFileSystem::open(const std::string& rawPath,
                                                             OpenMode mode, Links links) {
    std::string path = normalised(rawPath);
    auto it = m_entries.find(path);
    if (it != m_entries.end() && it->second->type == FileType::Symlink) {
        if (links == Links::Refuse)
            return Result::invalid("Refusing to open " + path + ": it is a symbolic link");
        path = normalised(it->second->target);
        it = m_entries.find(path);
    }
    const bool creates = mode == OpenMode::CreateNew || mode == OpenMode::CreateOrTruncate;
    if (it == m_entries.end()) {
        if (!creates)
            return Result::notFound("Cannot open " + path + ": No such file or directory");
        auto folder = m_entries.find(folderOfPath(path));
        if (folder == m_entries.end() || folder->second->type != FileType::Folder)
            return Result::notFound("Cannot create " + path + ": No such file or directory");
        auto node = std::make_shared<Node>();
        node->inode = m_entries.size() + 1;
        node->mtimeNs = ++m_clock;
        it = m_entries.emplace(path, node).first;
    } else {
        if (mode == OpenMode::CreateNew)
            return Result::invalid("Cannot create " + path + ": File exists");
        if (it->second->type != FileType::Regular)
            return Result::invalid("Not a regular file: " + path);
        if (mode == OpenMode::CreateOrTruncate)
            it->second->bytes.clear();
    }
    return std::unique_ptr<FileHandle>(
        new MemoryNodeHandle(path, it->second, mode != OpenMode::Read, &m_clock));
}

Result MemoryFileSystem::rename(const std::string& rawFrom, const std::string& rawTo) {
    const std::string from = normalised(rawFrom), to = normalised(rawTo);
    auto it = m_entries.find(from);
    if (it == m_entries.end())
        return Result::notFound("Cannot rename " + from + " to " + to +
                                ": No such file or directory");
    if (m_entries.find(folderOfPath(to)) == m_entries.end())
        return Result::notFound("Cannot rename " + from + " to " + to +
                                ": No such file or directory");
    auto node = it->second;
    m_entries.erase(it);
    m_entries[to] = node;
    return Result::ok();
}

Result MemoryFileSystem::remove(const std::string& rawPath) {
    const std::string path = normalised(rawPath);
    auto it = m_entries.find(path);
    if (it == m_entries.end())
        return Result::notFound("Cannot remove " + path + ": No such file or directory");
    if (it->second->type == FileType::Folder)
        return Result::invalid("Cannot remove " + path + ": Is a directory");
    m_entries.erase(it);
    return Result::ok();
}

ResultOr<FileInfo> MemoryFileSystem::info(const std::string& rawPath) {
    const std::string path = normalised(rawPath);
    auto it = m_entries.find(path);
    if (it == m_entries.end())
        return Result::notFound("Cannot examine " + path + ": No such file or directory");
    FileInfo i;
    i.type = it->second->type;
    i.size = it->second->bytes.size();
    i.mtimeNs = it->second->mtimeNs;
    i.device = 1;
    i.inode = it->second->inode;
    i.permissions = it->second->permissions;
    return i;
}

Result MemoryFileSystem::makeFolder(const std::string& rawPath) {
    const std::string path = normalised(rawPath);
    if (m_entries.count(path))
        return Result::invalid("Cannot make the folder " + path + ": File exists");
    if (m_entries.find(folderOfPath(path)) == m_entries.end())
        return Result::notFound("Cannot make the folder " + path + ": No such file or directory");
    auto node = std::make_shared<Node>();
    node->type = FileType::Folder;
    node->inode = m_entries.size() + 1;
    m_entries[path] = node;
    return Result::ok();
}

ResultOr<std::vector<std::string>> MemoryFileSystem::listFolder(const std::string& rawPath) {
    const std::string path = normalised(rawPath.empty() ? "." : rawPath);
    auto it = m_entries.find(path);
    if (it == m_entries.end() || it->second->type != FileType::Folder)
        return Result::notFound("Cannot list the folder " + path + ": No such file or directory");
    std::vector<std::string> names;
    for (const auto& [name, node] : m_entries) {
        if (name != "/" && name != "." && folderOfPath(name) == path)
            names.push_back(nameOfPath(name));
    }
    return names;
}

Result MemoryFileSystem::syncFolder(const std::string& rawPath) {
    const std::string path = normalised(rawPath.empty() ? "." : rawPath);
    if (m_entries.find(path) == m_entries.end())
        return Result::notFound("Cannot open the folder " + path + ": No such file or directory");
    return Result::ok();
}

std::vector<uint8_t>& MemoryFileSystem::bytes(const std::string& rawPath) {
    const std::string path = normalised(rawPath);
    auto& node = m_entries[path];
    if (!node) {
        node = std::make_shared<Node>();
        node->inode = m_entries.size() + 1;
    }
    return node->bytes;
}

void MemoryFileSystem::addSymlink(const std::string& path, const std::string& target) {
    auto node = std::make_shared<Node>();
    node->type = FileType::Symlink;
    node->target = target;
    node->inode = m_entries.size() + 1;
    m_entries[normalised(path)] = node;
}

// ---- fault injection ---------------------------------------------------------

class FaultyFileSystem::Handle : public FileHandle {
public:
    Handle(FaultyFileSystem& fs, std::unique_ptr<FileHandle> inner)
        : FileHandle(inner->path()), m_fs(fs), m_inner(std::move(inner)) {}

    ResultOr<size_t> readAt(uint64_t offset, void* buffer, size_t size) override {
        if (m_fs.m_readMost > 0)
            size = std::min(size, m_fs.m_readMost);
        if (m_fs.m_readEnd >= 0 && path().find(m_fs.m_readEndPart) != std::string::npos) {
            const auto end = static_cast<uint64_t>(m_fs.m_readEnd);
            if (offset >= end) {
                if (m_fs.m_readEndFails && size > 0)
                    return Result::ioError("Cannot read " + path() + ": " + std::strerror(EIO));
                return size_t{0};
            }
            size = static_cast<size_t>(std::min<uint64_t>(size, end - offset));
        }
        return m_inner->readAt(offset, buffer, size);
    }

    Result writeAt(uint64_t offset, const void* data, size_t size) override {
        const size_t allowed = m_fs.allowedWrite(path(), offset, size);
        if (allowed == size)
            return m_inner->writeAt(offset, data, size);
        if (allowed > 0) {
            Result partial = m_inner->writeAt(offset, data, allowed);
            if (!partial)
                return partial;
        }
        return Result::noSpace("Cannot write " + path() + ": " + std::strerror(ENOSPC));
    }

    ResultOr<FileInfo> info() override { return m_inner->info(); }
    Result truncate(uint64_t size) override { return m_inner->truncate(size); }

    Result sync() override {
        if (m_fs.nextSyncFails())
            return Result::ioError("Cannot sync " + path() + ": " + std::strerror(EIO));
        return m_inner->sync();
    }

    Result setPermissions(uint32_t permissions) override {
        return m_inner->setPermissions(permissions);
    }

    Result lockFile(bool exclusive) override {
        if (m_fs.m_refuseLocks)
            return Result::locked("Cannot lock " + path() + ": in use by another program");
        return m_inner->lockFile(exclusive);
    }

    Result lockRange(uint64_t offset, uint64_t length) override {
        if (m_fs.m_refuseLocks)
            return Result::locked("Cannot lock " + path() + ": in use by another user");
        return m_inner->lockRange(offset, length);
    }

    void unlockRange(uint64_t offset, uint64_t length) override {
        m_inner->unlockRange(offset, length);
    }

private:
    FaultyFileSystem& m_fs;
    std::unique_ptr<FileHandle> m_inner;
};

void FaultyFileSystem::failWritesAfter(int64_t bytes, std::string pathPart, int64_t atOffset,
                                       bool once) {
    m_writeBudget = bytes;
    m_writePart = std::move(pathPart);
    m_writeOffset = atOffset;
    m_writeOnce = once;
}

size_t FaultyFileSystem::allowedWrite(const std::string& path, uint64_t offset, size_t size) {
    if (m_writeBudget < 0)
        return size;
    if (!m_writePart.empty() && path.find(m_writePart) == std::string::npos)
        return size;
    if (m_writeOffset >= 0 && offset != static_cast<uint64_t>(m_writeOffset))
        return size;
    if (static_cast<uint64_t>(m_writeBudget) >= size) {
        m_writeBudget -= static_cast<int64_t>(size);
        return size;
    }
    const auto allowed = static_cast<size_t>(m_writeBudget);
    m_writeBudget = m_writeOnce ? -1 : 0;
    return allowed;
}

bool FaultyFileSystem::nextSyncFails() {
    if (m_syncFailAt <= 0)
        return false;
    return --m_syncFailAt == 0;
}

ResultOr<std::unique_ptr<FileHandle>> FaultyFileSystem::open(const std::string& path, OpenMode mode,
                                                             Links links) {
    if (!m_openFailPart.empty() && path.find(m_openFailPart) != std::string::npos)
        return Result::ioError("Cannot open " + path + ": " + std::strerror(EIO));
    ResultOr<std::unique_ptr<FileHandle>> inner = m_inner.open(path, mode, links);
    if (!inner)
        return inner.result();
    return std::unique_ptr<FileHandle>(new Handle(*this, std::move(inner.value())));
}

Result FaultyFileSystem::rename(const std::string& from, const std::string& to) {
    if (m_renameFailAt > 0 && --m_renameFailAt == 0)
        return Result::ioError("Cannot rename " + from + " to " + to + ": " + std::strerror(EIO));
    return m_inner.rename(from, to);
}

Result FaultyFileSystem::syncFolder(const std::string& path) {
    if (nextSyncFails())
        return Result::ioError("Cannot sync the folder " + path + ": " + std::strerror(EIO));
    return m_inner.syncFolder(path);
}

// ---- atomic replacement --------------------------------------------------------

AtomicFile::AtomicFile(FileSystem& fs, std::string target)
    : m_fs(fs), m_target(std::move(target)) {}

AtomicFile::~AtomicFile() {
    discard();
}

Result AtomicFile::open() {
    discard();
    static std::atomic<unsigned> counter{0};
    const std::string folder = folderOfPath(m_target);
    const std::string stem = (folder == "." && m_target.find('/') == std::string::npos)
                                 ? std::string()
                                 : folder + (folder == "/" ? "" : "/");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string temp = stem + "." + nameOfPath(m_target) + ".tmp" + std::to_string(::getpid()) +
                           "-" + std::to_string(counter++);
        ResultOr<std::unique_ptr<FileHandle>> file =
            m_fs.open(temp, OpenMode::CreateNew, Links::Refuse);
        if (file) {
            m_file = std::move(file.value());
            m_tempPath = std::move(temp);
            m_written = 0;
            if (m_keepPermissions) {
                ResultOr<FileInfo> old = m_fs.info(m_target);
                if (old && old.value().type == FileType::Regular) {
                    Result r = m_file->setPermissions(old.value().permissions);
                    if (!r) {
                        discard();
                        return r;
                    }
                }
            }
            return Result::ok();
        }
        if (m_fs.exists(temp))
            continue;  // taken: try the next name
        return file.result();
    }
    return Result::ioError("Cannot create a temporary file beside " + m_target);
}

Result AtomicFile::write(const void* data, size_t size) {
    if (!m_file)
        return Result::invalid("Cannot write " + m_target + ": no temporary file is open");
    Result r = m_file->writeAt(m_written, data, size);
    if (!r) {
        discard();
        return r;
    }
    m_written += size;
    return Result::ok();
}

Result AtomicFile::commit() {
    if (!m_file)
        return Result::invalid("Cannot replace " + m_target + ": no temporary file is open");
    Result r = m_file->sync();
    if (!r) {
        discard();
        return r;
    }
    m_file.reset();
    r = m_fs.rename(m_tempPath, m_target);
    if (!r) {
        (void)m_fs.remove(m_tempPath);
        m_tempPath.clear();
        return r;
    }
    m_tempPath.clear();
    // The new content is in place; a failing folder sync means it may not
    // survive a power cut, which the caller hears about.
    return m_fs.syncFolder(folderOfPath(m_target));
}

void AtomicFile::discard() {
    m_file.reset();
    if (!m_tempPath.empty()) {
        (void)m_fs.remove(m_tempPath);
        m_tempPath.clear();
    }
}

}  // namespace qly
