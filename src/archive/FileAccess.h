#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/FileSystem.h"

// Byte streams over the files of the base file system (base/FileSystem.h),
// which the archive engine reaches all files through. Tests give it the
// fault-injecting one to make a write fail after N bytes, a read end early,
// a sync, a rename or a lock fail.
namespace qly::archive {

using FileSystem = ::qly::FileSystem;

class ByteStream {
public:
    virtual ~ByteStream() = default;
    // Reads up to `size` bytes; returns the number read (0 at the end) or -1
    // on a read error.
    virtual std::int64_t read(void* data, std::int64_t size) = 0;
    // Writes all `size` bytes; false when they could not all be written.
    virtual bool write(const void* data, std::int64_t size) = 0;
    // Pushes buffered bytes to the underlying file; false on failure.
    virtual bool flush() { return true; }
    // The size of the stream's file, or -1 when unknown.
    virtual std::int64_t size() { return -1; }
    // Flushes and makes the written bytes durable; false on failure.
    virtual bool sync() { return flush(); }
    // Why the last read, write or sync failed ("No space left on device");
    // empty when unknown.
    virtual std::string errorText() const { return std::string(); }
};
// Reads exactly `size` bytes; false when fewer could be read.
bool readFully(ByteStream& stream, void* data, std::int64_t size);

// An in-memory stream: reads from and appends to one byte vector. Useful for
// BackupStream/RestoreStream.
class MemoryStream : public ByteStream {
public:
    MemoryStream() = default;
    explicit MemoryStream(std::vector<std::uint8_t> bytes) : m_bytes(std::move(bytes)) {}
    std::int64_t read(void* data, std::int64_t size) override;
    bool write(const void* data, std::int64_t size) override;
    std::int64_t size() override { return static_cast<std::int64_t>(m_bytes.size()); }

    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }
    std::vector<std::uint8_t>& bytes() { return m_bytes; }
    std::size_t position() const { return m_pos; }
    void setPosition(std::size_t pos) { m_pos = pos; }

private:
    std::vector<std::uint8_t> m_bytes;
    std::size_t m_pos = 0;
};

// A file of the base file system read from its start with a buffer, or
// written from its start straight through (every write reaches the file
// system at once, so a failure shows at the write that met it).
class FileStream : public ByteStream {
public:
    explicit FileStream(std::unique_ptr<FileHandle> file);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    std::int64_t read(void* data, std::int64_t size) override;
    bool write(const void* data, std::int64_t size) override;
    std::int64_t size() override;
    bool sync() override;
    std::string errorText() const override { return m_error; }

    // Sets the file's permission bits; false (with errorText) on failure.
    bool setPermissions(std::uint32_t permissions);

private:
    bool failed(const Result& r);

    std::unique_ptr<FileHandle> m_file;
    std::unique_ptr<std::uint8_t[]> m_buffer;
    std::uint64_t m_fileOffset = 0;  // of the next byte to fetch or write
    std::size_t m_readPos = 0;
    std::size_t m_readEnd = 0;
    bool m_failed = false;
    std::string m_error;
};

// The cause in the message of a failure ("No space left on device" of
// "Cannot write /a/b: No space left on device").
std::string causeOf(const Result& failure);

// Opens an existing regular file for reading; nullptr on failure, with the
// cause in *cause when given.
std::unique_ptr<FileStream> openRead(FileSystem& fs, const std::string& path,
                                     std::string* cause = nullptr);
// Creates a new, empty file with a fresh name in the folder of `target`
// (never an existing name, never through a link; the name begins with a dot
// and the target's name) and gives its path in `tempPath`; nullptr on
// failure, with the cause in *cause when given.
std::unique_ptr<FileStream> createBeside(FileSystem& fs, const std::string& target,
                                         std::string& tempPath, std::string* cause = nullptr);

}  // namespace qly::archive
