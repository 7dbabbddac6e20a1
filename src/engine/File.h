#pragma once

// A file of the engine: a POSIX descriptor with positioned reads and writes,
// whole-file locks (flock) and byte-range locks (open-file-description locks,
// so that two opens in one process exclude each other as two processes do).
// Every call reports failure through its result and an error text.

#include <cstddef>
#include <cstdint>
#include <string>

namespace qly::engine {

class File {
public:
    File() = default;
    ~File();
    File(const File&) = delete;
    File& operator=(const File&) = delete;
    File(File&& other) noexcept;
    File& operator=(File&& other) noexcept;

    bool open(const std::string& path, bool writable, std::string& error);
    // Creates a new file; fails when it exists.
    bool create(const std::string& path, std::string& error);
    void close();
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    // Reads exactly size bytes at offset; a short read is an error.
    bool readAt(uint64_t offset, void* buffer, size_t size, std::string& error) const;
    // Reads up to size bytes; returns the count read (0 at end or on error).
    size_t readSome(uint64_t offset, void* buffer, size_t size) const;
    bool writeAt(uint64_t offset, const void* data, size_t size, std::string& error);
    int64_t size() const;  // -1 on error
    bool stamp(int64_t& size, int64_t& mtimeNs) const;
    // Device and inode: the identity of the file.
    bool identity(uint64_t& device, uint64_t& inode) const;
    bool sync();

    // Whole-file lock without waiting: shared or exclusive.
    bool lockFile(bool exclusive);
    // Byte-range write lock, retried until timeoutSeconds have passed (0: one try).
    bool lockRange(uint64_t offset, uint64_t length, int timeoutSeconds);
    void unlockRange(uint64_t offset, uint64_t length);

private:
    int m_fd = -1;
    std::string m_path;
};

// Test seam: when set, every write asks it first. A result n >= 0 writes only
// the first n bytes and then fails as a full disk would; -1 writes normally.
using WriteFault = long (*)(const std::string& path, uint64_t offset, size_t size);
void setWriteFault(WriteFault fault);

// Resolves a file name without regard to letter case: the exact name when it
// exists, else the one entry of its folder whose name matches ignoring case,
// else the name as given. Only the last component is matched loosely.
std::string resolveFileName(const std::string& path);

// The file's folder part ("" or ending in "/") and name part.
std::string folderOf(const std::string& path);
std::string baseNameOf(const std::string& path);
// Replaces (or adds) the extension of the file name: ext includes the dot.
std::string withExtension(const std::string& path, const std::string& ext);
bool hasExtension(const std::string& path);
bool fileExists(const std::string& path);

}  // namespace qly::engine
