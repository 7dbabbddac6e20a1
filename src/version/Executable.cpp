#include "version/Executable.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>

#include "base/ByteOrder.h"
#include "version/VersionRecord.h"

namespace qly::version {

namespace {

// Tables larger than this are taken as damage; real ones are a few KB.
constexpr std::uint64_t kMaxTableBytes = 16u << 20;

bool fits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

// ---- ELF

constexpr std::uint8_t kElfMagic[4] = {0x7F, 'E', 'L', 'F'};
constexpr std::uint8_t kElfClass32 = 1;
constexpr std::uint8_t kElfClass64 = 2;
constexpr std::uint8_t kElfDataLittle = 1;
constexpr std::uint8_t kElfDataBig = 2;
constexpr std::uint32_t kShtNobits = 8;
constexpr std::uint16_t kShnXindex = 0xFFFF;

struct SectionHeader {
    std::uint32_t name = 0;
    std::uint32_t type = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
};

// Field access for one ELF class and byte order.
struct ElfLayout {
    bool is64 = false;
    bool big = false;

    std::uint16_t u16(const std::uint8_t* p) const { return big ? readBe16(p) : readLe16(p); }
    std::uint32_t u32(const std::uint8_t* p) const { return big ? readBe32(p) : readLe32(p); }
    std::uint64_t u64(const std::uint8_t* p) const { return big ? readBe64(p) : readLe64(p); }
    std::uint64_t word(const std::uint8_t* p) const { return is64 ? u64(p) : u32(p); }

    std::size_t headerSize() const { return is64 ? 64 : 52; }
    std::size_t sectionHeaderSize() const { return is64 ? 64 : 40; }

    SectionHeader section(const std::uint8_t* p) const {
        SectionHeader s;
        s.name = u32(p);
        s.type = u32(p + 4);
        s.offset = word(p + (is64 ? 0x18 : 0x10));
        s.size = word(p + (is64 ? 0x20 : 0x14));
        s.link = u32(p + (is64 ? 0x28 : 0x18));
        return s;
    }
};

ResultOr<Region> locateElf(ByteSource& file) {
    std::uint8_t header[64];
    if (!file.read(0, std::span(header, 16)))
        return Result::corrupt("the ELF header is cut short");
    if ((header[4] != kElfClass32 && header[4] != kElfClass64) ||
        (header[5] != kElfDataLittle && header[5] != kElfDataBig))
        return Result::corrupt("the ELF header names no known class or byte order");
    const ElfLayout elf{header[4] == kElfClass64, header[5] == kElfDataBig};
    if (!file.read(0, std::span(header, elf.headerSize())))
        return Result::corrupt("the ELF header is cut short");
    const std::uint64_t tableOffset = elf.word(header + (elf.is64 ? 0x28 : 0x20));
    const std::uint16_t entrySize = elf.u16(header + (elf.is64 ? 0x3A : 0x2E));
    std::uint64_t count = elf.u16(header + (elf.is64 ? 0x3C : 0x30));
    std::uint64_t names = elf.u16(header + (elf.is64 ? 0x3E : 0x32));
    if (tableOffset == 0)
        return Result::notFound("the ELF file has no sections");
    if (entrySize < elf.sectionHeaderSize())
        return Result::corrupt("the ELF section headers are too small");

    // Section 0 holds the count and the names' index when they do not fit
    // the header.
    std::vector<std::uint8_t> first(entrySize);
    if (!file.read(tableOffset, first))
        return Result::corrupt("the ELF section table passes the end of the file");
    const SectionHeader zero = elf.section(first.data());
    if (count == 0)
        count = zero.size;
    if (names == kShnXindex)
        names = zero.link;
    if (count == 0)
        return Result::notFound("the ELF file has no sections");
    if (count > kMaxTableBytes / entrySize)
        return Result::corrupt("the ELF file declares too many sections");
    if (names >= count)
        return Result::corrupt("the ELF section names lie in no section");
    if (!fits(tableOffset, count * entrySize, file.size()))
        return Result::corrupt("the ELF section table passes the end of the file");

    std::vector<std::uint8_t> table(count * entrySize);
    if (!file.read(tableOffset, table))
        return Result::corrupt("the ELF section table cannot be read");
    const SectionHeader strings = elf.section(table.data() + names * entrySize);
    if (strings.type == kShtNobits || strings.size > kMaxTableBytes ||
        !fits(strings.offset, strings.size, file.size()))
        return Result::corrupt("the ELF section names pass the end of the file");
    std::vector<std::uint8_t> text(strings.size);
    if (!file.read(strings.offset, text))
        return Result::corrupt("the ELF section names cannot be read");

    const std::size_t wanted = std::strlen(kElfSectionName) + 1;  // with its null
    for (std::uint64_t i = 0; i < count; ++i) {
        const SectionHeader s = elf.section(table.data() + i * entrySize);
        if (s.name > text.size() || text.size() - s.name < wanted ||
            std::memcmp(text.data() + s.name, kElfSectionName, wanted) != 0)
            continue;
        if (s.type == kShtNobits)
            return Region{s.offset, 0};
        if (!fits(s.offset, s.size, file.size()))
            return Result::corrupt(std::string("the section ") + kElfSectionName +
                                   " passes the end of the file");
        return Region{s.offset, s.size};
    }
    return Result::notFound(std::string("the ELF file has no section ") + kElfSectionName);
}

// ---- PE

constexpr std::uint32_t kLfanewOffset = 0x3C;
constexpr std::uint16_t kPe32Magic = 0x10B;
constexpr std::uint16_t kPe32PlusMagic = 0x20B;
constexpr std::size_t kSectionEntrySize = 40;
constexpr std::uint32_t kResourceDirectory = 2;
constexpr std::uint32_t kRtVersion = 16;
constexpr std::uint32_t kHighBit = 0x80000000u;

class PeImage {
public:
    explicit PeImage(ByteSource& file) : m_file(file) {}

    Result readHeaders() {
        std::uint8_t dos[64];
        if (!m_file.read(0, dos))
            return Result::corrupt("the MS-DOS header is cut short");
        const std::uint64_t peOffset = readLe32(dos + kLfanewOffset);
        std::uint8_t pe[24];
        if (!m_file.read(peOffset, pe) || std::memcmp(pe, "PE\0\0", 4) != 0)
            return Result::notFound("an MS-DOS program without a PE header");
        const std::uint16_t sections = readLe16(pe + 6);
        const std::uint16_t optionalSize = readLe16(pe + 20);
        std::vector<std::uint8_t> optional(optionalSize);
        if (optionalSize < 2 || !m_file.read(peOffset + 24, optional))
            return Result::corrupt("the PE optional header is cut short");
        const std::uint16_t magic = readLe16(optional.data());
        if (magic != kPe32Magic && magic != kPe32PlusMagic)
            return Result::corrupt("the PE optional header is of no known kind");
        const std::size_t countOffset = magic == kPe32Magic ? 92 : 108;
        const std::size_t directories = countOffset + 4;
        const std::size_t entry = directories + 8 * kResourceDirectory;
        if (optionalSize < entry + 8 ||
            readLe32(optional.data() + countOffset) <= kResourceDirectory)
            return Result::notFound("the PE file has no resource directory");
        m_resourceRva = readLe32(optional.data() + entry);
        const std::uint64_t tableOffset = peOffset + 24 + optionalSize;
        const std::uint64_t tableSize = std::uint64_t{sections} * kSectionEntrySize;
        if (!fits(tableOffset, tableSize, m_file.size()))
            return Result::corrupt("the PE section table passes the end of the file");
        m_sections.resize(tableSize);
        if (!m_file.read(tableOffset, m_sections))
            return Result::corrupt("the PE section table cannot be read");
        return Result::ok();
    }

    std::uint32_t resourceRva() const { return m_resourceRva; }

    // The file offset of length bytes at an address, when a section holds
    // them in the file.
    std::optional<std::uint64_t> fileOffset(std::uint32_t rva, std::uint32_t length) const {
        for (std::size_t s = 0; s < m_sections.size(); s += kSectionEntrySize) {
            const std::uint8_t* p = m_sections.data() + s;
            const std::uint32_t address = readLe32(p + 12);
            const std::uint32_t rawSize = readLe32(p + 16);
            const std::uint32_t rawOffset = readLe32(p + 20);
            if (rva < address || rva - address >= rawSize || length > rawSize - (rva - address))
                continue;
            const std::uint64_t offset = std::uint64_t{rawOffset} + (rva - address);
            if (!fits(offset, length, m_file.size()))
                return std::nullopt;
            return offset;
        }
        return std::nullopt;
    }

    // An entry of the resource directory at `directory` (an offset in the
    // resource section): the one with the given id, or the first one.
    ResultOr<std::uint32_t> entry(std::uint64_t base, std::uint32_t directory,
                                  std::optional<std::uint32_t> id) {
        std::uint8_t header[16];
        if (!m_file.read(base + directory, header))
            return Result::corrupt("a PE resource directory passes the end of the file");
        const std::uint32_t entries = std::uint32_t{readLe16(header + 12)} + readLe16(header + 14);
        for (std::uint32_t i = 0; i < entries; ++i) {
            std::uint8_t e[8];
            if (!m_file.read(base + directory + 16 + 8 * std::uint64_t{i}, e))
                return Result::corrupt("a PE resource directory passes the end of the file");
            const std::uint32_t name = readLe32(e);
            if (!id || name == *id)
                return readLe32(e + 4);
        }
        return Result::notFound("the PE file has no version resource");
    }

private:
    ByteSource& m_file;
    std::uint32_t m_resourceRva = 0;
    std::vector<std::uint8_t> m_sections;
};

ResultOr<Region> locatePe(ByteSource& file) {
    PeImage image(file);
    if (Result r = image.readHeaders(); !r)
        return r;
    if (image.resourceRva() == 0)
        return Result::notFound("the PE file has no resources");
    const std::optional<std::uint64_t> base = image.fileOffset(image.resourceRva(), 16);
    if (!base)
        return Result::corrupt("the PE resource directory lies outside the file");
    // Type RT_VERSION and its first name are directories; the first
    // language below them is the data entry: address, size, code page.
    std::uint32_t at = 0;
    for (const std::optional<std::uint32_t> id :
         {std::optional<std::uint32_t>(kRtVersion), std::optional<std::uint32_t>()}) {
        ResultOr<std::uint32_t> next = image.entry(*base, at, id);
        if (!next)
            return next.result();
        if ((next.value() & kHighBit) == 0)
            return Result::corrupt("a PE resource directory entry is no directory");
        at = next.value() & ~kHighBit;
    }
    ResultOr<std::uint32_t> language = image.entry(*base, at, std::nullopt);
    if (!language)
        return language.result();
    if ((language.value() & kHighBit) != 0)
        return Result::corrupt("a PE version resource is a directory, not data");
    std::uint8_t data[16];
    if (!file.read(*base + language.value(), data))
        return Result::corrupt("a PE resource data entry passes the end of the file");
    const std::uint32_t size = readLe32(data + 4);
    const std::optional<std::uint64_t> offset = image.fileOffset(readLe32(data), size);
    if (!offset)
        return Result::corrupt("the PE version resource lies outside the file");
    return Region{*offset, size};
}

}  // namespace

bool MemorySource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (!fits(offset, out.size(), m_bytes.size()))
        return false;
    std::copy_n(m_bytes.begin() + static_cast<std::ptrdiff_t>(offset), out.size(), out.begin());
    return true;
}

FileSource::FileSource(const std::string& path) {
    m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_fd < 0) {
        m_error = std::strerror(errno);
        return;
    }
    struct stat st {};
    if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        m_error = S_ISDIR(st.st_mode) ? "a folder, not a file" : "not a regular file";
        ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_size = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FileSource::read(std::uint64_t offset, std::span<std::uint8_t> out) {
    if (m_fd < 0 || !fits(offset, out.size(), m_size))
        return false;
    std::size_t done = 0;
    while (done < out.size()) {
        const ssize_t n =
            ::pread(m_fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

ResultOr<Region> locateRecord(ByteSource& file) {
    std::uint8_t magic[4];
    if (!file.read(0, magic))
        return Result::notFound("the file is too short to be an executable");
    if (std::memcmp(magic, kElfMagic, 4) == 0)
        return locateElf(file);
    if (magic[0] == 'M' && magic[1] == 'Z')
        return locatePe(file);
    return Result::notFound("the file is neither an ELF nor a PE file");
}

std::uint32_t versionInfoSize(ByteSource& file) {
    const ResultOr<Region> region = locateRecord(file);
    std::uint8_t length[2];
    if (!region || region.value().size < sizeof length || !file.read(region.value().offset, length))
        return 0;
    return readLe16(length);
}

std::uint32_t versionInfoSize(const std::string& path) {
    FileSource file(path);
    return file.isOpen() ? versionInfoSize(file) : 0;
}

ResultOr<std::vector<std::uint8_t>> readVersionInfo(ByteSource& file) {
    const ResultOr<Region> region = locateRecord(file);
    if (!region)
        return region.result();
    std::vector<std::uint8_t> bytes(std::min<std::uint64_t>(region.value().size, kMaxRecordSize));
    if (!file.read(region.value().offset, bytes))
        return Result::ioError("the version record cannot be read");
    const ResultOr<std::size_t> length = rootLength(bytes);
    if (!length)
        return length.result();
    bytes.resize(length.value());
    return bytes;
}

ResultOr<std::vector<std::uint8_t>> readVersionInfo(const std::string& path) {
    FileSource file(path);
    if (!file.isOpen())
        return Result::ioError(path + ": " + file.error());
    ResultOr<std::vector<std::uint8_t>> bytes = readVersionInfo(file);
    if (!bytes)
        return Result(bytes.result().code(), path + ": " + bytes.result().message());
    return bytes;
}

std::string programFile() {
    std::string path(256, '\0');
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0)
            return {};
        if (static_cast<std::size_t>(n) < path.size()) {
            path.resize(static_cast<std::size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace qly::version
