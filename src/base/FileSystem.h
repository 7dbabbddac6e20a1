#pragma once

// The file-system seam of the cores. Everything below the Qt layer reaches
// files through a FileSystem, so that tests can give it one held in memory or
// one that fails on purpose (a full disk after N bytes, a failing sync or
// rename, reads that come up short). Every failure names the path and the
// cause.

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/Result.h"

namespace qly {

enum class OpenMode {
    Read,              // an existing file, for reading
    ReadWrite,         // an existing file, for reading and writing
    CreateNew,         // a new file, read and write; fails when the name exists
    CreateOrTruncate,  // a new or emptied file, read and write
};

// Whether the last component of a path may be a symbolic link.
enum class Links { Follow, Refuse };

enum class FileType { Regular, Folder, Symlink, Other };

struct FileInfo {
    FileType type = FileType::Other;
    uint64_t size = 0;
    int64_t mtimeNs = 0;
    uint64_t device = 0;
    uint64_t inode = 0;
    uint32_t permissions = 0;  // the mode's permission bits (07777)
};

// One open file. Reads and writes are positioned; a handle has no cursor.
class FileHandle {
public:
    virtual ~FileHandle() = default;

    // Reads up to size bytes at offset; the count read is short only at the
    // end of the file.
    virtual ResultOr<size_t> readAt(uint64_t offset, void* buffer, size_t size) = 0;
    // Writes all size bytes at offset, or fails.
    virtual Result writeAt(uint64_t offset, const void* data, size_t size) = 0;
    virtual ResultOr<FileInfo> info() = 0;
    virtual Result truncate(uint64_t size) = 0;
    virtual Result sync() = 0;
    // Sets the permission bits (07777); a file system without them ignores it.
    virtual Result setPermissions(uint32_t permissions) {
        (void)permissions;
        return Result::ok();
    }

    // Whole-file lock without waiting (shared or exclusive), and byte-range
    // write locks without waiting (two handles exclude each other even in one
    // process). Locked when another holder has it.
    virtual Result lockFile(bool exclusive) = 0;
    virtual Result lockRange(uint64_t offset, uint64_t length) = 0;
    virtual void unlockRange(uint64_t offset, uint64_t length) = 0;

    const std::string& path() const { return m_path; }

    // Reads exactly size bytes; a short read is an error naming the path.
    Result readExactly(uint64_t offset, void* buffer, size_t size);
    ResultOr<uint64_t> size();

protected:
    explicit FileHandle(std::string path) : m_path(std::move(path)) {}

private:
    std::string m_path;
};

// A byte-range lock of handle, tried again every pauseMs until
// timeoutSeconds have passed (0: one try). Locked when it is still held.
Result lockRangeWaiting(FileHandle& handle, uint64_t offset, uint64_t length, int timeoutSeconds,
                        int pauseMs);

class FileSystem {
public:
    virtual ~FileSystem() = default;

    // Only a regular file opens: anything else (a folder, a FIFO, a device,
    // also behind a followed link) is refused without waiting on it.
    virtual ResultOr<std::unique_ptr<FileHandle>> open(const std::string& path, OpenMode mode,
                                                       Links links = Links::Follow) = 0;
    // Replaces `to` (a file, or a symbolic link itself) by `from`.
    virtual Result rename(const std::string& from, const std::string& to) = 0;
    virtual Result remove(const std::string& path) = 0;
    // What the name is, without following a symbolic link; NotFound when
    // there is nothing by that name.
    virtual ResultOr<FileInfo> info(const std::string& path) = 0;
    virtual Result makeFolder(const std::string& path) = 0;
    // The names in a folder, without "." and "..", in no particular order.
    virtual ResultOr<std::vector<std::string>> listFolder(const std::string& path) = 0;
    // Makes the folder's entries (a rename into it) durable.
    virtual Result syncFolder(const std::string& path) = 0;

    bool exists(const std::string& path) { return info(path).isOk(); }

    // The process-wide real file system.
    static FileSystem& posix();
};

// The folder part of a path ("." when it has none) and the name part.
std::string folderOfPath(const std::string& path);
std::string nameOfPath(const std::string& path);

class MemoryNodeHandle;

// Files held in memory. Folders exist once made (the root "/" and "." always
// do); a file's folder must exist. Symbolic links may be added for tests.
class MemoryFileSystem : public FileSystem {
public:
    MemoryFileSystem();

    ResultOr<std::unique_ptr<FileHandle>> open(const std::string& path, OpenMode mode,
                                               Links links = Links::Follow) override;
    Result rename(const std::string& from, const std::string& to) override;
    Result remove(const std::string& path) override;
    ResultOr<FileInfo> info(const std::string& path) override;
    Result makeFolder(const std::string& path) override;
    ResultOr<std::vector<std::string>> listFolder(const std::string& path) override;
    Result syncFolder(const std::string& path) override;

    // Test helpers: a file's bytes (created empty when missing), and a
    // symbolic link at path that leads to target.
    std::vector<uint8_t>& bytes(const std::string& path);
    void addSymlink(const std::string& path, const std::string& target);

private:
    friend class MemoryNodeHandle;
    struct Node;
    std::map<std::string, std::shared_ptr<Node>> m_entries;
    int64_t m_clock = 0;
};

// A file system in front of another that fails where a test asks it to. Each
// failure reads as the real one would (a full disk says so).
class FaultyFileSystem : public FileSystem {
public:
    explicit FaultyFileSystem(FileSystem& inner) : m_inner(inner) {}

    // Writes to paths containing pathPart (all paths when empty), and starting
    // at offset when given (>= 0), succeed until `bytes` more bytes have been
    // written; the write that crosses the budget writes only what is left and
    // fails as a full disk does. A negative budget turns this off. With once,
    // only the write that crosses the budget fails and later writes go
    // through (a passing error, or a full disk that still takes writes over
    // bytes the file has).
    void failWritesAfter(int64_t bytes, std::string pathPart = "", int64_t atOffset = -1,
                         bool once = false);
    // The nth sync (file or folder) / rename from now on fails (1: the next);
    // 0 turns it off.
    void failSync(int nth) { m_syncFailAt = nth; }
    void failRename(int nth) { m_renameFailAt = nth; }
    // Reads return at most this many bytes per call (0: whole reads).
    void shortReads(size_t most) { m_readMost = most; }
    // Reads of paths containing pathPart find the file ending after `bytes`
    // bytes, or with `fail` fail there as an unreadable sector does; a
    // negative count turns it off.
    void endReadsAfter(int64_t bytes, std::string pathPart, bool fail = false) {
        m_readEnd = bytes;
        m_readEndPart = std::move(pathPart);
        m_readEndFails = fail;
    }
    // Every lock is refused as if another program held it.
    void refuseLocks(bool refuse) { m_refuseLocks = refuse; }
    // Opens of paths containing pathPart fail (empty: turns it off).
    void failOpens(std::string pathPart) { m_openFailPart = std::move(pathPart); }

    ResultOr<std::unique_ptr<FileHandle>> open(const std::string& path, OpenMode mode,
                                               Links links = Links::Follow) override;
    Result rename(const std::string& from, const std::string& to) override;
    Result remove(const std::string& path) override { return m_inner.remove(path); }
    ResultOr<FileInfo> info(const std::string& path) override { return m_inner.info(path); }
    Result makeFolder(const std::string& path) override { return m_inner.makeFolder(path); }
    ResultOr<std::vector<std::string>> listFolder(const std::string& path) override {
        return m_inner.listFolder(path);
    }
    Result syncFolder(const std::string& path) override;

private:
    class Handle;
    // How many bytes of a write may go through: size when all of them.
    size_t allowedWrite(const std::string& path, uint64_t offset, size_t size);
    bool nextSyncFails();

    FileSystem& m_inner;
    int64_t m_writeBudget = -1;
    std::string m_writePart;
    int64_t m_writeOffset = -1;
    bool m_writeOnce = false;
    int m_syncFailAt = 0;
    int m_renameFailAt = 0;
    size_t m_readMost = 0;
    int64_t m_readEnd = -1;
    std::string m_readEndPart;
    bool m_readEndFails = false;
    bool m_refuseLocks = false;
    std::string m_openFailPart;
};

// A file that replaces its target all at once: the bytes go to a temporary
// file in the target's folder, which commit() syncs and renames over the
// target and then syncs the folder. On any failure, and when destroyed
// without a commit, the temporary file is removed and the target is as it
// was.
class AtomicFile {
public:
    AtomicFile(FileSystem& fs, std::string target);
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // The new file takes the permission bits of the target it replaces (when
    // that is a regular file); call before open().
    void keepTargetPermissions() { m_keepPermissions = true; }
    // Makes the temporary file (a fresh name, never through a link).
    Result open();
    // Appends to the temporary file.
    Result write(const void* data, size_t size);
    Result write(const std::string& text) { return write(text.data(), text.size()); }
    Result commit();
    // Drops the temporary file; the target stays as it was.
    void discard();

    const std::string& target() const { return m_target; }
    const std::string& tempPath() const { return m_tempPath; }

private:
    FileSystem& m_fs;
    std::string m_target;
    std::string m_tempPath;
    std::unique_ptr<FileHandle> m_file;
    uint64_t m_written = 0;
    bool m_keepPermissions = false;
};

}  // namespace qly
