// TDataModule2: start-up settings, the data path, opening the tables and
// the failures of each step.
#include "DataTestSupport.h"

#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/XBase.h"

#include <QTemporaryDir>
#include <QTextStream>

namespace {

class DataModule : public ::testing::Test {
protected:
    void SetUp() override {
        xb_CloseAll();
        m_savedFormat = qly::dates::shortDateFormat();
    }
    void TearDown() override {
        m_module.reset();
        xb_CloseAll();
        qly::dates::setShortDateFormat(m_savedFormat);
    }

    // Writes the settings file with the given value lines.
    void settings(const QString& values) {
        QFile f(m_settings.filePath(QStringLiteral("QLY32.reg")));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QTextStream out(&f);
        out << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n" << values;
    }
    static QString path(const QString& folder) {
        return QStringLiteral("\"PATH\"=\"%1\"\r\n").arg(folder);
    }

    // Creates the data module, as the entry point does, and runs its creation.
    TDataModule2& create(const QString& programFolder = QString()) {
        m_module = std::make_unique<TDataModule2>();
        m_module->settingsFile = m_settings.filePath(QStringLiteral("QLY32.reg")).toStdString();
        m_module->programFolder = programFolder.isEmpty() ? m_settings.path() : programFolder;
        m_module->errorReporter = [this](const QString& m) { m_errors << m; };
        m_module->DataModule2Create();
        return *m_module;
    }

    // The reported messages that come from reading the settings.
    QStringList settingsErrors() const {
        QStringList out;
        for (const QString& e : m_errors)
            if (e.contains(QStringLiteral("data for '")) ||
                e.contains(QStringLiteral("data type for '")))
                out << e;
        return out;
    }

    bool allClosed() const {
        return !m_module->MainT->active() && !m_module->ManufT->active() &&
               !m_module->LocationT->active();
    }

    QTemporaryDir m_settings;
    FixtureFolder m_tables;
    std::unique_ptr<TDataModule2> m_module;
    QStringList m_errors;
    QString m_savedFormat;
};

const QString kGoodDates =
    QStringLiteral("\"DATEFORMAT\"=dword:00000004\r\n\"CENTURY\"=dword:00000001\r\n");

TEST_F(DataModule, ComponentsAreCreatedInOrderWithTheirSettings) {
    m_module = std::make_unique<TDataModule2>();
    TDataModule2& dm = *m_module;
    EXPECT_EQ(TDataModule2::instance(), &dm);
    EXPECT_TRUE(dm.XBaseEnv1->century());
    EXPECT_TRUE(dm.XBaseEnv1->softSeek());
    EXPECT_TRUE(dm.XBaseEnv1->deleted());
    EXPECT_FALSE(dm.XBaseEnv1->exact());
    EXPECT_EQ(dm.XBaseEnv1->dateFormat(), dfWinDefault);
    QStringList names;
    for (QObject* child : dm.children())
        names << child->objectName();
    EXPECT_EQ(names, (QStringList{"XBaseEnv1", "DSMain", "MainT", "DSManuf", "ManufT", "DSLocation",
                                  "LocationT", "XBase1", "XBase2", "XBase3"}));
    EXPECT_EQ(dm.DSMain->dataSet(), dm.MainT);
    EXPECT_EQ(dm.XBase2->dataSource(), dm.DSManuf);
    EXPECT_EQ(dm.MainT->indexName(), QString());
    EXPECT_EQ(dm.ManufT->indexName().toStdString(), "COMPANY");
    EXPECT_EQ(dm.LocationT->indexName().toStdString(), "NAME_ID");
    EXPECT_EQ(dm.MainT->fieldDefs().size(), 20);
    EXPECT_EQ(dm.ManufT->fieldDefs().size(), 15);
    EXPECT_EQ(dm.LocationT->fieldDefs().size(), 16);
    EXPECT_TRUE(allClosed()) << "no table opens before the creation handler";
    EXPECT_TRUE(dm.DataPath.isEmpty());
}

TEST_F(DataModule, GoodSettingsOpenTheTablesFromTheDataPath) {
    QString folder = m_tables.path();
    folder.chop(1);  // stored without the final "/"
    settings(path(folder) + kGoodDates);
    TDataModule2& dm = create();
    EXPECT_EQ(dm.DataPath, m_tables.path());
    EXPECT_EQ(dm.XBaseEnv1->dateFormat(), dfGerman);
    EXPECT_EQ(qly::dates::shortDateFormat().toStdString(), "dd.mm.yyyy");
    EXPECT_TRUE(m_errors.isEmpty()) << m_errors.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(dm.MainT->active());
    EXPECT_EQ(dm.MainT->resolvedPath(), m_tables.path() + QStringLiteral("MAIN.DBF"));
    EXPECT_EQ(dm.MainT->recordCount(), 36);
    // needs the compound indexes for the COMPANY and NAME_ID orders
    EXPECT_TRUE(dm.ManufT->active());
    EXPECT_TRUE(dm.LocationT->active());
}

TEST_F(DataModule, AMissingOrMistypedValueStopsTheCreationWithItsMessage) {
    struct Case {
        const char* name;
        QString values;
        const char* message;
    };
    const QString folder = m_tables.path();
    const std::vector<Case> cases = {
        {"no DATEFORMAT", path(folder) + QStringLiteral("\"CENTURY\"=dword:00000000\r\n"),
         "Failed to get data for 'DATEFORMAT'"},
        {"no CENTURY", path(folder) + QStringLiteral("\"DATEFORMAT\"=dword:00000002\r\n"),
         "Failed to get data for 'CENTURY'"},
        {"DATEFORMAT a string",
         path(folder) + QStringLiteral("\"DATEFORMAT\"=\"4\"\r\n\"CENTURY\"=dword:00000001\r\n"),
         "Invalid data type for 'DATEFORMAT'"},
        {"PATH a number", QStringLiteral("\"PATH\"=dword:00000001\r\n") + kGoodDates,
         "Invalid data type for 'PATH'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_errors.clear();
        m_module.reset();
        settings(c.values);
        TDataModule2& dm = create();
        EXPECT_EQ(m_errors, QStringList{QString::fromLatin1(c.message)});
        EXPECT_TRUE(allClosed());
        EXPECT_TRUE(dm.XBaseEnv1->century()) << "century keeps the form's setting";
        EXPECT_EQ(dm.XBaseEnv1->dateFormat(), dfWinDefault);
        EXPECT_FALSE(dm.DataPath.endsWith(QStringLiteral("//")));
        if (QString::fromLatin1(c.name) != QStringLiteral("PATH a number"))
            EXPECT_EQ(dm.DataPath, folder) << "PATH was read before the failure";
        else
            EXPECT_TRUE(dm.DataPath.isEmpty()) << "the data path is not defaulted";
    }
}

TEST_F(DataModule, DateFormatOutsideZeroToSixChangesNothingAndAnyNonZeroCenturyIsTrue) {
    struct Case {
        const char* dateFormat;
        const char* century;
        TXBaseDateFrmt format;
        bool centuryOn;
    };
    for (const Case& c : {Case{"00000007", "00000005", dfWinDefault, true},
                          Case{"ffffffff", "00000000", dfWinDefault, false},
                          Case{"00000000", "00000000", dfAmerican, false},
                          Case{"00000006", "00000001", dfSpanish, true}}) {
        SCOPED_TRACE(c.dateFormat);
        m_errors.clear();
        m_module.reset();
        settings(path(m_tables.path()) +
                 QStringLiteral("\"DATEFORMAT\"=dword:%1\r\n\"CENTURY\"=dword:%2\r\n")
                     .arg(QString::fromLatin1(c.dateFormat), QString::fromLatin1(c.century)));
        TDataModule2& dm = create();
        EXPECT_TRUE(settingsErrors().isEmpty());
        EXPECT_EQ(dm.XBaseEnv1->dateFormat(), c.format);
        EXPECT_EQ(dm.XBaseEnv1->century(), c.centuryOn);
        EXPECT_EQ(qly::dates::shortDateFormat().contains(QStringLiteral("yyyy")), c.centuryOn);
    }
}

TEST_F(DataModule, AnEmptyOrAbsentPathGivesTheProgramsFolder) {
    QString programFolder = m_tables.path();
    programFolder.chop(1);
    for (const QString& values : {kGoodDates, QStringLiteral("\"PATH\"=\"\"\r\n") + kGoodDates}) {
        m_module.reset();
        settings(values);
        TDataModule2& dm = create(programFolder);
        EXPECT_EQ(dm.DataPath, m_tables.path());
        EXPECT_TRUE(dm.MainT->active());
    }
}

TEST_F(DataModule, SettingsThatCannotBeOpenedLeaveTheDefaultsAndTheTablesOpen) {
    QFile f(m_settings.filePath(QStringLiteral("QLY32.reg")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("this is no registry file\n\"DATEFORMAT\"=dword:00000004\n");
    f.close();
    TDataModule2& dm = create(m_tables.path());
    EXPECT_TRUE(settingsErrors().isEmpty());
    EXPECT_EQ(dm.DataPath, m_tables.path());
    EXPECT_TRUE(dm.XBaseEnv1->century());
    EXPECT_EQ(dm.XBaseEnv1->dateFormat(), dfWinDefault);
    EXPECT_TRUE(dm.MainT->active());
}

TEST_F(DataModule, GarbageLinesInTheSettingsFileAreIgnored) {
    settings(QStringLiteral("garbage without quotes\r\n; a comment\r\n=dword:zz\r\n") +
             path(m_tables.path()) + kGoodDates);
    TDataModule2& dm = create();
    EXPECT_EQ(dm.XBaseEnv1->dateFormat(), dfGerman);
    EXPECT_EQ(dm.DataPath, m_tables.path());
}

TEST_F(DataModule, AMissingTableIsReportedAndTheTablesAfterItStayClosed) {
    QFile::remove(m_tables.file(QStringLiteral("MANUFACT.DBF")));
    const QByteArray main = m_tables.contents(QStringLiteral("MAIN.DBF"));
    settings(path(m_tables.path()) + kGoodDates);
    TDataModule2& dm = create();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains(QStringLiteral("MANUFACT.DBF")))
        << m_errors.front().toStdString();
    EXPECT_TRUE(dm.MainT->active());
    EXPECT_FALSE(dm.ManufT->active());
    EXPECT_FALSE(dm.LocationT->active());
    dm.MainT->close();
    EXPECT_EQ(m_tables.contents(QStringLiteral("MAIN.DBF")), main);
}

TEST_F(DataModule, ADataPathThatDoesNotExistIsReportedWithTheFirstTable) {
    settings(path(m_tables.path() + QStringLiteral("no/such/folder")) + kGoodDates);
    create();
    ASSERT_EQ(m_errors.size(), 1);
    EXPECT_TRUE(m_errors.front().contains(QStringLiteral("no/such/folder/MAIN.DBF")))
        << m_errors.front().toStdString();
    EXPECT_TRUE(allClosed());
    EXPECT_FALSE(QDir(m_tables.path() + QStringLiteral("no")).exists()) << "nothing is created";
}

TEST_F(DataModule, APostOnTheItemsTableWritesTheCountPane) {
    FixtureFolder empty("empty");
    settings(path(empty.path()) + kGoodDates);
    m_module = std::make_unique<TDataModule2>();
    QStringList pane;
    m_module->countPaneWriter = [&](const QString& text) { pane << text; };
    m_module->settingsFile = m_settings.filePath(QStringLiteral("QLY32.reg")).toStdString();
    m_module->DataModule2Create();
    TDataModule2& dm = *m_module;
    ASSERT_TRUE(dm.MainT->active());
    dm.MainT->insert();
    dm.MainT->fieldByName("NAME")->setAsString(QStringLiteral("First"));
    dm.MainT->post();
    EXPECT_EQ(pane, QStringList{QStringLiteral(" Total Records: 1")});
    dm.MainT->deleteRecord();
    dm.XBase1->setFilter(QStringLiteral("NAME=\"X\""));
    EXPECT_EQ(pane.size(), 1) << "deleting and filtering leave the pane alone";

    m_module->countPaneWriter = nullptr;
    dm.MainT->insert();
    dm.MainT->fieldByName("NAME")->setAsString(QStringLiteral("Second"));
    dm.MainT->post();  // no pane registered: nothing happens
}

TEST_F(DataModule, DestroyingTheModuleClosesTheTablesAndFreesTheEnvironment) {
    settings(path(m_tables.path()) + kGoodDates);
    create();
    m_module->MainT->edit();
    m_module->MainT->fieldByName("NAME")->setAsString(QStringLiteral("Unposted"));
    m_module.reset();
    EXPECT_EQ(TXBaseEnv::instance(), nullptr);
    EXPECT_EQ(TDataModule2::instance(), nullptr);
    TDbTable t;
    t.setDatabaseName(m_tables.path());
    t.setTableName(QStringLiteral("MAIN.DBF"));
    t.setExclusive(true);
    t.open();  // nothing holds the file any more
    EXPECT_EQ(t.fieldByName("NAME")->asString().toStdString(), "Laser printer #1");
}

}  // namespace
