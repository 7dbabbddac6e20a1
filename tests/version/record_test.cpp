// The version record's layout: building, reading back, queries by path,
// and damaged records.

#include <gtest/gtest.h>

#include "base/ByteOrder.h"
#include "support/ResultMatchers.h"
#include "version/Images.h"
#include "version/VersionRecord.h"

namespace {

using namespace qly::version;
using qly::test::FailsWith;
using qly::test::IsOk;
using qlytest::Bytes;
using qlytest::programLikeRecord;
using qlytest::recordBytes;

std::string keyAt(const Bytes& bytes, std::size_t offset) {
    std::string key;
    for (std::size_t i = offset + 6; bytes[i] != 0; i += 2)
        key += static_cast<char>(bytes[i]);
    return key;
}

TEST(VersionRecord, BuildsTheLayoutOfAWindowsVersionResource) {
    const Bytes bytes = recordBytes(programLikeRecord());
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(qly::readLe16(bytes.data()), bytes.size());
    EXPECT_EQ(qly::readLe16(bytes.data() + 2), kFixedPartSize);
    EXPECT_EQ(qly::readLe16(bytes.data() + 4), 0);  // binary
    EXPECT_EQ(keyAt(bytes, 0), "VS_VERSION_INFO");
    // 6 header bytes and 32 of key, padded to 40: the fixed part.
    EXPECT_EQ(qly::readLe32(bytes.data() + 40), kFixedSignature);
    EXPECT_EQ(qly::readLe32(bytes.data() + 44), kFixedStructVersion);
    EXPECT_EQ(qly::readLe32(bytes.data() + 48), 0x00010002u);  // 1.2
    EXPECT_EQ(qly::readLe32(bytes.data() + 52), 0x00010001u);  // .1.1
    EXPECT_EQ(qly::readLe32(bytes.data() + 64), kFlagsMaskAll);
    EXPECT_EQ(qly::readLe32(bytes.data() + 68), 0u);
    // The first child starts right after the fixed part, on a 4-byte boundary.
    EXPECT_EQ(keyAt(bytes, 92), "StringFileInfo");
    EXPECT_EQ(keyAt(bytes, 92 + 36), "080904E4");
    // "CompanyName" = "Kaverin": the value counts its units and the null.
    const std::size_t entry = 92 + 36 + 24;
    EXPECT_EQ(keyAt(bytes, entry), "CompanyName");
    EXPECT_EQ(qly::readLe16(bytes.data() + entry + 2), 8);
    EXPECT_EQ(qly::readLe16(bytes.data() + entry + 4), 1);  // text
}

TEST(VersionRecord, ReadsBackWhatWasBuilt) {
    VersionRecord record = programLikeRecord();
    record.fixed.flags = kFlagDebug | kFlagPrivateBuild;
    record.fixed.dateLS = 0x12345678;
    record.stringTables.push_back({"040904B0", {{"Comments", "zweite Sprache ß€𝄞"}}});
    record.translations.push_back({0x0409, 0x04B0});
    const auto parsed = parseRecord(recordBytes(record));
    ASSERT_THAT(parsed, IsOk());
    const VersionRecord& r = parsed.value();
    EXPECT_TRUE(r.hasFixed);
    EXPECT_EQ(r.fixed.flags, 0x09u);
    EXPECT_EQ(r.fixed.dateLS, 0x12345678u);
    EXPECT_EQ(formatVersionNumber(r.fixed.productVersionMS, r.fixed.productVersionLS), "1.2.1.1");
    ASSERT_EQ(r.stringTables.size(), 2u);
    ASSERT_EQ(r.stringTables[0].entries.size(), 8u);
    EXPECT_EQ(r.stringTables[0].entries[4].value, "© 2026 Kaverin");
    EXPECT_EQ(r.stringTables[0].entries[7].key, "Comments");
    EXPECT_EQ(r.stringTables[0].entries[7].value, "");
    EXPECT_EQ(r.stringTables[1].langCharset, "040904B0");
    EXPECT_EQ(r.stringTables[1].entries[0].value, "zweite Sprache ß€𝄞");
    ASSERT_EQ(r.translations.size(), 2u);
    EXPECT_EQ(langCharsetText(r.translations[0]), "080904E4");
    EXPECT_EQ(langCharsetText(r.translations[1]), "040904B0");

    VersionRecord bare;
    bare.hasFixed = false;
    const auto empty = parseRecord(recordBytes(bare));
    ASSERT_TRUE(empty);
    EXPECT_FALSE(empty.value().hasFixed);
    EXPECT_TRUE(empty.value().stringTables.empty());
    EXPECT_TRUE(empty.value().translations.empty());
}

TEST(VersionRecord, QueriesSubBlocksByPath) {
    const Bytes bytes = recordBytes(programLikeRecord());
    const struct {
        const char* path;
        bool found;
        bool text;
        std::size_t length;
        std::string value;  // text values
    } cases[] = {
        {"\\", true, false, kFixedPartSize, ""},
        {"\\VarFileInfo\\Translation", true, false, 4, ""},
        {"\\StringFileInfo\\080904E4\\CompanyName", true, true, 8, "Kaverin"},
        {"\\stringfileinfo\\080904e4\\COMPANYNAME", true, true, 8, "Kaverin"},
        {"StringFileInfo\\080904E4\\ProductVersion", true, true, 8, "1.2.1.1"},
        {"\\StringFileInfo\\080904E4\\Comments", true, true, 1, ""},
        {"\\StringFileInfo\\080904E4\\SpecialBuild", false, false, 0, ""},
        {"\\StringFileInfo\\040904B0\\CompanyName", false, false, 0, ""},
        {"\\StringFileInfo\\\\CompanyName", false, false, 0, ""},
        {"\\VarFileInfo\\Translation\\More", false, false, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        const auto value = queryValue(bytes, c.path);
        ASSERT_EQ(value.isOk(), c.found);
        if (!c.found) {
            EXPECT_THAT(value, FailsWith(qly::ErrorCode::NotFound));
            continue;
        }
        EXPECT_EQ(value.value().text, c.text);
        EXPECT_EQ(value.value().length, c.length);
        if (c.text) {
            EXPECT_EQ(textOf(value.value()), c.value);
        }
    }
    const auto translation = queryValue(bytes, "\\VarFileInfo\\Translation");
    EXPECT_EQ(Bytes(translation.value().bytes.begin(), translation.value().bytes.end()),
              (Bytes{0x09, 0x08, 0xE4, 0x04}));
}

TEST(VersionRecord, ParsesVersionNumbers) {
    const struct {
        const char* text;
        bool ok;
        std::uint32_t ms, ls;
    } cases[] = {
        {"1.2.1.1", true, 0x00010002, 0x00010001},
        {"65535.0.7", true, 0xFFFF0000, 0x00070000},
        {"3", true, 0x00030000, 0},
        {"", false, 0, 0},
        {"1.2.3.4.5", false, 0, 0},
        {"1..2", false, 0, 0},
        {"1.2.", false, 0, 0},
        {"65536", false, 0, 0},
        {"1.2b", false, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::uint32_t ms = 0, ls = 0;
        ASSERT_EQ(parseVersionNumber(c.text, &ms, &ls), c.ok);
        if (c.ok) {
            EXPECT_EQ(ms, c.ms);
            EXPECT_EQ(ls, c.ls);
            EXPECT_EQ(formatVersionNumber(ms, ls).rfind(c.text, 0), 0u);
        }
    }
}

// Runs every reading of the record; under the sanitizers a read past the
// copy's end stops the test.
void readEverything(const Bytes& bytes) {
    (void)parseRecord(bytes);
    (void)rootLength(bytes);
    for (const char* path :
         {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\080904E4\\CompanyName",
          "\\StringFileInfo\\080904E4\\Comments", "\\StringFileInfo\\080904E4\\Missing"}) {
        const auto value = queryValue(bytes, path);
        if (value)
            (void)textOf(value.value());
    }
}

TEST(VersionRecord, CutOrDamagedRecordsFailWithoutReadingPastTheirEnd) {
    const Bytes whole = recordBytes(programLikeRecord());
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        readEverything(cut);
        EXPECT_FALSE(parseRecord(cut)) << length;  // the root declares more
    }
    for (std::size_t at = 0; at < whole.size(); ++at) {
        for (const std::uint8_t byte : {std::uint8_t{0x00}, std::uint8_t{0xFF},
                                        static_cast<std::uint8_t>(whole[at] ^ 0x80)}) {
            Bytes damaged = whole;
            damaged[at] = byte;
            readEverything(damaged);
        }
    }
}

TEST(VersionRecord, DamagedBlocksAreNamed) {
    const Bytes whole = recordBytes(programLikeRecord());
    const std::size_t table = 92 + 36;
    const std::size_t entry = table + 24;
    const auto with = [&](std::size_t at, std::uint16_t value) {
        Bytes b = whole;
        qly::writeLe16(b.data() + at, value);
        return b;
    };
    // The string table's length passes its parent's end: the entries
    // cannot be reached, the fixed part still can.
    const Bytes tooLong = with(table, 0x7000);
    EXPECT_THAT(queryValue(tooLong, "\\StringFileInfo\\080904E4\\CompanyName"),
                FailsWith(qly::ErrorCode::Corrupt));
    EXPECT_TRUE(queryValue(tooLong, "\\"));
    EXPECT_THAT(parseRecord(tooLong), FailsWith(qly::ErrorCode::Corrupt));
    // A block shorter than its header.
    EXPECT_FALSE(queryValue(with(entry, 4), "\\StringFileInfo\\080904E4\\CompanyName"));
    // A key without its null: every unit after "C" is made non-zero up to
    // the end of the block.
    Bytes endless = whole;
    for (std::size_t i = entry + 6; i < entry + qly::readLe16(whole.data() + entry); ++i)
        endless[i] = 'A';
    EXPECT_FALSE(queryValue(endless, "\\StringFileInfo\\080904E4\\CompanyName"));
    // A binary value longer than its block.
    const Bytes wideFixed = with(2, 0x4000);
    EXPECT_FALSE(queryValue(wideFixed, "\\"));
    // The root named otherwise is no record; a query of a buffer still works.
    Bytes renamed = whole;
    renamed[6] = 'X';
    EXPECT_FALSE(rootLength(renamed));
    EXPECT_FALSE(parseRecord(renamed));
    EXPECT_EQ(rootLength(whole).value(), whole.size());
}

TEST(VersionRecord, TextLengthCountedInBytesIsTakenFromItsBlock) {
    // Some writers count a text's bytes instead of its units: the value
    // would pass its block, and the text is what the block holds.
    Bytes bytes = recordBytes(programLikeRecord());
    const std::size_t entry = 92 + 36 + 24;
    qly::writeLe16(bytes.data() + entry + 2, 16);
    const auto value = queryValue(bytes, "\\StringFileInfo\\080904E4\\CompanyName");
    ASSERT_TRUE(value);
    EXPECT_EQ(textOf(value.value()), "Kaverin");
    EXPECT_EQ(value.value().length, 8u);
}

TEST(VersionRecord, ZeroLengthAfterTheLastChildIsPadding) {
    VersionRecord record = programLikeRecord();
    Bytes bytes = recordBytes(record);
    // Eight zero bytes inside the root after its children.
    bytes.resize(bytes.size() + 8, 0);
    qly::writeLe16(bytes.data(), static_cast<std::uint16_t>(bytes.size()));
    const auto parsed = parseRecord(bytes);
    ASSERT_THAT(parsed, IsOk());
    EXPECT_EQ(parsed.value().translations.size(), 1u);
}

TEST(VersionRecord, RefusesARecordPastItsSizeLimit) {
    VersionRecord record = programLikeRecord();
    record.stringTables[0].entries.push_back({"Comments", std::string(40000, 'x')});
    EXPECT_THAT(buildRecord(record), FailsWith(qly::ErrorCode::Invalid));
    record.stringTables[0].entries.back().value = std::string(20000, 'x');
    EXPECT_TRUE(buildRecord(record));
}

}  // namespace
