// Compound indexes through the xb_ surface: the fixtures' structural indexes,
// order, seek, scope, upkeep on every change, re-indexing and damage.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <random>
#include <set>

#include "EngineTestUtil.h"
#include "engine/Engine.h"
#include "engine/IndexSet.h"
#include "engine/Table.h"
#include "engine/cdx/Bytes.h"
#include "engine/xbase.h"
#include "support/EngineMatchers.h"

using namespace enginetest;
using qly::test::XbArea;
using qly::test::XbReturns;
using qly::test::XbTrue;

namespace {

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// The visible records from the top in the current order: (field, recno).
std::vector<std::pair<std::string, long>> walkOrder(const std::string& field) {
    std::vector<std::pair<std::string, long>> out;
    EXPECT_THAT(xb_GoTop(), XbTrue());
    for (int guard = 0; !xb_Eof() && guard < 100000; ++guard) {
        out.emplace_back(xb_GetTrimString(field), xb_RecNo());
        EXPECT_THAT(xb_Skip(1), XbTrue());
    }
    return out;
}

bool indexesSound(std::string& error) {
    qly::engine::WorkArea* a = qly::engine::Engine::instance().currentArea();
    return a && a->indexes().verify(error);
}

class IndexTest : public EngineTest {};

}  // namespace

TEST_F(IndexTest, FixtureTagsOpenWithTheirTablesAndWalkInKeyOrder) {
    fixtures("sample");
    struct Case {
        const char* file;  // letter case differs from the files on purpose
        const char* tag;
        const char* field;
    } cases[] = {{"manufact.dbf", "COMPANY", "COMPANY"},
                 {"LOCATION.DBF", "NAME_ID", "NAME_ID"},
                 {"Main.dbf", "NAME", "NAME"}};
    xb_SetDeleted(-1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        ASSERT_THAT(xb_Use(path(c.file), "", kXbModeShared, kXbDriverFox), XbArea());
        EXPECT_EQ(xb_IndexOrd(), 0);
        EXPECT_EQ(xb_TagName(1), c.tag);
        EXPECT_EQ(xb_TagName(2), "");
        EXPECT_EQ(xb_TagArea("name_id") != 0, std::string(c.tag) == "NAME_ID");
        auto inRecordOrder = walkOrder(c.field);
        ASSERT_THAT(xb_SetOrder(xb_TagArea(c.tag)), XbTrue());
        EXPECT_EQ(xb_IndexOrd(), 1);
        auto inTagOrder = walkOrder(c.field);
        // The fixture keys are the whole field, so byte order of the values is tag order.
        std::vector<std::pair<std::string, long>> want = inRecordOrder;
        for (auto& w : want)
            w.first = trimRight(w.first);
        std::stable_sort(want.begin(), want.end(),
                         [&](const auto& a, const auto& b) { return a.first < b.first; });
        EXPECT_EQ(inTagOrder, want);
        // And backwards from the bottom.
        std::vector<long> back;
        ASSERT_EQ(xb_GoBottom(), -1);
        while (!xb_Bof()) {
            back.push_back(xb_RecNo());
            ASSERT_EQ(xb_Skip(-1), -1);
        }
        std::reverse(back.begin(), back.end());
        ASSERT_EQ(back.size(), want.size());
        for (size_t i = 0; i < back.size(); ++i)
            EXPECT_EQ(back[i], want[i].second);
        std::string error;
        EXPECT_TRUE(indexesSound(error)) << error;
        xb_Close();
    }
}

TEST_F(IndexTest, SeekFindsKeysAndSoftSeekStopsAtTheNextHigherKey) {
    fixtures("sample");
    xb_SetDeleted(-1);
    ASSERT_THAT(xb_Use(path("MANUFACT.DBF"), "", kXbModeShared, kXbDriverFox), XbArea());
    ASSERT_EQ(xb_SetOrder(1), -1);
    const auto all = walkOrder("COMPANY");
    ASSERT_GE(all.size(), 3u);
    for (const auto& [company, recno] : all) {
        EXPECT_EQ(xb_Seek(company), -1) << company;
        EXPECT_EQ(xb_RecNo(), recno);
    }
    // A prefix finds the first key that begins with it.
    EXPECT_EQ(xb_Seek(all[1].first.substr(0, 2)), -1);
    EXPECT_EQ(xb_GetTrimString("COMPANY").substr(0, 2), all[1].first.substr(0, 2));
    // Missing: Eof without soft seek; the next higher key with it.
    const std::string missing = all[1].first + "zzz";
    EXPECT_EQ(xb_Seek(missing), 0);
    EXPECT_EQ(xb_Eof(), -1);
    xb_SetSoftSeek(-1);
    EXPECT_EQ(xb_Seek(missing), 0);
    EXPECT_EQ(xb_Eof(), 0);
    EXPECT_EQ(xb_RecNo(), all[2].second);
    EXPECT_EQ(xb_Seek("~~~"), 0);
    EXPECT_EQ(xb_Eof(), -1);
    // With exact comparison a prefix is not enough.
    xb_SetExact(-1);
    xb_SetSoftSeek(0);
    EXPECT_EQ(xb_Seek(all[1].first.substr(0, 2)), 0);
    EXPECT_EQ(xb_Seek(all[1].first), -1);
    // Deleted records are passed over: MANUFACT record 5 is deleted.
    xb_SetExact(0);
    ASSERT_EQ(xb_SetOrder(0), -1);
    ASSERT_EQ(xb_SetDeleted(0), -1);
    ASSERT_EQ(xb_Go(5), -1);
    const std::string deleted = xb_GetTrimString("COMPANY");
    ASSERT_EQ(xb_Deleted(), -1);
    xb_SetDeleted(-1);
    ASSERT_EQ(xb_SetOrder(1), -1);
    EXPECT_EQ(xb_Seek(deleted), 0);
    // Seeking needs an order.
    ASSERT_EQ(xb_SetOrder(0), -1);
    EXPECT_EQ(xb_Seek(deleted), 0);
    EXPECT_FALSE(xb_LastError().empty());
}

TEST_F(IndexTest, ScopeKeepsKeysFromLowToHighAndAnEmptyLowShowsAllAgain) {
    fixtures("sample");
    xb_SetDeleted(-1);
    ASSERT_THAT(xb_Use(path("MANUFACT.DBF"), "", kXbModeShared, kXbDriverFox), XbArea());
    ASSERT_EQ(xb_SetOrder(1), -1);
    const auto all = walkOrder("COMPANY");
    const std::string low = all[2].first.substr(0, 1), high = all[5].first.substr(0, 1);
    std::vector<std::pair<std::string, long>> want;
    for (const auto& e : all)
        if (e.first.substr(0, 1) >= low && e.first.substr(0, 1) <= high)
            want.push_back(e);
    ASSERT_THAT(xb_SetScope(low, high), XbTrue());
    EXPECT_EQ(xb_RecNo(), want.front().second);
    EXPECT_EQ(walkOrder("COMPANY"), want);
    EXPECT_EQ(xb_Count(), static_cast<long>(want.size()));
    // One key: the program's "..." buttons.
    ASSERT_EQ(xb_SetScope(all[3].first, all[3].first), -1);
    EXPECT_EQ(walkOrder("COMPANY").size(), 1u);
    ASSERT_EQ(xb_GoBottom(), -1);
    EXPECT_EQ(xb_RecNo(), all[3].second);
    // A seek outside the scope finds nothing.
    EXPECT_EQ(xb_Seek(all[0].first), 0);
    // Empty low: every record again, on the first.
    ASSERT_EQ(xb_GoBottom(), -1);
    ASSERT_EQ(xb_SetScope("", ""), -1);
    EXPECT_EQ(xb_RecNo(), all.front().second);
    EXPECT_EQ(walkOrder("COMPANY"), all);
    // Scope, filter and hidden deleted records together.
    ASSERT_EQ(xb_SetScope(low, high), -1);
    ASSERT_THAT(xb_Query("RECNO() > 3"), XbTrue());
    std::vector<std::pair<std::string, long>> both;
    for (const auto& e : want)
        if (e.second > 3)
            both.push_back(e);
    EXPECT_EQ(walkOrder("COMPANY"), both);
    EXPECT_EQ(xb_Count(), static_cast<long>(both.size()));
    ASSERT_EQ(xb_Query(""), -1);
    // A scope with nothing in it: Eof at once.
    ASSERT_EQ(xb_SetScope("~", "~~"), -1);
    EXPECT_EQ(xb_Eof(), -1);
}

TEST_F(IndexTest, EveryChangeKeepsEveryTagInStep) {
    const std::vector<XbFieldDef> fields = {{"NAME", 'C', 12, 0},
                                            {"QTY", 'N', 6, 1},
                                            {"WHEN", 'D', 8, 0},
                                            {"CAT", 'C', 4, 0},
                                            {"OK", 'L', 1, 0}};
    const std::vector<XbTagDef> tags = {
        {"NAME", "NAME", "", false, false}, {"QTY", "QTY", "", false, true},
        {"WHEN", "WHEN", "", false, false}, {"BIG", "UPPER(NAME)", "QTY > 10", false, false},
        {"CAT", "CAT", "", true, false},    {"MIXED", "CAT+DTOS(WHEN)", "", false, false},
    };
    ASSERT_THAT(xb_Create(path("items.dbf"), fields, tags), XbTrue());
    ASSERT_TRUE(fs::exists(path("items.cdx")));
    ASSERT_THAT(xb_Use(path("items.dbf"), "", kXbModeShared, kXbDriverFox), XbArea());
    for (size_t t = 0; t < tags.size(); ++t)
        EXPECT_EQ(xb_TagName(static_cast<int>(t + 1)), tags[t].name);
    std::mt19937 rng(5);
    auto randomName = [&] {
        std::string s;
        for (int i = 0, n = 1 + static_cast<int>(rng() % 10); i < n; ++i)
            s += static_cast<char>('A' + rng() % 6);
        return s;
    };
    for (int op = 0; op < 1500; ++op) {
        const long count = xb_RecCount();
        const int what = count == 0 ? 0 : static_cast<int>(rng() % 4);
        if (what == 0) {
            ASSERT_THAT(xb_AppendEx(), XbReturns(kXbAppendOk));
        } else {
            ASSERT_EQ(xb_Go(1 + static_cast<long>(rng() % static_cast<unsigned>(count))), -1);
        }
        if (what == 3) {
            ASSERT_EQ(rng() % 2 ? xb_Delete() : xb_Recall(), -1);
            continue;
        }
        ASSERT_THAT(xb_Replace("NAME", kXbReplaceText, randomName()), XbTrue());
        ASSERT_EQ(xb_Replace("QTY", kXbReplaceDouble,
                             static_cast<double>(static_cast<int>(rng() % 400) - 200) / 10),
                  -1);
        ASSERT_THAT(xb_Replace("WHEN", kXbReplaceDateText,
                               rng() % 5 ? std::to_string(1 + rng() % 12) + "/" +
                                               std::to_string(1 + rng() % 28) + "/9" +
                                               std::to_string(rng() % 10)
                                         : std::string()),
                    XbTrue());
        ASSERT_EQ(
            xb_Replace("CAT", kXbReplaceText, std::string(1, static_cast<char>('a' + rng() % 8))),
            -1);
        if (op % 300 == 299) {
            std::string error;
            ASSERT_TRUE(indexesSound(error)) << error;
        }
    }
    ASSERT_EQ(xb_Commit(), -1);
    std::string error;
    ASSERT_TRUE(indexesSound(error)) << error;
    // Numeric descending order from the tag is value order from high to low.
    ASSERT_EQ(xb_SetOrder(xb_TagArea("QTY")), -1);
    double previous = 1e9;
    ASSERT_EQ(xb_GoTop(), -1);
    while (!xb_Eof()) {
        EXPECT_LE(xb_GetDouble("QTY"), previous);
        previous = xb_GetDouble("QTY");
        xb_Skip(1);
    }
    EXPECT_EQ(xb_Seek("-3.5") == -1, [&] {
        for (long r = 1; r <= xb_RecCount(); ++r) {
            xb_Go(r);
            if (xb_GetDouble("QTY") == -3.5)
                return true;
        }
        return false;
    }());
    // After closing, the file reads back the same and passes the check.
    xb_Close();
    ASSERT_THAT(xb_Use(path("ITEMS.DBF"), "", kXbModeReadOnly, kXbDriverFox), XbArea());
    ASSERT_TRUE(indexesSound(error)) << error;
}

TEST_F(IndexTest, ATableWeWriteHasTheIndexTheFormatDescribes) {
    ASSERT_THAT(
        xb_Create(path("PEOPLE.DBF"), {{"NAME", 'C', 10, 0}}, {{"NAME", "NAME", "", false, false}}),
        XbTrue());
    ASSERT_THAT(xb_Use(path("PEOPLE.DBF"), "", kXbModeExclusive, kXbDriverFox), XbArea());
    for (const char* name : {"SMITH", "ADAMS", "SMITHERS"}) {
        ASSERT_EQ(xb_AppendEx(), kXbAppendOk);
        ASSERT_EQ(xb_Replace("NAME", kXbReplaceText, std::string(name)), -1);
    }
    xb_Close();
    const std::string dbf = readFile(path("PEOPLE.DBF"));
    EXPECT_EQ(static_cast<uint8_t>(dbf[28]), 0x01);  // the structural flag
    const std::string cdx = readFile(path("PEOPLE.cdx"));
    ASSERT_EQ(cdx.size(), 3072u);
    const std::string leafInfo = cdx.substr(0xA18, 9);
    EXPECT_EQ(leafInfo, std::string("\x02\x00\x50\x01\x00\x50\x03\x00\x25", 9));
    EXPECT_EQ(cdx.substr(0xBF3, 13), "ERSSMITHADAMS");
    EXPECT_EQ(static_cast<uint8_t>(cdx[0x0E]), 0xE0);
    EXPECT_EQ(static_cast<uint8_t>(cdx[0x60E]), 0x60);
}

TEST_F(IndexTest, ReindexNeedsExclusiveUseAndRepairsADamagedIndex) {
    fixtures("sample");
    // Damage the tag's root leaf: its key count no longer fits the node.
    std::string cdx = readFile(path("MAIN.cdx"));
    cdx[0xA02] = '\x7F';
    cdx[0xA03] = '\x01';
    writeFile(path("MAIN.cdx"), cdx);
    ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), XbArea());
    ASSERT_EQ(xb_SetOrder(1), -1);
    EXPECT_EQ(xb_GoTop(), 0);
    EXPECT_NE(xb_LastError().find("MAIN.cdx"), std::string::npos) << xb_LastError();
    EXPECT_EQ(xb_Reindex(), 0);
    EXPECT_NE(xb_LastError().find("exclusive"), std::string::npos) << xb_LastError();
    xb_Close();
    ASSERT_THAT(xb_Use(path("MAIN.DBF"), "", kXbModeExclusive, kXbDriverFox), XbArea());
    ASSERT_EQ(xb_SetOrder(1), -1);
    ASSERT_THAT(xb_Reindex(), XbTrue());
    EXPECT_EQ(xb_IndexOrd(), 1);
    std::string error;
    EXPECT_TRUE(indexesSound(error)) << error;
    EXPECT_EQ(walkOrder("NAME").size(), 40u);
}

TEST_F(IndexTest, ARecordWrittenWithoutItsIndexIsFoundMissingAndReindexAddsIt) {
    fixtures("sample");
    {
        // As if the program had stopped between the record and its key.
        std::string error;
        auto table = qly::engine::Table::open(path("MANUFACT.DBF"),
                                              qly::engine::Table::Mode::Exclusive, error);
        ASSERT_TRUE(table) << error;
        std::vector<char> image(static_cast<size_t>(table->recordLength()));
        table->blankRecord(image.data());
        std::memcpy(image.data() + 1, "Zeta", 4);
        uint32_t recno = 0;
        ASSERT_EQ(table->appendRecord(image.data(), 1, recno, error), qly::engine::Table::kAppendOk)
            << error;
    }
    ASSERT_THAT(xb_Use(path("MANUFACT.DBF"), "", kXbModeExclusive, kXbDriverFox), XbArea());
    std::string error;
    EXPECT_FALSE(indexesSound(error));
    EXPECT_NE(error.find("record 13"), std::string::npos) << error;
    ASSERT_THAT(xb_Reindex(), XbTrue());
    EXPECT_TRUE(indexesSound(error)) << error;
    ASSERT_EQ(xb_SetOrder(1), -1);
    EXPECT_EQ(xb_Seek("Zeta"), -1);
    EXPECT_EQ(xb_RecNo(), 13);
}

TEST_F(IndexTest, IndexesThatCannotBeUsedRefuseTheOpenWithAReason) {
    struct Case {
        const char* what;
        std::function<void(std::string&)> damage;
        const char* says;
    } cases[] = {
        {"key expression names no field",
         [](std::string& b) { std::memcpy(&b[0x800], "NOPE\0", 5); }, "NOPE"},
        {"tag header outside the file", [](std::string& b) { b[0x419] = '\x7E'; }, "outside"},
        {"key length impossible", [](std::string& b) { b[0x60C] = '\0'; }, "key length"},
        {"index file missing", [](std::string& b) { b.clear(); }, "missing"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        fixtures("sample");
        std::string cdx = readFile(path("MAIN.cdx"));
        c.damage(cdx);
        if (cdx.empty())
            fs::remove(path("MAIN.cdx"));
        else
            writeFile(path("MAIN.cdx"), cdx);
        EXPECT_EQ(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
        EXPECT_NE(xb_LastError().find(c.says), std::string::npos) << xb_LastError();
        EXPECT_NE(xb_LastError().find("MAIN.cdx"), std::string::npos) << xb_LastError();
    }
}

TEST_F(IndexTest, FurtherIndexFilesOpenAfterTheStructuralOne) {
    fixtures("sample");
    // MANUFACT.cdx stands in for a further index of a table with the same fields.
    fs::copy_file(path("MANUFACT.cdx"), path("extra.cdx"));
    ASSERT_NE(xb_Use(path("MANUFACT.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    EXPECT_THAT(xb_IndexOpen("extra"), XbReturns(2));
    EXPECT_EQ(xb_TagName(2), "COMPANY");
    EXPECT_EQ(xb_IndexOpen("extra.cdx"), 2);  // already open
    EXPECT_EQ(xb_IndexOpen("none.cdx"), 0);
    EXPECT_FALSE(xb_LastError().empty());
    // Both files follow a change.
    ASSERT_EQ(xb_AppendEx(), kXbAppendOk);
    ASSERT_EQ(xb_Replace("COMPANY", kXbReplaceText, std::string("Aardvark")), -1);
    for (int order : {1, 2}) {
        ASSERT_EQ(xb_SetOrder(order), -1);
        ASSERT_EQ(xb_GoTop(), -1);
        EXPECT_EQ(xb_GetTrimString("COMPANY"), "Aardvark");
    }
    std::string error;
    EXPECT_TRUE(indexesSound(error)) << error;
}

TEST_F(IndexTest, AUniqueTagKeepsTheLowestRecordOfEachKeyAsARebuildWould) {
    ASSERT_THAT(xb_Create(path("u.dbf"), {{"CAT", 'C', 4, 0}}, {{"CAT", "CAT", "", true, false}}),
                XbTrue());
    ASSERT_THAT(xb_Use(path("u.dbf"), "", kXbModeExclusive, kXbDriverFox), XbArea());
    for (const char* cat : {"c", "c", "d", "c"}) {
        ASSERT_EQ(xb_AppendEx(), kXbAppendOk);
        ASSERT_EQ(xb_Replace("CAT", kXbReplaceText, std::string(cat)), -1);
    }
    ASSERT_EQ(xb_SetOrder(1), -1);
    auto holders = [] {
        std::vector<long> out;
        for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
            out.push_back(xb_RecNo());
        return out;
    };
    EXPECT_EQ(holders(), (std::vector<long>{1, 3}));
    // The holder of "c" changes its key: record 2 takes its place.
    ASSERT_EQ(xb_Go(1), -1);
    ASSERT_EQ(xb_Replace("CAT", kXbReplaceText, std::string("e")), -1);
    EXPECT_EQ(holders(), (std::vector<long>{2, 3, 1}));
    // A lower record taking an existing key becomes its holder.
    ASSERT_EQ(xb_Go(1), -1);
    ASSERT_EQ(xb_Replace("CAT", kXbReplaceText, std::string("d")), -1);
    EXPECT_EQ(holders(), (std::vector<long>{2, 1}));
    std::string error;
    EXPECT_TRUE(indexesSound(error)) << error;
    ASSERT_EQ(xb_Reindex(), -1);
    EXPECT_EQ(holders(), (std::vector<long>{2, 1}));
}

TEST_F(IndexTest, DescendingTagsWalkSeekAndScopeFromTheHighEnd) {
    ASSERT_THAT(xb_Create(path("d.dbf"), {{"NAME", 'C', 8, 0}, {"QTY", 'N', 5, 0}},
                          {{"NAME", "NAME", "", false, true}, {"QTY", "QTY", "", false, true}}),
                XbTrue());
    ASSERT_THAT(xb_Use(path("d.dbf"), "", kXbModeShared, kXbDriverFox), XbArea());
    const char* names[] = {"delta", "alpha", "echo", "bravo", "charlie", "alpha"};
    for (int i = 0; i < 6; ++i) {
        ASSERT_EQ(xb_AppendEx(), kXbAppendOk);
        ASSERT_EQ(xb_Replace("NAME", kXbReplaceText, std::string(names[i])), -1);
        ASSERT_EQ(xb_Replace("QTY", kXbReplaceDouble, static_cast<double>(i * 10 - 20)), -1);
    }
    ASSERT_EQ(xb_SetOrder(1), -1);
    std::vector<std::string> got;
    for (const auto& e : walkOrder("NAME"))
        got.push_back(e.first);
    EXPECT_EQ(got,
              (std::vector<std::string>{"echo", "delta", "charlie", "bravo", "alpha", "alpha"}));
    ASSERT_EQ(xb_SetScope("b", "d"), -1);
    got.clear();
    for (const auto& e : walkOrder("NAME"))
        got.push_back(e.first);
    EXPECT_EQ(got, (std::vector<std::string>{"delta", "charlie", "bravo"}));
    ASSERT_EQ(xb_GoBottom(), -1);
    EXPECT_EQ(xb_GetTrimString("NAME"), "bravo");
    ASSERT_EQ(xb_SetScope("", ""), -1);
    xb_SetSoftSeek(-1);
    EXPECT_EQ(xb_Seek("chz"), 0);  // the next key in descending order
    EXPECT_EQ(xb_GetTrimString("NAME"), "charlie");
    // Numbers, descending, negative ones last.
    ASSERT_EQ(xb_SetOrder(2), -1);
    std::vector<double> qty;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        qty.push_back(xb_GetDouble("QTY"));
    EXPECT_EQ(qty, (std::vector<double>{30, 20, 10, 0, -10, -20}));
    EXPECT_EQ(xb_Seek("-10"), -1);
    EXPECT_EQ(xb_RecNo(), 2);
    ASSERT_EQ(xb_SetScope("-15", "15"), -1);
    EXPECT_EQ(xb_Count(), 3);
}

TEST_F(IndexTest, MovesThatReadNoFieldStillGiveEachRecordItsOwnFields) {
    // Names in reverse of record order, every third record deleted.
    ASSERT_THAT(xb_Create(path("LAZY.DBF"), {{"NAME", 'C', 10, 0}, {"N", 'N', 4, 0}},
                          {{"NAME", "NAME", "", false, false}}),
                XbTrue());
    ASSERT_THAT(xb_Use(path("LAZY.DBF"), "", kXbModeShared, kXbDriverFox), XbArea());
    for (int i = 1; i <= 60; ++i) {
        ASSERT_THAT(xb_AppendEx(), XbReturns(kXbAppendOk));
        ASSERT_THAT(xb_Replace("NAME", kXbReplaceText, "K" + std::to_string(1000 - i)), XbTrue());
        ASSERT_THAT(xb_Replace("N", kXbReplaceDouble, static_cast<double>(i)), XbTrue());
        if (i % 3 == 0) {
            ASSERT_EQ(xb_Delete(), -1);
        }
    }
    ASSERT_THAT(xb_SetOrder(1), XbTrue());
    struct Case {
        bool hideDeleted;
        const char* filter;
        std::vector<long> want;  // in tag order
    };
    auto where = [](std::function<bool(long)> keep) {
        std::vector<long> out;
        for (long r = 60; r >= 1; --r)
            if (keep(r))
                out.push_back(r);
        return out;
    };
    const Case cases[] = {
        {false, "", where([](long) { return true; })},
        {true, "", where([](long r) { return r % 3 != 0; })},
        {false, "N > 40", where([](long r) { return r > 40; })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.filter);
        xb_SetDeleted(c.hideDeleted ? -1 : 0);
        ASSERT_THAT(xb_Query(c.filter), XbTrue());
        // Fields read only at every other record: the records passed over
        // unread must not leave their images to the next one.
        std::vector<long> seen;
        ASSERT_THAT(xb_GoTop(), XbTrue());
        for (int k = 0; !xb_Eof() && k < 100; ++k) {
            const long r = xb_RecNo();
            seen.push_back(r);
            if (k % 2 == 0) {
                EXPECT_EQ(xb_GetTrimString("NAME"), "K" + std::to_string(1000 - r));
                EXPECT_EQ(xb_GetDouble("N"), r);
                EXPECT_EQ(xb_Deleted() == -1, r % 3 == 0);
            }
            ASSERT_THAT(xb_Skip(1), XbTrue());
        }
        EXPECT_EQ(seen, c.want);
        // A seek that reads nothing, then the record it landed on.
        EXPECT_EQ(xb_Seek("K950"), -1);
        EXPECT_EQ(xb_RecNo(), 50);
        EXPECT_EQ(xb_GetString("NAME").substr(0, 4), "K950");
    }
    xb_SetDeleted(0);
    ASSERT_THAT(xb_Query(""), XbTrue());
}
