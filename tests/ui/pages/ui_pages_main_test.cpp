// The three pages inside the running program's main window: the "..."
// buttons select the notebook's pages, the Edit menu's clipboard commands
// reach the page's boxes, and Delete acts on the items table whichever page
// is in front.

#include "ui/main/MainTestSupport.h"
#include "ui/pages/PagesHarness.h"

#include "app/Program.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "ui/main/Main.h"
#include "ui/main/pages/ItemPage.h"
#include "ui/main/pages/LocationPage.h"
#include "ui/main/pages/ManufacturerPage.h"
#include "widgets/controls/DBEdit.h"
#include "widgets/controls/DBNavigator.h"

#include <QAction>
#include <QClipboard>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QtTest>

using qly::test::PagesHarness;
using qlytest::BoxCatcher;
using qlytest::Installation;

class TestPagesInMain : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void pagesSitInTheNotebook();
    void clipboardCommandsReachTheNameBox();
    void deleteFromLocationPageRemovesTheItem();

private:
    std::unique_ptr<BoxCatcher> boxes;
    std::unique_ptr<Installation> installation;
    std::unique_ptr<qly::Program> program;
    TMain* w = nullptr;
    TDataModule2* dm = nullptr;
};

void TestPagesInMain::init() {
    boxes = std::make_unique<BoxCatcher>();
    installation = std::make_unique<Installation>();
    program = std::make_unique<qly::Program>();
    QVERIFY(program->start());
    w = program->mainWindow();
    dm = program->dataModule();
    w->show();
    w->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w));
    QVERIFY2(boxes->texts.isEmpty(), qPrintable(boxes->texts.join(QLatin1Char('|'))));
}

void TestPagesInMain::cleanup() {
    program.reset();
    installation.reset();
    boxes.reset();
}

void TestPagesInMain::pagesSitInTheNotebook() {
    auto* notebook = w->findChild<QTabWidget*>(QStringLiteral("Notebook1"));
    QCOMPARE(notebook->currentIndex(), 0);
    QVERIFY(w->itemPage()->isVisible());
    QCOMPARE(w->itemPage()->findChild<DBEdit*>(QStringLiteral("DBEdit1"))->text(),
             QStringLiteral("Laser printer #1"));

    QVERIFY(dm->MainT->gotoRecord(11));  // no manufacturer
    QTest::mouseClick(w->itemPage()->findChild<QToolButton*>(QStringLiteral("SpeedButton1")),
                      Qt::LeftButton);
    QCOMPARE(notebook->currentIndex(), 1);
    QVERIFY(w->manufacturerPage()->isVisible());
    QVERIFY(w->manufacturerPage()->viewAllButton()->isEnabled());
    notebook->setCurrentIndex(0);
    QTest::mouseClick(w->itemPage()->findChild<QToolButton*>(QStringLiteral("SpeedButton2")),
                      Qt::LeftButton);
    QCOMPARE(notebook->currentIndex(), 2);
    QCOMPARE(dm->LocationT->fieldByName(QStringLiteral("NAME_ID"))->asString().trimmed(),
             QStringLiteral("Branch North"));
}

void TestPagesInMain::clipboardCommandsReachTheNameBox() {
    auto* name = w->itemPage()->findChild<DBEdit*>(QStringLiteral("DBEdit1"));
    name->setFocus();
    name->setSelection(6, 7);
    w->findChild<QAction*>(QStringLiteral("Copy1"))->trigger();
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("printer"));
    QCOMPARE(dm->MainT->state(), TDataSetState::dsBrowse);
    name->setCursorPosition(0);
    w->findChild<QAction*>(QStringLiteral("Paste1"))->trigger();
    QCOMPARE(name->text(), QStringLiteral("printerLaser printer #1"));
    QCOMPARE(dm->MainT->state(), TDataSetState::dsEdit);
    w->findChild<QAction*>(QStringLiteral("Cut1"))->trigger();  // nothing selected: nothing cut
    QCOMPARE(name->text(), QStringLiteral("printerLaser printer #1"));
}

void TestPagesInMain::deleteFromLocationPageRemovesTheItem() {
    auto* notebook = w->findChild<QTabWidget*>(QStringLiteral("Notebook1"));
    notebook->setCurrentIndex(2);
    QVERIFY(dm->LocationT->gotoRecord(4));
    const QList<long> items = PagesHarness::records(dm->MainT);
    const QList<long> locations = PagesHarness::records(dm->LocationT);
    QCOMPARE(dm->MainT->recNo(), 1L);

    boxes->setAnswer(QMessageBox::No);
    w->findChild<QAction*>(QStringLiteral("Delete1"))->trigger();
    QTRY_COMPARE(boxes->texts.size(), 1);
    QCOMPARE(boxes->texts.last(), QStringLiteral("Are you sure you want to delete this record?"));
    QCOMPARE(PagesHarness::records(dm->MainT), items);

    boxes->setAnswer(QMessageBox::Yes);
    w->findChild<QAction*>(QStringLiteral("Delete1"))->trigger();
    QTRY_COMPARE(boxes->texts.size(), 2);
    QList<long> remaining = items;
    remaining.removeAll(1L);
    QCOMPARE(PagesHarness::records(dm->MainT), remaining);
    QCOMPARE(dm->MainT->recNo(), 2L);  // the following item is current
    QCOMPARE(PagesHarness::records(dm->LocationT), locations);
    QCOMPARE(dm->LocationT->recNo(), 4L);
    QCOMPARE(notebook->currentIndex(), 2);

    // the location page's own navigator deletes the location instead
    boxes->setAnswer(QMessageBox::Yes);
    QTest::mouseClick(w->locationPage()->navigator()->button(DBNavigator::nbDelete),
                      Qt::LeftButton);
    QTRY_COMPARE(boxes->texts.size(), 3);
    QCOMPARE(boxes->texts.last(), QStringLiteral("Delete record?"));
    QVERIFY(!PagesHarness::records(dm->LocationT).contains(4L));
    QCOMPARE(PagesHarness::records(dm->MainT), remaining);
}

QTEST_MAIN(TestPagesInMain)
#include "ui_pages_main_test.moc"
