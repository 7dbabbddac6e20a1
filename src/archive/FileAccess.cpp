#include "archive/FileAccess.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
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

}  // namespace

FileStream::FileStream(std::unique_ptr<FileHandle> file) : m_file(std::move(file)) {}

FileStream::~FileStream() = default;

bool FileStream::failed(const Result& r) {
    m_failed = true;
    m_error = causeOf(r);
    return false;
}

std::int64_t FileStream::read(void* data, std::int64_t size) {
    if (size <= 0 || m_failed) {
        return m_failed ? -1 : 0;
    }
    if (!m_buffer) {
        m_buffer.reset(new std::uint8_t[kFileBufferSize]);
    }
    auto* out = static_cast<std::uint8_t*>(data);
    std::int64_t done = 0;
    while (done < size) {
        if (m_readPos == m_readEnd) {
            // Large reads go straight to the caller's buffer.
            const bool direct = size - done >= static_cast<std::int64_t>(kFileBufferSize);
            std::uint8_t* into = direct ? out + done : m_buffer.get();
            const std::size_t want =
                direct ? static_cast<std::size_t>(size - done) : kFileBufferSize;
            ResultOr<size_t> got = m_file->readAt(m_fileOffset, into, want);
            if (!got) {
                failed(got.result());
                return done > 0 ? done : -1;
            }
            if (got.value() == 0) {
                break;
            }
            m_fileOffset += got.value();
            if (direct) {
                done += static_cast<std::int64_t>(got.value());
                continue;
            }
            m_readPos = 0;
            m_readEnd = got.value();
        }
        const std::size_t take =
            std::min(m_readEnd - m_readPos, static_cast<std::size_t>(size - done));
        std::memcpy(out + done, m_buffer.get() + m_readPos, take);
        m_readPos += take;
        done += static_cast<std::int64_t>(take);
    }
    return done;
}

bool FileStream::write(const void* data, std::int64_t size) {
    if (m_failed) {
        return false;
    }
    if (size <= 0) {
        return true;
    }
    Result r = m_file->writeAt(m_fileOffset, data, static_cast<std::size_t>(size));
    if (!r) {
        return failed(r);
    }
    m_fileOffset += static_cast<std::uint64_t>(size);
    return true;
}

std::int64_t FileStream::size() {
    ResultOr<std::uint64_t> size = m_file->size();
    return size ? static_cast<std::int64_t>(size.value()) : -1;
}

bool FileStream::sync() {
    if (m_failed) {
        return false;
    }
    Result r = m_file->sync();
    return r ? true : failed(r);
}

bool FileStream::setPermissions(std::uint32_t permissions) {
    Result r = m_file->setPermissions(permissions);
    return r ? true : failed(r);
}

std::string causeOf(const Result& failure) {
    const std::string& message = failure.message();
    const std::size_t colon = message.rfind(": ");
    return colon == std::string::npos ? message : message.substr(colon + 2);
}

std::unique_ptr<FileStream> openRead(FileSystem& fs, const std::string& path, std::string* cause) {
    ResultOr<std::unique_ptr<FileHandle>> file = fs.open(path, OpenMode::Read, Links::Follow);
    if (!file) {
        if (cause) {
            *cause = causeOf(file.result());
        }
        return nullptr;
    }
    return std::make_unique<FileStream>(std::move(file.value()));
}

std::unique_ptr<FileStream> createBeside(FileSystem& fs, const std::string& target,
                                         std::string& tempPath, std::string* cause) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    // A hidden name in the same folder, so that the rename stays on one file
    // system; short enough for any target's name.
    const std::string name =
        (slash == std::string::npos ? target : target.substr(slash + 1)).substr(0, 100);
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string path = folder + "." + name + ".qly-tmp" + std::to_string(::getpid()) + "-" +
                           std::to_string(counter++);
        ResultOr<std::unique_ptr<FileHandle>> file =
            fs.open(path, OpenMode::CreateNew, Links::Refuse);
        if (!file) {
            if (fs.exists(path)) {
                continue;  // taken: try the next name
            }
            if (cause) {
                *cause = causeOf(file.result());
            }
            return nullptr;
        }
        auto stream = std::make_unique<FileStream>(std::move(file.value()));
        if (!stream->setPermissions(0644)) {
            if (cause) {
                *cause = stream->errorText();
            }
            stream.reset();
            (void)fs.remove(path);
            return nullptr;
        }
        tempPath = std::move(path);
        return stream;
    }
    if (cause) {
        *cause = "no free temporary name";
    }
    return nullptr;
}

}  // namespace qly::archive
