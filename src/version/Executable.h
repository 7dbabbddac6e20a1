#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "base/Result.h"

// Finding a version record in an executable file.
//
// ELF (32 or 64 bit, either byte order): the contents of the section named
// ".qly_version", found through the section header table and its string
// table (e_shnum and e_shstrndx may be extended through section 0).
//
// PE (Windows, PE32 or PE32+): the resource of type RT_VERSION (16): the
// resource directory named by the optional header's third data directory,
// its first name and first language below the type, and the data entry
// there, whose address is mapped to the file through the section table.
//
// Every offset and length read from the file is checked against the file's
// size before it is used.
namespace qly::version {

constexpr const char* kElfSectionName = ".qly_version";

// Bytes at offsets: a file or a buffer.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual std::uint64_t size() const = 0;
    // Reads exactly out.size() bytes at offset; false when they lie beyond
    // the end or the read fails.
    virtual bool read(std::uint64_t offset, std::span<std::uint8_t> out) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : m_bytes(bytes) {}
    std::uint64_t size() const override { return m_bytes.size(); }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    std::span<const std::uint8_t> m_bytes;
};

// A regular file, opened read-only; isOpen() is false when it cannot be.
class FileSource : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Why the file could not be opened.
    const std::string& error() const { return m_error; }
    std::uint64_t size() const override { return m_size; }
    bool read(std::uint64_t offset, std::span<std::uint8_t> out) override;

private:
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::string m_error;
};

// Where the record lies in the file.
struct Region {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

// NotFound when the file is no ELF or PE file or carries no record;
// Corrupt when its headers are damaged.
ResultOr<Region> locateRecord(ByteSource& file);

// The size of the file's version record as its root declares it; 0 when
// the file cannot be read, is no executable this reader knows, or carries
// no record.
std::uint32_t versionInfoSize(ByteSource& file);
std::uint32_t versionInfoSize(const std::string& path);

// The whole record, checked to be one: its root block, named
// "VS_VERSION_INFO", must fit in the place the file gives it.
ResultOr<std::vector<std::uint8_t>> readVersionInfo(ByteSource& file);
ResultOr<std::vector<std::uint8_t>> readVersionInfo(const std::string& path);

// The full path of the running program's executable file.
std::string programFile();

}  // namespace qly::version
