#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// Byte streams and the small file-access interface the archive engine works
// through. Tests put a FileSystem of their own in front of the real one to
// make a write fail after N bytes or a read come up short.
namespace qly::archive {

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
    // The errno of the last failed read or write (0 when unknown).
    virtual int errorNumber() const { return 0; }
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

class FileSystem {
public:
    virtual ~FileSystem() = default;
    // Opens an existing file for reading, letting others read and write it.
    virtual std::unique_ptr<ByteStream> openRead(const std::string& path) = 0;
    // Creates the file, or empties it when it exists.
    virtual std::unique_ptr<ByteStream> create(const std::string& path) = 0;
    // Opens an existing file for writing at its end.
    virtual std::unique_ptr<ByteStream> openAppend(const std::string& path) = 0;
    // Creates a new, empty file with a fresh name in the folder of `target`
    // (never an existing name, never through a link) and gives its path in
    // `tempPath`; nullptr with errno set on failure.
    virtual std::unique_ptr<ByteStream> createBeside(const std::string& target,
                                                     std::string& tempPath);
    // Renames `from` over `to` in one step; false with errno set on failure.
    virtual bool replace(const std::string& from, const std::string& to);
    // Removes a file; false with errno set on failure.
    virtual bool remove(const std::string& path);

    // The process-wide real file system.
    static FileSystem& posix();
};

}  // namespace qly::archive
