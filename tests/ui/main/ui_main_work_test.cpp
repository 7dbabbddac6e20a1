// The main window keeps the user's work: keys go to the view shown, the
// boxes show what is stored, leaving posts the pending edit.

#include "ProgramRun.h"

#include "app/Application.h"
#include "app/Program.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "data/XBase.h"
#include "ui/dialogs/Maint.h"
#include "ui/dialogs/Preferences.h"
#include "ui/main/Main.h"
#include "ui/main/pages/ItemPage.h"
#include "ui/main/pages/LocationPage.h"
#include "ui/main/pages/ManufacturerPage.h"
#include "widgets/controls/DBEdit.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/data/DBGrid.h"
#include "widgets/data/DBLookupCombo.h"
#include "widgets/data/DBStateStatus.h"
#include "widgets/help/HelpWindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QHeaderView>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSysInfo>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>
#include <QToolTip>

#include <sys/wait.h>
#include <unistd.h>

#include <memory>

using qlytest::BoxCatcher;
using qlytest::child;
using qlytest::Installation;
using qlytest::Run;

namespace {

std::unique_ptr<Run> start(std::unique_ptr<Installation> installation = nullptr) {
    auto run = std::make_unique<Run>();
    run->installation = installation ? std::move(installation) : std::make_unique<Installation>();
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

QString field(TDbTable* table, const char* name) {
    return table->fieldByName(QString::fromLatin1(name))->asString().trimmed();
}

// The names of every item, in record order, read from the table.
QStringList itemNames(TDbTable* table) {
    QStringList names;
    const long current = table->recNo();
    for (table->first(); !table->eof(); table->next())
        names << field(table, "NAME");
    table->gotoRecord(current);
    return names;
}

// Opens the window's context menu over a widget as a right click does and
// clicks one of its items.
void clickContextItem(TMain* w, QWidget* over, const char* actionName) {
    const QPoint pos = over->rect().center();
    QContextMenuEvent event(QContextMenuEvent::Mouse, pos, over->mapToGlobal(pos));
    QApplication::sendEvent(over, &event);
    QMenu* menu = w->popupMenu();
    QTRY_VERIFY(menu->isVisible());
    QAction* action = child<QAction>(w, actionName);
    QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    QTRY_VERIFY(!menu->isVisible());
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

// The hint a user resting the mouse on the widget sees ("" when none shows).
QString hover(QWidget* widget) {
    QToolTip::hideText();
    QHelpEvent tip(QEvent::ToolTip, QPoint(5, 5), widget->mapToGlobal(QPoint(5, 5)));
    QApplication::sendEvent(widget, &tip);
    return QToolTip::isVisible() ? QToolTip::text() : QString();
}

// The part of the window that the screen shows over the widget, as painted
// by now, and the same part as the widget would paint it afresh.
std::pair<QImage, QImage> shownAndFresh(QWidget* window, QWidget* widget) {
    const QRect area(widget->mapTo(window, QPoint(0, 0)), widget->size());
    const qreal ratio = window->devicePixelRatioF();
    const QRect pixels(area.topLeft() * ratio, area.size() * ratio);
    QImage shown = window->screen()
                       ->grabWindow(window->winId())
                       .toImage()
                       .copy(pixels)
                       .convertToFormat(QImage::Format_RGB32);
    QImage fresh = window->grab(area).toImage().convertToFormat(QImage::Format_RGB32);
    return {shown, fresh};
}

// The focused control is shown, inside the given panel.
void verifyFocusShownIn(QWidget* panel) {
    QWidget* focused = QApplication::focusWidget();
    QVERIFY(focused);
    QVERIFY2(focused->isVisible(), qPrintable(focused->objectName()));
    QVERIFY2(panel->isAncestorOf(focused), qPrintable(focused->objectName()));
}

}  // namespace

class TestMainWork : public QObject {
    Q_OBJECT

private slots:
    void keysGoToTheViewShown_data() {
        QTest::addColumn<QString>("source");
        QTest::newRow("view button") << "button";
        QTest::newRow("View menu") << "menu";
        QTest::newRow("context menu") << "context";
        QTest::newRow("keys") << "keys";
    }

    void keysGoToTheViewShown() {
        QFETCH(QString, source);
        auto run = start();
        TMain* w = run->window;
        const QStringList names = itemNames(run->dm->MainT);
        const auto toList = [&] {
            if (source == QLatin1String("button"))
                QTest::mouseClick(child<QToolButton>(w, "BarButton2"), Qt::LeftButton);
            else if (source == QLatin1String("menu"))
                clickMenuItem(w, "View1", "List1");
            else if (source == QLatin1String("context"))
                clickContextItem(w, child<QWidget>(w, "StaticText4"), "List2");
            else
                QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+L")));
        };
        const auto toDetail = [&] {
            if (source == QLatin1String("button"))
                QTest::mouseClick(child<QToolButton>(w, "BarButton2"), Qt::LeftButton);
            else if (source == QLatin1String("menu"))
                clickMenuItem(w, "View1", "Detail1");
            else if (source == QLatin1String("context"))
                clickContextItem(w, child<QWidget>(w, "StaticText4"), "Detail2");
            else
                QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+D")));
        };

        // The Name box has the focus; the list view takes the keys next.
        auto* name = child<DBEdit>(w, "DBEdit1");
        QTest::mouseClick(name, Qt::LeftButton);
        QTRY_VERIFY(name->hasFocus());
        const QString shownName = name->text();
        toList();
        QVERIFY(w->listViewShown());
        verifyFocusShownIn(child<QWidget>(w, "ListP"));
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(w, "DBGrid1"));
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("XY"));
        QCOMPARE(name->text(), shownName);  // the hidden box got nothing
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTest::keyClick(child<QWidget>(w, "DBGrid1"), Qt::Key_Escape);

        // The category box has the focus; the item page takes the keys next.
        QLineEdit* category = child<QComboBox>(w, "ComboBox1")->lineEdit();
        QTest::mouseClick(category, Qt::LeftButton);
        QTRY_VERIFY(category->hasFocus());
        const QString filter = run->dm->XBase1->filter();
        toDetail();
        QVERIFY(!w->listViewShown());
        verifyFocusShownIn(w->itemPage());
        QCOMPARE(QApplication::focusWidget(), name);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("zz"));
        QCOMPARE(run->dm->XBase1->filter(), filter);
        QCOMPARE(category->text(), QString());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);

        // The other pages take the focus when they are in front.
        child<QTabWidget>(w, "Notebook1")->setCurrentIndex(2);
        toList();
        toDetail();
        verifyFocusShownIn(w->locationPage());

        run->dm->MainT->cancel();
        QCOMPARE(itemNames(run->dm->MainT), names);
    }

    void doubleClickAnywhereOnTheGridSwitches_data() {
        QTest::addColumn<QString>("where");
        QTest::newRow("cell") << "cell";
        QTest::newRow("below the last row") << "below";
        QTest::newRow("title") << "title";
    }

    void doubleClickAnywhereOnTheGridSwitches() {
        QFETCH(QString, where);
        auto run = start();
        TMain* w = run->window;
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+L")));
        auto* grid = child<DBGrid>(w, "DBGrid1");
        // A narrow filter leaves blank space below the rows.
        QLineEdit* category = child<QComboBox>(w, "ComboBox1")->lineEdit();
        QTest::mouseClick(category, Qt::LeftButton);
        QTest::keyClicks(category, QStringLiteral("Copiers"));
        QVERIFY(grid->model()->rowCount() > 1);
        const QStringList names = itemNames(run->dm->MainT);
        const QPoint cell = grid->visualRect(grid->model()->index(1, 0)).center();
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, cell);
        const QString current = field(run->dm->MainT, "NAME");
        QWidget* target = grid->viewport();
        QPoint pos = cell;
        if (where == QLatin1String("below")) {
            pos = QPoint(cell.x(), grid->viewport()->height() - 3);
            QVERIFY(!grid->indexAt(pos).isValid());
        } else if (where == QLatin1String("title")) {
            target = grid->horizontalHeader()->viewport();
            pos = target->rect().center();
        }
        QTest::mouseDClick(target, Qt::LeftButton, {}, pos);
        QVERIFY(!w->listViewShown());
        QCOMPARE(field(run->dm->MainT, "NAME"), current);
        verifyFocusShownIn(w->itemPage());
        // Typing goes to the shown Name box, never to a hidden grid cell.
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("z"));
        QCOMPARE(QApplication::focusWidget(), child<QWidget>(w, "DBEdit1"));
        QVERIFY(!grid->findChild<QLineEdit*>() || !grid->findChild<QLineEdit*>()->isVisible());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        run->dm->MainT->cancel();
        QCOMPARE(itemNames(run->dm->MainT), names);
    }

    void exitPostsThePendingEdit_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit button") << "button";
        QTest::newRow("File menu") << "menu";
        QTest::newRow("Ctrl+Q") << "keys";
        QTest::newRow("close box") << "close";
    }

    void exitPostsThePendingEdit() {
        QFETCH(QString, how);
        auto run = start();
        TMain* w = run->window;
        const long record = run->dm->MainT->recNo();
        auto* name = child<DBEdit>(w, "DBEdit1");
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_End);
        QTest::keyClicks(name, QStringLiteral(" kept"));
        const QString typed = name->text();
        const auto exit = [&] {
            if (how == QLatin1String("button"))
                QTest::mouseClick(child<QToolButton>(w, "BarButton1"), Qt::LeftButton);
            else if (how == QLatin1String("menu"))
                clickMenuItem(w, "File1", "Exit1");
            else if (how == QLatin1String("keys"))
                QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+Q")));
            else
                w->close();  // what the window's close box asks
        };
        exit();
        QTRY_VERIFY(!w->isVisible());
        QVERIFY(run->boxes.texts.isEmpty());
        // Read back from the file.
        TDbTable table;
        table.setDatabaseName(run->installation->dataFolder());
        table.setTableName(QStringLiteral("MAIN.DBF"));
        table.open();
        QVERIFY(table.gotoRecord(record));
        QCOMPARE(field(&table, "NAME"), typed.trimmed());
    }

    void refusedPostOnExitKeepsTheProgramOpen() {
        auto run = start();
        TMain* w = run->window;
        const long record = run->dm->MainT->recNo();
        const QString before = field(run->dm->MainT, "NAME");
        auto* name = child<DBEdit>(w, "DBEdit1");
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_End);
        // A character the table's code page cannot hold: the post is refused.
        QTest::sendKeyEvent(QTest::Click, name, Qt::Key_unknown, QString(QChar(0x2603)),
                            Qt::NoModifier);
        QVERIFY(name->text().contains(QChar(0x2603)));
        for (const char* how : {"button", "close"}) {
            const qsizetype shown = run->boxes.texts.size();
            if (QByteArray(how) == "button")
                QTest::mouseClick(child<QToolButton>(w, "BarButton1"), Qt::LeftButton);
            else
                w->close();
            QTRY_COMPARE(run->boxes.texts.size(), shown + 1);
            QVERIFY2(run->boxes.texts.last().contains(QStringLiteral("NAME")),
                     qPrintable(run->boxes.texts.last()));
            QVERIFY(w->isVisible());
            QVERIFY(run->dm->MainT->active());
            QCOMPARE(run->dm->MainT->state(), TDataSetState::dsEdit);
            QVERIFY(name->text().contains(QChar(0x2603)));
        }
        // Mended, the work is kept on the way out.
        w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(w));
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClick(name, Qt::Key_End);
        QTest::keyClick(name, Qt::Key_Backspace);
        QTest::keyClicks(name, QStringLiteral("E"));
        QTest::mouseClick(child<QToolButton>(w, "BarButton1"), Qt::LeftButton);
        QTRY_VERIFY(!w->isVisible());
        TDbTable table;
        table.setDatabaseName(run->installation->dataFolder());
        table.setTableName(QStringLiteral("MAIN.DBF"));
        table.open();
        QVERIFY(table.gotoRecord(record));
        QCOMPARE(field(&table, "NAME"), before + QStringLiteral("E"));
    }

    void insertShowsAndPostsEmptyLookupBoxes() {
        auto run = start();
        TMain* w = run->window;
        TDbTable* items = run->dm->MainT;
        DBLookupCombo* manufacturer = w->itemPage()->manufacturerBox();
        DBLookupCombo* location = w->itemPage()->locationBox();
        QVERIFY(!manufacturer->text().isEmpty());
        QVERIFY(!location->text().isEmpty());
        const long before = items->recordCount();
        auto* navigator = w->itemPage()->navigator();
        QTest::mouseClick(navigator->button(DBNavigator::nbInsert), Qt::LeftButton);
        QCOMPARE(items->state(), TDataSetState::dsInsert);
        QCOMPARE(manufacturer->text(), QString());
        QCOMPARE(location->text(), QString());
        auto* name = child<DBEdit>(w, "DBEdit1");
        QTest::mouseClick(name, Qt::LeftButton);
        QTest::keyClicks(name, QStringLiteral("Brand new stool"));
        // A maker typed in part completes; the location stays as shown, empty.
        const QString maker = manufacturer->listModel()
                                  ->data(manufacturer->listModel()->index(1, 0))
                                  .toString()
                                  .trimmed();
        QTest::mouseClick(manufacturer->lineEdit(), Qt::LeftButton);
        QTest::keyClicks(manufacturer->lineEdit(), maker.left(3));
        QCOMPARE(manufacturer->text(), maker);
        QTest::mouseClick(navigator->button(DBNavigator::nbPost), Qt::LeftButton);
        QCOMPARE(items->state(), TDataSetState::dsBrowse);
        QCOMPARE(items->recordCount(), before + 1);
        // The pages stay on the new item, and it holds what its boxes showed.
        QCOMPARE(field(items, "NAME"), QStringLiteral("Brand new stool"));
        QCOMPARE(name->text(), QStringLiteral("Brand new stool"));
        QCOMPARE(field(items, "MANUFACT"), maker);
        QCOMPARE(field(items, "LOCATION"), QString());
        QCOMPARE(manufacturer->text(), maker);
        QCOMPARE(location->text(), QString());
    }

    void lookupListsStayCompleteWhileScoped() {
        auto run = start();
        TMain* w = run->window;
        DBLookupCombo* manufacturer = w->itemPage()->manufacturerBox();
        DBLookupCombo* location = w->itemPage()->locationBox();
        const int makers = static_cast<int>(run->dm->ManufT->recordCount());
        const int places = static_cast<int>(run->dm->LocationT->recordCount());
        QVERIFY(makers > 1 && places > 1);
        const QString maker = manufacturer->text();
        QTest::mouseClick(child<QToolButton>(w, "SpeedButton1"), Qt::LeftButton);
        QCOMPARE(child<QTabWidget>(w, "Notebook1")->currentIndex(), 1);
        QCOMPARE(run->dm->ManufT->recordCount(), 1L);  // the page shows the one maker
        child<QTabWidget>(w, "Notebook1")->setCurrentIndex(0);
        QTest::mouseClick(child<QToolButton>(w, "SpeedButton2"), Qt::LeftButton);
        QCOMPARE(run->dm->LocationT->recordCount(), 1L);
        child<QTabWidget>(w, "Notebook1")->setCurrentIndex(0);
        QCOMPARE(manufacturer->listModel()->rowCount(), makers);
        QCOMPARE(location->listModel()->rowCount(), places);
        // Another maker can be typed and is completed from the whole list.
        QString other;
        for (int row = 0; row < makers && other.isEmpty(); ++row) {
            const QString key = manufacturer->listModel()
                                    ->data(manufacturer->listModel()->index(row, 0))
                                    .toString()
                                    .trimmed();
            if (key.left(4) != maker.left(4))
                other = key;
        }
        QTest::mouseClick(manufacturer->lineEdit(), Qt::LeftButton);
        QTest::keyClick(manufacturer->lineEdit(), Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(manufacturer->lineEdit(), other.left(4));
        QCOMPARE(manufacturer->text(), other);
        // The list view's boxes too.
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+L")));
        QCOMPARE(child<DBLookupCombo>(w, "DBLookupCombo1")->listModel()->rowCount(), makers);
        QCOMPARE(child<DBLookupCombo>(w, "DBLookupCombo2")->listModel()->rowCount(), places);
    }

    void refusedJumpStaysOnTheItemPage() {
        auto run = start();
        TMain* w = run->window;
        run->dm->ManufT->close();  // the scope cannot be set on a closed table
        QTest::mouseClick(child<QToolButton>(w, "SpeedButton1"), Qt::LeftButton);
        QTRY_COMPARE(run->boxes.texts.size(), 1);
        QCOMPARE(child<QTabWidget>(w, "Notebook1")->currentIndex(), 0);
        QVERIFY(!w->manufacturerPage()->viewAllButton()->isEnabled());
    }

    void phoneTypedAfterAClickInTheBlankPartIsStored() {
        auto run = start();
        TMain* w = run->window;
        auto* notebook = child<QTabWidget>(w, "Notebook1");
        QTest::mouseClick(notebook->tabBar(), Qt::LeftButton, {},
                          notebook->tabBar()->tabRect(1).center());
        QCOMPARE(notebook->currentIndex(), 1);
        auto* phone = child<DBEdit>(w, "DBEdit17");
        // Empty the box first, as a user does: select all, delete, post.
        QTest::mouseClick(phone, Qt::LeftButton);
        QTest::keyClick(phone, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(phone, Qt::Key_Delete);
        auto* navigator = w->manufacturerPage()->findChild<DBNavigator*>();
        QVERIFY(navigator);
        QTest::mouseClick(navigator->button(DBNavigator::nbPost), Qt::LeftButton);
        QCOMPARE(field(run->dm->ManufT, "PHONE"), QString());
        // A click at the far right of the empty box, then the digits.
        QTest::mouseClick(child<DBEdit>(w, "DBEdit19"), Qt::LeftButton);
        QTest::mouseClick(phone, Qt::LeftButton, {},
                          QPoint(phone->width() - 4, phone->height() / 2));
        QTest::keyClicks(phone, QStringLiteral("12345678901"));
        QTest::mouseClick(navigator->button(DBNavigator::nbPost), Qt::LeftButton);
        QCOMPARE(run->dm->ManufT->state(), TDataSetState::dsBrowse);
        QCOMPARE(field(run->dm->ManufT, "PHONE"), QStringLiteral("01234 5678901"));
    }

    void freshDataPathOffersEmptyTables_data() {
        QTest::addColumn<bool>("accept");
        QTest::newRow("yes") << true;
        QTest::newRow("no") << false;
    }

    void freshDataPathOffersEmptyTables() {
        QFETCH(bool, accept);
        auto installation = std::make_unique<Installation>();
        const QString data = installation->dataFolder();
        for (const QString& name : QDir(data).entryList(QDir::Files))
            installation->removeDataFile(name);
        auto run = std::make_unique<Run>();
        run->boxes.setAnswer(accept ? QMessageBox::Yes : QMessageBox::No);
        run->installation = std::move(installation);
        run->program = std::make_unique<qly::Program>();
        QCOMPARE(run->program->start(), accept);
        QCOMPARE(run->boxes.texts.size(), 1);
        QVERIFY2(run->boxes.texts.at(0).contains(QDir::toNativeSeparators(data)),
                 qPrintable(run->boxes.texts.at(0)));
        QCOMPARE(run->boxes.buttons.at(0), QMessageBox::Yes | QMessageBox::No);
        if (!accept) {
            QVERIFY(QDir(data).entryList(QDir::Files).isEmpty());
            return;
        }
        TDataModule2* dm = run->program->dataModule();
        for (TDbTable* table : {dm->MainT, dm->ManufT, dm->LocationT}) {
            QVERIFY(table->active());
            QCOMPARE(table->recordCount(), 0L);
        }
        QVERIFY(QFile::exists(data + QStringLiteral("MAIN.DBF")));
        // A folder missing only some of them is not offered anything.
        run.reset();
        auto partial = std::make_unique<Installation>();
        partial->removeDataFile(QStringLiteral("MANUFACT.DBF"));
        auto second = start(std::move(partial));
        QVERIFY(second->window);
        QVERIFY(!second->boxes.texts.join(QLatin1Char('|')).contains(QStringLiteral("Create")));
    }

    void maintenanceOpensWithAPathOfTheWrongType() {
        auto installation = std::make_unique<Installation>();
        installation->setSetting("PATH", QStringLiteral("dword:00000001"));
        auto run = start(std::move(installation));
        TMain* w = run->window;
        QVERIFY(w);
        const qsizetype shown = run->boxes.texts.size();
        QTest::mouseClick(child<QToolButton>(w, "BarButton3"), Qt::LeftButton);
        QTRY_COMPARE(run->boxes.texts.size(), shown + 1);
        QCOMPARE(run->boxes.texts.last(), QStringLiteral("Could not open Registry!"));
        QTRY_COMPARE(w->findChildren<TMaint*>().size(), 1);
        QVERIFY(w->findChildren<TMaint*>().at(0)->isVisible());
    }

    void lookupBoxesShowTheStartOfTheirText() {
        auto run = start();
        TMain* w = run->window;
        DBLookupCombo* manufacturer = w->itemPage()->manufacturerBox();
        auto* navigator = w->itemPage()->navigator();
        for (int i = 0; i < 3; ++i) {
            QTest::mouseClick(navigator->button(DBNavigator::nbNext), Qt::LeftButton);
            QCOMPARE(manufacturer->lineEdit()->cursorPosition(), 0);
        }
        // Left after typing, the box shows its start again.
        QTest::mouseClick(manufacturer->lineEdit(), Qt::LeftButton);
        QTest::keyClick(manufacturer->lineEdit(), Qt::Key_End);
        QTest::mouseClick(child<DBEdit>(w, "DBEdit1"), Qt::LeftButton);
        QTRY_COMPARE(manufacturer->lineEdit()->cursorPosition(), 0);
        // The list's columns are at least as wide as their titles.
        manufacturer->showPopup();
        QTableView* list = manufacturer->listView();
        for (int c = 0; c < list->model()->columnCount(); ++c) {
            const QString title = list->model()->headerData(c, Qt::Horizontal).toString();
            QVERIFY(list->columnWidth(c) >=
                    list->horizontalHeader()->fontMetrics().horizontalAdvance(title));
        }
        manufacturer->hidePopup();
        QCOMPARE(run->dm->MainT->state(), TDataSetState::dsBrowse);
    }

    // A value typed into a grid cell puts the table into edit at once and is
    // stored once, whatever ends the editing: a choice of the list view, a
    // click into another box, a move to another row. Escape stores nothing.
    void typedCellValueIsStoredOnceWhateverEndsTheEditing_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("stored");
        QTest::newRow("name choice") << QStringLiteral("name choice") << true;
        QTest::newRow("category box") << QStringLiteral("category box") << true;
        QTest::newRow("other row") << QStringLiteral("other row") << true;
        QTest::newRow("escape") << QStringLiteral("escape") << false;
    }
    void typedCellValueIsStoredOnceWhateverEndsTheEditing() {
        QFETCH(QString, how);
        QFETCH(bool, stored);
        auto run = start();
        TMain* w = run->window;
        TDbTable* items = run->dm->MainT;
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+L")));
        auto* grid = child<DBGrid>(w, "DBGrid1");
        auto* pane = child<DBStateStatus>(w, "DBStateStatus1");
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualRect(grid->model()->index(1, 0)).center());
        const long recno = items->recNo();
        const QString name = field(items, "NAME");
        int posts = 0;
        items->addAfterPost([&posts](TDbTable&) { ++posts; });
        QTest::keyClick(grid, Qt::Key_F2);
        auto* editor = grid->findChild<QLineEdit*>();
        QVERIFY(editor);
        QCOMPARE(pane->text(), QStringLiteral("Browse"));
        QTest::keyClick(editor, Qt::Key_End);
        QTest::keyClicks(editor, QStringLiteral(" ok"));
        QCOMPARE(pane->text(), QStringLiteral("Edit"));
        QCOMPARE(editor->text(), name + QStringLiteral(" ok"));  // the typing is kept

        if (how == u"name choice")
            QTest::mouseClick(child<QLabel>(w, "StaticText5"), Qt::LeftButton);
        else if (how == u"category box")
            QTest::mouseClick(child<QComboBox>(w, "ComboBox1")->lineEdit(), Qt::LeftButton);
        else if (how == u"other row")
            QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                              grid->visualRect(grid->model()->index(3, 0)).center());
        else
            QTest::keyClick(editor, Qt::Key_Escape);
        QTest::qWait(50);  // whatever follows the click has run

        QCOMPARE(items->state(), TDataSetState::dsBrowse);
        QCOMPARE(pane->text(), QStringLiteral("Browse"));
        QCOMPARE(posts, stored ? 1 : 0);
        QVERIFY(run->boxes.texts.isEmpty());
        QVERIFY(items->gotoRecord(recno));
        QCOMPARE(field(items, "NAME"), stored ? name + QStringLiteral(" ok") : name);
        items->close();  // and on disk
        items->open();
        QVERIFY(items->gotoRecord(recno));
        QCOMPARE(field(items, "NAME"), stored ? name + QStringLiteral(" ok") : name);
    }

    // An open that found a table's index wrong (its last writer was killed)
    // and rebuilt it tells the user once, in one box.
    void indexRepairedAtOpenIsShownOnce() {
        auto installation = std::make_unique<Installation>();
        const QString table = installation->dataFolder() + QStringLiteral("MANUFACT.DBF");
        {
            // the first company's name changed under its index, as a writer
            // killed between the record and its keys leaves it
            QFile file(table);
            QVERIFY(file.open(QIODevice::ReadWrite));
            const QByteArray head = file.read(32);
            const int header = static_cast<unsigned char>(head.at(8)) |
                               static_cast<unsigned char>(head.at(9)) << 8;
            QVERIFY(file.seek(header + 1));
            QVERIFY(file.write("Killed Mid Post") == 15);
        }
        // and that writer's open marker, naming a process that is gone
        const pid_t gone = ::fork();
        if (gone == 0)
            ::_exit(0);
        QVERIFY(gone > 0);
        QCOMPARE(::waitpid(gone, nullptr, 0), gone);
        QFile marker(table + QStringLiteral(".qly-open.") + QSysInfo::machineHostName() + u'.' +
                     QString::number(gone));
        QVERIFY(marker.open(QIODevice::WriteOnly));
        marker.close();

        auto run = start(std::move(installation));
        QVERIFY(run->window);
        QTRY_COMPARE(run->boxes.texts.size(), 1);
        QTest::qWait(100);
        QCOMPARE(run->boxes.texts.size(), 1);
        const QString text = run->boxes.texts.at(0);
        QVERIFY2(text.contains(QStringLiteral("MANUFACT.DBF")) &&
                     text.contains(QStringLiteral("rebuilt")),
                 qPrintable(text));
        QCOMPARE(run->boxes.icons.at(0), QMessageBox::Information);
        // the rebuilt index finds the record by its new name
        QVERIFY(run->dm->ManufT->findNearest(QStringLiteral("Killed Mid Post")));
    }

    // The frame of a box shows the focus only while the box has it.
    void onlyTheFocusedControlShowsAFocusFrame() {
        auto run = start();
        TMain* w = run->window;
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+L")));
        auto* manufacturer = child<DBLookupCombo>(w, "DBLookupCombo1");
        QTest::mouseClick(manufacturer->lineEdit(), Qt::LeftButton);
        QTRY_VERIFY(manufacturer->lineEdit()->hasFocus());
        QTest::qWait(50);
        auto [focusedShown, focusedFresh] = shownAndFresh(w, manufacturer);
        QTest::keyClick(manufacturer->lineEdit(), Qt::Key_Tab);
        QTRY_VERIFY(!manufacturer->lineEdit()->hasFocus());
        QTest::qWait(50);
        auto [leftShown, leftFresh] = shownAndFresh(w, manufacturer);
        QVERIFY2(leftShown == leftFresh, "the box still shows the focus it no longer has");
        QVERIFY(leftFresh != focusedFresh);  // the focus frame is something to see
        // (the focused box's own text cursor blinks: only its frame is compared)
        const QRect frame = focusedShown.rect();
        for (int x = 0; x < frame.width(); ++x)
            QCOMPARE(focusedShown.pixel(x, 0), focusedFresh.pixel(x, 0));
    }

    // The drop-down lists show up to eight rows at a time.
    void dropDownListsShowUpToEightRows() {
        auto run = start();
        TMain* w = run->window;
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+L")));
        auto* category = child<QComboBox>(w, "ComboBox1");
        QTest::mouseClick(category->lineEdit(), Qt::LeftButton);
        QTest::keyClick(category->lineEdit(), Qt::Key_F4);
        QAbstractItemView* list = category->view();
        QTRY_VERIFY(list->isVisible());
        const int rowHeight = list->sizeHintForRow(0);
        QVERIFY(rowHeight > 0);
        QCOMPARE(list->viewport()->height() / rowHeight, 8);
        QTest::keyClick(list, Qt::Key_Escape);
        QTRY_VERIFY(!list->isVisible());

        auto* manufacturer = child<DBLookupCombo>(w, "DBLookupCombo1");
        QTest::mouseClick(manufacturer->lineEdit(), Qt::LeftButton);
        QTest::keyClick(manufacturer->lineEdit(), Qt::Key_F4);
        QTableView* lookup = manufacturer->listView();
        QTRY_VERIFY(lookup->isVisible());
        QVERIFY(lookup->model()->rowCount() > 8);
        QCOMPARE(lookup->viewport()->height() / lookup->rowHeight(0), 8);
        QTest::keyClick(lookup, Qt::Key_Escape);
        QTRY_VERIFY(!lookup->isVisible());
    }

    // The hints the program added to the item page's buttons follow the
    // window's hint setting, as the button bar's do.
    void addedHintsFollowTheHintSetting_data() {
        QTest::addColumn<bool>("hints");
        QTest::newRow("hints on") << true;
        QTest::newRow("hints off") << false;
    }
    void addedHintsFollowTheHintSetting() {
        QFETCH(bool, hints);
        auto installation = std::make_unique<Installation>();
        installation->setSetting(
            "Hints", hints ? QStringLiteral("dword:00000001") : QStringLiteral("dword:00000000"));
        auto run = start(std::move(installation));
        TMain* w = run->window;
        QMap<QString, int> seen;
        for (QAbstractButton* button : w->findChildren<QAbstractButton*>()) {
            const QString tip = button->toolTip();
            if (tip != u"Show this manufacturer" && tip != u"Show this location" &&
                tip != u"Choose a date")
                continue;
            if (!button->isVisible())
                continue;
            ++seen[tip];
            QCOMPARE(hover(button), hints ? tip : QString());
        }
        QCOMPARE(seen.value(QStringLiteral("Show this manufacturer")), 1);
        QCOMPARE(seen.value(QStringLiteral("Show this location")), 1);
        QVERIFY(seen.value(QStringLiteral("Choose a date")) >= 1);
        QToolTip::hideText();
    }

    // Menus and message boxes speak in Arial (here its metric twin).
    void menusAndMessageBoxesUseArial() {
        auto run = start();
        TMain* w = run->window;
        QMenuBar* bar = w->menuBar();
        auto* file = child<QMenu>(w, "File1");
        QTest::mouseClick(bar, Qt::LeftButton, {},
                          bar->actionGeometry(file->menuAction()).center());
        QTRY_VERIFY(file->isVisible());
        QCOMPARE(file->font().family(), QStringLiteral("Arial"));
        QVERIFY2(
            QStringList({"Arial", "Liberation Sans"}).contains(QFontInfo(file->font()).family()),
            qPrintable(QFontInfo(file->font()).family()));
        QCOMPARE(bar->font().family(), QStringLiteral("Arial"));
        QTest::keyClick(file, Qt::Key_Escape);
        QTRY_VERIFY(!file->isVisible());
        run->boxes.setAnswer(QMessageBox::No);
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+Del")));
        QTRY_COMPARE(run->boxes.fonts.size(), 1);
        QCOMPARE(run->boxes.fonts.at(0), QStringLiteral("Arial"));
    }

    // Help, Contents opens the help window centred over the main window.
    void helpOpensCentredOverTheWindow() {
        auto run = start();
        TMain* w = run->window;
        w->move(40, 30);
        clickMenuItem(w, "Help1", "Contents1");
        qly::HelpWindow* help = qly::HelpWindow::instance();
        QTRY_VERIFY(help && help->isVisible());
        QCOMPARE(help->windowTitle(), QStringLiteral("Quillory Help"));
        const QPoint offCentre = help->frameGeometry().center() - w->frameGeometry().center();
        QVERIFY2(offCentre.manhattanLength() <= 2,
                 qPrintable(QStringLiteral("%1,%2").arg(offCentre.x()).arg(offCentre.y())));
        help->close();
    }

    // A second dialog of the same kind opens down and right of the first.
    void aSecondDialogOfTheSameKindOpensOffset() {
        auto run = start();
        TMain* w = run->window;
        QTest::mouseClick(child<QToolButton>(w, "BarButton4"), Qt::LeftButton);
        QTest::mouseClick(child<QToolButton>(w, "BarButton4"), Qt::LeftButton);
        QTest::keySequence(w, QKeySequence(QStringLiteral("Ctrl+P")));
        const QList<TPreferences*> dialogs = w->findChildren<TPreferences*>();
        QCOMPARE(dialogs.size(), 3);
        for (int i = 1; i < 3; ++i) {
            QVERIFY(dialogs[i]->isVisible());
            QVERIFY(dialogs[i]->x() > dialogs[i - 1]->x());
            QVERIFY(dialogs[i]->y() > dialogs[i - 1]->y());
        }
    }
};

int main(int argc, char** argv) {
    QlyApplication application(argc, argv);
    TestMainWork test;
    return QTest::qExec(&test, argc, argv);
}

#include "ui_main_work_test.moc"
