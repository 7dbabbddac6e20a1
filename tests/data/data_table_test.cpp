// TDbTable: opening, moving, typed fields, edit/insert/post/cancel/delete,
// bookmarks, validation and the errors of bad input.
#include "DataTestSupport.h"

#include "data/Messages.h"

#include <QDir>

#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace {

using TDataTable = DataTest;

// The records of the sample items table that are marked deleted.
bool isDeletedInSample(long recno) {
    return recno == 7 || recno == 17 || recno == 27 || recno == 37;
}

TEST_F(TDataTable, OpensOnFirstVisibleRecordAndMovesSkippingDeletedOnes) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
    EXPECT_TRUE(t->bof());
    EXPECT_FALSE(t->eof());
    EXPECT_EQ(t->recNo(), 1);
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Laser printer #1");
    EXPECT_EQ(t->recordCount(), 36);

    std::vector<long> seen{t->recNo()};
    while (true) {
        t->next();
        if (t->eof())
            break;
        seen.push_back(t->recNo());
    }
    ASSERT_EQ(seen.size(), 36u);
    for (long r : seen)
        EXPECT_FALSE(isDeletedInSample(r)) << r;
    EXPECT_EQ(t->recNo(), 40) << "Eof keeps the last record current";

    t->prior();
    EXPECT_EQ(t->recNo(), 39);
    EXPECT_FALSE(t->eof());
    t->first();
    EXPECT_EQ(t->moveBy(10), 10);
    EXPECT_EQ(t->recNo(), 12);
    EXPECT_EQ(t->moveBy(-100), -10);
    EXPECT_TRUE(t->bof());
    t->last();
    EXPECT_TRUE(t->eof());
    EXPECT_EQ(t->recNo(), 40);
}

TEST_F(TDataTable, FieldsAreTypedByTheirPresentation) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    const TField* quantity = t->fieldByName("QUANTITY");
    EXPECT_EQ(quantity->dataType(), TFieldType::ftSmallint);
    EXPECT_EQ(quantity->value().typeId(), QMetaType::Int);
    EXPECT_EQ(quantity->asInteger(), -1);
    EXPECT_EQ(t->fieldByName("PURCHPRICE")->dataType(), TFieldType::ftFloat);
    EXPECT_EQ(t->fieldByName("PURCHDATE")->dataType(), TFieldType::ftDate);
    EXPECT_EQ(t->fieldByName("DISPOSED")->dataType(), TFieldType::ftBoolean);
    EXPECT_EQ(t->fieldByName("DESCRIPT")->dataType(), TFieldType::ftMemo);
    EXPECT_EQ(t->fieldByName("NAME")->displayLabel().toStdString(), "Name");
    EXPECT_EQ(t->fieldByName("SERIALNUM")->displayLabel().toStdString(), "SERIALNUM");
    EXPECT_EQ(t->findField("USER1"), nullptr) << "undeclared fields are not offered";
    EXPECT_EQ(t->fieldCount(), 20);

    // somewhere in the sample: an RTF description, a disposed item with a date
    bool sawRtf = false, sawDisposed = false;
    for (t->first(); !t->eof(); t->next()) {
        const QString memo = t->fieldByName("DESCRIPT")->asString();
        if (memo.startsWith(QStringLiteral("{\\rtf")))
            sawRtf = true;
        if (t->fieldByName("DISPOSED")->asBoolean()) {
            sawDisposed = true;
            EXPECT_TRUE(t->fieldByName("DISPDATE")->asDate().isValid());
        }
    }
    EXPECT_TRUE(sawRtf);
    EXPECT_TRUE(sawDisposed);
}

TEST_F(TDataTable, EditPostWritesTheBufferAndAReopenSeesIt) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    std::vector<TDataSetState> states;
    QObject::connect(t.get(), &TDbTable::stateChanged,
                     [&](TDataSetState s) { states.push_back(s); });
    int afterPost = 0;
    t->addAfterPost([&](TDbTable&) { ++afterPost; });

    t->moveBy(2);  // record 3
    t->edit();
    t->fieldByName("NAME")->setAsString(QStringLiteral("Renamed"));
    t->fieldByName("QUANTITY")->setAsInteger(9999);
    t->fieldByName("PURCHPRICE")->setAsFloat(1234.5);
    t->fieldByName("PURCHDATE")->setAsDate(QDate(2049, 12, 31));
    t->fieldByName("DISPOSED")->setAsBoolean(true);
    t->fieldByName("DESCRIPT")->setAsString(QStringLiteral("{\\rtf1 new}"));
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Renamed")
        << "the buffer is read while editing";
    EXPECT_TRUE(t->modified());
    t->post();
    EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(afterPost, 1);
    EXPECT_EQ(states, (std::vector<TDataSetState>{TDataSetState::dsEdit, TDataSetState::dsBrowse}));
    EXPECT_EQ(t->recNo(), 3);

    t->close();
    t->open();
    t->moveBy(2);
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Renamed");
    EXPECT_EQ(t->fieldByName("QUANTITY")->asInteger(), 9999);
    EXPECT_DOUBLE_EQ(t->fieldByName("PURCHPRICE")->asFloat(), 1234.5);
    EXPECT_EQ(t->fieldByName("PURCHDATE")->asDate(), QDate(2049, 12, 31));
    EXPECT_TRUE(t->fieldByName("DISPOSED")->asBoolean());
    EXPECT_EQ(t->fieldByName("DESCRIPT")->asString().toStdString(), "{\\rtf1 new}");
    EXPECT_EQ(t->fieldByName("SERIALNUM")->asString().toStdString(), "SN00023757")
        << "untouched fields stay";
}

TEST_F(TDataTable, CancelAndCloseDiscardTheEdit) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    t->edit();
    t->fieldByName("NAME")->setAsString(QStringLiteral("Never stored"));
    t->cancel();
    EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Laser printer #1");

    t->edit();
    t->fieldByName("NAME")->setAsString(QStringLiteral("Never stored"));
    t->close();
    EXPECT_EQ(t->state(), TDataSetState::dsInactive);
    t->open();
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Laser printer #1");
}

TEST_F(TDataTable, MovingPostsAModifiedEditAndCancelsAnUnmodifiedOne) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    t->edit();
    t->next();
    EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
    int posts = 0;
    t->addAfterPost([&](TDbTable&) { ++posts; });
    EXPECT_EQ(posts, 0);
    t->edit();
    t->fieldByName("CATAGORY")->setAsString(QStringLiteral("Chairs"));
    t->first();
    EXPECT_EQ(posts, 1);
    t->next();
    EXPECT_EQ(t->fieldByName("CATAGORY")->asString().toStdString(), "Chairs");
}

TEST_F(TDataTable, AValueThatDoesNotFitIsRefusedOnPostAndTheRecordStaysInEdit) {
    struct Case {
        const char* field;
        QVariant value;
        const char* expected;  // part of the message
    };
    const std::vector<Case> cases = {
        {"NAME", QString(41, QLatin1Char('x')), "NAME"},
        {"QUANTITY", 10000, "-999 to 9999"},
        {"QUANTITY", -1000, "-999 to 9999"},
        {"QUANTITY", 40000, "QUANTITY"},
        {"PURCHPRICE", 1e12, "PURCHPRICE"},
        {"NAME", QStringLiteral("\u2603 snow"), "cannot be stored"},
    };
    FixtureFolder folder;
    auto t = mainTable(folder);
    const QByteArray before = folder.contents(QStringLiteral("MAIN.DBF"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.field);
        t->edit();
        t->fieldByName(c.field)->setValue(c.value);
        const std::string message = QLY_ERROR_OF(t->post());
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_EQ(t->state(), TDataSetState::dsEdit);
        t->cancel();
    }
    EXPECT_EQ(folder.contents(QStringLiteral("MAIN.DBF")), before) << "nothing was written";

    // text that is no value is refused when it is handed over
    t->edit();
    EXPECT_NE(QLY_ERROR_OF(t->fieldByName("QUANTITY")->setAsString(QStringLiteral("1.5"))), "");
    EXPECT_NE(QLY_ERROR_OF(t->fieldByName("PURCHDATE")->setAsString(QStringLiteral("31/31/2020"))),
              "");
    EXPECT_EQ(t->state(), TDataSetState::dsEdit);
    t->fieldByName("QUANTITY")->setAsString(QStringLiteral("-999"));
    t->post();
    EXPECT_EQ(t->fieldByName("QUANTITY")->asInteger(), -999);
}

TEST_F(TDataTable, InsertAddsARecordOnPostAndCancelReturnsToTheFormerOne) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    t->moveBy(4);
    const long former = t->recNo();
    t->insert();
    EXPECT_EQ(t->state(), TDataSetState::dsInsert);
    EXPECT_EQ(t->fieldByName("NAME")->asString(), QString());
    t->cancel();
    EXPECT_EQ(t->recNo(), former);
    EXPECT_EQ(t->recordCount(), 36);

    t->insert();
    t->fieldByName("NAME")->setAsString(QStringLiteral("New item"));
    t->fieldByName("QUANTITY")->setAsInteger(3);
    t->post();
    EXPECT_EQ(t->recNo(), 41);
    EXPECT_EQ(t->recordCount(), 37);
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "New item");

    t->append();
    t->fieldByName("NAME")->setAsString(QStringLiteral("Appended"));
    t->post();
    t->last();
    EXPECT_EQ(t->fieldByName("NAME")->asString().toStdString(), "Appended");
}

TEST_F(TDataTable, DeleteMakesTheFollowingRecordCurrentAndRefusesEmptyOrClosedTables) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    t->moveBy(5);  // record 6; record 7 is deleted already
    EXPECT_EQ(t->recNo(), 6);
    t->deleteRecord();
    EXPECT_EQ(t->recNo(), 8);
    EXPECT_EQ(t->recordCount(), 35);
    t->last();
    t->deleteRecord();
    EXPECT_EQ(t->recNo(), 39) << "after the last record the new last one is current";

    // deleting while inserting cancels the insertion
    t->insert();
    t->deleteRecord();
    EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
    EXPECT_EQ(t->recordCount(), 34);

    t->close();
    EXPECT_EQ(QLY_ERROR_OF(t->deleteRecord()), qly::msg::kClosedDataSet);
    EXPECT_EQ(QLY_ERROR_OF(t->next()), qly::msg::kClosedDataSet);
    EXPECT_EQ(QLY_ERROR_OF(t->edit()), qly::msg::kClosedDataSet);

    FixtureFolder empty("empty");
    auto e = mainTable(empty);
    EXPECT_TRUE(e->isEmpty());
    EXPECT_TRUE(e->bof());
    EXPECT_TRUE(e->eof());
    EXPECT_EQ(QLY_ERROR_OF(e->deleteRecord()), qly::msg::kEmptyDataSet);
    e->edit();  // on an empty table editing starts a new record
    EXPECT_EQ(e->state(), TDataSetState::dsInsert);
    e->cancel();
    EXPECT_TRUE(e->isEmpty());
}

TEST_F(TDataTable, BookmarksReturnToTheRecordUntilItIsDeleted) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    t->moveBy(3);
    const TBookmark mark = t->getBookmark();
    t->last();
    EXPECT_TRUE(t->bookmarkValid(mark));
    t->gotoBookmark(mark);
    EXPECT_EQ(t->recNo(), 4);
    t->deleteRecord();
    EXPECT_FALSE(t->bookmarkValid(mark));
    EXPECT_NE(QLY_ERROR_OF(t->gotoBookmark(mark)).find("Record not found"), std::string::npos);
    EXPECT_FALSE(t->bookmarkValid(0));
}

TEST_F(TDataTable, FilesAreFoundAsTheDatabaseAndTableNamesSay) {
    TDbTable t;
    t.setTableName(QStringLiteral("MAIN.DBF"));
    struct Case {
        const char* database;
        QString expected;
    };
    const std::vector<Case> cases = {
        {"Path", QDir::currentPath() + QStringLiteral("/MAIN.DBF")},
        {"", QDir::currentPath() + QStringLiteral("/MAIN.DBF")},
        {"/data", QStringLiteral("/data/MAIN.DBF")},
        {"/data/", QStringLiteral("/data/MAIN.DBF")},
        {"c:", QStringLiteral("c:MAIN.DBF")},
    };
    for (const Case& c : cases) {
        t.setDatabaseName(QString::fromLatin1(c.database));
        EXPECT_EQ(t.resolvedPath(), c.expected) << c.database;
    }
    t.setDatabaseName(QStringLiteral("/data"));
    t.setTableName(QStringLiteral("/other/X.DBF"));
    EXPECT_EQ(t.resolvedPath().toStdString(), "/other/X.DBF");
}

TEST_F(TDataTable, TheTableTypeAndTheFirstByteOfTheFilePickTheDriver) {
    FixtureFolder folder;
    auto write = [&](const char* name, char first) {
        QFile f(folder.file(QString::fromLatin1(name)));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray(1, first) + QByteArray(40, '\0'));
    };
    write("NTX.DBF", '\x83');
    write("NSX.DBF", '\xE5');
    write("FOX.DBF", '\xF5');
    write("PLAIN.DBF", '\x03');
    write("PLAIN2.DBF", '\x03');
    write("plain2.nsx", '\0');
    TDbTable t;
    struct Case {
        TTableType type;
        const char* file;
        int driver;
    };
    const std::vector<Case> cases = {
        {ttDefault, "NTX.DBF", 1},   {ttDefault, "NSX.DBF", 3},    {ttDefault, "FOX.DBF", 2},
        {ttDefault, "PLAIN.DBF", 2}, {ttDefault, "PLAIN2.DBF", 3}, {ttDefault, "LOOKUP.DBF", 2},
        {ttDefault, "main.dbf", 2},  {ttXbNTX, "FOX.DBF", 1},      {ttXbNSX, "FOX.DBF", 3},
        {ttXbFOX, "NTX.DBF", 2},
    };
    for (const Case& c : cases) {
        t.setTableType(c.type);
        EXPECT_EQ(t.driverFor(folder.file(QString::fromLatin1(c.file))), c.driver) << c.file;
    }
}

TEST_F(TDataTable, ATableWithoutDeclaredFieldsOffersEveryFieldOfTheFile) {
    FixtureFolder folder;
    TDbTable t;
    t.setDatabaseName(folder.path());
    t.setTableName(QStringLiteral("lookup.dbf"));  // letter case does not matter
    t.open();
    EXPECT_EQ(t.fieldNames(), (QStringList{QStringLiteral("COMPANY"), QStringLiteral("LOCATION")}));
    EXPECT_EQ(t.recordCount(), 1);
    t.edit();
    t.fieldByName("COMPANY")->setAsString(QStringLiteral("Acme"));
    t.post();
    EXPECT_EQ(t.fieldByName("company")->asString().toStdString(), "Acme");
}

TEST_F(TDataTable, AFailedOpenNamesTheFileAndTheProblemAndChangesNothing) {
    FixtureFolder folder;
    const QByteArray before = folder.contents(QStringLiteral("MAIN.DBF"));

    auto missing = std::make_unique<TDbTable>();
    missing->setDatabaseName(folder.path());
    missing->setTableName(QStringLiteral("NOTHERE.DBF"));
    std::string message = QLY_ERROR_OF(missing->open());
    EXPECT_NE(message.find("NOTHERE.DBF"), std::string::npos) << message;
    EXPECT_FALSE(missing->active());

    struct Case {
        const char* name;
        TFieldDef def;
        const char* expected;
    };
    TFieldDef absent;
    absent.name = QStringLiteral("NOPE");
    TFieldDef wrongType;
    wrongType.name = QStringLiteral("QUANTITY");
    wrongType.type = TFieldType::ftFloat;
    TFieldDef wrongSize;
    wrongSize.name = QStringLiteral("NAME");
    wrongSize.size = 30;
    for (const Case& c : {Case{"absent", absent, "Field 'NOPE' not found"},
                          Case{"type", wrongType, "Type mismatch for field 'QUANTITY'"},
                          Case{"size", wrongSize, "Size mismatch for field 'NAME'"}}) {
        SCOPED_TRACE(c.name);
        auto t = mainTable(folder, false);
        t->setFieldDefs({c.def});
        message = QLY_ERROR_OF(t->open());
        EXPECT_NE(message.find(c.expected), std::string::npos) << message;
        EXPECT_NE(message.find("MAIN.DBF"), std::string::npos) << message;
        EXPECT_FALSE(t->active());
    }
    EXPECT_EQ(xb_Alias(), "") << "no work area is left open";

    // held exclusively elsewhere
    auto holder = mainTable(folder, false);
    holder->setExclusive(true);
    holder->open();
    auto second = mainTable(folder, false);
    message = QLY_ERROR_OF(second->open());
    EXPECT_NE(message.find("MAIN.DBF"), std::string::npos) << message;
    EXPECT_FALSE(second->active());
    holder->close();

    // a truncated table file
    QFile truncated(folder.file(QStringLiteral("Location.dbf")));
    ASSERT_TRUE(truncated.open(QIODevice::ReadWrite));
    truncated.resize(100);
    truncated.close();
    const QByteArray cut = folder.contents(QStringLiteral("Location.dbf"));
    TDbTable location;
    location.setDatabaseName(folder.path());
    location.setTableName(QStringLiteral("Location.dbf"));
    message = QLY_ERROR_OF(location.open());
    EXPECT_NE(message.find("Location.dbf"), std::string::npos) << message;
    EXPECT_EQ(folder.contents(QStringLiteral("Location.dbf")), cut);

    EXPECT_EQ(folder.contents(QStringLiteral("MAIN.DBF")), before);
}

// For its lifetime the process may not write the files of a table: they
// lose their write permission, and when the tests run as root (whom file
// modes do not stop) file access goes as the user nobody.
class WithoutWriteRights {
public:
    WithoutWriteRights(const FixtureFolder& folder, const QStringList& files) : m_folder(folder) {
        ::chmod(QFile::encodeName(folder.path()).constData(), 0755);
        for (const QString& f : files) {
            m_files << QFile::encodeName(folder.file(f));
            ::chmod(m_files.back().constData(), 0444);
        }
        if (::geteuid() == 0) {
            m_previous = ::setfsuid(65534);
            m_switched = true;
        }
    }
    ~WithoutWriteRights() {
        if (m_switched)
            ::setfsuid(static_cast<uid_t>(m_previous));
        for (const QByteArray& f : m_files)
            ::chmod(f.constData(), 0644);
        ::chmod(QFile::encodeName(m_folder.path()).constData(), 0700);
    }
    WithoutWriteRights(const WithoutWriteRights&) = delete;
    WithoutWriteRights& operator=(const WithoutWriteRights&) = delete;

private:
    const FixtureFolder& m_folder;
    QList<QByteArray> m_files;
    int m_previous = 0;
    bool m_switched = false;
};

TEST_F(TDataTable, ATableTheUserMayNotWriteOpensReadOnlyAndRefusesEveryChange) {
    FixtureFolder folder;
    const QByteArray before = folder.contents(QStringLiteral("MAIN.DBF"));
    {
        WithoutWriteRights rights(folder, {QStringLiteral("MAIN.DBF"), QStringLiteral("MAIN.cdx"),
                                           QStringLiteral("MAIN.fpt")});
        auto t = mainTable(folder);  // opened shared, as the program opens it
        EXPECT_TRUE(t->readOnly());
        EXPECT_NE(t->writeRefusal().toStdString(), "");
        t->next();
        EXPECT_EQ(t->recNo(), 2) << "reading goes on as before";

        struct Change {
            const char* name;
            std::function<void()> run;
        };
        const std::vector<Change> changes = {
            {"edit", [&] { t->edit(); }},
            {"insert", [&] { t->insert(); }},
            {"append", [&] { t->append(); }},
            {"delete", [&] { t->deleteRecord(); }},
        };
        for (const Change& c : changes) {
            SCOPED_TRACE(c.name);
            const std::string message = QLY_ERROR_OF(c.run());
            EXPECT_NE(message.find("is read-only"), std::string::npos) << message;
            EXPECT_NE(message.find("MAIN.DBF"), std::string::npos) << message;
            EXPECT_EQ(message.find("locked"), std::string::npos) << message;
            EXPECT_EQ(t->state(), TDataSetState::dsBrowse);
        }
        t->close();
        EXPECT_FALSE(t->readOnly()) << "the next open finds out again";
    }
    EXPECT_EQ(folder.contents(QStringLiteral("MAIN.DBF")), before);
    EXPECT_TRUE(QDir(folder.path())
                    .entryList({QStringLiteral("*.qly-open.*")}, QDir::Files | QDir::Hidden)
                    .isEmpty())
        << "a table opened for reading leaves no open marker";
}

TEST(TDataTableTypes, EachXBaseTypeHasItsPresentation) {
    struct Case {
        char type;
        int width, decimals;
        TFieldType expected;
    };
    for (const Case& c :
         {Case{'C', 40, 0, TFieldType::ftString}, Case{'N', 4, 0, TFieldType::ftSmallint},
          Case{'N', 1, 0, TFieldType::ftSmallint}, Case{'N', 5, 0, TFieldType::ftFloat},
          Case{'N', 4, 1, TFieldType::ftFloat}, Case{'D', 8, 0, TFieldType::ftDate},
          Case{'L', 1, 0, TFieldType::ftBoolean}, Case{'M', 10, 0, TFieldType::ftMemo},
          Case{'G', 10, 0, TFieldType::ftOle}, Case{'B', 10, 0, TFieldType::ftBlob},
          Case{'P', 10, 0, TFieldType::ftBlob}, Case{'X', 1, 0, TFieldType::ftUnknown}})
        EXPECT_EQ(presentedType(c.type, c.width, c.decimals), c.expected) << c.type << c.width;
}

}  // namespace
