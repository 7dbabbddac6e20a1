#include "archive/FileAccess.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qly::archive {

bool readFully(ByteStream& stream, void* data, std::int64_t size) {
    auto* out = static_cast<std::uint8_t*>(data);
    std::int64_t done = 0;
    while (done < size) {
        const std::int64_t n = stream.read(out + done, size - done);
        if (n <= 0) {
            return false;
        }
        done += n;
    }
    return true;
}

std::int64_t MemoryStream::read(void* data, std::int64_t size) {
    if (size <= 0 || m_pos >= m_bytes.size()) {
        return 0;
    }
    const std::size_t n = std::min(static_cast<std::size_t>(size), m_bytes.size() - m_pos);
    std::memcpy(data, m_bytes.data() + m_pos, n);
    m_pos += n;
    return static_cast<std::int64_t>(n);
}

bool MemoryStream::write(const void* data, std::int64_t size) {
    if (size <= 0) {
        return true;
    }
    const auto* in = static_cast<const std::uint8_t*>(data);
    m_bytes.insert(m_bytes.end(), in, in + size);
    return true;
}

namespace {

constexpr std::size_t kFileBufferSize = 64 * 1024;

// A file descriptor with one fixed buffer, used either for reading or for
// writing (the archive engine never mixes the two on one file).
class PosixFile : public ByteStream {
public:
    explicit PosixFile(int fd) : m_fd(fd), m_buffer(new std::uint8_t[kFileBufferSize]) {}
    ~PosixFile() override {
        flush();
        ::close(m_fd);
    }
    PosixFile(const PosixFile&) = delete;
    PosixFile& operator=(const PosixFile&) = delete;

    std::int64_t read(void* data, std::int64_t size) override {
        if (size <= 0) {
            return 0;
        }
        auto* out = static_cast<std::uint8_t*>(data);
        std::int64_t done = 0;
        while (done < size) {
            if (m_readPos == m_readEnd) {
                // Large reads go straight to the caller's buffer.
                if (size - done >= static_cast<std::int64_t>(kFileBufferSize)) {
                    const ssize_t n = readSome(out + done, static_cast<std::size_t>(size - done));
                    if (n < 0) {
                        return done > 0 ? done : -1;
                    }
                    if (n == 0) {
                        break;
                    }
                    done += n;
                    continue;
                }
                const ssize_t n = readSome(m_buffer.get(), kFileBufferSize);
                if (n < 0) {
                    return done > 0 ? done : -1;
                }
                if (n == 0) {
                    break;
                }
                m_readPos = 0;
                m_readEnd = static_cast<std::size_t>(n);
            }
            const std::size_t take =
                std::min(m_readEnd - m_readPos, static_cast<std::size_t>(size - done));
            std::memcpy(out + done, m_buffer.get() + m_readPos, take);
            m_readPos += take;
            done += static_cast<std::int64_t>(take);
        }
        return done;
    }

    bool write(const void* data, std::int64_t size) override {
        if (m_failed) {
            return false;
        }
        const auto* in = static_cast<const std::uint8_t*>(data);
        while (size > 0) {
            if (m_writeLen == 0 && size >= static_cast<std::int64_t>(kFileBufferSize)) {
                if (!writeAll(in, static_cast<std::size_t>(size))) {
                    m_failed = true;
                    return false;
                }
                return true;
            }
            const std::size_t take =
                std::min(kFileBufferSize - m_writeLen, static_cast<std::size_t>(size));
            std::memcpy(m_buffer.get() + m_writeLen, in, take);
            m_writeLen += take;
            in += take;
            size -= static_cast<std::int64_t>(take);
            if (m_writeLen == kFileBufferSize && !flush()) {
                return false;
            }
        }
        return true;
    }

    bool flush() override {
        if (m_failed) {
            return false;
        }
        if (m_writeLen > 0) {
            const bool ok = writeAll(m_buffer.get(), m_writeLen);
            m_writeLen = 0;
            if (!ok) {
                m_failed = true;
                return false;
            }
        }
        return true;
    }

    std::int64_t size() override {
        struct stat st {};
        if (::fstat(m_fd, &st) != 0) {
            return -1;
        }
        return static_cast<std::int64_t>(st.st_size) + static_cast<std::int64_t>(m_writeLen);
    }

    bool sync() override {
        if (!flush()) {
            return false;
        }
        if (::fsync(m_fd) != 0) {
            m_errno = errno;
            m_failed = true;
            return false;
        }
        return true;
    }

    int errorNumber() const override { return m_errno; }

private:
    ssize_t readSome(std::uint8_t* out, std::size_t size) {
        for (;;) {
            const ssize_t n = ::read(m_fd, out, size);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                m_errno = errno;
            }
            return n;
        }
    }

    bool writeAll(const std::uint8_t* in, std::size_t size) {
        while (size > 0) {
            const ssize_t n = ::write(m_fd, in, size);
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                m_errno = errno;
                return false;
            }
            in += n;
            size -= static_cast<std::size_t>(n);
        }
        return true;
    }

    int m_fd;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::size_t m_readPos = 0;
    std::size_t m_readEnd = 0;
    std::size_t m_writeLen = 0;
    bool m_failed = false;
    int m_errno = 0;
};

class PosixFileSystem : public FileSystem {
public:
    std::unique_ptr<ByteStream> openRead(const std::string& path) override {
        return open(path, O_RDONLY);
    }
    std::unique_ptr<ByteStream> create(const std::string& path) override {
        return open(path, O_WRONLY | O_CREAT | O_TRUNC);
    }
    std::unique_ptr<ByteStream> openAppend(const std::string& path) override {
        return open(path, O_WRONLY | O_APPEND);
    }

    std::unique_ptr<ByteStream> createBeside(const std::string& target,
                                             std::string& tempPath) override {
        const std::size_t slash = target.rfind('/');
        const std::string folder =
            slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
        // A hidden name in the same folder, so that the rename stays on one
        // file system; mkostemp creates it with O_EXCL (never through a link).
        std::string path = folder + ".qly-tmp-XXXXXX";
        const int fd = ::mkostemp(path.data(), O_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        ::fchmod(fd, 0644);
        tempPath = path;
        return std::make_unique<PosixFile>(fd);
    }

private:
    static std::unique_ptr<ByteStream> open(const std::string& path, int flags) {
        const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
        if (fd < 0) {
            return nullptr;
        }
        struct stat st {};
        if (::fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) {
            ::close(fd);
            return nullptr;
        }
        return std::make_unique<PosixFile>(fd);
    }
};

}  // namespace

std::unique_ptr<ByteStream> FileSystem::createBeside(const std::string& target,
                                                     std::string& tempPath) {
    return posix().createBeside(target, tempPath);
}

bool FileSystem::replace(const std::string& from, const std::string& to) {
    return ::rename(from.c_str(), to.c_str()) == 0;
}

bool FileSystem::remove(const std::string& path) {
    return ::unlink(path.c_str()) == 0;
}

FileSystem& FileSystem::posix() {
    static PosixFileSystem fs;
    return fs;
}

}  // namespace qly::archive
