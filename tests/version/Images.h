#pragma once

// Small executable files made by the tests: an ELF file with the sections
// asked for and a PE file with resources, holding version records the tests
// build themselves.

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "version/VersionRecord.h"

namespace qlytest {

using Bytes = std::vector<std::uint8_t>;

class ByteWriter {
public:
    explicit ByteWriter(bool big = false) : m_big(big) {}
    // A little- or big-endian integer of 1 to 8 bytes.
    void put(std::size_t at, std::uint64_t value, int size) {
        if (bytes.size() < at + size)
            bytes.resize(at + size);
        for (int i = 0; i < size; ++i) {
            const int shift = 8 * (m_big ? size - 1 - i : i);
            bytes[at + i] = static_cast<std::uint8_t>(value >> shift);
        }
    }
    void put(std::size_t at, const Bytes& data) {
        if (bytes.size() < at + data.size())
            bytes.resize(at + data.size());
        std::copy(data.begin(), data.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at));
    }
    Bytes bytes;

private:
    bool m_big;
};

inline std::size_t align(std::size_t n, std::size_t to) {
    return (n + to - 1) / to * to;
}

struct ElfSection {
    std::string name;
    Bytes data;
    std::uint32_t type = 1;  // PROGBITS; 8 is NOBITS
};

// Header, the sections' data, the section names, then the section table;
// section 0 is the null section and the names' section comes last.
inline Bytes elfImage(const std::vector<ElfSection>& sections, bool is64 = true, bool big = false) {
    ByteWriter w(big);
    const std::size_t header = is64 ? 64 : 52;
    const std::size_t entry = is64 ? 64 : 40;
    w.put(0, Bytes{0x7F, 'E', 'L', 'F', std::uint8_t(is64 ? 2 : 1), std::uint8_t(big ? 2 : 1), 1});
    w.put(16, 2, 2);                                              // e_type: executable
    w.put(18, is64 ? 62 : 3, 2);                                  // e_machine
    w.put(20, 1, 4);                                              // e_version
    w.put(is64 ? 52 : 40, header, 2);                             // e_ehsize
    std::vector<std::pair<std::uint64_t, std::uint64_t>> places;  // offset, size
    std::string names(1, '\0');
    std::vector<std::uint32_t> nameAt;
    std::size_t pos = header;
    for (const ElfSection& s : sections) {
        pos = align(pos, 4);
        places.push_back({pos, s.data.size()});
        if (s.type != 8) {
            w.put(pos, s.data);
            pos += s.data.size();
        }
        nameAt.push_back(static_cast<std::uint32_t>(names.size()));
        names += s.name + '\0';
    }
    const std::uint32_t namesName = static_cast<std::uint32_t>(names.size());
    names += std::string(".shstrtab") + '\0';
    const std::size_t namesAt = pos;
    w.put(namesAt, Bytes(names.begin(), names.end()));
    pos = align(namesAt + names.size(), 8);
    const std::size_t count = sections.size() + 2;
    w.put(is64 ? 0x28 : 0x20, pos, is64 ? 8 : 4);  // e_shoff
    w.put(is64 ? 0x3A : 0x2E, entry, 2);           // e_shentsize
    w.put(is64 ? 0x3C : 0x30, count, 2);           // e_shnum
    w.put(is64 ? 0x3E : 0x32, count - 1, 2);       // e_shstrndx
    const auto section = [&](std::size_t index, std::uint32_t name, std::uint32_t type,
                             std::uint64_t offset, std::uint64_t size) {
        const std::size_t at = pos + index * entry;
        w.put(at, name, 4);
        w.put(at + 4, type, 4);
        w.put(at + (is64 ? 0x18 : 0x10), offset, is64 ? 8 : 4);
        w.put(at + (is64 ? 0x20 : 0x14), size, is64 ? 8 : 4);
    };
    section(0, 0, 0, 0, 0);
    for (std::size_t i = 0; i < sections.size(); ++i)
        section(i + 1, nameAt[i], sections[i].type, places[i].first, places[i].second);
    section(count - 1, namesName, 3, namesAt, names.size());
    w.put(pos + count * entry - 1, 0, 1);
    return w.bytes;
}

// An ELF file carrying a record in .qly_version between two other sections.
inline Bytes elfWithRecord(const Bytes& record, bool is64 = true, bool big = false) {
    return elfImage(
        {{".text", Bytes(40, 0x90)}, {".qly_version", record}, {".data", Bytes{1, 2, 3, 4}}}, is64,
        big);
}

struct PeResource {
    std::uint32_t type;  // 3 icon, 16 version
    Bytes data;
};

// A PE file with a .text and a .rsrc section: type, name 1 and language
// 0x0809 for each resource, the data entries' addresses relative to the
// image. No resources: no resource directory at all.
inline Bytes peImage(const std::vector<PeResource>& resources, bool plus = false) {
    ByteWriter w;
    constexpr std::size_t kPe = 0x80;
    constexpr std::uint32_t kRsrcVa = 0x2000;
    constexpr std::size_t kRsrcRaw = 0x600;
    w.put(0, 'M', 1);
    w.put(1, 'Z', 1);
    w.put(0x3C, kPe, 4);
    w.put(kPe, Bytes{'P', 'E', 0, 0});
    const std::size_t optionalSize = plus ? 240 : 224;
    w.put(kPe + 4, plus ? 0x8664 : 0x14C, 2);
    w.put(kPe + 6, 2, 2);  // sections
    w.put(kPe + 20, optionalSize, 2);
    const std::size_t opt = kPe + 24;
    w.put(opt, plus ? 0x20B : 0x10B, 2);
    w.put(opt + (plus ? 108 : 92), 16, 4);

    // The resource section.
    ByteWriter r;
    const std::size_t n = resources.size();
    r.bytes.resize(16);  // the type directory's header
    r.put(14, n, 2);
    std::size_t pos = 16 + 8 * n;
    for (std::size_t i = 0; i < n; ++i) {
        const std::size_t names = pos, languages = pos + 24, dataEntry = pos + 48, data = pos + 64;
        r.put(16 + 8 * i, resources[i].type, 4);
        r.put(20 + 8 * i, 0x80000000u | names, 4);
        r.put(names + 14, 1, 2);
        r.put(names + 16, 1, 4);
        r.put(names + 20, 0x80000000u | languages, 4);
        r.put(languages + 14, 1, 2);
        r.put(languages + 16, 0x0809, 4);
        r.put(languages + 20, dataEntry, 4);
        r.put(dataEntry, kRsrcVa + data, 4);
        r.put(dataEntry + 4, resources[i].data.size(), 4);
        r.put(data, resources[i].data);
        pos = align(data + resources[i].data.size(), 4);
    }
    r.bytes.resize(align(std::max<std::size_t>(r.bytes.size(), 1), 0x200));
    if (n > 0) {
        w.put(opt + (plus ? 112 : 96) + 16, kRsrcVa, 4);
        w.put(opt + (plus ? 112 : 96) + 20, r.bytes.size(), 4);
    }

    const std::size_t table = opt + optionalSize;
    const auto section = [&](std::size_t i, const char* name, std::uint32_t va, std::size_t rawSize,
                             std::size_t raw) {
        w.put(table + 40 * i, Bytes(name, name + 8));
        w.put(table + 40 * i + 8, rawSize, 4);
        w.put(table + 40 * i + 12, va, 4);
        w.put(table + 40 * i + 16, rawSize, 4);
        w.put(table + 40 * i + 20, raw, 4);
    };
    section(0, ".text\0\0\0", 0x1000, 0x200, 0x400);
    section(1, ".rsrc\0\0\0", kRsrcVa, r.bytes.size(), kRsrcRaw);
    w.put(0x400, Bytes(0x200, 0xCC));
    w.put(kRsrcRaw, r.bytes);
    return w.bytes;
}

// The record of the program as the build makes it, with changes.
inline qly::version::VersionRecord programLikeRecord() {
    qly::version::VersionRecord record;
    qly::version::parseVersionNumber("1.2.1.1", &record.fixed.fileVersionMS,
                                     &record.fixed.fileVersionLS);
    record.fixed.productVersionMS = record.fixed.fileVersionMS;
    record.fixed.productVersionLS = record.fixed.fileVersionLS;
    record.translations = {{0x0809, 0x04E4}};
    record.stringTables = {{"080904E4",
                            {{"CompanyName", "Kaverin"},
                             {"FileDescription", "Quillory"},
                             {"FileVersion", "1.2.1.1"},
                             {"InternalName", "QLY32"},
                             {"LegalCopyright", "© 2026 Kaverin"},
                             {"ProductName", "Quillory"},
                             {"ProductVersion", "1.2.1.1"},
                             {"Comments", ""}}}};
    return record;
}

inline Bytes recordBytes(const qly::version::VersionRecord& record) {
    auto bytes = qly::version::buildRecord(record);
    return bytes ? bytes.value() : Bytes{};
}

inline bool writeFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out);
}

}  // namespace qlytest
