// The compound-index file format: key encodings, the worked example byte
// for byte, and the fixture indexes written by another engine.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "CdxTestUtil.h"
#include "engine/cdx/Cursor.h"
#include "engine/cdx/IndexFile.h"
#include "engine/cdx/KeyCodec.h"

using namespace cdx;
using namespace cdxtest;

namespace {

std::string hex(const std::string& s) {
    static const char* d = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : s) {
        out += d[c >> 4];
        out += d[c & 15];
    }
    return out;
}

}  // namespace

TEST(CdxKeys, NumericAndDateKeysHaveTheDocumentedBytes) {
    struct Case {
        double value;
        const char* bytes;
    } cases[] = {
        {0.0, "8000000000000000"},   {-0.0, "8000000000000000"}, {1.0, "BFF0000000000000"},
        {100.0, "C059000000000000"}, {-1.0, "400FFFFFFFFFFFFF"}, {-2.5, "3FFBFFFFFFFFFFFF"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(hex(numericKey(c.value)), c.bytes) << c.value;
        std::string k = numericKey(c.value);
        EXPECT_EQ(decodeNumeric(bytes(k)), c.value == 0 ? 0.0 : c.value);
    }
    EXPECT_EQ(julianDay(2000, 1, 1), 2451545);
    EXPECT_EQ(julianDay(1994, 11, 21), 2449678);
    EXPECT_EQ(hex(dateKey(2000, 1, 1)), "C142B42C80000000");
    EXPECT_EQ(hex(dateKey(0, 0, 0)), "8000000000000000");
    EXPECT_EQ(characterKey("AB", 5), "AB   ");
    EXPECT_EQ(characterKey("ABCDEFG", 5), "ABCDE");
}

TEST(CdxKeys, ByteOrderIsValueOrder) {
    const double values[] = {-1e300, -1234.5, -2.5, -1,    -0.001, 0,    1e-300,
                             0.5,    1,       2,    99.99, 100,    1e12, 1e300};
    for (size_t i = 1; i < std::size(values); ++i)
        EXPECT_LT(numericKey(values[i - 1]), numericKey(values[i]))
            << values[i - 1] << " < " << values[i];
    EXPECT_LT(dateKey(1999, 12, 31), dateKey(2000, 1, 1));
    EXPECT_LT(dateKey(0, 0, 0), dateKey(1900, 1, 1));
    EXPECT_LT(logicalKey(false), logicalKey(true));
}

namespace {

// The PEOPLE example: tag NAME over NAME C(10), records SMITH, ADAMS, SMITHERS.
std::vector<uint8_t> workedExample() {
    std::vector<uint8_t> e(3072, 0);
    auto put = [&](size_t at, std::initializer_list<int> b) {
        for (int v : b)
            e[at++] = static_cast<uint8_t>(v);
    };
    auto text = [&](size_t at, const char* s) { std::memcpy(&e[at], s, std::strlen(s)); };
    put(0x000, {0x00, 0x04});
    put(0x00C, {0x0A, 0x00, 0xE0, 0x01});
    put(0x1F6, {0, 0, 1, 0, 1, 0, 0, 0, 1, 0});
    put(0x400, {0x03, 0, 0x01, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xE1, 0x01});
    put(0x40E, {0xFF, 0xFF, 0, 0, 0x0F, 0x0F, 0x10, 0x04, 0x04, 0x03});
    put(0x418, {0x00, 0x06, 0x60});
    text(0x5FC, "NAME");
    put(0x600, {0x00, 0x0A});
    put(0x60C, {0x0A, 0x00, 0x60, 0x01});
    put(0x7F6, {0, 0, 5, 0, 1, 0, 0, 0, 5, 0});
    text(0x800, "NAME");
    put(0xA00, {0x03, 0, 0x03, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xD2, 0x01});
    put(0xA0E, {0xFF, 0xFF, 0, 0, 0x0F, 0x0F, 0x10, 0x04, 0x04, 0x03});
    put(0xA18, {0x02, 0x00, 0x50, 0x01, 0x00, 0x50, 0x03, 0x00, 0x25});
    text(0xBF3, "ERSSMITHADAMS");
    return e;
}

TagSpec nameSpec() {
    TagSpec tagSpec;
    tagSpec.name = "NAME";
    tagSpec.keyExpression = "NAME";
    tagSpec.keyLength = 10;
    return tagSpec;
}

}  // namespace

TEST(CdxFormat, WorkedExampleIsWrittenByteForByteByInsertsAndByBuild) {
    const std::vector<uint8_t> expected = workedExample();
    const std::string keys[] = {characterKey("SMITH", 10), characterKey("ADAMS", 10),
                                characterKey("SMITHERS", 10)};
    for (bool bulk : {false, true}) {
        auto* io = new MemoryPageIo();
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(
            IndexFile::create(std::unique_ptr<PageIo>(io), {nameSpec()}, true, file).isOk());
        Tag& tag = file->tag(0);
        if (bulk) {
            const std::string all = keys[0] + keys[1] + keys[2];
            const uint32_t recs[] = {1, 2, 3};
            ASSERT_TRUE(tag.build(bytes(all), recs, 3).isOk());
        } else {
            for (uint32_t r = 1; r <= 3; ++r)
                ASSERT_TRUE(tag.insert(bytes(keys[r - 1]), r).isOk());
        }
        ASSERT_TRUE(file->flush().isOk());
        ASSERT_EQ(io->bytes().size(), expected.size()) << (bulk ? "build" : "inserts");
        for (size_t i = 0; i < expected.size(); ++i)
            ASSERT_EQ(io->bytes()[i], expected[i])
                << "byte 0x" << std::hex << i << (bulk ? " (build)" : " (inserts)");
    }
}

TEST(CdxFormat, WorkedExampleReadsBackAndTakesAFourthAdamsAfterTheFirst) {
    std::unique_ptr<IndexFile> file;
    auto* io = new MemoryPageIo(workedExample());
    ASSERT_TRUE(IndexFile::open(std::unique_ptr<PageIo>(io), false, file).isOk());
    ASSERT_EQ(file->tagCount(), 1u);
    Tag& tag = file->tag(0);
    EXPECT_EQ(tag.name(), "NAME");
    EXPECT_EQ(tag.keyExpression(), "NAME");
    EXPECT_TRUE(file->structural());
    std::vector<std::pair<std::string, uint32_t>> all;
    ASSERT_TRUE(walk(tag, all).isOk());
    const std::vector<std::pair<std::string, uint32_t>> want = {
        {"ADAMS     ", 2}, {"SMITH     ", 1}, {"SMITHERS  ", 3}};
    EXPECT_EQ(all, want);

    const std::string adams = characterKey("ADAMS", 10);
    ASSERT_TRUE(tag.insert(bytes(adams), 4).isOk());
    ASSERT_TRUE(file->flush().isOk());
    // dup 5, trail 5, nothing stored: info 04 00 55 right after key 0.
    const std::vector<uint8_t>& b = io->bytes();
    EXPECT_EQ(b[0xA02], 4);
    EXPECT_EQ(b[0xA1B], 0x04);
    EXPECT_EQ(b[0xA1C], 0x00);
    EXPECT_EQ(b[0xA1D], 0x55);
    EXPECT_EQ(b[0xA0C] | (b[0xA0D] << 8), 466 - 3);
    ASSERT_TRUE(walk(tag, all).isOk());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1], std::make_pair(adams, 4u));
}

namespace {

struct FixtureCase {
    const char* table;
    const char* index;
    const char* tag;
    const char* field;
};

const FixtureCase kFixtures[] = {
    {"MAIN.DBF", "MAIN.cdx", "NAME", "NAME"},
    {"MANUFACT.DBF", "MANUFACT.cdx", "COMPANY", "COMPANY"},
    {"Location.dbf", "Location.cdx", "NAME_ID", "NAME_ID"},
};

}  // namespace

TEST(CdxFixtures, TagsHoldEveryRecordInKeyOrderAndSeekFindsThem) {
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.index);
        const DbfTable table = readDbf(fixture(std::string("sample/") + c.table));
        std::unique_ptr<IndexFile> file;
        Status s = IndexFile::open(fixture(std::string("sample/") + c.index), true, file);
        ASSERT_TRUE(s.isOk()) << s.message();
        EXPECT_TRUE(file->structural());
        ASSERT_EQ(file->tagCount(), 1u);
        Tag* tag = file->findTag(std::string(c.tag));
        ASSERT_NE(tag, nullptr);
        EXPECT_EQ(file->findTag("name_id") != nullptr, std::string(c.tag) == "NAME_ID");
        EXPECT_EQ(tag->keyLength(), table.field(c.field)->length);
        EXPECT_TRUE(file->check().isOk()) << file->check().message();

        // Deleted records keep their keys: every record is there.
        std::vector<std::pair<std::string, uint32_t>> want;
        for (size_t r = 0; r < table.records.size(); ++r)
            want.emplace_back(table.value(r, c.field), static_cast<uint32_t>(r + 1));
        std::sort(want.begin(), want.end());
        std::vector<std::pair<std::string, uint32_t>> got;
        ASSERT_TRUE(walk(*tag, got).isOk());
        EXPECT_EQ(got, want);

        Cursor cursor(*tag);
        for (const auto& [key, rec] : want) {
            bool found = false;
            ASSERT_TRUE(cursor.seek(bytes(key), tag->keyLength(), &found).isOk());
            EXPECT_TRUE(found);
            EXPECT_EQ(cursor.recNo(), std::find_if(want.begin(), want.end(), [&](const auto& e) {
                                          return e.first == key;
                                      })->second);
        }
    }
}

TEST(CdxFixtures, RebuildingAFixtureTagReproducesItsLeafByteForByte) {
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.index);
        const std::vector<uint8_t> original = readFile(fixture(std::string("sample/") + c.index));
        const DbfTable table = readDbf(fixture(std::string("sample/") + c.table));
        std::string keys;
        std::vector<uint32_t> recs;
        for (size_t r = 0; r < table.records.size(); ++r) {
            keys += table.value(r, c.field);
            recs.push_back(static_cast<uint32_t>(r + 1));
        }
        auto* io = new MemoryPageIo(original);
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(IndexFile::open(std::unique_ptr<PageIo>(io), false, file).isOk());
        Tag& tag = file->tag(0);
        ASSERT_TRUE(tag.build(bytes(keys), recs.data(), recs.size()).isOk());
        ASSERT_TRUE(file->flush().isOk());
        ASSERT_EQ(io->bytes().size(), original.size());
        // The tag's root leaf at 0xA00 is the same page the other engine wrote.
        EXPECT_TRUE(std::equal(original.begin() + 0xA00, original.begin() + 0xC00,
                               io->bytes().begin() + 0xA00));
    }
}

TEST(CdxFixtures, EmptyTablesHaveEmptyTags) {
    for (const FixtureCase& c : kFixtures) {
        SCOPED_TRACE(c.index);
        std::unique_ptr<IndexFile> file;
        ASSERT_TRUE(IndexFile::open(fixture(std::string("empty/") + c.index), true, file).isOk());
        ASSERT_EQ(file->tagCount(), 1u);
        Cursor cursor(file->tag(0));
        ASSERT_TRUE(cursor.first().isOk());
        EXPECT_FALSE(cursor.valid());
        uint64_t entries = 1;
        EXPECT_TRUE(file->tag(0).check(&entries).isOk());
        EXPECT_EQ(entries, 0u);
    }
}
