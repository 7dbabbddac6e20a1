// The "Item Detail" page as a user meets it: captions, choices and tab
// order, editing every kind of control and posting through the navigator,
// refusals, the "..." buttons and their scopes, "Find Item", the clipboard
// in the Name box and the hints.

#include "ui/pages/PagesWindow.h"

#include "widgets/controls/DBCheckBox.h"
#include "widgets/controls/DBComboBox.h"
#include "widgets/controls/DBDateEdit.h"
#include "widgets/controls/DBEdit.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/controls/DBRichEdit.h"
#include "widgets/controls/IncrementalSearch.h"
#include "widgets/data/DBLookupCombo.h"

#include <QAbstractItemView>
#include <QClipboard>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using qly::test::BoxAnswerer;
using qly::test::PagesHarness;
using qly::test::PagesWindow;

class TestItemPage : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionsChoicesAndTabOrder();
    void editEveryKindAndPost();
    void quantityThatIsNotWholeIsRefused();
    void speedButtonShowsManufacturer_data();
    void speedButtonShowsManufacturer();
    void speedButtonShowsLocation();
    void findItem();
    void clipboardInNameBox();
    void hintsFollowTheWindow();
    void screenshots();

private:
    template <typename T>
    T* find(const char* name) {
        return w->find<T>(w->item, name);
    }

    PagesHarness h;
    std::unique_ptr<PagesWindow> w;
};

void TestItemPage::init() {
    QCOMPARE(h.open(), QString());
    w = std::make_unique<PagesWindow>(h.dm.get());
    QVERIFY(w->show());
}

void TestItemPage::cleanup() {
    w.reset();
    h.dm.reset();
}

void TestItemPage::captionsChoicesAndTabOrder() {
    QCOMPARE(w->notebook.tabText(0), QStringLiteral("Item Detail"));
    QStringList captions;
    for (QLabel* label : w->item->findChildren<QLabel*>())
        captions.append(label->text());
    for (const char* caption :
         {"Name", "Catagory", "Serial Number", "Part Number", "Purchase Date", "Purchase Price",
          "Purchase Location", "Unit ID", "Manufacturer", "Location", "Model Number", "Quantity",
          "Description", "Service Company", "Service Contract #", "Service Phone #",
          "Service Contact", "Disposed Date", "Disposed Method"})
        QVERIFY2(captions.contains(QString::fromLatin1(caption)), caption);
    QCOMPARE(find<DBCheckBox>("DBCheckBox1")->text(), QStringLiteral("Disposed"));
    QCOMPARE(find<QGroupBox>("Panel5")->title(), QStringLiteral("Find Item"));
    QCOMPARE(find<QToolButton>("SpeedButton1")->text(), QStringLiteral("..."));
    QCOMPARE(find<QToolButton>("SpeedButton1")->geometry(), QRect(353, 102, 24, 25));
    QCOMPARE(find<DBRichEdit>("DBRichEdit1")->geometry(), QRect(214, 409, 235, 96));
    QCOMPARE(find<DBNavigator>("DBNavigator1")->geometry(), QRect(32, 528, 409, 41));
    QVERIFY(find<DBRichEdit>("DBRichEdit1")->linkRecognition());

    auto* category = find<DBComboBox>("DBComboBox1");
    QStringList entries;
    for (int i = 0; i < category->count(); ++i)
        entries.append(category->itemText(i));
    QCOMPARE(entries, (QStringList{"Buildings", "Chair", "Computers", "Copiers", "Desk",
                                   "Fax Machine", "Misc Office Supplies", "Misc. Furniture",
                                   "Other", "Software", "Typewritter", "Vehicles"}));
    QCOMPARE(category->maxVisibleItems(), 8);
    auto* method = find<DBComboBox>("DBComboBox2");
    QCOMPARE(method->count(), 2);
    QCOMPARE(method->itemText(0), QStringLiteral("Destoyed"));
    QCOMPARE(method->itemText(1), QStringLiteral("Sold"));

    // Tab walks the fields in the order of the form
    const QStringList expected{"DBEdit1",        "DBComboBox1", "DBEdit2",
                               "DBEdit3",        "DBDateEdit1", "DBEdit4",
                               "DBEdit5",        "DBEdit6",     "DBLookupCombo3",
                               "DBLookupCombo4", "DBEdit7",     "DBEdit8",
                               "DBRichEdit1",    "DBEdit9",     "DBEdit10",
                               "DBEdit11",       "DBEdit12",    "DBCheckBox1",
                               "DBDateEdit2",    "DBComboBox2", "IncrementalSearch1",
                               "DBNavigator1"};
    find<DBEdit>("DBEdit1")->setFocus();
    QStringList visited;
    for (int i = 0; i < expected.size() + 2 && visited.size() < expected.size(); ++i) {
        QWidget* focus = QApplication::focusWidget();
        while (focus && !expected.contains(focus->objectName()))
            focus = focus->parentWidget();
        QVERIFY(focus);
        if (visited.isEmpty() || visited.last() != focus->objectName())
            visited.append(focus->objectName());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    }
    QCOMPARE(visited, expected);
}

void TestItemPage::editEveryKindAndPost() {
    TDbTable* t = h.dm->MainT;
    QVERIFY(t->gotoRecord(2));
    auto* name = find<DBEdit>("DBEdit1");
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Scanner #2"));
    QCOMPARE(t->state(), TDataSetState::dsEdit);

    auto* category = find<DBComboBox>("DBComboBox1");
    category->setFocus();
    category->lineEdit()->selectAll();
    QTest::keyClicks(category->lineEdit(),
                     QStringLiteral("Office machines"));  // any text may be typed

    auto* date = find<DBDateEdit>("DBDateEdit1");
    date->setFocus();
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("14/03/49"));
    auto* price = find<DBEdit>("DBEdit4");
    price->setFocus();
    price->selectAll();
    QTest::keyClicks(price, QStringLiteral("250"));
    auto* quantity = find<DBEdit>("DBEdit8");
    quantity->setFocus();
    quantity->selectAll();
    QTest::keyClicks(quantity, QStringLiteral("12"));

    auto* manufacturer = find<DBLookupCombo>("DBLookupCombo3");
    manufacturer->setFocus();
    manufacturer->lineEdit()->selectAll();
    QTest::keyClicks(manufacturer->lineEdit(), QStringLiteral("hoo"));  // completes to Hooli
    QCOMPARE(manufacturer->text(), QStringLiteral("Hooli"));

    auto* disposed = find<DBCheckBox>("DBCheckBox1");
    QTest::mouseClick(disposed, Qt::LeftButton, {}, QPoint(8, disposed->height() / 2));
    auto* method = find<DBComboBox>("DBComboBox2");
    method->setFocus();
    method->showPopup();
    QTRY_VERIFY(method->view()->isVisible());
    method->view()->setCurrentIndex(method->model()->index(0, 0));
    QTest::keyClick(method->view(), Qt::Key_Return);
    QCOMPARE(method->currentText(), QStringLiteral("Destoyed"));

    auto* description = find<DBRichEdit>("DBRichEdit1");
    description->setFocus();
    description->selectAll();
    QTest::keyClicks(description, QStringLiteral("See www.example.com"));

    auto* nav = find<DBNavigator>("DBNavigator1");
    QVERIFY(nav->button(DBNavigator::nbPost)->isEnabled());
    QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
    QCOMPARE(t->state(), TDataSetState::dsBrowse);

    t->refresh();
    QVERIFY(t->gotoRecord(2));
    QCOMPARE(PagesHarness::text(t, "NAME"), QStringLiteral("Scanner #2"));
    QCOMPARE(PagesHarness::text(t, "CATAGORY"), QStringLiteral("Office machines"));
    QCOMPARE(t->fieldByName(QStringLiteral("PURCHDATE"))->asDate(), QDate(2049, 3, 14));
    QCOMPARE(t->fieldByName(QStringLiteral("PURCHPRICE"))->asFloat(), 250.0);
    QCOMPARE(t->fieldByName(QStringLiteral("QUANTITY"))->asInteger(), 12);
    QCOMPARE(PagesHarness::text(t, "MANUFACT"), QStringLiteral("Hooli"));
    QVERIFY(t->fieldByName(QStringLiteral("DISPOSED"))->asBoolean());
    QCOMPARE(PagesHarness::text(t, "DISPMETHOD"), QStringLiteral("Destoyed"));
    QVERIFY(t->fieldByName(QStringLiteral("DESCRIPT"))->asBytes().startsWith("{\\rtf"));
    QCOMPARE(price->text(), QLocale::system().toCurrencyString(250.0));

    // the year 50 is read as 1950
    date->setFocus();
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("14/03/50"));
    QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
    QCOMPARE(t->fieldByName(QStringLiteral("PURCHDATE"))->asDate(), QDate(1950, 3, 14));
}

void TestItemPage::quantityThatIsNotWholeIsRefused() {
    TDbTable* t = h.dm->MainT;
    auto* quantity = find<DBEdit>("DBEdit8");
    quantity->setFocus();
    quantity->selectAll();
    QTest::keyClicks(quantity, QStringLiteral("1.5"));
    auto* nav = find<DBNavigator>("DBNavigator1");
    BoxAnswerer ok(QMessageBox::Ok);
    QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
    QTRY_COMPARE(ok.texts.size(), 1);
    QVERIFY2(ok.texts.first().contains(
                 QStringLiteral("'1.5' is not a valid integer value for field 'QUANTITY'")),
             qPrintable(ok.texts.first()));
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    QVERIFY(nav->button(DBNavigator::nbPost)->isEnabled());
    QTest::mouseClick(nav->button(DBNavigator::nbCancel), Qt::LeftButton);
    QCOMPARE(t->fieldByName(QStringLiteral("QUANTITY"))->asInteger(), -1);
    QCOMPARE(quantity->text(), QStringLiteral("-1"));
}

void TestItemPage::speedButtonShowsManufacturer_data() {
    QTest::addColumn<long>("item");
    QTest::addColumn<QStringList>("inScope");
    QTest::newRow("existing manufacturer") << 3L << QStringList{"Delta"};
    QTest::newRow("manufacturer whose record is deleted") << 4L << QStringList{};
    QTest::newRow("manufacturer with no record") << 13L << QStringList{};
}

void TestItemPage::speedButtonShowsManufacturer() {
    QFETCH(long, item);
    QFETCH(QStringList, inScope);
    TDbTable* manuf = h.dm->ManufT;
    QVERIFY(h.dm->MainT->gotoRecord(item));
    QVERIFY(!w->manufacturer->viewAllButton()->isEnabled());
    QTest::mouseClick(find<QToolButton>("SpeedButton1"), Qt::LeftButton);
    QCOMPARE(w->notebook.currentIndex(), 1);
    QVERIFY(w->manufacturer->viewAllButton()->isEnabled());
    QStringList companies;
    for (long r : PagesHarness::records(manuf)) {
        QVERIFY(manuf->gotoRecord(r));
        companies.append(PagesHarness::text(manuf, "COMPANY"));
    }
    QCOMPARE(companies, inScope);
    QCOMPARE(manuf->isEmpty(), inScope.isEmpty());

    // View All lifts the scope and shows the first manufacturer in COMPANY order
    QTest::mouseClick(w->manufacturer->viewAllButton(), Qt::LeftButton);
    QCOMPARE(PagesHarness::records(manuf).size(), 10);
    QCOMPARE(PagesHarness::text(manuf, "COMPANY"), QStringLiteral("Acme"));
    QVERIFY(w->manufacturer->viewAllButton()->isEnabled());
}

void TestItemPage::speedButtonShowsLocation() {
    TDbTable* loc = h.dm->LocationT;
    // an item without a manufacturer: the page is shown as it was, View All enabled
    QVERIFY(h.dm->MainT->gotoRecord(11));
    QVERIFY(h.dm->ManufT->gotoRecord(4));
    w->notebook.setCurrentIndex(0);
    QTest::mouseClick(find<QToolButton>("SpeedButton1"), Qt::LeftButton);
    QCOMPARE(w->notebook.currentIndex(), 1);
    QCOMPARE(h.dm->ManufT->recNo(), 4L);
    QCOMPARE(PagesHarness::records(h.dm->ManufT).size(), 10);
    QVERIFY(w->manufacturer->viewAllButton()->isEnabled());

    w->notebook.setCurrentIndex(0);
    QVERIFY(h.dm->MainT->gotoRecord(14));  // Annex
    QTest::mouseClick(find<QToolButton>("SpeedButton2"), Qt::LeftButton);
    QCOMPARE(w->notebook.currentIndex(), 2);
    QCOMPARE(PagesHarness::records(loc).size(), 1);
    QCOMPARE(PagesHarness::text(loc, "NAME_ID"), QStringLiteral("Annex"));
    QTest::mouseClick(w->location->viewAllButton(), Qt::LeftButton);
    QCOMPARE(PagesHarness::records(loc).size(), 7);
    QCOMPARE(PagesHarness::text(loc, "NAME_ID"),
             QStringLiteral("Annex"));  // first in NAME_ID order
}

void TestItemPage::findItem() {
    TDbTable* t = h.dm->MainT;
    auto* search = find<IncrementalSearch>("IncrementalSearch1");
    QCOMPARE(search->toolTip(), QStringLiteral("Type the first few letters of the item you wish."));
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("VAN"));
    QCOMPARE(t->recNo(), 10L);
    QCOMPARE(find<DBEdit>("DBEdit1")->text(), QStringLiteral("Van #10"));
    QTest::keyClicks(search, QStringLiteral(" #4"));
    QCOMPARE(t->recNo(), 40L);
    QTest::keyClicks(search, QStringLiteral("7"));  // no name begins so: the item stays
    QCOMPARE(t->recNo(), 40L);
    QCOMPARE(search->text(), QStringLiteral("VAN #47"));

    // within the list view's filter
    h.dm->XBase1->query(QStringLiteral("CATAGORY=\"Other\""));
    search->clear();
    QTest::keyClicks(search, QStringLiteral("c"));
    QCOMPARE(t->recNo(), 25L);  // Copier XL #25; #5 and #15 are other categories
}

void TestItemPage::clipboardInNameBox() {
    TDbTable* t = h.dm->MainT;
    auto* name = find<DBEdit>("DBEdit1");
    name->setFocus();
    name->setSelection(0, 5);
    QTest::keyClick(name, Qt::Key_C, Qt::ControlModifier);
    QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Laser"));
    QCOMPARE(t->state(), TDataSetState::dsBrowse);  // copying changes nothing
    name->setCursorPosition(name->text().size());
    QTest::keyClick(name, Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(name->text(), QStringLiteral("Laser printer #1Laser"));
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    // the clipboard commands of the Edit menu reach the box through its slots
    QMetaObject::invokeMethod(name, "paste");
    QCOMPARE(name->text(), QStringLiteral("Laser printer #1LaserLaser"));
    t->post();
    QCOMPARE(PagesHarness::text(t, "NAME"), QStringLiteral("Laser printer #1LaserLaser"));
}

void TestItemPage::hintsFollowTheWindow() {
    const QList<QWidget*> item = w->item->governedHintWidgets();
    // the navigator, the search box, and the hints added to the two "..."
    // buttons and the two date buttons
    QCOMPARE(item.size(), DBNavigator::kButtonCount + 5);
    QVERIFY(item.contains(find<IncrementalSearch>("IncrementalSearch1")));
    QVERIFY(item.contains(find<DBNavigator>("DBNavigator1")->button(DBNavigator::nbFirst)));
    // the manufacturer and location search boxes always show theirs
    for (QWidget* page :
         {static_cast<QWidget*>(w->manufacturer), static_cast<QWidget*>(w->location)}) {
        const QList<QWidget*> governed = page == w->manufacturer
                                             ? w->manufacturer->governedHintWidgets()
                                             : w->location->governedHintWidgets();
        QCOMPARE(governed.size(), DBNavigator::kButtonCount);
        for (auto* search : page->findChildren<IncrementalSearch*>())
            QVERIFY(!governed.contains(search));
    }
}

void TestItemPage::screenshots() {
    const QByteArray folder = qgetenv("QLY_SHOTS_DIR");
    if (folder.isEmpty())
        QSKIP("set QLY_SHOTS_DIR to write pictures of the three pages");
    QVERIFY(h.dm->MainT->gotoRecord(3));
    const char* files[] = {"item-page.png", "manufacturer-page.png", "location-page.png"};
    for (int i = 0; i < 3; ++i) {
        w->notebook.setCurrentIndex(i);
        QTest::qWait(200);
        QVERIFY(w->notebook.grab().save(QString::fromLocal8Bit(folder) + QLatin1Char('/') +
                                        QLatin1String(files[i])));
    }
}

QTEST_MAIN(TestItemPage)
#include "ui_pages_item_test.moc"
