#include "base/FileSystem.h"
#include "data/Error.h"
#include "settings/DataPath.h"
#include "settings/SettingsStore.h"
#include "ui/dialogs/DialogMessages.h"
#include "ui/dialogs/FolderPicker.h"
#include "ui/dialogs/Preferences.h"
#include "widgets/help/HelpWindow.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>

namespace {

const QByteArray kHeader = "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\n";

// While it lives, the settings store writes through a file system that
// fails where the test asks it to.
class FaultySettings {
public:
    FaultySettings() : m_faulty(qly::FileSystem::posix()) {
        m_old = qly::setSettingsFileSystem(&m_faulty);
    }
    ~FaultySettings() { qly::setSettingsFileSystem(m_old); }
    qly::FaultyFileSystem* operator->() { return &m_faulty; }

private:
    qly::FaultyFileSystem m_faulty;
    qly::FileSystem* m_old = nullptr;
};

}  // namespace

class TestPreferences : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formLooksAsDesigned();
    void firstRunCreatesTheKeyAndShowsDefaults();
    void readsTheStore_data();
    void readsTheStore();
    void readFailureKeepsWhatWasRead_data();
    void readFailureKeepsWhatWasRead();
    void savingThePathWritesTheTextExactly_data();
    void savingThePathWritesTheTextExactly();
    void savingTheDatesWritesAllThree();
    void saveWithAKeyThatCannotBeOpenedDoesNothing();
    void aDamagedFileIsMovedAsideByTheFirstSave();
    void failedWritesThrowAndStopTheSave();
    void pickerStartsAtTheFolderReadAtCreation();
    void twoDialogsAtOnce();
    void helpButtonsAndF1();
    void closeButtonsCloseTheDialog();

private:
    QString storePath() const { return m_config->path() + QStringLiteral("/KVR/QLY32.reg"); }
    QByteArray storeText() const;
    void writeStore(const QByteArray& values);
    template <class T>
    T* child(QWidget* dialog, const char* name);

    std::unique_ptr<QTemporaryDir> m_config;
    std::unique_ptr<QTemporaryDir> m_help;
    QStringList m_messages;
    // Answers to questions, in order; Yes when none is left.
    QList<QMessageBox::StandardButton> m_answers;
    qly::MessageHook m_oldHook;
};

QByteArray TestPreferences::storeText() const {
    QFile file(storePath());
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    return file.readAll();
}

void TestPreferences::writeStore(const QByteArray& values) {
    QDir().mkpath(m_config->path() + QStringLiteral("/KVR"));
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(kHeader + values);
}

template <class T>
T* TestPreferences::child(QWidget* dialog, const char* name) {
    T* widget = dialog->findChild<T*>(QString::fromLatin1(name));
    if (widget == nullptr)
        qFatal("no child %s", name);
    return widget;
}

void TestPreferences::init() {
    m_config = std::make_unique<QTemporaryDir>();
    m_help = std::make_unique<QTemporaryDir>();
    qputenv("XDG_CONFIG_HOME", m_config->path().toUtf8());
    for (const char* page : {"index.html", "4005.html", "4006.html", "1000.html"}) {
        QFile file(m_help->path() + QLatin1Char('/') + QLatin1String(page));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("<html><head><title>") + page +
                   "</title></head><body>page</body></html>");
    }
    qly::HelpWindow::setHelpFolder(m_help->path());
    m_messages.clear();
    m_answers.clear();
    m_oldHook = qly::setMessageHook([this](QWidget*, qly::MessageKind, const QString& text,
                                           QMessageBox::StandardButtons buttons) {
        m_messages << text;
        if (buttons.testFlag(QMessageBox::Yes))
            return m_answers.isEmpty() ? QMessageBox::Yes : m_answers.takeFirst();
        return QMessageBox::Ok;
    });
}

void TestPreferences::cleanup() {
    qly::setMessageHook(m_oldHook);
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (qobject_cast<TPreferences*>(widget))
            delete widget;
    }
    if (auto* help = qly::HelpWindow::instance())
        help->hide();
}

void TestPreferences::formLooksAsDesigned() {
    writeStore(
        "\"DATEFORMAT\"=dword:00000000\n\"CENTURY\"=dword:00000001\n\"Hints\"=dword:00000000\n");
    TPreferences dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Preferences"));
    QCOMPARE(dialog.size(), QSize(497, 325));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QVERIFY(!(dialog.windowFlags() & Qt::WindowMaximizeButtonHint));
    QCOMPARE(dialog.font().family(), QStringLiteral("Arial"));
    QCOMPARE(dialog.font().pixelSize(), 17);
    QVERIFY(!dialog.isModal());

    auto* pages = child<QTabWidget>(&dialog, "PageControl1");
    QCOMPARE(pages->count(), 2);
    QCOMPARE(pages->tabText(0), QStringLiteral("DB Location"));
    QCOMPARE(pages->tabText(1), QStringLiteral("Date Formats"));
    QCOMPARE(pages->currentIndex(), 0);

    struct Place {
        const char* name;
        QRect rect;
        const char* text;
    };
    const Place places[] = {
        {"Edit1", QRect(23, 51, 251, 27), nullptr},
        {"SpeedButton1", QRect(273, 51, 32, 30), "..."},
        {"Button2", QRect(85, 176, 92, 41), "Save"},
        {"Button1", QRect(214, 176, 91, 41), "Close"},
        {"Button5", QRect(336, 176, 97, 41), "Help"},
        {"RadioGroup1", QRect(12, 12, 261, 237), nullptr},
        {"Button3", QRect(328, 132, 89, 37), "Save"},
        {"Button4", QRect(328, 182, 89, 35), "Close"},
        {"Button6", QRect(328, 232, 89, 33), "Help"},
        {"CheckBox1", QRect(), "Show Century"},
        {"CheckBox2", QRect(), "Show Hints"},
    };
    for (const auto& place : places) {
        auto* widget = child<QWidget>(&dialog, place.name);
        if (!place.rect.isNull())
            QCOMPARE(widget->geometry(), place.rect);
        if (auto* button = qobject_cast<QAbstractButton*>(widget); button && place.text)
            QCOMPARE(button->text(), QString::fromUtf8(place.text));
    }
    QCOMPARE(child<QGroupBox>(&dialog, "RadioGroup1")->title(), QStringLiteral("Date Formats"));
    const QStringList captions = {
        "American (MM/DD/YY)", "Ansi  (YY.MM.DD)",    "British  (DD/MM/YY)", "French  (DD/MM/YY)",
        "German  (DD.MM.YY)",  "Italian  (DD-MM-YY)", "Spanish  (DD-MM-YY)"};
    const auto radios = child<QGroupBox>(&dialog, "RadioGroup1")->findChildren<QRadioButton*>();
    QCOMPARE(radios.size(), 7);
    for (int i = 0; i < 7; ++i)
        QCOMPARE(radios[i]->text(), captions[i]);
}

void TestPreferences::firstRunCreatesTheKeyAndShowsDefaults() {
    QVERIFY(!QFile::exists(storePath()));
    TPreferences dialog;
    QCOMPARE(storeText(), kHeader);
    QCOMPARE(m_messages, QStringList{QStringLiteral("Could not open Registry!")});
    const QString programFolder = QString::fromStdString(qly::programFolder());
    QCOMPARE(programFolder, QCoreApplication::applicationDirPath() + QLatin1Char('/'));
    QCOMPARE(child<QLineEdit>(&dialog, "Edit1")->text(), programFolder);
    QCOMPARE(TPreferences::dataPath(), programFolder);
    QVERIFY(child<QCheckBox>(&dialog, "CheckBox1")->isChecked());
    QVERIFY(!child<QCheckBox>(&dialog, "CheckBox2")->isChecked());
    QVERIFY(child<QRadioButton>(&dialog, "RadioItem2")->isChecked());
    QCOMPARE(child<QTabWidget>(&dialog, "PageControl1")->currentIndex(), 0);
}

void TestPreferences::readsTheStore_data() {
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("checkedItem");
    QTest::addColumn<bool>("century");
    QTest::addColumn<bool>("hints");
    QTest::addColumn<int>("index");

    const QByteArray flags = "\"CENTURY\"=dword:00000000\n\"Hints\"=dword:00000005\n";
    QTest::newRow("German, path without final slash")
        << QByteArray("\"PATH\"=\"/data/inv\"\n\"DATEFORMAT\"=dword:00000004\n") + flags
        << "/data/inv/"
        << "RadioItem4" << false << true << 4;
    QTest::newRow("DATEFORMAT 9 shows British")
        << QByteArray("\"PATH\"=\"/data/inv/\"\n\"DATEFORMAT\"=dword:00000009\n") + flags
        << "/data/inv/"
        << "RadioItem2" << false << true << 9;
    QTest::newRow("American, expandable path, century on")
        << QByteArray(
               "\"path\"=hex(2):2f,78,00\n\"DATEFORMAT\"=dword:0\n\"CENTURY\"=dword:7\n\"Hints\"="
               "dword:0\n")
        << "/x/"
        << "RadioItem0" << true << false << 0;
    QTest::newRow("empty PATH is the program's folder")
        << QByteArray("\"PATH\"=\"\"\n\"DATEFORMAT\"=dword:00000006\n") + flags << QString()
        << "RadioItem6" << false << true << 6;
}

void TestPreferences::readsTheStore() {
    QFETCH(QByteArray, values);
    QFETCH(QString, edit);
    QFETCH(QString, checkedItem);
    QFETCH(bool, century);
    QFETCH(bool, hints);
    QFETCH(int, index);
    if (edit.isEmpty())
        edit = QString::fromStdString(qly::programFolder());

    writeStore(values);
    TPreferences dialog;
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(child<QLineEdit>(&dialog, "Edit1")->text(), edit);
    QCOMPARE(TPreferences::dataPath(), edit);
    QVERIFY(child<QRadioButton>(&dialog, checkedItem.toUtf8().constData())->isChecked());
    QCOMPARE(child<QCheckBox>(&dialog, "CheckBox1")->isChecked(), century);
    QCOMPARE(child<QCheckBox>(&dialog, "CheckBox2")->isChecked(), hints);
    QCOMPARE(TPreferences::dateFormatIndex(), index);
    QCOMPARE(storeText(), kHeader + values);  // reading changes nothing
}

void TestPreferences::readFailureKeepsWhatWasRead_data() {
    QTest::addColumn<QByteArray>("values");
    QTest::addColumn<QString>("edit");
    QTest::addColumn<QString>("checkedItem");
    QTest::addColumn<bool>("century");

    QTest::newRow("CENTURY missing: path kept without its slash, Italian kept")
        << QByteArray("\"PATH\"=\"/x\"\n\"DATEFORMAT\"=dword:00000005\n\"Hints\"=dword:00000001\n")
        << "/x"
        << "RadioItem5" << true;
    QTest::newRow("Hints missing: century already read")
        << QByteArray(
               "\"PATH\"=\"/x/\"\n\"DATEFORMAT\"=dword:00000001\n\"CENTURY\"=dword:00000000\n")
        << "/x/"
        << "RadioItem1" << false;
    QTest::newRow("PATH of the wrong type")
        << QByteArray("\"PATH\"=dword:00000001\n\"DATEFORMAT\"=dword:00000004\n") << QString()
        << "RadioItem2" << true;
    QTest::newRow("DATEFORMAT as a string")
        << QByteArray("\"PATH\"=\"/y\"\n\"DATEFORMAT\"=\"4\"\n\"CENTURY\"=dword:00000000\n") << "/y"
        << "RadioItem2" << true;
}

void TestPreferences::readFailureKeepsWhatWasRead() {
    QFETCH(QByteArray, values);
    QFETCH(QString, edit);
    QFETCH(QString, checkedItem);
    QFETCH(bool, century);
    if (edit.isEmpty())
        edit = QString::fromStdString(qly::programFolder());

    // An earlier dialog's values do not leak into this one.
    writeStore(
        "\"PATH\"=\"/earlier/"
        "\"\n\"DATEFORMAT\"=dword:00000003\n\"CENTURY\"=dword:0\n\"Hints\"=dword:0\n");
    { TPreferences earlier; }
    writeStore(values);
    TPreferences dialog;
    QCOMPARE(m_messages, QStringList{QStringLiteral("Could not open Registry!")});
    QCOMPARE(child<QLineEdit>(&dialog, "Edit1")->text(), edit);
    QVERIFY(child<QRadioButton>(&dialog, checkedItem.toUtf8().constData())->isChecked());
    QCOMPARE(child<QCheckBox>(&dialog, "CheckBox1")->isChecked(), century);
    QVERIFY(!child<QCheckBox>(&dialog, "CheckBox2")->isChecked());
}

void TestPreferences::savingThePathWritesTheTextExactly_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("no final slash, folder missing")
        << "/no/such/folder" << QByteArray("\"PATH\"=\"/no/such/folder\"\n");
    QTest::newRow("empty") << "" << QByteArray("\"PATH\"=\"\"\n");
    QTest::newRow("quotes and backslashes")
        << "/a \"b\"\\c/" << QByteArray("\"PATH\"=\"/a \\\"b\\\"\\\\c/\"\n");
}

void TestPreferences::savingThePathWritesTheTextExactly() {
    QFETCH(QString, text);
    QFETCH(QByteArray, line);
    TPreferences dialog;
    m_messages.clear();
    auto* edit = child<QLineEdit>(&dialog, "Edit1");
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, text);
    QTest::mouseClick(child<QPushButton>(&dialog, "Button2"), Qt::LeftButton);
    QCOMPARE(storeText(), kHeader + line);
    QCOMPARE(
        m_messages,
        QStringList{QStringLiteral("Changes will take effect the next time you start QLY32.")});
    QCOMPARE(edit->text(), text);  // saving does not add the slash
}

void TestPreferences::savingTheDatesWritesAllThree() {
    writeStore(
        "\"PATH\"=\"/keep/"
        "\"\n\"DATEFORMAT\"=dword:00000004\n\"CENTURY\"=dword:00000001\n\"Hints\"=dword:"
        "00000000\n");
    TPreferences dialog;
    // Untouched controls are written all the same.
    QTest::mouseClick(child<QPushButton>(&dialog, "Button3"), Qt::LeftButton);
    QCOMPARE(storeText(), kHeader +
                              "\"PATH\"=\"/keep/\"\n\"DATEFORMAT\"=dword:00000004\n"
                              "\"CENTURY\"=dword:00000001\n\"Hints\"=dword:00000000\n");
    QCOMPARE(
        m_messages,
        QStringList{QStringLiteral("Changes will take effect the next time you start QLY32!")});

    child<QTabWidget>(&dialog, "PageControl1")->setCurrentIndex(1);
    QTest::mouseClick(child<QRadioButton>(&dialog, "RadioItem3"), Qt::LeftButton);
    QCOMPARE(TPreferences::dateFormatIndex(), 3);
    QTest::mouseClick(child<QCheckBox>(&dialog, "CheckBox1"), Qt::LeftButton);
    QTest::mouseClick(child<QCheckBox>(&dialog, "CheckBox2"), Qt::LeftButton);
    child<QPushButton>(&dialog, "Button3")->click();
    QCOMPARE(storeText(), kHeader +
                              "\"PATH\"=\"/keep/\"\n\"DATEFORMAT\"=dword:00000003\n"
                              "\"CENTURY\"=dword:00000000\n\"Hints\"=dword:00000001\n");
    QCOMPARE(m_messages.size(), 2);

    // A first save into an empty key writes the three values only.
    QFile::remove(storePath());
    TPreferences fresh;
    child<QPushButton>(&fresh, "Button3")->click();
    QCOMPARE(storeText(), kHeader +
                              "\"DATEFORMAT\"=dword:00000002\n\"CENTURY\"=dword:00000001\n"
                              "\"Hints\"=dword:00000000\n");
}

void TestPreferences::saveWithAKeyThatCannotBeOpenedDoesNothing() {
    TPreferences dialog;
    m_messages.clear();
    // A folder in place of the file: the key cannot be opened.
    QVERIFY(QFile::remove(storePath()));
    QVERIFY(QDir().mkpath(storePath()));
    dialog.Button2Click();
    dialog.Button3Click();
    QVERIFY(m_messages.isEmpty());
    QVERIFY(QFileInfo(storePath()).isDir());
    QCOMPARE(TPreferences::dateFormatIndex(), 2);

    // A dialog created now reads nothing and says nothing.
    TPreferences unreadable;
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(child<QLineEdit>(&unreadable, "Edit1")->text(),
             QString::fromStdString(qly::programFolder()));
    QVERIFY(child<QRadioButton>(&unreadable, "RadioItem2")->isChecked());
    QVERIFY(QFileInfo(storePath()).isDir());
}

void TestPreferences::aDamagedFileIsMovedAsideByTheFirstSave() {
    writeStore("");
    QFile file(storePath());
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("not a registry file\n");
    file.close();

    // The damaged file cannot be opened for reading: nothing is read.
    TPreferences dialog;
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(child<QLineEdit>(&dialog, "Edit1")->text(),
             QString::fromStdString(qly::programFolder()));
    QCOMPARE(storeText(), QByteArray("not a registry file\n"));
    m_messages.clear();

    dialog.show();
    auto* edit = child<QLineEdit>(&dialog, "Edit1");
    edit->selectAll();
    QTest::keyClicks(edit, QStringLiteral("/typed/"));
    QTest::mouseClick(child<QPushButton>(&dialog, "Button2"), Qt::LeftButton);
    QCOMPARE(m_messages, QStringList{QString::fromUtf8(TPreferences::kMsgPathSaved)});
    QCOMPARE(storeText(), kHeader + "\"PATH\"=\"/typed/\"\n");
    QFile aside(storePath() + QStringLiteral(".damaged"));
    QVERIFY(aside.open(QIODevice::ReadOnly));
    QCOMPARE(aside.readAll(), QByteArray("not a registry file\n"));
}

void TestPreferences::failedWritesThrowAndStopTheSave() {
    TPreferences dialog;
    m_messages.clear();
    child<QLineEdit>(&dialog, "Edit1")->setText(QString(300, QLatin1Char('p')));
    // A full disk, a failing sync and a failing rename each stop the save
    // with the old file as it was.
    for (int fault = 0; fault < 3; ++fault) {
        FaultySettings faulty;
        if (fault == 0)
            faulty->failWritesAfter(10);
        else if (fault == 1)
            faulty->failSync(1);
        else
            faulty->failRename(1);
        try {
            dialog.Button2Click();
            QFAIL("no error");
        } catch (const QlyError& error) {
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("Failed to set data for 'PATH'"));
        }
        QCOMPARE(storeText(), kHeader);
        QCOMPARE(
            QDir(m_config->path() + QStringLiteral("/KVR")).entryList(QDir::Files | QDir::Hidden),
            QStringList{QStringLiteral("QLY32.reg")});
    }

    // DATEFORMAT fits, CENTURY no longer does: the first stays written.
    const QByteArray afterFirst = kHeader + "\"DATEFORMAT\"=dword:00000002\n";
    {
        FaultySettings faulty;
        faulty->failWritesAfter(afterFirst.size());
        try {
            dialog.Button3Click();
            QFAIL("no error");
        } catch (const QlyError& error) {
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("Failed to set data for 'CENTURY'"));
        }
    }
    QCOMPARE(storeText(), afterFirst);
    QVERIFY(m_messages.isEmpty());
}

void TestPreferences::pickerStartsAtTheFolderReadAtCreation() {
    QTemporaryDir data;
    const QString start = data.path() + QStringLiteral("/start");
    QVERIFY(QDir().mkpath(start));
    writeStore("\"PATH\"=\"" + start.toUtf8() +
               "\"\n\"DATEFORMAT\"=dword:2\n\"CENTURY\"=dword:1\n\"Hints\"=dword:0\n");
    TPreferences dialog;
    dialog.show();
    auto* edit = child<QLineEdit>(&dialog, "Edit1");
    edit->setText(QStringLiteral("/typed/elsewhere"));

    const QString created = data.path() + QStringLiteral("/new/deeper");
    QStringList starts;
    std::function<void(FolderPicker*)> step;
    auto drive = [&] {
        // Runs inside the picker's event loop.
        QTimer::singleShot(0, [&] {
            auto* picker = qobject_cast<FolderPicker*>(QApplication::activeModalWidget());
            if (!picker) {
                QFAIL("no picker");
                return;
            }
            starts << picker->startFolder();
            step(picker);
        });
    };

    m_answers = {QMessageBox::No, QMessageBox::Yes};
    step = [&](FolderPicker* picker) {
        QCOMPARE(picker->findChild<QLineEdit*>(QStringLiteral("FolderEdit"))->text(), start);
        picker->findChild<QLineEdit*>(QStringLiteral("FolderEdit"))->setText(created);
        picker->accept();  // No: stays open
        QVERIFY(picker->isVisible());
        QVERIFY(!QFileInfo::exists(created));
        picker->accept();  // Yes: created with its parent, picker closes
    };
    drive();
    QTest::mouseClick(child<QToolButton>(&dialog, "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(m_messages, (QStringList{QString::fromUtf8(FolderPicker::kMsgCreateFolder),
                                      QString::fromUtf8(FolderPicker::kMsgCreateFolder)}));
    QVERIFY(QFileInfo(created).isDir());
    QCOMPARE(edit->text(), created);

    // Again: the picker starts at the folder read at creation; Cancel keeps the box.
    step = [&](FolderPicker* picker) { picker->reject(); };
    drive();
    QTest::mouseClick(child<QToolButton>(&dialog, "SpeedButton1"), Qt::LeftButton);
    QCOMPARE(starts, (QStringList{start + QLatin1Char('/'), start + QLatin1Char('/')}));
    QCOMPARE(edit->text(), created);

    // Help in the picker shows context 1000; a typed relative name is taken
    // inside the selected folder; an existing folder needs no question.
    m_messages.clear();
    step = [&](FolderPicker* picker) {
        picker->showHelp();
        QCOMPARE(qly::HelpWindow::instance()->currentContext(), 1000);
        picker->findChild<QLineEdit*>(QStringLiteral("FolderEdit"))->setText(QStringLiteral(".."));
        picker->accept();
    };
    drive();
    dialog.SpeedButton1Click();
    QVERIFY(m_messages.isEmpty());
    QCOMPARE(edit->text(), data.path());
}

void TestPreferences::twoDialogsAtOnce() {
    writeStore(
        "\"PATH\"=\"/first\"\n\"DATEFORMAT\"=dword:1\n\"CENTURY\"=dword:1\n\"Hints\"=dword:0\n");
    auto* first = new TPreferences;
    first->show();
    writeStore(
        "\"PATH\"=\"/second/\"\n\"DATEFORMAT\"=dword:5\n\"CENTURY\"=dword:0\n\"Hints\"=dword:1\n");
    auto* second = new TPreferences;
    second->show();
    QVERIFY(first->isVisible() && second->isVisible());
    QVERIFY(!first->isModal() && !second->isModal());
    QCOMPARE(child<QLineEdit>(first, "Edit1")->text(), QStringLiteral("/first/"));
    QCOMPARE(child<QLineEdit>(second, "Edit1")->text(), QStringLiteral("/second/"));
    QVERIFY(child<QRadioButton>(first, "RadioItem1")->isChecked());
    QVERIFY(child<QRadioButton>(second, "RadioItem5")->isChecked());
    // The two values are shared: the later dialog wrote them.
    QCOMPARE(TPreferences::dataPath(), QStringLiteral("/second/"));
    QCOMPARE(TPreferences::dateFormatIndex(), 5);
    child<QRadioButton>(first, "RadioItem0")->click();
    QCOMPARE(TPreferences::dateFormatIndex(), 0);

    // A dialog opened after a save shows the saved values.
    child<QPushButton>(first, "Button3")->click();
    TPreferences third;
    QVERIFY(child<QRadioButton>(&third, "RadioItem0")->isChecked());
    QVERIFY(child<QCheckBox>(&third, "CheckBox1")->isChecked());
}

void TestPreferences::helpButtonsAndF1() {
    writeStore("\"DATEFORMAT\"=dword:2\n\"CENTURY\"=dword:1\n\"Hints\"=dword:0\n");
    TPreferences dialog;
    dialog.show();
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));

    auto* help = qly::HelpWindow::instance();
    QTest::keyClick(&dialog, Qt::Key_F1);
    QCOMPARE(help->currentContext(), 4005);
    QCOMPARE(QFileInfo(help->currentFile()).fileName(), QStringLiteral("4005.html"));

    child<QPushButton>(&dialog, "Button5")->click();
    QCOMPARE(help->currentContext(), 0);
    QCOMPARE(QFileInfo(help->currentFile()).fileName(), QStringLiteral("index.html"));

    child<QTabWidget>(&dialog, "PageControl1")->setCurrentIndex(1);
    dialog.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QTest::keyClick(&dialog, Qt::Key_F1);
    QCOMPARE(help->currentContext(), 4006);
    child<QPushButton>(&dialog, "Button6")->click();
    QCOMPARE(QFileInfo(help->currentFile()).fileName(), QStringLiteral("index.html"));
}

void TestPreferences::closeButtonsCloseTheDialog() {
    for (const char* name : {"Button1", "Button4"}) {
        QPointer<TPreferences> dialog = new TPreferences;
        dialog->show();
        child<QPushButton>(dialog, name)->click();
        QTRY_VERIFY(dialog.isNull());  // closed and released
    }
    QPointer<TPreferences> escaped = new TPreferences;
    escaped->show();
    QTest::keyClick(escaped, Qt::Key_Escape);
    QTRY_VERIFY(escaped.isNull());
    // Neither Save closes the dialog.
    TPreferences dialog;
    dialog.show();
    child<QPushButton>(&dialog, "Button2")->click();
    child<QPushButton>(&dialog, "Button3")->click();
    QVERIFY(dialog.isVisible());
}

QTEST_MAIN(TestPreferences)
#include "ui_preferences_test.moc"
