// Import…, Export… and Deleted Records… of the main window, driven as a user
// drives them: menus clicked, file names typed, buttons pressed; the window's
// tables, grid, lookups and count pane checked afterwards.

#include "ProgramRun.h"

#include "app/Application.h"
#include "app/Program.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "ui/dialogs/DeletedRecords.h"
#include "ui/dialogs/ImportExport.h"
#include "ui/main/Main.h"
#include "widgets/data/DBGrid.h"
#include "widgets/data/DBLookupCombo.h"

#include <QAbstractItemModel>
#include <QCheckBox>
#include <QComboBox>
#include <QDirIterator>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QToolButton>

#include <memory>

using qlytest::BoxCatcher;
using qlytest::child;
using qlytest::Installation;
using qlytest::Run;

namespace {

std::unique_ptr<Run> start() {
    auto run = std::make_unique<Run>();
    run->installation = std::make_unique<Installation>();
    run->program = std::make_unique<qly::Program>();
    if (!run->program->start())
        return run;
    run->window = run->program->mainWindow();
    run->dm = run->program->dataModule();
    run->window->show();
    run->window->activateWindow();
    if (!QTest::qWaitForWindowActive(run->window))
        qWarning("window not active");
    return run;
}

// Opens a menu of the menu bar with a click and clicks one of its items.
void clickMenuItem(TMain* w, const char* menuName, const char* actionName) {
    QMenuBar* bar = w->menuBar();
    auto* menu = child<QMenu>(w, menuName);
    QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
    QTRY_VERIFY(menu->isVisible());
    QAction* action = child<QAction>(w, actionName);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    QTRY_VERIFY(!menu->isVisible());
}

// Makes a window the active one, as a click on it does for a user (the
// offscreen platform leaves the main window active).
void bringToFront(QWidget* window) {
    window->activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), window);
}

template <typename Dialog>
Dialog* shownDialog(TMain* w) {
    Dialog* found = nullptr;
    for (Dialog* d : w->findChildren<Dialog*>())
        if (d->isVisible())
            found = d;
    if (found)
        bringToFront(found);  // the new window is in front, as it is for a user
    return found;
}

// Picks an entry of a combo box with the keyboard (Home, then Down).
void chooseWithKeys(QComboBox* box, int index) {
    box->setFocus(Qt::TabFocusReason);
    QTest::keyClick(box, Qt::Key_Home);
    for (int i = 0; i < index; ++i)
        QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentIndex(), index);
}

void typeInto(QLineEdit* edit, const QString& text) {
    bringToFront(edit->window());
    QTest::mouseClick(edit, Qt::LeftButton);
    QVERIFY(edit->hasFocus());
    edit->selectAll();
    QTest::keyClicks(edit, text);
    QTest::keyClick(edit, Qt::Key_Tab);  // leaving the box lists the file's columns
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(data);
}

QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The table files and archives of the data folder, with their contents.
QMap<QString, QByteArray> dataFiles(const QString& folder) {
    QMap<QString, QByteArray> files;
    for (QDirIterator it(folder, QDir::Files); it.hasNext();) {
        const QString path = it.next();
        files[QFileInfo(path).fileName()] = readFile(path);
    }
    return files;
}

int backups(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("*.bkp")}, QDir::Files).size();
}

// The field box of a column of the file in the import dialog.
QComboBox* fieldBox(QWidget* dialog, int row) {
    auto* box =
        qobject_cast<QComboBox*>(child<QTableWidget>(dialog, "MappingTable")->cellWidget(row, 1));
    if (!box)
        qFatal("no field box in row %d", row);
    return box;
}

QStringList lookupCompanies(DBLookupCombo* box) {
    QStringList names;
    QAbstractItemModel* model = box->listView()->model();
    for (int r = 0; r < model->rowCount(); ++r)
        names << model->index(r, 0).data().toString().trimmed();
    return names;
}

QString countPane(TMain* w) {
    return child<QLabel>(w, "StaticText3")->text();
}

int gridRows(TMain* w) {
    return child<DBGrid>(w, "DBGrid1")->model()->rowCount();
}

void showListView(TMain* w) {
    if (!w->listViewShown())
        QTest::mouseClick(child<QToolButton>(w, "BarButton2"), Qt::LeftButton);
    QVERIFY(w->listViewShown());
}

}  // namespace

class TestMainExtras : public QObject {
    Q_OBJECT

private slots:
    void menuItemsFollowTheStandardOnes() {
        auto run = start();
        TMain* w = run->window;
        QVERIFY(w);
        const auto texts = [](QMenu* menu) {
            QStringList out;
            for (QAction* a : menu->actions())
                out << (a->isSeparator() ? QStringLiteral("-") : a->text());
            return out;
        };
        QCOMPARE(texts(child<QMenu>(w, "File1")),
                 QStringList({"Maintenance", "Preferences", "-", "Reports", "-", "Exit", "-",
                              "Import…", "-", "Export…"}));
        QCOMPARE(texts(child<QMenu>(w, "Edit1")),
                 QStringList({"Cut", "Copy", "Paste", "Delete", "-", "Deleted Records…"}));
    }

    // Items with the default mapping, then manufacturers with columns mapped
    // and skipped in the dialog: new rows at once in the grid, the count
    // pane, the index order and the lookup lists.
    void importShowsTheNewRowsAtOnce() {
        auto run = start();
        TMain* w = run->window;
        QVERIFY(w);
        const QString items = run->installation->workFolder() + QStringLiteral("items.csv");
        writeFile(items,
                  "name,CATAGORY,QUANTITY,DESCRIPT\r\n"
                  "Imported desk,Desk,2,\"Oak, two drawers\"\r\n"
                  "Imported chair,Chair,5,\r\n");
        showListView(w);
        QCOMPARE(gridRows(w), 36);

        clickMenuItem(w, "File1", "Import1");
        auto* dialog = shownDialog<TImportExport>(w);
        QVERIFY(dialog);
        chooseWithKeys(child<QComboBox>(dialog, "TableBox"), 0);
        typeInto(child<QLineEdit>(dialog, "FileEdit"), items);
        auto* mapping = child<QTableWidget>(dialog, "MappingTable");
        QVERIFY2(mapping->rowCount() == 4,
                 qPrintable(child<QLabel>(dialog, "StatusLabel")->text() + " / " +
                            child<QLineEdit>(dialog, "FileEdit")->text()));
        QCOMPARE(fieldBox(dialog, 0)->currentText(), QStringLiteral("NAME"));
        QTest::mouseClick(child<QPushButton>(dialog, "RunButton"), Qt::LeftButton);
        QTRY_VERIFY(child<QLabel>(dialog, "StatusLabel")->text().startsWith("Imported 2 rows"));
        QCOMPARE(backups(run->installation->dataFolder()), 1);

        QCOMPARE(gridRows(w), 38);
        QCOMPARE(countPane(w), QStringLiteral(" Total Records: 38 "));
        TDbTable* main = run->dm->MainT;
        main->last();
        QCOMPARE(main->fieldByName("NAME")->asString().trimmed(), QStringLiteral("Imported chair"));
        main->prior();
        QCOMPARE(main->fieldByName("DESCRIPT")->asString(), QStringLiteral("Oak, two drawers"));
        // The grid goes on: a move and an edit of the new row post as usual.
        auto* grid = child<DBGrid>(w, "DBGrid1");
        grid->setFocus();
        QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
        QTRY_COMPARE(main->fieldByName("NAME")->asString().trimmed(),
                     QStringLiteral("Imported chair"));

        // Manufacturers: columns mapped and skipped with the keyboard.
        const QString makers = run->installation->workFolder() + QStringLiteral("makers.csv");
        writeFile(makers, "Firm,Town,Remark\r\nAaa First Works,Oslo,ignore me\r\n");
        chooseWithKeys(child<QComboBox>(dialog, "TableBox"), 1);
        typeInto(child<QLineEdit>(dialog, "FileEdit"), makers);
        QCOMPARE(mapping->rowCount(), 3);
        QCOMPARE(fieldBox(dialog, 0)->currentIndex(), 0);  // no such field
        const auto pick = [&](int row, const char* text) {
            QComboBox* combo = fieldBox(dialog, row);
            combo->setFocus(Qt::TabFocusReason);
            QTest::keyClicks(combo, QString::fromLatin1(text));
            QCOMPARE(combo->currentText(), QString::fromLatin1(text));
        };
        pick(0, "COMPANY");
        pick(1, "CITY");
        pick(2, TImportExport::kSkipColumn);
        QTest::mouseClick(child<QPushButton>(dialog, "RunButton"), Qt::LeftButton);
        QTRY_VERIFY(child<QLabel>(dialog, "StatusLabel")->text().startsWith("Imported 1 rows"));
        QVERIFY(!readFile(run->installation->dataFolder() + "MANUFACT.fpt").contains("ignore me"));
        // The COMPANY order has it first; the list view's lookup offers it.
        TDbTable* manuf = run->dm->ManufT;
        manuf->first();
        QCOMPARE(manuf->fieldByName("COMPANY")->asString().trimmed(),
                 QStringLiteral("Aaa First Works"));
        QCOMPARE(manuf->fieldByName("CITY")->asString().trimmed(), QStringLiteral("Oslo"));
        QCOMPARE(lookupCompanies(child<DBLookupCombo>(w, "DBLookupCombo1")).value(0),
                 QStringLiteral("Aaa First Works"));
        QCOMPARE(countPane(w), QStringLiteral(" Total Records: 38 "));
    }

    // A faulty file shows its faults; a dry run of a good one only checks:
    // neither writes a byte or an archive.
    void refusedOrDryRunImportsWriteNothing_data() {
        QTest::addColumn<QByteArray>("csv");
        QTest::addColumn<bool>("dryRun");
        QTest::addColumn<QStringList>("faults");
        QTest::addColumn<QString>("status");
        QTest::newRow("faults") << QByteArray(
                                       "NAME,QUANTITY,PURCHDATE\r\n"
                                       "Good,1,2001-02-03\r\n"
                                       "Word,ten,\r\n"
                                       "Feb 30,1,2001-02-30\r\n"
                                       "Short\r\n")
                                << false
                                << QStringList({"3:2: QUANTITY: 'ten' is not a number",
                                                "4:3: PURCHDATE: '2001-02-30' is not a date",
                                                "5: the row has 1 values"})
                                << QStringLiteral("3 faults");
        QTest::newRow("unknown column")
            << QByteArray("NAME,COLOUR\r\nRed,red\r\n") << false
            << QStringList({"1:2: column 'COLOUR' names no field"}) << QStringLiteral("1 faults");
        QTest::newRow("dry run") << QByteArray("NAME,QUANTITY\r\nOne,1\r\nTwo,2\r\n") << true
                                 << QStringList() << QStringLiteral("2 rows can be imported");
    }

    void refusedOrDryRunImportsWriteNothing() {
        QFETCH(QByteArray, csv);
        QFETCH(bool, dryRun);
        QFETCH(QStringList, faults);
        QFETCH(QString, status);
        auto run = start();
        TMain* w = run->window;
        QVERIFY(w);
        showListView(w);
        const QString file = run->installation->workFolder() + QStringLiteral("in.csv");
        writeFile(file, csv);
        const QMap<QString, QByteArray> before = dataFiles(run->installation->dataFolder());

        clickMenuItem(w, "File1", "Import1");
        auto* dialog = shownDialog<TImportExport>(w);
        QVERIFY(dialog);
        typeInto(child<QLineEdit>(dialog, "FileEdit"), file);
        if (dryRun)
            QTest::mouseClick(child<QCheckBox>(dialog, "DryRunBox"), Qt::LeftButton);
        QTest::mouseClick(child<QPushButton>(dialog, "RunButton"), Qt::LeftButton);
        QTRY_VERIFY2(child<QLabel>(dialog, "StatusLabel")->text().contains(status),
                     qPrintable(child<QLabel>(dialog, "StatusLabel")->text()));
        auto* list = child<QListWidget>(dialog, "FaultList");
        QCOMPARE(list->count(), faults.size());
        for (int k = 0; k < faults.size(); ++k)
            QVERIFY2(list->item(k)->text().startsWith(faults[k]),
                     qPrintable(list->item(k)->text()));
        QCOMPARE(dataFiles(run->installation->dataFolder()), before);
        QCOMPARE(gridRows(w), 36);
        QCOMPARE(countPane(w), QStringLiteral(" Total Records: 36 "));
        QVERIFY(run->boxes.texts.isEmpty());
    }

    void exportWritesTheCheckedFields() {
        auto run = start();
        TMain* w = run->window;
        QVERIFY(w);
        clickMenuItem(w, "File1", "Export1");
        auto* dialog = shownDialog<TImportExport>(w);
        QVERIFY(dialog);
        chooseWithKeys(child<QComboBox>(dialog, "TableBox"), 2);
        auto* fields = child<QTableWidget>(dialog, "MappingTable");
        QTRY_COMPARE(fields->item(0, 0)->text(), QStringLiteral("NAME_ID"));
        // The second field (ADDRESS, a rich-text memo) unchecked with the space bar.
        fields->setFocus();
        QTest::mouseClick(fields->viewport(), Qt::LeftButton, {},
                          fields->visualItemRect(fields->item(1, 0)).center());
        QTest::keyClick(fields, Qt::Key_Space);
        QCOMPARE(fields->item(1, 0)->checkState(), Qt::Unchecked);
        const QString out = run->installation->workFolder() + QStringLiteral("locations.csv");
        typeInto(child<QLineEdit>(dialog, "FileEdit"), out);
        QTest::mouseClick(child<QPushButton>(dialog, "RunButton"), Qt::LeftButton);
        QTRY_VERIFY(child<QLabel>(dialog, "StatusLabel")->text().startsWith("Exported 7 records"));
        const QByteArray csv = readFile(out);
        QVERIFY2(csv.startsWith("NAME_ID,DIVISION,"), csv.left(80).constData());
        QVERIFY(!csv.contains("ADDRESS"));
        QCOMPARE(csv.count("\r\n"), 8);
    }

    // Listed, found, recalled: the record is back in the grid, the pages and
    // the lookups at once, and the count pane says so.
    void recalledRecordsAreListedAgainEverywhere() {
        auto run = start();
        TMain* w = run->window;
        QVERIFY(w);
        clickMenuItem(w, "Edit1", "DeletedRecords1");
        auto* dialog = shownDialog<TDeletedRecords>(w);
        QVERIFY(dialog);
        auto* list = child<QTableWidget>(dialog, "RecordList");
        QCOMPARE(list->rowCount(), 4);
        const auto visibleRows = [list] {
            QList<int> rows;
            for (int r = 0; r < list->rowCount(); ++r)
                if (!list->isRowHidden(r))
                    rows << r;
            return rows;
        };
        QTest::keyClicks(child<QLineEdit>(dialog, "FilterEdit"), QStringLiteral("laptop #7"));
        QCOMPARE(visibleRows().size(), 1);
        const int row = visibleRows().first();
        QCOMPARE(list->item(row, 0)->text(), QStringLiteral("7"));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(row, 1)).center());
        QTest::mouseClick(child<QPushButton>(dialog, "RecallButton"), Qt::LeftButton);
        QTRY_COMPARE(list->rowCount(), 3);
        QCOMPARE(child<QLabel>(dialog, "StatusLabel")->text(),
                 QStringLiteral("Recalled 1 records"));

        showListView(w);
        QCOMPARE(gridRows(w), 37);
        QCOMPARE(countPane(w), QStringLiteral(" Total Records: 37 "));
        TDbTable* main = run->dm->MainT;
        QVERIFY(main->gotoRecord(7));
        QCOMPARE(main->fieldByName("NAME")->asString().trimmed(), QStringLiteral("Laptop #7"));

        // A manufacturer: back in its page's order and in the lookup list.
        chooseWithKeys(child<QComboBox>(dialog, "TableBox"), 1);
        QCOMPARE(list->rowCount(), 2);
        child<QLineEdit>(dialog, "FilterEdit")->clear();
        QTest::keyClicks(child<QLineEdit>(dialog, "FilterEdit"), QStringLiteral("5"));
        const QList<int> rows = visibleRows();
        QVERIFY(!rows.isEmpty());
        QCOMPARE(list->item(rows.first(), 0)->text(), QStringLiteral("5"));
        const QString company = list->item(rows.first(), 1)->text();
        QVERIFY(!lookupCompanies(child<DBLookupCombo>(w, "DBLookupCombo1")).contains(company));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(rows.first(), 0)).center());
        QTest::mouseClick(child<QPushButton>(dialog, "RecallButton"), Qt::LeftButton);
        QTRY_COMPARE(list->rowCount(), 1);
        QVERIFY(lookupCompanies(child<DBLookupCombo>(w, "DBLookupCombo1")).contains(company));
        QVERIFY(run->dm->ManufT->findNearest(company));
        QCOMPARE(run->dm->ManufT->fieldByName("COMPANY")->asString().trimmed(), company);

        // Nothing selected: nothing recalled, and the window says why.
        list->clearSelection();
        QTest::mouseClick(child<QPushButton>(dialog, "RecallButton"), Qt::LeftButton);
        QCOMPARE(list->rowCount(), 1);
        QCOMPARE(child<QLabel>(dialog, "StatusLabel")->text(),
                 QStringLiteral("Select the records to recall."));
        QVERIFY(run->boxes.texts.isEmpty());

        // An item deleted in the window meanwhile joins the open list.
        chooseWithKeys(child<QComboBox>(dialog, "TableBox"), 0);
        child<QLineEdit>(dialog, "FilterEdit")->clear();
        QCOMPARE(list->rowCount(), 3);
        run->boxes.setAnswer(QMessageBox::Yes);
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        auto* grid = child<DBGrid>(w, "DBGrid1");
        grid->setFocus();
        QTRY_VERIFY(grid->hasFocus());
        QTest::keySequence(grid, QKeySequence(QStringLiteral("Ctrl+Del")));
        QCOMPARE(run->boxes.texts.size(), 1);
        QTRY_COMPARE(list->rowCount(), 4);
        QCOMPARE(gridRows(w), 36);
    }
};

int main(int argc, char** argv) {
    QlyApplication application(argc, argv);
    TestMainExtras test;
    return QTest::qExec(&test, argc, argv);
}

#include "ui_main_extras_test.moc"
