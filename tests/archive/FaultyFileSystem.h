#pragma once

#include <cerrno>
#include <memory>
#include <string>

#include "archive/FileAccess.h"

namespace qly::archive::test {

// Passes through to the real file system, except for the files it is told to
// spoil: writes that fail after N bytes, reads that end after N bytes (while
// the size still reports the whole file), opens that fail.
class FaultyFileSystem : public FileSystem {
public:
    std::string failWritesTo;  // path (any volume whose name contains it)
    std::int64_t writeLimit = 0;
    std::string shortReadsOf;
    std::int64_t readLimit = 0;
    bool readFails = false;  // the read after the limit fails instead of ending
    std::string failOpenOf;

    std::unique_ptr<ByteStream> openRead(const std::string& path) override {
        if (!failOpenOf.empty() && path == failOpenOf) {
            return nullptr;
        }
        auto real = FileSystem::posix().openRead(path);
        if (real && !shortReadsOf.empty() && path == shortReadsOf) {
            return std::make_unique<Limited>(std::move(real), readLimit, -1, readFails);
        }
        return real;
    }
    std::unique_ptr<ByteStream> create(const std::string& path) override {
        return wrapWrite(path, FileSystem::posix().create(path));
    }
    std::unique_ptr<ByteStream> openAppend(const std::string& path) override {
        return wrapWrite(path, FileSystem::posix().openAppend(path));
    }
    // A temporary file beside a spoiled target fails like the target would.
    std::unique_ptr<ByteStream> createBeside(const std::string& target,
                                             std::string& tempPath) override {
        return wrapWrite(target, FileSystem::posix().createBeside(target, tempPath));
    }

private:
    class Limited : public ByteStream {
    public:
        Limited(std::unique_ptr<ByteStream> inner, std::int64_t readLeft, std::int64_t writeLeft,
                bool readFails)
            : m_inner(std::move(inner)),
              m_readLeft(readLeft),
              m_writeLeft(writeLeft),
              m_readFails(readFails) {}
        std::int64_t read(void* data, std::int64_t size) override {
            if (m_readLeft >= 0 && size > m_readLeft) {
                size = m_readLeft;
                if (size == 0) {
                    return m_readFails ? -1 : 0;
                }
            }
            const std::int64_t n = m_inner->read(data, size);
            if (n > 0 && m_readLeft >= 0) {
                m_readLeft -= n;
            }
            return n;
        }
        bool write(const void* data, std::int64_t size) override {
            if (m_writeLeft >= 0 && size > m_writeLeft) {
                m_inner->write(data, m_writeLeft);
                m_writeLeft = 0;
                m_errno = ENOSPC;  // as a full disk reports it
                return false;
            }
            if (m_writeLeft >= 0) {
                m_writeLeft -= size;
            }
            return m_inner->write(data, size);
        }
        bool flush() override { return m_errno == 0 && m_inner->flush(); }
        bool sync() override { return m_errno == 0 && m_inner->sync(); }
        std::int64_t size() override { return m_inner->size(); }
        int errorNumber() const override { return m_errno != 0 ? m_errno : m_inner->errorNumber(); }

    private:
        std::unique_ptr<ByteStream> m_inner;
        std::int64_t m_readLeft;
        std::int64_t m_writeLeft;
        bool m_readFails;
        int m_errno = 0;
    };

    std::unique_ptr<ByteStream> wrapWrite(const std::string& path,
                                          std::unique_ptr<ByteStream> real) {
        if (real && !failWritesTo.empty() && path.find(failWritesTo) != std::string::npos) {
            return std::make_unique<Limited>(std::move(real), -1, writeLimit, false);
        }
        return real;
    }
};

}  // namespace qly::archive::test
