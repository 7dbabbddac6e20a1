#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// File access of the compound-index layer, behind a small interface so that
// tests can give it a file held in memory or one that fails on purpose.
namespace cdx {

class PageIo {
public:
    virtual ~PageIo() = default;
    // Reads exactly n bytes at offset; false on an error or a short read.
    virtual bool read(uint64_t offset, void* buffer, size_t n) = 0;
    virtual bool write(uint64_t offset, const void* buffer, size_t n) = 0;
    virtual uint64_t size() const = 0;
    virtual bool truncate(uint64_t size) = 0;
    virtual bool sync() = 0;
    virtual const std::string& name() const = 0;

    // Sharing with other writers. A byte-range write lock, retried until
    // timeoutSeconds have passed (0: one try); files held in memory need none.
    virtual bool lockRange(uint64_t /*offset*/, uint64_t /*length*/, int /*timeoutSeconds*/) {
        return true;
    }
    virtual void unlockRange(uint64_t /*offset*/, uint64_t /*length*/) {}
    // Size and modification time, to tell whether another process wrote.
    virtual bool stamp(uint64_t& size, int64_t& mtimeNs) const {
        size = this->size();
        mtimeNs = 0;
        return true;
    }
    // Forgets what was read ahead (another process may have changed it).
    virtual void forgetReadAhead() {}
};

// A file on disk (POSIX pread/pwrite).
class PosixPageIo : public PageIo {
public:
    // Opens an existing file (create = false) or creates/empties it.
    static std::unique_ptr<PosixPageIo> open(const std::string& path, bool readOnly, bool create,
                                             std::string* error);
    ~PosixPageIo() override;

    bool read(uint64_t offset, void* buffer, size_t n) override;
    bool write(uint64_t offset, const void* buffer, size_t n) override;
    uint64_t size() const override;
    bool truncate(uint64_t size) override;
    bool sync() override;
    const std::string& name() const override { return m_path; }
    bool lockRange(uint64_t offset, uint64_t length, int timeoutSeconds) override;
    void unlockRange(uint64_t offset, uint64_t length) override;
    bool stamp(uint64_t& size, int64_t& mtimeNs) const override;
    void forgetReadAhead() override { m_blockBytes = 0; }

private:
    PosixPageIo(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}
    bool readRaw(uint64_t offset, void* buffer, size_t n);

    int m_fd;
    std::string m_path;
    // Read-ahead: the aligned block read last (pages of a tag built in one
    // go lie side by side, so a walk reads one block instead of many pages);
    // small, so that a page missed at random costs little more than the page.
    static constexpr size_t kBlockSize = 4 * 1024;
    std::vector<uint8_t> m_block;
    uint64_t m_blockOffset = 0;
    size_t m_blockBytes = 0;
};

// A file held in memory; writes may be made to fail after a byte budget.
class MemoryPageIo : public PageIo {
public:
    explicit MemoryPageIo(std::vector<uint8_t> bytes = {}, std::string name = "memory.cdx")
        : m_bytes(std::move(bytes)), m_name(std::move(name)) {}

    bool read(uint64_t offset, void* buffer, size_t n) override;
    bool write(uint64_t offset, const void* buffer, size_t n) override;
    uint64_t size() const override { return m_bytes.size(); }
    bool truncate(uint64_t size) override;
    bool sync() override { return true; }
    const std::string& name() const override { return m_name; }

    std::vector<uint8_t>& bytes() { return m_bytes; }
    // Every write fails once this many more bytes have been written (-1: never).
    void failWritesAfter(int64_t budget) { m_writeBudget = budget; }

private:
    std::vector<uint8_t> m_bytes;
    std::string m_name;
    int64_t m_writeBudget = -1;
};

}  // namespace cdx
