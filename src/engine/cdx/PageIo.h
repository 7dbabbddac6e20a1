#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/FileSystem.h"

// File access of the compound-index layer: the pages of one index file on a
// handle of the base file system (the real one, one held in memory, or one
// that fails on purpose), with a small read-ahead.
namespace cdx {

class PageIo {
public:
    explicit PageIo(std::unique_ptr<qly::FileHandle> file);
    virtual ~PageIo() = default;
    PageIo(const PageIo&) = delete;
    PageIo& operator=(const PageIo&) = delete;

    // Opens an existing file (create = false) or creates/empties it.
    static qly::ResultOr<std::unique_ptr<PageIo>> open(qly::FileSystem& fs, const std::string& path,
                                                       bool readOnly, bool create);

    // Reads exactly n bytes at offset; an error or a short read fails.
    qly::Result read(uint64_t offset, void* buffer, size_t n);
    qly::Result write(uint64_t offset, const void* buffer, size_t n);
    qly::ResultOr<uint64_t> size() { return m_file->size(); }
    qly::Result truncate(uint64_t size);
    qly::Result sync() { return m_file->sync(); }
    const std::string& name() const { return m_file->path(); }

    // Sharing with other writers. A byte-range write lock, retried until
    // timeoutSeconds have passed (0: one try).
    qly::Result lockRange(uint64_t offset, uint64_t length, int timeoutSeconds);
    void unlockRange(uint64_t offset, uint64_t length) { m_file->unlockRange(offset, length); }
    // Size and modification time, to tell whether another process wrote.
    qly::Result stamp(uint64_t& size, int64_t& mtimeNs);
    // Forgets what was read ahead (another process may have changed it).
    void forgetReadAhead() { m_blockBytes = 0; }

protected:
    qly::FileHandle& file() { return *m_file; }

private:
    qly::Result readRaw(uint64_t offset, void* buffer, size_t n);

    std::unique_ptr<qly::FileHandle> m_file;
    // Read-ahead: the aligned block read last (pages of a tag built in one
    // go lie side by side, so a walk reads one block instead of many pages);
    // small, so that a page missed at random costs little more than the page.
    static constexpr size_t kBlockSize = 4 * 1024;
    std::vector<uint8_t> m_block;
    uint64_t m_blockOffset = 0;
    size_t m_blockBytes = 0;
};

namespace detail {
// The file systems of a MemoryPageIo, made before the PageIo over them.
struct MemoryPageFiles {
    explicit MemoryPageFiles(std::vector<uint8_t> bytes, const std::string& name);
    qly::MemoryFileSystem memory;
    qly::FaultyFileSystem faulty{memory};
    std::unique_ptr<qly::FileHandle> handle;
};
}  // namespace detail

// An index file held in memory, for tests; its writes may be made to fail.
class MemoryPageIo : private detail::MemoryPageFiles, public PageIo {
public:
    explicit MemoryPageIo(std::vector<uint8_t> bytes = {}, const std::string& name = "memory.cdx");

    std::vector<uint8_t>& bytes() { return memory.bytes(name()); }
    // Every write fails once this many more bytes have been written (the
    // write that crosses the budget writes what is left; -1: never).
    void failWritesAfter(int64_t budget) { faulty.failWritesAfter(budget); }
};

}  // namespace cdx
