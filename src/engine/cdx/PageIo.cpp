#include "engine/cdx/PageIo.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

namespace cdx {

std::unique_ptr<PosixPageIo> PosixPageIo::open(const std::string& path, bool readOnly, bool create,
                                               std::string* error) {
    int flags = readOnly ? O_RDONLY : O_RDWR;
    if (create)
        flags = O_RDWR | O_CREAT | O_TRUNC;
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        if (error)
            *error = path + ": " + std::strerror(errno);
        return nullptr;
    }
    return std::unique_ptr<PosixPageIo>(new PosixPageIo(fd, path));
}

PosixPageIo::~PosixPageIo() {
    ::close(m_fd);
}

bool PosixPageIo::read(uint64_t offset, void* buffer, size_t n) {
    if (n > kBlockSize / 2)
        return readRaw(offset, buffer, n);
    auto inBlock = [&] {
        return offset >= m_blockOffset && offset + n <= m_blockOffset + m_blockBytes;
    };
    if (!inBlock()) {
        m_block.resize(kBlockSize);
        m_blockOffset = offset / kBlockSize * kBlockSize;
        m_blockBytes = 0;
        while (m_blockBytes < kBlockSize) {
            const ssize_t got =
                ::pread(m_fd, m_block.data() + m_blockBytes, kBlockSize - m_blockBytes,
                        static_cast<off_t>(m_blockOffset + m_blockBytes));
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                m_blockBytes = 0;
                return false;
            }
            if (got == 0)
                break;
            m_blockBytes += static_cast<size_t>(got);
        }
        if (!inBlock())
            return readRaw(offset, buffer, n);
    }
    std::memcpy(buffer, m_block.data() + (offset - m_blockOffset), n);
    return true;
}

bool PosixPageIo::readRaw(uint64_t offset, void* buffer, size_t n) {
    auto* p = static_cast<char*>(buffer);
    while (n > 0) {
        const ssize_t got = ::pread(m_fd, p, n, static_cast<off_t>(offset));
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        n -= static_cast<size_t>(got);
        offset += static_cast<uint64_t>(got);
    }
    return true;
}

bool PosixPageIo::write(uint64_t offset, const void* buffer, size_t n) {
    if (offset < m_blockOffset + kBlockSize && offset + n > m_blockOffset)
        m_blockBytes = 0;
    const auto* p = static_cast<const char*>(buffer);
    while (n > 0) {
        const ssize_t put = ::pwrite(m_fd, p, n, static_cast<off_t>(offset));
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        n -= static_cast<size_t>(put);
        offset += static_cast<uint64_t>(put);
    }
    return true;
}

uint64_t PosixPageIo::size() const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return 0;
    return static_cast<uint64_t>(st.st_size);
}

bool PosixPageIo::truncate(uint64_t size) {
    m_blockBytes = 0;
    return ::ftruncate(m_fd, static_cast<off_t>(size)) == 0;
}

bool PosixPageIo::lockRange(uint64_t offset, uint64_t length, int timeoutSeconds) {
    // Open-file-description locks: two opens in one process exclude each
    // other as two processes do, and they meet other programs' fcntl locks.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeoutSeconds);
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
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void PosixPageIo::unlockRange(uint64_t offset, uint64_t length) {
    struct flock fl {};
    fl.l_type = F_UNLCK;
    fl.l_whence = SEEK_SET;
    fl.l_start = static_cast<off_t>(offset);
    fl.l_len = static_cast<off_t>(length);
    ::fcntl(m_fd, F_OFD_SETLK, &fl);
}

bool PosixPageIo::stamp(uint64_t& size, int64_t& mtimeNs) const {
    struct stat st {};
    if (::fstat(m_fd, &st) != 0)
        return false;
    size = static_cast<uint64_t>(st.st_size);
    mtimeNs = static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    return true;
}

bool PosixPageIo::sync() {
    return ::fdatasync(m_fd) == 0;
}

bool MemoryPageIo::read(uint64_t offset, void* buffer, size_t n) {
    if (offset > m_bytes.size() || n > m_bytes.size() - offset)
        return false;
    std::memcpy(buffer, m_bytes.data() + offset, n);
    return true;
}

bool MemoryPageIo::write(uint64_t offset, const void* buffer, size_t n) {
    if (m_writeBudget >= 0) {
        if (static_cast<int64_t>(n) > m_writeBudget) {
            m_writeBudget = 0;
            return false;
        }
        m_writeBudget -= static_cast<int64_t>(n);
    }
    if (offset + n > m_bytes.size())
        m_bytes.resize(offset + n);
    if (n > 0)
        std::memcpy(m_bytes.data() + offset, buffer, n);
    return true;
}

bool MemoryPageIo::truncate(uint64_t size) {
    m_bytes.resize(size);
    return true;
}

}  // namespace cdx
