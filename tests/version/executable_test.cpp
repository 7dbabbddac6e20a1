// Finding the version record in ELF and PE files, and files that are cut
// short or damaged.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <set>

#include "base/ByteOrder.h"
#include "version/Executable.h"
#include "version/Images.h"
#include "version/VersionText.h"

namespace {

using namespace qly::version;
using qlytest::Bytes;

const Bytes& sampleRecord() {
    static const Bytes bytes = qlytest::recordBytes(qlytest::programLikeRecord());
    return bytes;
}

Bytes read(const Bytes& file) {
    MemorySource source(file);
    auto bytes = readVersionInfo(source);
    return bytes ? bytes.value() : Bytes{};
}

TEST(Executable, FindsTheRecordInElfAndPeFiles) {
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"ELF 64-bit little-endian", qlytest::elfWithRecord(sampleRecord(), true, false)},
        {"ELF 64-bit big-endian", qlytest::elfWithRecord(sampleRecord(), true, true)},
        {"ELF 32-bit little-endian", qlytest::elfWithRecord(sampleRecord(), false, false)},
        {"ELF 32-bit big-endian", qlytest::elfWithRecord(sampleRecord(), false, true)},
        {"PE32", qlytest::peImage({{3, Bytes(40, 7)}, {16, sampleRecord()}}, false)},
        {"PE32+", qlytest::peImage({{16, sampleRecord()}, {24, Bytes(12, 1)}}, true)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource source(c.file);
        EXPECT_EQ(versionInfoSize(source), sampleRecord().size());
        EXPECT_EQ(read(c.file), sampleRecord());
    }
}

TEST(Executable, FilesWithoutARecordHaveNone) {
    Bytes dosProgram(128, 0);
    dosProgram[0] = 'M';
    dosProgram[1] = 'Z';
    dosProgram[0x3C] = 0x40;
    const struct {
        const char* name;
        Bytes file;
    } cases[] = {
        {"ELF without the section", qlytest::elfImage({{".text", Bytes(16, 0x90)}})},
        {"ELF whose section holds no bytes", qlytest::elfImage({{".qly_version", {}, 8}})},
        {"ELF with a longer section name", qlytest::elfImage({{".qly_version2", sampleRecord()}})},
        {"PE with other resources only", qlytest::peImage({{3, Bytes(40, 7)}})},
        {"PE without resources", qlytest::peImage({})},
        {"MS-DOS program", dosProgram},
        {"text file", Bytes{'h', 'e', 'l', 'l', 'o', '\n'}},
        {"empty file", Bytes{}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource source(c.file);
        EXPECT_EQ(versionInfoSize(source), 0u);
        EXPECT_FALSE(readVersionInfo(source));
    }
    EXPECT_EQ(versionInfoSize("/nonexistent/file"), 0u);
    EXPECT_EQ(versionInfoSize("/"), 0u);
    EXPECT_NE(readVersionInfo("/").result().message().find("folder"), std::string::npos);
}

TEST(Executable, ElfSectionCountAndNamesIndexMayLieInSectionZero) {
    Bytes file = qlytest::elfWithRecord(sampleRecord());
    const std::uint64_t table = qly::readLe64(file.data() + 0x28);
    const std::uint16_t count = qly::readLe16(file.data() + 0x3C);
    const std::uint16_t names = qly::readLe16(file.data() + 0x3E);
    qly::writeLe16(file.data() + 0x3C, 0);
    qly::writeLe16(file.data() + 0x3E, 0xFFFF);
    qly::writeLe64(file.data() + table + 0x20, count);  // sh_size of section 0
    qly::writeLe32(file.data() + table + 0x28, names);  // sh_link of section 0
    EXPECT_EQ(read(file), sampleRecord());
}

// The texts a label may show for the entries of the sample; the first of
// each is the right one.
struct Query {
    bool flags;
    const char* key;
    std::string expected;
};
const Query kQueries[] = {
    {false, "CompanyName", "Kaverin"},
    {false, "Comments", kNoVersionInfo},
    {false, "ProductVersion", "1.2.1.1"},
    {true, "", ""},
};

const std::set<std::string> kAngleTexts = {kNoDataAvailable,  kErrorVersionInfo, kErrorFixedInfo,
                                           kErrorTranslation, kErrorStringInfo,  kNoVersionInfo};

std::string textFor(const Bytes& file, const Query& q) {
    MemorySource source(file);
    EntryQuery query{q.flags, q.key, kFirstLangCharset};
    return entryText(source, query);
}

TEST(Executable, FilesCutShortAtEveryLength) {
    for (const bool pe : {false, true}) {
        SCOPED_TRACE(pe ? "PE" : "ELF");
        const Bytes whole =
            pe ? qlytest::peImage({{16, sampleRecord()}}) : qlytest::elfWithRecord(sampleRecord());
        for (const Query& q : kQueries)
            ASSERT_EQ(textFor(whole, q), q.expected);
        for (std::size_t length = 0; length < whole.size(); ++length) {
            // A copy of exactly that length, so that the sanitizers see any
            // read past it.
            const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
            for (const Query& q : kQueries) {
                const std::string text = textFor(cut, q);
                // An ELF file's section table comes last: every cut loses it.
                // A PE file cut in the padding after the record still has it.
                if (pe && text == q.expected)
                    continue;
                ASSERT_TRUE(kAngleTexts.count(text)) << length << " " << q.key << ": " << text;
            }
        }
    }
}

TEST(Executable, FilesDamagedAtEveryByte) {
    for (const bool pe : {false, true}) {
        SCOPED_TRACE(pe ? "PE" : "ELF");
        const Bytes whole =
            pe ? qlytest::peImage({{16, sampleRecord()}}) : qlytest::elfWithRecord(sampleRecord());
        for (std::size_t at = 0; at < whole.size(); ++at) {
            for (const std::uint8_t byte : {std::uint8_t{0x00}, std::uint8_t{0xFF},
                                            static_cast<std::uint8_t>(whole[at] ^ 0x80)}) {
                Bytes damaged = whole;
                damaged[at] = byte;
                for (const Query& q : kQueries)
                    (void)textFor(damaged, q);
            }
        }
    }
}

TEST(Executable, DamagedPlacesGiveTheirTexts) {
    const Bytes elf = qlytest::elfWithRecord(sampleRecord());
    const Bytes pe = qlytest::peImage({{16, sampleRecord()}});
    const std::uint64_t table = qly::readLe64(elf.data() + 0x28);
    const std::size_t versionSection = table + 2 * 64;  // after the null section and .text
    const std::size_t record = qly::readLe64(elf.data() + versionSection + 0x18);
    const std::size_t rsrc = 0x600;  // the resource section of the made PE files
    const std::size_t dataEntry = rsrc + 24 + 48;
    const std::size_t peRecord = dataEntry + 16;
    const auto change = [](Bytes b, std::size_t at, std::uint32_t value, int size) {
        if (size == 2)
            qly::writeLe16(b.data() + at, static_cast<std::uint16_t>(value));
        else if (size == 4)
            qly::writeLe32(b.data() + at, value);
        else
            qly::writeLe64(b.data() + at, value);
        return b;
    };
    const std::size_t strings = 92 + 36;
    // The record ends with the Translation block: 32 bytes of header and key, 4 of value.
    const std::size_t translation = record + sampleRecord().size() - 36;
    const struct {
        const char* name;
        Bytes file;
        std::string company;
        std::string flags;
    } cases[] = {
        {"ELF section past the end", change(elf, versionSection + 0x18, 1u << 30, 8),
         kNoDataAvailable, kNoDataAvailable},
        {"ELF section table past the end", change(elf, 0x28, 1u << 30, 8), kNoDataAvailable,
         kNoDataAvailable},
        {"ELF names index out of range", change(elf, 0x3E, 40, 2), kNoDataAvailable,
         kNoDataAvailable},
        {"ELF section shorter than its record", change(elf, versionSection + 0x20, 100, 8),
         kErrorVersionInfo, kErrorVersionInfo},
        {"record longer than its section", change(elf, record, 0xF000, 2), kErrorVersionInfo,
         kErrorVersionInfo},
        {"root renamed", change(elf, record + 6, 'W', 2), kErrorVersionInfo, kErrorVersionInfo},
        {"fixed part's signature", change(elf, record + 40, 0x12345678, 4), "Kaverin",
         kErrorFixedInfo},
        {"fixed part too short to hold the flags", change(elf, record + 2, 20, 2),
         kErrorTranslation, kErrorFixedInfo},
        {"string block past its parent", change(elf, record + strings, 0x6000, 2), kErrorStringInfo,
         ""},
        {"translation cut to one word", change(elf, translation + 2, 2, 2), kErrorTranslation, ""},
        {"PE data entry larger than its section", change(pe, dataEntry + 4, 0x10000, 4),
         kNoDataAvailable, kNoDataAvailable},
        {"PE data entry at an address outside the image", change(pe, dataEntry, 0x900000, 4),
         kNoDataAvailable, kNoDataAvailable},
        {"PE without the version type", change(pe, rsrc + 16, 3, 4), kNoDataAvailable,
         kNoDataAvailable},
        {"PE type directory with endless entries",
         change(change(pe, rsrc + 16, 3, 4), rsrc + 14, 0xFFFF, 2), kNoDataAvailable,
         kNoDataAvailable},
        {"PE header past the end", change(pe, 0x3C, 0x7FFFFFF0, 4), kNoDataAvailable,
         kNoDataAvailable},
        {"PE record renamed", change(pe, peRecord + 8, 'W', 2), kErrorVersionInfo,
         kErrorVersionInfo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(textFor(c.file, kQueries[0]), c.company);
        EXPECT_EQ(textFor(c.file, kQueries[3]), c.flags);
    }
}

TEST(Executable, ProgramFileIsTheRunningExecutable) {
    const std::string path = programFile();
    ASSERT_FALSE(path.empty());
    EXPECT_TRUE(std::filesystem::equivalent(path, "/proc/self/exe"));
}

}  // namespace
