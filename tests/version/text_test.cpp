// The texts a version label shows: on the program's own record (this test
// links it as the program does) and on records the tests build.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "version/Executable.h"
#include "version/Images.h"
#include "version/VersionText.h"

namespace {

using namespace qly::version;
using qlytest::Bytes;

std::string text(const Bytes& file, bool flags, const std::string& key,
                 std::string langCharset = kFirstLangCharset) {
    MemorySource source(file);
    EntryQuery query{flags, key, std::move(langCharset)};
    return entryText(source, query);
}

TEST(VersionText, TheProgramsOwnRecord) {
    const std::string self = programFile();
    const struct {
        const char* key;
        const char* text;
    } cases[] = {
        {"CompanyName", "Kaverin"},
        {"FileDescription", "Quillory"},
        {"FileVersion", "1.2.1.1"},
        {"InternalName", "QLY32"},
        {"ProductName", "Quillory"},
        {"ProductVersion", "1.2.1.1"},
        {"LegalCopyright", "© 2026 Kaverin. All rights reserved."},
        {"LegalTrademarks", kNoVersionInfo},
        {"OriginalFilename", kNoVersionInfo},
        {"Comments", kNoVersionInfo},
        {"SpecialBuild", kErrorStringInfo},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.key);
        EntryQuery query{false, c.key, kFirstLangCharset};
        EXPECT_EQ(entryText(self, query), c.text);
        EXPECT_EQ(query.langCharset, "080904E4");
    }
    EntryQuery flags{true, "Flags", kFirstLangCharset};
    EXPECT_EQ(entryText(self, flags), "");
    EXPECT_EQ(flags.langCharset, kFirstLangCharset);  // flags need no language

    const auto record = parseRecord(readVersionInfo(self).value());
    ASSERT_TRUE(record);
    const FixedInfo& f = record.value().fixed;
    EXPECT_EQ(formatVersionNumber(f.fileVersionMS, f.fileVersionLS), "1.2.1.1");
    EXPECT_EQ(formatVersionNumber(f.productVersionMS, f.productVersionLS), "1.2.1.1");
    EXPECT_EQ(f.flagsMask, kFlagsMaskAll);
    EXPECT_EQ(f.flags, 0u);
    ASSERT_EQ(record.value().translations.size(), 1u);
    EXPECT_EQ(langCharsetText(record.value().translations[0]), "080904E4");
    EXPECT_EQ(record.value().stringTables.size(), 1u);
}

TEST(VersionText, FlagWordsInBitOrder) {
    const struct {
        std::uint32_t flags;
        const char* text;
    } cases[] = {
        {0, ""},
        {kFlagDebug | kFlagPrivateBuild, "Debug Build, Private Build"},
        {kFlagSpecialBuild, "Special Build"},
        {0x3F,
         "Debug Build, Pre-Release Build, Patched Build, Private Build, InfoInferred, "
         "Special Build"},
        {0x40 | kFlagPatched, "Patched Build"},  // bits without a word are left out
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.flags);
        EXPECT_EQ(flagsText(c.flags), c.text);
        VersionRecord record = qlytest::programLikeRecord();
        record.fixed.flags = c.flags;
        record.fixed.flagsMask = 0;  // the flags are shown as they are, not masked
        EXPECT_EQ(text(qlytest::elfWithRecord(qlytest::recordBytes(record)), true, "Flags"),
                  c.text);
    }
}

TEST(VersionText, RecordsBuiltByTheTests) {
    using qlytest::programLikeRecord;
    VersionRecord noFixed = programLikeRecord();
    noFixed.hasFixed = false;
    VersionRecord noTranslation = programLikeRecord();
    noTranslation.translations.clear();
    VersionRecord secondFirst = programLikeRecord();
    secondFirst.stringTables.push_back({"040704B0", {{"CompanyName", "Kaverin GmbH"}}});
    secondFirst.translations.insert(secondFirst.translations.begin(), {0x0407, 0x04B0});
    VersionRecord noStrings = programLikeRecord();
    noStrings.stringTables.clear();
    VersionRecord oneLetter = programLikeRecord();
    oneLetter.stringTables[0].entries[7].value = "x";

    const auto elf = [](const VersionRecord& r) {
        return qlytest::elfWithRecord(qlytest::recordBytes(r));
    };
    const struct {
        const char* name;
        Bytes file;
        bool flags;
        const char* key;
        const char* langCharset;
        const char* expected;
        const char* resolved;  // the language block afterwards
    } cases[] = {
        {"PE with a record", qlytest::peImage({{16, qlytest::recordBytes(programLikeRecord())}}),
         false, "ProductVersion", "-1", "1.2.1.1", "080904E4"},
        {"PE without a version resource", qlytest::peImage({{3, Bytes(40, 7)}}), false,
         "ProductVersion", "-1", kNoDataAvailable, "-1"},
        {"ELF without the section", qlytest::elfImage({{".text", Bytes(8, 0)}}), false,
         "ProductVersion", "-1", kNoDataAvailable, "-1"},
        {"an entry present but empty", elf(programLikeRecord()), false, "Comments", "-1",
         kNoVersionInfo, "080904E4"},
        {"an entry of one letter", elf(oneLetter), false, "Comments", "-1", "x", "080904E4"},
        {"a block the file lacks", elf(programLikeRecord()), false, "CompanyName", "040904B0",
         kErrorStringInfo, "040904B0"},
        {"a block named in lower case", elf(programLikeRecord()), false, "CompanyName", "080904e4",
         "Kaverin", "080904e4"},
        {"the first translation chooses the block", elf(secondFirst), false, "CompanyName", "-1",
         "Kaverin GmbH", "040704B0"},
        {"a block chosen by hand", elf(secondFirst), false, "CompanyName", "080904E4", "Kaverin",
         "080904E4"},
        {"no translation list", elf(noTranslation), false, "CompanyName", "-1", kErrorTranslation,
         "-1"},
        {"no translation list, block by hand", elf(noTranslation), false, "CompanyName", "080904E4",
         "Kaverin", "080904E4"},
        {"no string entries", elf(noStrings), false, "CompanyName", "-1", kErrorStringInfo,
         "080904E4"},
        {"no fixed part", elf(noFixed), true, "Flags", "-1", "", "-1"},
        {"no fixed part, strings still there", elf(noFixed), false, "InternalName", "-1", "QLY32",
         "080904E4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        MemorySource source(c.file);
        EntryQuery query{c.flags, c.key, c.langCharset};
        EXPECT_EQ(entryText(source, query), c.expected);
        EXPECT_EQ(query.langCharset, c.resolved);
    }
}

TEST(VersionText, ReadsTheNamedFile) {
    char folder[] = "/tmp/qly-version-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::filesystem::path file = std::filesystem::path(folder) / "tool.exe";
    ASSERT_TRUE(qlytest::writeFile(
        file, qlytest::peImage({{16, qlytest::recordBytes(qlytest::programLikeRecord())}})));
    EntryQuery query{false, "InternalName", kFirstLangCharset};
    EXPECT_EQ(entryText(file.string(), query), "QLY32");
    EXPECT_EQ(entryText(std::string(folder) + "/missing.exe", query), kNoDataAvailable);
    EXPECT_EQ(entryText(folder, query), kNoDataAvailable);
    std::filesystem::remove_all(folder);
}

}  // namespace
