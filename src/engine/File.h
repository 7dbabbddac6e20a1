#pragma once

// A file of the engine: a handle of the file system the engine is given
// (POSIX unless a test or the program sets another), with positioned reads
// and writes, whole-file locks and byte-range locks that two opens in one
// process see as two processes do. Every call reports failure through its
// result and an error text that names the file and the cause.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/FileSystem.h"

namespace qly::engine {

// The file system every file of the engine is opened through. Files keep the
// file system they were opened with; a test that sets its own closes the
// tables before the file system goes.
qly::FileSystem& fileSystem();
void setFileSystem(qly::FileSystem* fs);  // nullptr: the real one

// Sets the engine's file system for a scope and puts the previous one back.
class ScopedFileSystem {
public:
    explicit ScopedFileSystem(qly::FileSystem& fs) : m_previous(&fileSystem()) {
        setFileSystem(&fs);
    }
    ~ScopedFileSystem() { setFileSystem(m_previous); }
    ScopedFileSystem(const ScopedFileSystem&) = delete;
    ScopedFileSystem& operator=(const ScopedFileSystem&) = delete;

private:
    qly::FileSystem* m_previous;
};

class File {
public:
    File() = default;
    File(File&& other) noexcept = default;
    File& operator=(File&& other) noexcept = default;

    // Opens an existing file. A failure's code tells a refused write access
    // (ErrorCode::ReadOnly) from a missing file.
    bool open(const std::string& path, bool writable, std::string& error,
              qly::ErrorCode* code = nullptr);
    // Creates a new file; fails when it exists.
    bool create(const std::string& path, std::string& error);
    void close() { m_handle.reset(); }  // also releases its locks
    bool isOpen() const { return m_handle != nullptr; }
    const std::string& path() const { return m_path; }

    // Reads exactly size bytes at offset; a short read is an error.
    bool readAt(uint64_t offset, void* buffer, size_t size, std::string& error) const;
    // Reads up to size bytes; returns the count read (short at the end or on error).
    size_t readSome(uint64_t offset, void* buffer, size_t size) const;
    bool writeAt(uint64_t offset, const void* data, size_t size, std::string& error);
    int64_t size() const;  // -1 on error
    bool stamp(int64_t& size, int64_t& mtimeNs) const;
    // Device and inode: the identity of the file.
    bool identity(uint64_t& device, uint64_t& inode) const;
    bool sync(std::string& error);
    bool sync() {
        std::string ignored;
        return sync(ignored);
    }

    // Whole-file lock without waiting: shared or exclusive.
    bool lockFile(bool exclusive);
    // Byte-range write lock, retried until timeoutSeconds have passed (0: one try).
    bool lockRange(uint64_t offset, uint64_t length, int timeoutSeconds);
    void unlockRange(uint64_t offset, uint64_t length);

private:
    std::unique_ptr<qly::FileHandle> m_handle;
    std::string m_path;
};

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
// Removes a file the engine made and must not leave behind (best effort).
void removeFile(const std::string& path);

}  // namespace qly::engine
