#include "archive/Archiver.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "data/XBase.h"
#include "settings/DataPath.h"
#include "support/FixtureFolder.h"
#include "ui/dialogs/DialogMessages.h"
#include "ui/dialogs/Maint.h"
#include "widgets/help/HelpWindow.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QTabWidget>
#include <QTemporaryDir>

#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

namespace {

const char* const kAllFiles[] = {"Main.dbf",     "Main.cdx",     "Main.fpt",
                                 "Location.dbf", "Location.cdx", "Location.fpt",
                                 "Manufact.dbf", "Manufact.cdx", "Manufact.fpt"};

struct Message {
    qly::MessageKind kind;
    QString text;
    QMessageBox::StandardButtons buttons;
};

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The records the table shows, by their NAME (or first field).
QStringList visibleNames(TDbTable* table, const char* field) {
    QStringList names;
    table->first();
    while (!table->eof()) {
        names << table->fieldByName(QString::fromLatin1(field))->asString();
        table->next();
    }
    table->first();
    return names;
}

// The file of a folder whose name matches without regard to case.
QString fileIn(const QString& folder, const QString& name) {
    for (const QString& entry : QDir(folder).entryList(QDir::Files)) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return folder + entry;
    }
    return folder + name;
}

}  // namespace

// The open tables keep their open markers beside them; only the table files
// themselves are counted.
static QStringList withoutOpenMarkers(QStringList names) {
    names.removeIf([](const QString& n) { return n.contains(QStringLiteral(".qly-open.")); });
    return names;
}

class TestMaint : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formLooksAsDesigned();
    void anUnreadablePathIsSaidAndTheDialogOpens();
    void tableChoiceFillsTheBackupList_data();
    void tableChoiceFillsTheBackupList();
    void backupWritesTheChosenTables_data();
    void backupWritesTheChosenTables();
    void floppyRuleLooksAtTheFirstCharacterOnly_data();
    void floppyRuleLooksAtTheFirstCharacterOnly();
    void floppyBackupAsksForTheNextDisk();
    void backupFailuresAndRefusals();
    void cancelInTheFileDialogsChangesNothing();
    void restoreOfOneTableReopensTheTablesWithTheirFilter();
    void restoreOfAnArchiveFromAnotherFolderIntoAChangedDataPath();
    void restoreOfAMissingArchiveReopensFromTheOldFolder();
    void restoreIntoAFolderThatDoesNotExistYet();
    void restoreOfACutArchiveRaisesAndReopensTheTables();
    void reindexEachTable_data();
    void reindexEachTable();
    void reindexWithTheTableInUseFails();
    void aFailedReindexShowsTheEngineMessage();
    void aFailedRestoreReopensTheTablesWithTheirFilter();
    void safetyArchivesKeepTheNewestFive();
    void runningOperationShowsProgressAndBlocksASecond();
    void closingDuringABackupWaitsForIt();
    void closeAndAFreshDialog();
    void helpButtonsAndF1();

private:
    TMaint* newDialog();
    void writeSettings(const QString& path);
    void copySample(const QString& folder);
    template <class T>
    T* child(QWidget* dialog, const char* name);
    void choose(TMaint* dialog, const char* group, int item);
    QStringList texts() const;

    std::unique_ptr<QTemporaryDir> m_root;
    QString m_data;  // the data folder (PATH), with "/"
    QString m_out;   // a folder for archives, with "/"
    std::unique_ptr<TDataModule2> m_module;
    QList<Message> m_messages;
    QList<QMessageBox::StandardButton> m_answers;  // for OK/Cancel boxes; OK when none left
    QList<TMaint::FileRequest> m_requests;
    QString m_fileAnswer;  // what the file dialogs return
    std::function<void()> m_duringFileDialog;
    qly::MessageHook m_oldHook;
    QString m_oldFolder;
};

void TestMaint::writeSettings(const QString& path) {
    QDir().mkpath(m_root->path() + QStringLiteral("/config/KVR"));
    QFile file(m_root->path() + QStringLiteral("/config/KVR/QLY32.reg"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\n\"PATH\"=\"" +
               path.toUtf8() +
               "\"\n\"DATEFORMAT\"=dword:00000000\n\"CENTURY\"=dword:00000001\n\"Hints\"=dword:"
               "00000001\n");
}

void TestMaint::copySample(const QString& folder) {
    QCOMPARE(QString::fromStdString(qly::test::copyFixtureSet("sample", folder.toStdString())),
             QString());
    QVERIFY(QFile::remove(folder + QStringLiteral("LOOKUP.DBF")));  // the tables only
}

void TestMaint::init() {
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    m_data = m_root->path() + QStringLiteral("/data/");
    m_out = m_root->path() + QStringLiteral("/out/");
    QDir().mkpath(m_out);
    copySample(m_data);
    qputenv("XDG_CONFIG_HOME", (m_root->path() + QStringLiteral("/config")).toUtf8());
    writeSettings(m_data);
    m_oldFolder = QDir::currentPath();
    QDir::setCurrent(m_out);

    const QString help = m_root->path() + QStringLiteral("/help/");
    QDir().mkpath(help);
    for (const char* page : {"index.html", "4001.html", "4002.html", "4003.html"}) {
        QFile file(help + QLatin1String(page));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("<html><body>") + page + "</body></html>");
    }
    qly::HelpWindow::setHelpFolder(help);

    m_module = std::make_unique<TDataModule2>();
    m_module->errorReporter = [](const QString& message) { QFAIL(qPrintable(message)); };
    m_module->DataModule2Create();
    QVERIFY(m_module->MainT->active() && m_module->ManufT->active() &&
            m_module->LocationT->active());

    m_messages.clear();
    m_answers.clear();
    m_requests.clear();
    m_fileAnswer.clear();
    m_duringFileDialog = nullptr;
    m_oldHook = qly::setMessageHook([this](QWidget*, qly::MessageKind kind, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
        m_messages << Message{kind, text, buttons};
        if (buttons.testFlag(QMessageBox::Cancel))
            return m_answers.isEmpty() ? QMessageBox::Ok : m_answers.takeFirst();
        return QMessageBox::Ok;
    });
    TMaint::fileDialogHook = [this](QWidget*, const TMaint::FileRequest& request) {
        m_requests << request;
        if (m_duringFileDialog)
            m_duringFileDialog();
        return m_fileAnswer;
    };
}

void TestMaint::cleanup() {
    TMaint::fileDialogHook = nullptr;
    qly::setMessageHook(m_oldHook);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<TMaint*>(widget))
            delete widget;
    }
    if (auto* help = qly::HelpWindow::instance())
        help->hide();
    m_module.reset();
    QDir::setCurrent(m_oldFolder);
    m_root.reset();
}

TMaint* TestMaint::newDialog() {
    auto* dialog = new TMaint(m_module.get());
    dialog->show();
    return dialog;
}

template <class T>
T* TestMaint::child(QWidget* dialog, const char* name) {
    T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr)
        qFatal("no child %s", name);
    return widget;
}

void TestMaint::choose(TMaint* dialog, const char* group, int item) {
    const QString name =
        QString::fromLatin1(group) + QStringLiteral("Item") + QString::number(item);
    child<QRadioButton>(dialog, name.toLatin1().constData())->click();
}

QStringList TestMaint::texts() const {
    QStringList list;
    for (const Message& m : m_messages)
        list << m.text;
    return list;
}

// ---- The form

void TestMaint::formLooksAsDesigned() {
    // At design size: shown, the dialog is fitted to the screen.
    auto* dialog = new TMaint(m_module.get());
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Maintenance"));
    QCOMPARE(dialog->size(), QSize(517, 327));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
    QVERIFY(!dialog->isModal());
    QCOMPARE(dialog->font().family(), QStringLiteral("Arial"));
    QCOMPARE(dialog->font().pixelSize(), 17);

    auto* pages = child<QTabWidget>(dialog, "PageControl1");
    QCOMPARE(pages->count(), 3);
    QCOMPARE(pages->tabText(0), QStringLiteral("Backup Database"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Restore Database"));
    QCOMPARE(pages->tabText(2), QStringLiteral("Re-Index"));
    QCOMPARE(pages->currentIndex(), 0);

    auto* group1 = child<QGroupBox>(dialog, "RadioGroup1");
    QCOMPARE(group1->title(), QStringLiteral("Database Tables"));
    QCOMPARE(group1->geometry(), QRect(16, 16, 233, 257));
    const QStringList items1 = {"Main.dbf", "Location.dbf", "Manufacturers.dbf", "All Tables"};
    for (int i = 0; i < items1.size(); ++i) {
        auto* item = child<QRadioButton>(
            dialog, QStringLiteral("RadioGroup1Item%1").arg(i).toLatin1().constData());
        QCOMPARE(item->text(), items1[i]);
        QVERIFY(!item->isChecked());
    }
    auto* group2 = child<QGroupBox>(dialog, "RadioGroup2");
    QCOMPARE(group2->title(), QStringLiteral("Choose Table"));
    QCOMPARE(group2->geometry(), QRect(24, 16, 225, 241));
    const QStringList items2 = {"Main", "Manufacturer", "Location"};
    for (int i = 0; i < items2.size(); ++i) {
        auto* item = child<QRadioButton>(
            dialog, QStringLiteral("RadioGroup2Item%1").arg(i).toLatin1().constData());
        QCOMPARE(item->text(), items2[i]);
        QVERIFY(!item->isChecked());
    }

    struct ButtonCase {
        const char* name;
        const char* text;
        QRect place;
        bool enabled;
    };
    const ButtonCase buttons[] = {
        {"Button1", "Backup", QRect(360, 56, 105, 49), false},
        {"Button2", "Close", QRect(360, 152, 105, 41), true},
        {"Button7", "Help", QRect(360, 232, 105, 41), true},
        {"Button3", "Restore", QRect(64, 176, 97, 41), true},
        {"Button4", "Close", QRect(216, 176, 97, 41), true},
        {"Button8", "Help", QRect(368, 176, 97, 41), true},
        {"Button5", "Start", QRect(328, 112, 97, 41), false},
        {"Button6", "Close", QRect(328, 168, 97, 41), true},
        {"Button9", "Help", QRect(328, 224, 97, 41), true},
    };
    for (const ButtonCase& b : buttons) {
        auto* button = child<QPushButton>(dialog, b.name);
        QCOMPARE(button->text(), QString::fromLatin1(b.text));
        QCOMPARE(button->geometry(), b.place);
        QCOMPARE(button->isEnabled(), b.enabled);
    }
    QVERIFY(child<QListWidget>(dialog, "ListBox1")->isHidden());

    auto* memo1 = child<QPlainTextEdit>(dialog, "Memo1");
    QVERIFY(memo1->isReadOnly());
    QCOMPARE(memo1->toPlainText().split(QLatin1Char('\n')),
             QStringList({"To restore data that has been backed up, left ",
                          "click the restore button and choose the file to be ", "restored."}));
    QCOMPARE(memo1->geometry(), QRect(64, 24, 385, 89));
    auto* memo2 = child<QPlainTextEdit>(dialog, "Memo2");
    QCOMPARE(memo2->toPlainText().split(QLatin1Char('\n')),
             QStringList({"Choose a table then ", "click start to re-index."}));
    QCOMPARE(memo2->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    QCOMPARE(TMaint::maintFolder(), m_data);
    QVERIFY(child<QLabel>(dialog, "SafetyLabel")->text().isEmpty());
}

void TestMaint::anUnreadablePathIsSaidAndTheDialogOpens() {
    // A PATH of the wrong type: the settings message, then the dialog opens
    // on the program's folder, as with no PATH (it used to throw and never
    // open, unlike the preferences dialog).
    QFile file(m_root->path() + QStringLiteral("/config/KVR/QLY32.reg"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\n\"PATH\"=dword:00000001\n");
    file.close();
    TMaint dialog(m_module.get());
    QCOMPARE(m_messages.size(), 1);
    QCOMPARE(m_messages[0].text, QStringLiteral("Could not open Registry!"));
    QCOMPARE(TMaint::maintFolder(), QString::fromStdString(qly::programFolder()));
}

// ---- Backup

void TestMaint::tableChoiceFillsTheBackupList_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<QStringList>("files");
    QTest::newRow("Main.dbf") << 0 << QStringList({"Main.dbf", "Main.cdx", "Main.fpt"});
    QTest::newRow("Location.dbf") << 1
                                  << QStringList({"Location.dbf", "Location.cdx", "Location.fpt"});
    QTest::newRow("Manufacturers.dbf")
        << 2 << QStringList({"Manufact.dbf", "Manufact.cdx", "Manufact.fpt"});
    QStringList all;
    for (const char* name : kAllFiles)
        all << QString::fromLatin1(name);
    QTest::newRow("All Tables") << 3 << all;
}

void TestMaint::tableChoiceFillsTheBackupList() {
    QFETCH(int, item);
    QFETCH(QStringList, files);
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 3 - item);  // another choice first: the list is emptied
    choose(dialog, "RadioGroup1", item);
    QStringList expected;
    for (const QString& file : files)
        expected << m_data + file;
    QCOMPARE(dialog->backupList(), expected);
    QVERIFY(child<QPushButton>(dialog, "Button1")->isEnabled());
}

void TestMaint::backupWritesTheChosenTables_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<int>("fileCount");
    QTest::newRow("Main.dbf") << 0 << 3;
    QTest::newRow("All Tables") << 3 << 9;
}

void TestMaint::backupWritesTheChosenTables() {
    QFETCH(int, item);
    QFETCH(int, fileCount);
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", item);
    m_fileAnswer = m_out + QStringLiteral("tables.bkp");
    QTest::mouseClick(child<QPushButton>(dialog, "Button1"), Qt::LeftButton);

    QCOMPARE(m_requests.size(), 1);
    QVERIFY(m_requests[0].save);
    QCOMPARE(m_requests[0].filter, QStringLiteral("QLY32 Backup Files(*.bkp)"));
    QCOMPARE(m_requests[0].defaultSuffix, QStringLiteral("bkp"));
    const int rate = dialog->archiver().CompressionRate();
    QVERIFY(rate > 0);
    QCOMPARE(texts(),
             QStringList({QStringLiteral("Backup sucessful. Compression rate = %1 %").arg(rate)}));
    QCOMPARE(dialog->archiver().FileCount(), fileCount);
    QCOMPARE(dialog->archiver().MaxSize(), 0);
    QVERIFY(m_module->MainT->active());  // the tables stay open

    // The archive holds the table files as they are.
    qly::archive::TArchiver reader;
    const QString check = m_root->path() + QStringLiteral("/check/");
    QVERIFY(reader.Restore(m_fileAnswer.toStdString(), check.toStdString()));
    QCOMPARE(reader.ProcessedFiles(), fileCount);
    for (const QString& file : dialog->backupList())
        QCOMPARE(readAll(fileIn(check, QFileInfo(file).fileName())),
                 readAll(fileIn(m_data, QFileInfo(file).fileName())));
}

void TestMaint::floppyRuleLooksAtTheFirstCharacterOnly_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("floppy");
    QTest::newRow("A:\\data.bkp") << QStringLiteral("A:\\data.bkp") << true;
    QTest::newRow("a:\\data.bkp") << QStringLiteral("a:\\data.bkp") << true;
    QTest::newRow("archive.bkp") << QStringLiteral("archive.bkp") << true;
    QTest::newRow("b:\\data.bkp") << QStringLiteral("b:\\data.bkp") << false;
    QTest::newRow("xa.bkp") << QStringLiteral("xa.bkp") << false;
    QTest::newRow("absolute") << QStringLiteral("%1A.bkp") << false;
}

void TestMaint::floppyRuleLooksAtTheFirstCharacterOnly() {
    QFETCH(QString, name);
    QFETCH(bool, floppy);
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 1);
    m_fileAnswer = name.contains(QLatin1String("%1")) ? name.arg(m_out)
                                                      : name;  // relative names land in m_out
    dialog->Button1Click();
    const QString done = QStringLiteral("Backup sucessful. Compression rate = %1 %")
                             .arg(dialog->archiver().CompressionRate());
    if (floppy)
        QCOMPARE(texts(), QStringList({QString::fromLatin1(TMaint::kMsgFloppy), done}));
    else
        QCOMPARE(texts(), QStringList({done}));
    QCOMPARE(dialog->archiver().MaxSize(), floppy ? 1400000 : 0);
    QVERIFY(QFileInfo::exists(QDir(m_out).absoluteFilePath(m_fileAnswer)));
}

void TestMaint::floppyBackupAsksForTheNextDisk() {
    // A memo file larger than one volume: incompressible bytes appended.
    m_module->MainT->close();
    {
        QFile fpt(fileIn(m_data, QStringLiteral("Main.fpt")));
        QVERIFY(fpt.open(QIODevice::Append));
        QByteArray noise(1600000, '\0');
        QRandomGenerator random(7);
        for (char& c : noise)
            c = static_cast<char>(random.bounded(256));
        fpt.write(noise);
    }
    m_module->MainT->open();

    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 0);
    m_fileAnswer = QStringLiteral("a.bkp");
    m_answers << QMessageBox::Cancel;
    dialog->Button1Click();
    QCOMPARE(texts(), QStringList({QString::fromLatin1(TMaint::kMsgFloppy),
                                   QStringLiteral("Please insert disk 2 and click OK to continue."),
                                   QString::fromLatin1(TMaint::kMsgBackupFailed)}));
    QCOMPARE(m_messages[1].kind, qly::MessageKind::Information);
    QCOMPARE(m_messages[1].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QVERIFY(QFileInfo(m_out + QStringLiteral("a.bkp")).size() <= 1400000);
}

void TestMaint::backupFailuresAndRefusals() {
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 3);

    // The archive cannot be created: the component's error box, then the
    // dialog's message.
    m_fileAnswer = m_out + QStringLiteral("no such folder/tables.bkp");
    dialog->Button1Click();
    QCOMPARE(texts(), QStringList({QStringLiteral("Cannot write to archive"),
                                   QString::fromLatin1(TMaint::kMsgBackupFailed)}));
    QCOMPARE(m_messages[0].kind, qly::MessageKind::Error);

    // A backup written over one of its own table files would destroy it:
    // refused before anything is written, in any letter case.
    const QByteArray before = readAll(fileIn(m_data, QStringLiteral("Location.cdx")));
    for (const QString& name : {m_data + QStringLiteral("LOCATION.CDX"),
                                fileIn(m_data, QStringLiteral("Location.cdx"))}) {
        m_messages.clear();
        m_fileAnswer = name;
        dialog->Button1Click();
        QCOMPARE(texts(), QStringList({QString::fromLatin1(TMaint::kMsgArchiveIsSource)}));
        QCOMPARE(readAll(fileIn(m_data, QStringLiteral("Location.cdx"))), before);
    }
}

void TestMaint::cancelInTheFileDialogsChangesNothing() {
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 3);
    m_fileAnswer.clear();
    QTest::mouseClick(child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    QTest::mouseClick(child<QPushButton>(dialog, "Button3"), Qt::LeftButton);
    QCOMPARE(m_requests.size(), 2);
    QVERIFY(!m_requests[1].save);
    QCOMPARE(m_requests[1].folder, m_data);
    QCOMPARE(m_requests[1].filter, QStringLiteral("Backup Files [*.bkp] (*.bkp)"));
    QVERIFY(m_messages.isEmpty());
    QVERIFY(m_module->MainT->active() && m_module->ManufT->active() &&
            m_module->LocationT->active());
    QCOMPARE(QDir(m_out).entryList(QDir::Files), QStringList());
    QCOMPARE(QDir(m_data).entryList({"*.bkp"}, QDir::Files), QStringList());
}

// ---- Restore

void TestMaint::restoreOfOneTableReopensTheTablesWithTheirFilter() {
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 0);
    m_fileAnswer = m_out + QStringLiteral("main.bkp");
    dialog->Button1Click();

    // Changes after the backup: one more item; and a filter in force.
    TDbTable* mainT = m_module->MainT;
    mainT->append();
    mainT->fieldByName(QStringLiteral("NAME"))->setAsString(QStringLiteral("Added later"));
    mainT->fieldByName(QStringLiteral("CATAGORY"))->setAsString(QStringLiteral("Desk"));
    mainT->post();
    m_module->XBase1->setFilter(QStringLiteral("CATAGORY=\"Desk\""));
    QVERIFY(visibleNames(mainT, "NAME").contains(QStringLiteral("Added later")));
    const QByteArray beforeRestore = readAll(fileIn(m_data, QStringLiteral("Main.dbf")));

    m_messages.clear();
    QTest::mouseClick(child<QPushButton>(dialog, "Button3"), Qt::LeftButton);
    QCOMPARE(texts(),
             QStringList({QStringLiteral("Restore successfully finished, 3 files of 3 restored")}));
    QVERIFY(mainT->active() && m_module->ManufT->active() && m_module->LocationT->active());
    for (TDbTable* table : {mainT, m_module->ManufT, m_module->LocationT})
        QCOMPARE(table->databaseName(), m_data);
    QVERIFY(!visibleNames(mainT, "NAME").contains(QStringLiteral("Added later")));
    const QStringList categories = visibleNames(mainT, "CATAGORY");
    QVERIFY(!categories.isEmpty());
    for (const QString& category : categories)
        QVERIFY2(category.startsWith(QLatin1String("Desk")),
                 qPrintable(category));  // the filter is back

    // The tables as they were before the restore are in a safety archive of
    // the data folder, which the restore page names.
    const QStringList safety =
        QDir(m_data + "backups").entryList({"before-restore-*.bkp"}, QDir::Files);
    QCOMPARE(safety.size(), 1);
    QCOMPARE(dialog->lastSafetyArchive(), safety[0]);
    QVERIFY(child<QLabel>(dialog, "SafetyLabel")->text().endsWith(safety[0]));
    qly::archive::TArchiver reader;
    const QString check = m_root->path() + QStringLiteral("/check/");
    QVERIFY(reader.Restore((m_data + "backups/" + safety[0]).toStdString(), check.toStdString()));
    QCOMPARE(reader.FileCount(), 9);
    QCOMPARE(readAll(fileIn(check, QStringLiteral("Main.dbf"))), beforeRestore);

    // A second restore: its safety archive holds the tables only, not the
    // first safety archive.
    m_messages.clear();
    dialog->Button3Click();
    QStringList newer = QDir(m_data + "backups").entryList({"before-restore-*.bkp"}, QDir::Files);
    QCOMPARE(newer.size(), 2);
    newer.removeOne(safety[0]);
    QCOMPARE(dialog->lastSafetyArchive(), newer[0]);
    qly::archive::TArchiver second;
    QVERIFY(second.Restore((m_data + "backups/" + newer[0]).toStdString(),
                           (m_root->path() + QStringLiteral("/check2/")).toStdString()));
    QCOMPARE(second.FileCount(), 9);
    // A new dialog names the newest safety archive.
    TMaint* fresh = newDialog();
    QCOMPARE(fresh->lastSafetyArchive(), newer[0]);
}

void TestMaint::restoreOfAnArchiveFromAnotherFolderIntoAChangedDataPath() {
    // An archive of other copies of the tables, with lower-case names.
    const QString other = m_root->path() + QStringLiteral("/other/");
    QDir().mkpath(other);
    const QDir fixtures(QStringLiteral(QLY_FIXTURES_DIR "/foxpro/sample"));
    for (const char* name : {"Location.dbf", "Location.cdx", "Location.fpt"})
        QVERIFY(QFile::copy(fixtures.filePath(QString::fromLatin1(name)),
                            other + QString::fromLatin1(name).toLower()));
    qly::archive::TArchiver writer;
    QVERIFY(writer.Backup({(other + QStringLiteral("location.*")).toStdString()},
                          (m_out + QStringLiteral("other.bkp")).toStdString()));

    // The data path changed in the preferences after start-up.
    const QString moved = m_root->path() + QStringLiteral("/moved/");
    copySample(moved);
    QFile::remove(fileIn(moved, QStringLiteral("Location.dbf")));
    QFile::copy(fixtures.filePath(QStringLiteral("MANUFACT.DBF")),
                moved + QStringLiteral("Location.dbf"));
    writeSettings(moved.chopped(1));  // without the final "/": the rule appends it

    TMaint* dialog = newDialog();
    QCOMPARE(TMaint::maintFolder(), moved);
    m_fileAnswer = m_out + QStringLiteral("other.bkp");
    dialog->Button3Click();
    QCOMPARE(texts(),
             QStringList({QStringLiteral("Restore successfully finished, 3 files of 3 restored")}));
    // Restored under the names already there, into the maintenance folder.
    for (const char* name : {"Location.dbf", "Location.cdx", "Location.fpt"})
        QCOMPARE(readAll(fileIn(moved, QString::fromLatin1(name))),
                 readAll(other + QString::fromLatin1(name).toLower()));
    QCOMPARE(withoutOpenMarkers(QDir(moved).entryList({"location.*"}, QDir::Files)).size(), 3);
    for (TDbTable* table : {m_module->MainT, m_module->ManufT, m_module->LocationT}) {
        QCOMPARE(table->databaseName(), moved);
        QVERIFY(table->active());
    }
    QCOMPARE(QFileInfo(m_module->LocationT->resolvedPath()).absolutePath() + QLatin1Char('/'),
             moved);
    QVERIFY(visibleNames(m_module->LocationT, "NAME_ID").size() > 0);
}

void TestMaint::restoreOfAMissingArchiveReopensFromTheOldFolder() {
    const QString moved = m_root->path() + QStringLiteral("/moved/");
    copySample(moved);
    writeSettings(moved);
    TMaint* dialog = newDialog();
    m_fileAnswer = m_out + QStringLiteral("missing.bkp");
    dialog->Button3Click();
    QCOMPARE(texts(), QStringList({QString::fromLatin1(TMaint::kMsgRestoreFailed)}));
    for (TDbTable* table : {m_module->MainT, m_module->ManufT, m_module->LocationT}) {
        QVERIFY(table->active());
        QCOMPARE(table->databaseName(), m_data);
    }
    // Nothing was replaced, so no safety archive either.
    QCOMPARE(QDir(moved).entryList({"*.bkp"}, QDir::Files), QStringList());
}

void TestMaint::restoreIntoAFolderThatDoesNotExistYet() {
    TMaint* first = newDialog();
    choose(first, "RadioGroup1", 3);
    m_fileAnswer = m_out + QStringLiteral("all.bkp");
    first->Button1Click();

    const QString fresh = m_root->path() + QStringLiteral("/new/place/");
    writeSettings(fresh);
    TMaint* dialog = newDialog();
    m_messages.clear();
    dialog->Button3Click();
    QCOMPARE(texts(),
             QStringList({QStringLiteral("Restore successfully finished, 9 files of 9 restored")}));
    for (TDbTable* table : {m_module->MainT, m_module->ManufT, m_module->LocationT}) {
        QVERIFY(table->active());
        QCOMPARE(table->databaseName(), fresh);
    }
    QCOMPARE(withoutOpenMarkers(QDir(fresh).entryList(QDir::Files)).size(),
             9);  // no safety archive: there was nothing to keep
    QVERIFY(dialog->lastSafetyArchive().isEmpty());
}

void TestMaint::restoreOfACutArchiveRaisesAndReopensTheTables() {
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 3);
    m_fileAnswer = m_out + QStringLiteral("cut.bkp");
    dialog->Button1Click();
    {
        QFile archive(m_fileAnswer);
        QVERIFY(archive.open(QIODevice::ReadWrite));
        QVERIFY(archive.resize(archive.size() - 4));  // no end-of-archive record
    }
    QByteArray tables;
    for (const char* name : kAllFiles)
        tables += readAll(fileIn(m_data, QString::fromLatin1(name)));

    m_messages.clear();
    try {
        dialog->Button3Click();
        QFAIL("no error raised");
    } catch (const QlyError& error) {
        QCOMPARE(QString::fromStdString(error.what()), QStringLiteral("Stream read error"));
    }
    QVERIFY(m_messages.isEmpty());
    // Nothing changed on disk, so the tables open again as they were (they
    // used to stay closed until the program restarted).
    QVERIFY(m_module->MainT->active() && m_module->ManufT->active() &&
            m_module->LocationT->active());
    QVERIFY(!dialog->operationRunning());

    // Through the button, the error box shows the message.
    QString shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(10);
    QTest::mouseClick(child<QPushButton>(dialog, "Button3"), Qt::LeftButton);
    poll.stop();
    QCOMPARE(shown, QStringLiteral("Stream read error"));

    // Every member was whole, so nothing was lost; the safety archive holds
    // the tables as they were as well.
    QByteArray after;
    for (const char* name : kAllFiles)
        after += readAll(fileIn(m_data, QString::fromLatin1(name)));
    QCOMPARE(after, tables);
    QCOMPARE(QDir(m_data + "backups").entryList({"before-restore-*.bkp"}, QDir::Files).size(), 2);
}

// ---- Re-index

void TestMaint::reindexEachTable_data() {
    QTest::addColumn<int>("item");
    QTest::addColumn<QString>("message");
    QTest::newRow("Main") << 0 << QStringLiteral("Main Table re-indexed!");
    QTest::newRow("Manufacturer") << 1 << QStringLiteral("Manufacturer Table re-indexed!");
    QTest::newRow("Location") << 2 << QStringLiteral("Location Table re-indexed!");
}

void TestMaint::reindexEachTable() {
    QFETCH(int, item);
    QFETCH(QString, message);
    TDbTable* const tables[] = {m_module->MainT, m_module->ManufT, m_module->LocationT};
    const char* const fields[] = {"NAME", "COMPANY", "NAME_ID"};
    const char* const cdx[] = {"Main.cdx", "Manufact.cdx", "Location.cdx"};
    TDbTable* table = tables[item];
    const QStringList before = visibleNames(table, fields[item]);

    TMaint* dialog = newDialog();
    QVERIFY(!child<QPushButton>(dialog, "Button5")->isEnabled());
    choose(dialog, "RadioGroup2", item);
    QVERIFY(child<QPushButton>(dialog, "Button5")->isEnabled());
    QTest::mouseClick(child<QPushButton>(dialog, "Button5"), Qt::LeftButton);
    QCOMPARE(texts(), QStringList({message}));
    for (TDbTable* t : tables)
        QVERIFY(t->active());
    QVERIFY(!table->exclusive());
    QCOMPARE(visibleNames(table, fields[item]), before);
    QVERIFY(!readAll(fileIn(m_data, QString::fromLatin1(cdx[item]))).isEmpty());

    // Opened shared again: another user of the table can open it.
    TDbTable other;
    other.setDatabaseName(m_data);
    other.setTableName(table->tableName());
    other.open();
    QVERIFY(other.active());
}

void TestMaint::reindexWithTheTableInUseFails() {
    // The reports dialog (or another program) has the table open.
    auto other = std::make_unique<TDbTable>();
    other->setDatabaseName(m_data);
    other->setTableName(QStringLiteral("MANUFACT.DBF"));
    other->open();
    const QByteArray cdx = readAll(fileIn(m_data, QStringLiteral("Manufact.cdx")));

    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup2", 1);
    try {
        dialog->Button5Click();
        QFAIL("no error raised");
    } catch (const QlyError& error) {
        QVERIFY(!QString::fromStdString(error.what()).isEmpty());
    }
    QVERIFY(m_messages.isEmpty());
    // Open again, shared, as it was (it used to be left closed).
    QVERIFY(m_module->ManufT->active());
    QVERIFY(!m_module->ManufT->exclusive());
    QVERIFY(m_module->MainT->active() && m_module->LocationT->active());
    QCOMPARE(readAll(fileIn(m_data, QStringLiteral("Manufact.cdx"))), cdx);

    // Once the other user has gone, the re-index goes through.
    other.reset();
    dialog->Button5Click();
    QCOMPARE(texts(), QStringList({QStringLiteral("Manufacturer Table re-indexed!")}));
    QVERIFY(m_module->ManufT->active());
}

void TestMaint::aFailedReindexShowsTheEngineMessage() {
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup2", 0);
    const QByteArray cdx = readAll(fileIn(m_data, QStringLiteral("Main.cdx")));
    // A folder nothing can be written to (immutable, as root ignores modes).
    const auto setWritable = [this](bool writable) {
        if (::geteuid() != 0) {
            QFile::setPermissions(
                m_data, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                            (writable ? QFileDevice::WriteOwner : QFileDevice::Permissions()));
            return true;
        }
        const int fd = ::open(m_data.toLocal8Bit().constData(), O_RDONLY | O_DIRECTORY);
        int flags = 0;
        bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
        flags = writable ? (flags & ~FS_IMMUTABLE_FL) : (flags | FS_IMMUTABLE_FL);
        ok = ok && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        if (fd >= 0)
            ::close(fd);
        return ok;
    };
    if (!setWritable(false))
        QSKIP("this file system cannot make a folder read-only for root");
    QString shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(10);
    QTest::mouseClick(child<QPushButton>(dialog, "Button5"), Qt::LeftButton);
    poll.stop();
    setWritable(true);
    QVERIFY(!texts().contains(QStringLiteral("Main Table re-indexed!")));
    QVERIFY2(!shown.isEmpty() || !m_messages.isEmpty(), "no error shown");
    QVERIFY(!shown.contains(QStringLiteral("re-indexed")));
    QVERIFY(m_module->MainT->active());
    QVERIFY(!m_module->MainT->exclusive());
    QCOMPARE(readAll(fileIn(m_data, QStringLiteral("Main.cdx"))), cdx);
}

void TestMaint::aFailedRestoreReopensTheTablesWithTheirFilter() {
    TDbTable* mainT = m_module->MainT;
    m_module->XBase1->setFilter(QStringLiteral("CATAGORY=\"Desk\""));
    const QStringList before = visibleNames(mainT, "NAME");
    QVERIFY(!before.isEmpty());
    TMaint* dialog = newDialog();
    QSignalSpy finished(dialog, &TMaint::restoreFinished);
    // A file that is not an archive.
    m_fileAnswer = m_out + QStringLiteral("notes.bkp");
    {
        QFile file(m_fileAnswer);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("this is no archive at all, only some text");
    }
    QString shown;
    QTimer poll;
    connect(&poll, &QTimer::timeout, this, [&shown] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box && box->isVisible()) {
            shown = box->text();
            box->accept();
        }
    });
    poll.start(10);
    QTest::mouseClick(child<QPushButton>(dialog, "Button3"), Qt::LeftButton);
    poll.stop();
    QVERIFY(!shown.isEmpty() || !m_messages.isEmpty());
    QCOMPARE(finished.count(), 1);
    for (TDbTable* table : {mainT, m_module->ManufT, m_module->LocationT})
        QVERIFY(table->active());
    QCOMPARE(visibleNames(mainT, "NAME"), before);  // the filter is back

    // A missing archive: the same.
    m_fileAnswer = m_out + QStringLiteral("missing.bkp");
    poll.start(10);
    QTest::mouseClick(child<QPushButton>(dialog, "Button3"), Qt::LeftButton);
    poll.stop();
    QCOMPARE(finished.count(), 2);
    QCOMPARE(visibleNames(mainT, "NAME"), before);
}

void TestMaint::safetyArchivesKeepTheNewestFive() {
    const QString folder = m_data + QStringLiteral("backups/");
    QDir().mkpath(folder);
    for (int i = 1; i <= 6; ++i) {
        QFile old(folder + QStringLiteral("before-restore-20000101-00000%1.bkp").arg(i));
        QVERIFY(old.open(QIODevice::WriteOnly));
    }
    TMaint* dialog = newDialog();
    choose(dialog, "RadioGroup1", 3);
    m_fileAnswer = m_out + QStringLiteral("all.bkp");
    dialog->Button1Click();
    m_messages.clear();
    QTest::mouseClick(child<QPushButton>(dialog, "Button3"), Qt::LeftButton);
    const QStringList kept =
        QDir(folder).entryList({"before-restore-*.bkp"}, QDir::Files, QDir::Name);
    QCOMPARE(kept.size(), 5);
    QVERIFY(!kept.contains(QStringLiteral("before-restore-20000101-000001.bkp")));
    QVERIFY(!kept.contains(QStringLiteral("before-restore-20000101-000002.bkp")));
    QCOMPARE(dialog->lastSafetyArchive(), kept.last());
    QCOMPARE(child<QLabel>(dialog, "SafetyLabel")->text(),
             QString::fromLatin1(TMaint::kSafetyCaption) +
                 QDir::toNativeSeparators(folder + kept.last()));
}

// ---- Running operations, closing, help

void TestMaint::runningOperationShowsProgressAndBlocksASecond() {
    TMaint* dialog = newDialog();
    TMaint* second = newDialog();
    choose(dialog, "RadioGroup1", 3);
    choose(second, "RadioGroup2", 0);
    m_fileAnswer = m_out + QStringLiteral("all.bkp");
    bool panelShown = false;
    QString fileShown;
    int requestsDuring = -1;
    QStringList messagesDuring;
    bool checked = false;
    dialog->archiver().OnProgress = [&, old = dialog->archiver().OnProgress](
                                        qly::archive::TArchiver& a, const std::string& file,
                                        int percent, bool& cont) {
        old(a, file, percent, cont);
        if (checked || file.empty())
            return;
        checked = true;
        panelShown = child<QWidget>(dialog, "ProgressPanel")->isVisible();
        fileShown = child<QLabel>(dialog, "ProgressFile")->text();
        QVERIFY(dialog->operationRunning());
        const int requests = m_requests.size();
        dialog->Button1Click();  // refused: no file dialog
        dialog->Button3Click();
        second->Button5Click();  // refused in another dialog too
        requestsDuring = m_requests.size() - requests;
        messagesDuring = texts();
    };
    dialog->Button1Click();
    QVERIFY(checked);
    QVERIFY(panelShown);
    QVERIFY(fileShown.compare(QStringLiteral("MAIN.DBF"), Qt::CaseInsensitive) == 0);
    QCOMPARE(requestsDuring, 0);
    QVERIFY(messagesDuring.isEmpty());
    QVERIFY(!child<QWidget>(dialog, "ProgressPanel")->isVisible());
    QVERIFY(!dialog->operationRunning());
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages[0].text.startsWith(QLatin1String("Backup sucessful.")));
}

void TestMaint::closingDuringABackupWaitsForIt() {
    QPointer<TMaint> dialog = newDialog();
    choose(dialog, "RadioGroup1", 3);
    m_fileAnswer = m_out + QStringLiteral("all.bkp");
    bool closed = false;
    dialog->archiver().OnProgress = [&](qly::archive::TArchiver&, const std::string& file, int,
                                        bool&) {
        if (closed || file.empty())
            return;
        closed = true;
        child<QPushButton>(dialog, "Button2")->click();
        QCoreApplication::processEvents();
    };
    QTest::mouseClick(child<QPushButton>(dialog, "Button1"), Qt::LeftButton);
    QVERIFY(closed);
    QCOMPARE(m_messages.size(), 1);
    QVERIFY(m_messages[0].text.startsWith(QLatin1String("Backup sucessful.")));
    QTRY_VERIFY(dialog.isNull());
    qly::archive::TArchiver reader;
    QVERIFY(reader.Restore((m_out + QStringLiteral("all.bkp")).toStdString(),
                           (m_root->path() + QStringLiteral("/check/")).toStdString()));
    QCOMPARE(reader.ProcessedFiles(), 9);
}

void TestMaint::closeAndAFreshDialog() {
    const char* const closeButtons[] = {"Button2", "Button4", "Button6"};
    for (int page = 0; page < 3; ++page) {
        const char* close = closeButtons[page];
        QPointer<TMaint> dialog = newDialog();
        choose(dialog, "RadioGroup1", 0);
        choose(dialog, "RadioGroup2", 0);
        child<QTabWidget>(dialog, "PageControl1")->setCurrentIndex(page);
        QTest::mouseClick(child<QPushButton>(dialog, close), Qt::LeftButton);
        QVERIFY(!dialog->isVisible());
        QVERIFY(!child<QPushButton>(dialog, "Button1")->isEnabled());
        QVERIFY(!child<QPushButton>(dialog, "Button5")->isEnabled());
        QTRY_VERIFY(dialog.isNull());  // not shown again

        TMaint* fresh = newDialog();
        QVERIFY(!child<QPushButton>(fresh, "Button1")->isEnabled());
        QVERIFY(!child<QPushButton>(fresh, "Button5")->isEnabled());
        QVERIFY(fresh->backupList().isEmpty());
        for (QRadioButton* item : fresh->findChildren<QRadioButton*>())
            QVERIFY(!item->isChecked());
        QCOMPARE(child<QTabWidget>(fresh, "PageControl1")->currentIndex(), 0);
        delete fresh;
    }
    // Escape closes as well.
    QPointer<TMaint> dialog = newDialog();
    QTest::keyClick(dialog, Qt::Key_Escape);
    QTRY_VERIFY(dialog.isNull());
}

void TestMaint::helpButtonsAndF1() {
    TMaint* dialog = newDialog();
    auto* pages = child<QTabWidget>(dialog, "PageControl1");
    const char* const buttons[] = {"Button7", "Button8", "Button9"};
    for (int page = 0; page < 3; ++page) {
        pages->setCurrentIndex(page);
        qly::HelpWindow::showTopic(4005);
        QTest::mouseClick(child<QPushButton>(dialog, buttons[page]), Qt::LeftButton);
        QCOMPARE(qly::HelpWindow::instance()->currentContext(), 0);
        QVERIFY(qly::HelpWindow::instance()->currentFile().endsWith(QLatin1String("index.html")));

        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(dialog, Qt::Key_F1);
        QCOMPARE(qly::HelpWindow::instance()->currentContext(), 4001 + page);
    }
}

QTEST_MAIN(TestMaint)
#include "ui_maint_test.moc"
