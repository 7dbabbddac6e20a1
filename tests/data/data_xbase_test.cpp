// TXBase (filter, scope, order, extra indexes, the work-area bracket),
// TXBaseDataLink and TXbTable.
#include "DataTestSupport.h"

#include "data/DataLink.h"
#include "data/DataSource.h"
#include "data/Messages.h"
#include "data/XBase.h"
#include "data/XbTable.h"

#include <vector>

namespace {

using Companion = DataTest;

std::vector<QString> column(TDbTable& t, const char* field) {
    std::vector<QString> values;
    for (t.first(); !t.eof(); t.next())
        values.push_back(t.fieldByName(field)->asString());
    return values;
}

TEST_F(Companion, FilterSetOnAClosedTableIsInForceAtEveryOpening) {
    FixtureFolder folder;
    auto t = mainTable(folder, false);
    TDataSource source;
    source.setDataSet(t.get());
    TXBase xbase;
    xbase.setDataSource(&source);

    EXPECT_EQ(xbase.query(QStringLiteral("CATAGORY=\"Desk\"")), 0)
        << "a closed table only stores the expression";
    EXPECT_EQ(xbase.filter().toStdString(), "CATAGORY=\"Desk\"");
    t->open();
    std::vector<QString> categories = column(*t, "CATAGORY");
    ASSERT_EQ(categories.size(), 6u) << "Desk and Desks, not desk";
    for (const QString& c : categories)
        EXPECT_TRUE(c.startsWith(QStringLiteral("Desk"))) << c.toStdString();
    EXPECT_EQ(t->recordCount(), 6);

    t->close();
    t->open();
    EXPECT_EQ(column(*t, "CATAGORY").size(), 6u) << "the filter survives a close and reopen";

    EXPECT_NE(xbase.query(QStringLiteral("NAME=\"\"")), 0);
    EXPECT_EQ(column(*t, "NAME").size(), 36u) << "the empty text matches every record";
    xbase.setFilter(QStringLiteral("CATAGORY=\"desk\""));
    EXPECT_EQ(column(*t, "NAME").size(), 2u) << "comparison is case-sensitive";
    xbase.setFilter(QStringLiteral("MANUFACT=\"Nobody\""));
    EXPECT_EQ(column(*t, "NAME").size(), 3u);
}

TEST_F(Companion, AnExpressionTheEngineRefusesRaisesItsMessageAndIsNotStored) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    TDataSource source;
    source.setDataSet(t.get());
    TXBase xbase;
    xbase.setDataSource(&source);
    xbase.setFilter(QStringLiteral("CATAGORY=\"Desk\""));
    ASSERT_EQ(t->recordCount(), 6);

    for (const char* refused :
         {"CATAGORY=\"De\"sk\"", "CATAGORY=", "NOSUCHFIELD=\"x\"", "QUANTITY"}) {
        SCOPED_TRACE(refused);
        const std::string message = QLY_ERROR_OF(xbase.setFilter(QString::fromLatin1(refused)));
        EXPECT_NE(message, "");
        EXPECT_EQ(xbase.filter().toStdString(), "CATAGORY=\"Desk\"")
            << "Filter reports the expression in force";
        EXPECT_EQ(t->engineFilter().toStdString(), "CATAGORY=\"Desk\"");
        EXPECT_EQ(column(*t, "NAME").size(), 6u);
    }
    // the other delimiters take a value holding a double quote
    for (const char* delimited :
         {"CATAGORY='De\"sk'", "CATAGORY=[De\"sk]", "CATAGORY=\"De\" + '\"' + \"sk\""}) {
        SCOPED_TRACE(delimited);
        EXPECT_EQ(xbase.query(QString::fromLatin1(delimited)), -1);
        EXPECT_EQ(xbase.filter(), QString::fromLatin1(delimited));
        EXPECT_EQ(t->recordCount(), 0);
    }
}

TEST_F(Companion, QueryPostsAPendingEditAndKeepsAStillVisibleRecord) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    TDataSource source;
    source.setDataSet(t.get());
    TXBase xbase;
    xbase.setDataSource(&source);

    t->moveBy(4);  // record 5, category Desk
    t->edit();
    t->fieldByName("NAME")->setAsString(QStringLiteral("Edited"));
    xbase.setFilter(QStringLiteral("CATAGORY=\"Desk\""));
    EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(t->recNo(), 5);
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Edited");

    xbase.setFilter(QStringLiteral("CATAGORY=\"Chair\""));
    EXPECT_EQ(t->recNo(), 2) << "a record that no longer passes gives way to the first one";
    EXPECT_TRUE(t->bof());
}

TEST_F(Companion, EveryOperationReselectsTheAreaThatWasCurrent) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    TDbTable other;
    other.setDatabaseName(folder.path());
    other.setTableName(QStringLiteral("LOOKUP.DBF"));
    other.open();
    TDataSource source;
    source.setDataSet(t.get());
    TXBase xbase;
    xbase.setDataSource(&source);

    xb_Select(other.workArea());
    xbase.setFilter(QStringLiteral("NAME=\"Van\""));
    EXPECT_EQ(xb_WorkArea(), other.workArea());
    EXPECT_EQ(xbase.previousArea(), other.workArea());
    EXPECT_EQ(xbase.recSize(), 830);
    EXPECT_EQ(xbase.recCount(), 40);
    xbase.goTop();
    EXPECT_EQ(xb_WorkArea(), other.workArea());
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Van #10");
    EXPECT_TRUE(xbase.isActive());
}

TEST_F(Companion, ScopeGoTopAndReindexRefuseAClosedTable) {
    FixtureFolder folder;
    auto t = mainTable(folder, false);
    TDataSource source;
    source.setDataSet(t.get());
    TXBase xbase;
    xbase.setDataSource(&source);
    EXPECT_FALSE(xbase.isActive());
    EXPECT_EQ(QLY_ERROR_OF(xbase.setScope(QStringLiteral("A"), QStringLiteral("B"))),
              qly::msg::kClosedDataSet);
    EXPECT_EQ(QLY_ERROR_OF(xbase.goTop()), qly::msg::kClosedDataSet);
    EXPECT_EQ(QLY_ERROR_OF(xbase.reindex()), qly::msg::kClosedDataSet);
    EXPECT_EQ(xbase.indexOrd(), 0);
    EXPECT_EQ(xbase.recCount(), 0);

    TXBase unbound;
    EXPECT_FALSE(unbound.isActive());
    EXPECT_EQ(unbound.query(QStringLiteral("NAME=\"\"")), 0);
}

TEST_F(Companion, ExtraIndexNamesWithoutExtensionFollowTheTableType) {
    struct Case {
        const char* name;
        TTableType type;
        const char* opened;
    };
    for (const Case& c :
         {Case{"BYNAME", ttXbFOX, "BYNAME.IDX"}, Case{"BYNAME", ttXbNTX, "BYNAME.NTX"},
          Case{"BYNAME", ttXbNSX, "BYNAME.NSX"}, Case{"BYNAME", ttDefault, "BYNAME"},
          Case{"BYNAME", ttDBase, "BYNAME"}, Case{"BYNAME.CDX", ttXbFOX, "BYNAME.CDX"}})
        EXPECT_EQ(TXBase::extraIndexFileName(QString::fromLatin1(c.name), c.type).toStdString(),
                  c.opened)
            << c.opened;
}

// Needs the engine's compound indexes (order, scope).
TEST_F(Companion, ScopeNarrowsToTheKeysAndAnEmptyLowShowsAllAgainOnTheFirst) {
    FixtureFolder folder;
    TDbTable manuf;
    manuf.setDatabaseName(folder.path());
    manuf.setTableName(QStringLiteral("MANUFACT.DBF"));
    manuf.setIndexName(QStringLiteral("COMPANY"));
    manuf.setFieldDefs(manufFieldDefs());
    ASSERT_EQ(QLY_ERROR_OF(manuf.open()), "");
    TDataSource source;
    source.setDataSet(&manuf);
    TXBase xbase;
    xbase.setDataSource(&source);
    EXPECT_EQ(xbase.tagName(xbase.indexOrd()).toStdString(), "COMPANY");

    manuf.last();
    EXPECT_TRUE(xbase.setScope(QStringLiteral("Delta"), QStringLiteral("Delta")));
    EXPECT_EQ(column(manuf, "COMPANY"), (std::vector<QString>{QStringLiteral("Delta")}));

    xbase.setScope(QStringLiteral("Nobody Makes This"), QStringLiteral("Nobody Makes This"));
    EXPECT_TRUE(manuf.isEmpty());

    manuf.setIndexNameOnly(manuf.indexName());
    xbase.setScope(QString(), QString());
    EXPECT_EQ(manuf.fieldByName("COMPANY")->asString().toStdString(), "Acme");
    EXPECT_EQ(column(manuf, "COMPANY").size(), 10u);
}

TEST_F(Companion, ReindexOnAnExclusiveTableKeepsTheOrderAndTheCurrentRecord) {
    FixtureFolder folder;
    TDbTable manuf;
    manuf.setDatabaseName(folder.path());
    manuf.setTableName(QStringLiteral("MANUFACT.DBF"));
    manuf.setIndexName(QStringLiteral("COMPANY"));
    manuf.setExclusive(true);
    manuf.open();
    TDataSource source;
    source.setDataSet(&manuf);
    TXBase xbase;
    xbase.setDataSource(&source);
    manuf.moveBy(3);
    const long current = manuf.recNo();
    const std::vector<QString> before = column(manuf, "COMPANY");
    manuf.first();
    manuf.moveBy(3);
    xbase.reindex();
    EXPECT_EQ(manuf.recNo(), current);
    EXPECT_EQ(column(manuf, "COMPANY"), before);
    EXPECT_EQ(xbase.setOrder(0), -1);
    EXPECT_EQ(manuf.indexName(), QString());
    EXPECT_EQ(column(manuf, "COMPANY").front().toStdString(), "Acme") << "record order";
}

TEST_F(Companion, IncrementalSearchMovesToTheFirstOrNearestMatch) {
    FixtureFolder folder;
    auto items = mainTable(folder);
    items->last();
    EXPECT_TRUE(items->locate(QStringLiteral("NAME"), QStringLiteral("van")));
    EXPECT_EQ(items->fieldByName("NAME")->asString().toStdString(), "Van #10");
    EXPECT_TRUE(items->locate(QStringLiteral("NAME"), QStringLiteral("desk LAMP")));
    EXPECT_EQ(items->recNo(), 3) << "the first in record order";
    EXPECT_TRUE(items->locate(QStringLiteral("NAME"), QStringLiteral("Desk lamp #1")));
    EXPECT_EQ(items->recNo(), 13);
    EXPECT_FALSE(items->locate(QStringLiteral("NAME"), QStringLiteral("zzz")));
    EXPECT_EQ(items->recNo(), 13) << "no match leaves the current record";

    TDbTable manuf;
    manuf.setDatabaseName(folder.path());
    manuf.setTableName(QStringLiteral("MANUFACT.DBF"));
    manuf.setIndexName(QStringLiteral("COMPANY"));
    manuf.open();
    EXPECT_TRUE(manuf.findNearest(QStringLiteral("Hoo")));
    EXPECT_EQ(manuf.fieldByName("COMPANY")->asString().toStdString(), "Hooli");
    EXPECT_FALSE(manuf.findNearest(QStringLiteral("Gz")));
    EXPECT_EQ(manuf.fieldByName("COMPANY")->asString().toStdString(), "Hooli")
        << "the next higher key";
    EXPECT_FALSE(manuf.findNearest(QStringLiteral("zzz")));
    EXPECT_EQ(manuf.fieldByName("COMPANY")->asString().toStdString(), "Lumen")
        << "past the end: the last";
}

TEST_F(Companion, XbTableRulesForDisplayLabelTurboReadAndFilter) {
    FixtureFolder folder;
    TXbTable t;
    t.setDatabaseName(folder.path());
    t.setTableName(QStringLiteral("MAIN.DBF"));
    EXPECT_EQ(t.displayLabel().toStdString(), "MAIN.DBF");
    t.setDisplayLabel(QStringLiteral("Items"));
    EXPECT_EQ(t.displayLabel().toStdString(), "Items");

    t.setTurboRead(true);
    EXPECT_FALSE(t.turboRead()) << "a write on a closed table has no effect";
    EXPECT_FALSE(t.xbase()->turboRead());

    t.setXBaseFilter(QStringLiteral("LOCATION=\"Lab\""));
    t.open();
    EXPECT_EQ(t.xbaseFilter().toStdString(), "LOCATION=\"Lab\"");
    EXPECT_EQ(column(t, "LOCATION").size(), 4u) << "record 37 is deleted";
    t.setTurboRead(true);
    EXPECT_TRUE(t.turboRead());
    t.close();
    EXPECT_FALSE(t.turboRead()) << "reads False while closed";
}

TEST_F(Companion, DataLinksHearTheTablesNotices) {
    struct Probe : TDataLink {
        int actives = 0, scrolled = 0, editing = 0, data = 0, updates = 0;
        TField* lastField = nullptr;
        void activeChanged() override { ++actives; }
        void dataSetScrolled() override { ++scrolled; }
        void editingChanged() override { ++editing; }
        void dataSetChanged() override { ++data; }
        void recordChanged(TField* f) override { lastField = f; }
        void updateData() override { ++updates; }
    };
    FixtureFolder folder;
    auto t = mainTable(folder, false);
    TDataSource source;
    source.setDataSet(t.get());
    Probe probe;
    probe.setDataSource(&source);
    probe.actives = 0;
    t->open();
    EXPECT_EQ(probe.actives, 1);
    EXPECT_TRUE(probe.active());
    t->next();
    EXPECT_GE(probe.scrolled, 1);
    EXPECT_TRUE(probe.edit());
    EXPECT_EQ(probe.editing, 1);
    t->fieldByName("NAME")->setAsString(QStringLiteral("x"));
    EXPECT_EQ(probe.lastField, t->fieldByName("NAME"));
    t->post();
    EXPECT_EQ(probe.editing, 2);
    EXPECT_GE(probe.updates, 1);
    source.setEnabled(false);
    const int before = probe.scrolled;
    t->next();
    EXPECT_EQ(probe.scrolled, before) << "a disabled source passes nothing on";
}

}  // namespace
