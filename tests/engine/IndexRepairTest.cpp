// Damaged structural indexes are reported or rebuilt from the table, and an
// index kept up record by record stays near the size of a rebuilt one.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <random>

#include "EngineTestUtil.h"
#include "engine/cdx/Bytes.h"
#include "engine/cdx/IndexFile.h"
#include "engine/xbase.h"
#include "support/EngineMatchers.h"

using namespace enginetest;
using qly::test::XbArea;
using qly::test::XbTrue;

namespace {

const std::vector<XbTagDef> kItemTags = {XbTagDef{"NAME", "NAME", "", false, false}};

class IndexRepairTest : public EngineTest {
protected:
    void TearDown() override {
        xb_SetKnownTags("MAIN.DBF", {});
        EngineTest::TearDown();
    }

public:
    std::string cdx() const { return path("MAIN.cdx"); }

    // Where the NAME tag's first leaf lies and how its entries are packed.
    struct Leaf {
        uint32_t offset = 0;
        uint32_t count = 0;
        uint32_t recordBits = 0;
        uint32_t entryBytes = 0;
    };
    Leaf firstLeaf() const {
        std::unique_ptr<cdx::IndexFile> file;
        EXPECT_TRUE(cdx::IndexFile::open(cdx(), true, file).isOk());
        cdx::TagPos pos;
        EXPECT_TRUE(file->tag(0).first(pos).isOk());
        const std::string b = readFile(cdx());
        const auto* page = reinterpret_cast<const uint8_t*>(b.data()) + pos.leaf;
        return Leaf{pos.leaf, cdx::getLe16(page + 2), page[20], page[23]};
    }
    // Gives entry i of the leaf the record number rec, keeping its counts.
    void setRecord(const Leaf& leaf, uint32_t i, uint32_t rec) {
        std::string b = readFile(cdx());
        auto* at = reinterpret_cast<uint8_t*>(b.data()) + leaf.offset + 24 + i * leaf.entryBytes;
        uint64_t v = 0;
        std::memcpy(&v, at, leaf.entryBytes);
        const uint64_t mask = (uint64_t{1} << leaf.recordBits) - 1;
        v = (v & ~mask) | rec;
        std::memcpy(at, &v, leaf.entryBytes);
        writeFile(cdx(), b);
    }
    void patch(size_t offset, const std::string& bytes) {
        std::string b = readFile(cdx());
        b.replace(offset, bytes.size(), bytes);
        writeFile(cdx(), b);
    }

    // Walks the NAME order to the end; false with the error when a step fails.
    bool walkByName(int& seen, std::string& error) {
        seen = 0;
        error.clear();
        if (xb_SetOrder(xb_TagArea("NAME")) != -1 || xb_GoTop() != -1) {
            error = xb_LastError();
            return false;
        }
        while (!xb_Eof()) {
            ++seen;
            if (xb_Skip(1) != -1) {
                error = xb_LastError();
                return false;
            }
        }
        return true;
    }
};

}  // namespace

TEST_F(IndexRepairTest, EntriesNamingRecordsTheTableLacksAreReportedAndReindexRepairsThem) {
    const struct {
        const char* what;
        uint32_t rec;
    } cases[] = {{"record 0", 0}, {"past the record count", 41}, {"far past it", 4000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fixtures("sample");
        const Leaf leaf = firstLeaf();
        ASSERT_GT(leaf.count, 3u);
        // The name of the third record in NAME order, the entry damaged.
        ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), XbArea());
        ASSERT_THAT(xb_SetOrder(xb_TagArea("NAME")), XbTrue());
        ASSERT_THAT(xb_GoTop(), XbTrue());
        ASSERT_THAT(xb_Skip(2), XbTrue());
        const std::string third = xb_GetTrimString("NAME");
        xb_CloseAll();
        setRecord(leaf, 2, c.rec);
        ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeExclusive, kXbDriverFox), XbArea());
        int seen = 0;
        std::string error;
        EXPECT_FALSE(walkByName(seen, error)) << "the walk ended silently after " << seen;
        EXPECT_NE(error.find(cdx()), std::string::npos) << error;
        EXPECT_NE(error.find("record " + std::to_string(c.rec)), std::string::npos) << error;
        // A seek that lands on the entry says so too.
        EXPECT_EQ(xb_Seek(third), 0);
        EXPECT_NE(xb_LastError().find(cdx()), std::string::npos) << xb_LastError();
        EXPECT_EQ(xb_Verify(), 0);
        EXPECT_NE(xb_LastError().find(cdx()), std::string::npos) << xb_LastError();

        ASSERT_THAT(xb_Reindex(), XbTrue()) << xb_LastError();
        EXPECT_THAT(xb_Verify(), XbTrue()) << xb_LastError();
        ASSERT_TRUE(walkByName(seen, error)) << error;
        EXPECT_EQ(seen, 40);
        xb_CloseAll();
    }
}

TEST_F(IndexRepairTest, AnUnusableIndexIsRebuiltFromTheTableWithTheKnownTags) {
    const struct {
        const char* what;
        std::function<void(IndexRepairTest&)> damage;
    } cases[] = {
        {"directory leaf holds no keys",
         [](IndexRepairTest& t) {
             t.patch(0x402, {'\0', '\0'});
         }},
        {"tag name damaged", [](IndexRepairTest& t) { t.patch(0x5FC, "XAME"); }},
        {"compound header damaged", [](IndexRepairTest& t) { t.patch(14, {'\0'}); }},
        {"tag header damaged",
         [](IndexRepairTest& t) {
             t.patch(0x600 + 12, {'\0', '\0'});
         }},
        {"index cut short",
         [](IndexRepairTest& t) { writeFile(t.cdx(), readFile(t.cdx()).substr(0, 900)); }},
        {"index missing", [](IndexRepairTest& t) { fs::remove(t.cdx()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        xb_SetKnownTags("MAIN.DBF", {});
        fixtures("sample");
        c.damage(*this);
        // Without the tags known, such an index cannot be rebuilt.
        if (xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox) != 0) {
            EXPECT_EQ(xb_TagArea("NAME"), 0) << "the damage went unnoticed";
            xb_CloseAll();
        } else {
            EXPECT_EQ(xb_RepairIndex(path("MAIN.DBF")), 0);
            EXPECT_NE(xb_LastError().find("not known"), std::string::npos) << xb_LastError();
        }

        xb_SetKnownTags("main.dbf", kItemTags);
        EXPECT_EQ(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0)
            << "a table whose index lacks its tags opened";
        EXPECT_NE(xb_LastError().find(cdx()), std::string::npos) << xb_LastError();
        EXPECT_THAT(xb_RepairIndex(path("main.dbf")), XbTrue()) << xb_LastError();
        ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), XbArea())
            << xb_LastError();
        EXPECT_EQ(xb_TagName(1), "NAME");
        EXPECT_EQ(xb_TagName(2), "");
        EXPECT_THAT(xb_Verify(), XbTrue()) << xb_LastError();
        int seen = 0;
        std::string error;
        ASSERT_TRUE(walkByName(seen, error)) << error;
        EXPECT_EQ(seen, 40);
        xb_CloseAll();
        // A sound index is left as it is.
        const std::string rebuilt = readFile(cdx());
        EXPECT_EQ(xb_RepairIndex(path("MAIN.DBF")), 0);
        EXPECT_EQ(xb_LastError(), "");
        EXPECT_EQ(readFile(cdx()), rebuilt);
    }
}

TEST_F(IndexRepairTest, RandomEditsKeepTheIndexWithinOneAndAHalfTimesItsRebuiltSize) {
    fixtures("sample");
    ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeExclusive, kXbDriverFox), XbArea());
    std::mt19937 rng(910);
    auto name = [&] {
        std::string n(5 + rng() % 36, ' ');
        for (char& ch : n)
            ch = static_cast<char>('A' + rng() % 26);
        return n;
    };
    auto append = [&] {
        ASSERT_EQ(xb_AppendEx(), kXbAppendOk) << xb_LastError();
        ASSERT_THAT(xb_Replace("NAME", kXbReplaceText, name()), XbTrue()) << xb_LastError();
    };
    while (xb_RecCount() < 910)
        append();
    ASSERT_THAT(xb_Reindex(), XbTrue()) << xb_LastError();
    ASSERT_THAT(xb_SetOrder(xb_TagArea("NAME")), XbTrue());
    for (int op = 0; op < 10000; ++op) {
        const int kind = static_cast<int>(rng() % 20);
        if (kind < 2) {
            append();
            continue;
        }
        ASSERT_THAT(xb_Go(1 + static_cast<long>(rng() % xb_RecCount())), XbTrue());
        if (kind < 4)
            ASSERT_THAT(xb_Deleted() ? xb_Recall() : xb_Delete(), XbTrue()) << xb_LastError();
        else
            ASSERT_THAT(xb_Replace("NAME", kXbReplaceText, name()), XbTrue()) << xb_LastError();
    }
    ASSERT_THAT(xb_Commit(), XbTrue());
    EXPECT_THAT(xb_Verify(), XbTrue()) << xb_LastError();
    xb_CloseAll();
    const size_t kept = fs::file_size(cdx());

    ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeExclusive, kXbDriverFox), XbArea());
    EXPECT_THAT(xb_Verify(), XbTrue()) << xb_LastError();
    ASSERT_THAT(xb_Reindex(), XbTrue()) << xb_LastError();
    xb_CloseAll();
    const size_t rebuilt = fs::file_size(cdx());
    EXPECT_LE(kept * 2, rebuilt * 3) << kept << " bytes kept up, " << rebuilt << " rebuilt";
}
