// The "Manufacturer" and "Location" pages as a user meets them: captions and
// buttons, masked and whole-number boxes, the keyed searches, View All / View
// all, and inserting and deleting through their navigators.

#include "ui/pages/PagesWindow.h"

#include "widgets/controls/DBComboBox.h"
#include "widgets/controls/DBEdit.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/controls/DBRichEdit.h"
#include "widgets/controls/IncrementalSearch.h"
#include "widgets/data/DBLookupCombo.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using qly::test::BoxAnswerer;
using qly::test::PagesHarness;
using qly::test::PagesWindow;

class TestRecordPages : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionsAndButtons();
    void phoneAndPostCodeMasks();
    void wholeNumbersOnLocationPage();
    void keyedSearches_data();
    void keyedSearches();
    void viewAllWithoutScopeGoesToFirst();
    void insertedManufacturerIsOfferedAtOnce();
    void navigatorDeletesLocationNotItems();

private:
    template <typename T>
    T* manuf(const char* name) {
        return w->find<T>(w->manufacturer, name);
    }
    template <typename T>
    T* loc(const char* name) {
        return w->find<T>(w->location, name);
    }
    static void typeInto(QLineEdit* edit, const QString& text) {
        edit->setFocus();
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

    PagesHarness h;
    std::unique_ptr<PagesWindow> w;
};

void TestRecordPages::init() {
    QCOMPARE(h.open(), QString());
    w = std::make_unique<PagesWindow>(h.dm.get());
    QVERIFY(w->show());
}

void TestRecordPages::cleanup() {
    w.reset();
    h.dm.reset();
}

void TestRecordPages::captionsAndButtons() {
    QCOMPARE(w->notebook.tabText(1), QStringLiteral("Manufacturer"));
    QCOMPARE(w->notebook.tabText(2), QStringLiteral("Location"));
    QStringList captions;
    for (QLabel* label : w->manufacturer->findChildren<QLabel*>())
        captions.append(label->text());
    QCOMPARE(captions, (QStringList{"Company", "Address", "City", "State/Provence", "Country",
                                    "Post Code", "Phone", "Fax", "Contact", "EMail", "Web Site"}));
    captions.clear();
    for (QLabel* label : w->location->findChildren<QLabel*>())
        captions.append(label->text());
    QCOMPARE(captions, (QStringList{"Name/ID", "Address", "Division", "Cost Centre", "Phone", "Fax",
                                    "Department", "EMail", "Manager/Supervisor",
                                    "# of Workstations", "# of Employees"}));

    QPushButton* viewAll = manuf<QPushButton>("Button1");
    QCOMPARE(viewAll->text(), QStringLiteral("View All"));
    QVERIFY(!viewAll->isEnabled());
    QCOMPARE(viewAll->font().pixelSize(), 20);
    QCOMPARE(viewAll->geometry(), QRect(285, 431, 116, 50));
    QPushButton* viewAll2 = loc<QPushButton>("Button2");
    QCOMPARE(viewAll2->text(), QStringLiteral("View all"));
    QVERIFY(viewAll2->isEnabled());
    QCOMPARE(manuf<QGroupBox>("Panel6")->title(), QStringLiteral("Find Manufacturer"));
    QCOMPARE(loc<QGroupBox>("Panel7")->title(), QStringLiteral("Find Location"));
    QCOMPARE(manuf<IncrementalSearch>("IncrementalSearch2")->toolTip(),
             QStringLiteral("Type the first few letters of the manufacterer you wish to locate."));
    QCOMPARE(loc<IncrementalSearch>("IncrementalSearch3")->toolTip(),
             QStringLiteral("Type the first few letters of the location you are looking for."));
    QCOMPARE(manuf<DBNavigator>("DBNavigator2")->geometry(), QRect(32, 520, 409, 41));
    QCOMPARE(loc<DBNavigator>("DBNavigator3")->geometry(), QRect(40, 512, 393, 41));
    QVERIFY(!manuf<DBRichEdit>("DBRichEdit2")->linkRecognition());
    QVERIFY(!loc<DBRichEdit>("DBRichEdit3")->linkRecognition());
    auto* country = manuf<DBComboBox>("DBComboBox3");
    QVERIFY(country->isEditable());
    QCOMPARE(country->count(), 0);
    QCOMPARE(manuf<DBEdit>("DBEdit13")->text(), QStringLiteral("Acme"));
    QCOMPARE(loc<DBEdit>("DBEdit22")->text(), PagesHarness::text(h.dm->LocationT, "NAME_ID"));
}

void TestRecordPages::phoneAndPostCodeMasks() {
    TDbTable* t = h.dm->ManufT;
    w->notebook.setCurrentIndex(1);
    const long recno = t->recNo();
    typeInto(manuf<DBEdit>("DBEdit17"), QStringLiteral("0123 45678"));
    typeInto(manuf<DBEdit>("DBEdit18"), QStringLiteral("01234 5678901"));
    typeInto(manuf<DBEdit>("DBEdit16"), QStringLiteral("ab1 2cd"));
    typeInto(manuf<DBEdit>("DBEdit19"), QStringLiteral("Ann Smith"));
    QTest::mouseClick(manuf<DBNavigator>("DBNavigator2")->button(DBNavigator::nbPost),
                      Qt::LeftButton);
    QCOMPARE(t->state(), TDataSetState::dsBrowse);
    t->refresh();
    QVERIFY(t->gotoRecord(recno));
    QCOMPARE(PagesHarness::text(t, "PHONE"), QStringLiteral("0 123   45678"));
    QCOMPARE(PagesHarness::text(t, "FAX"), QStringLiteral("01234 5678901"));
    QCOMPARE(PagesHarness::text(t, "USER2"), QStringLiteral("AB1  2CD"));
    QCOMPARE(PagesHarness::text(t, "CONTACT"), QStringLiteral("Ann Smith"));

    // the location page's phone has the same mask
    w->notebook.setCurrentIndex(2);
    typeInto(loc<DBEdit>("DBEdit25"), QStringLiteral("0987 65432"));
    QTest::mouseClick(loc<DBNavigator>("DBNavigator3")->button(DBNavigator::nbPost),
                      Qt::LeftButton);
    QCOMPARE(PagesHarness::text(h.dm->LocationT, "PHONE"), QStringLiteral("0 987   65432"));
}

void TestRecordPages::wholeNumbersOnLocationPage() {
    TDbTable* t = h.dm->LocationT;
    w->notebook.setCurrentIndex(2);
    typeInto(loc<DBEdit>("DBEdit30"), QStringLiteral("12"));
    typeInto(loc<DBEdit>("DBEdit31"), QStringLiteral("3x"));
    auto* nav = loc<DBNavigator>("DBNavigator3");
    {
        BoxAnswerer ok(QMessageBox::Ok);
        QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
        QTRY_COMPARE(ok.texts.size(), 1);
        QVERIFY2(ok.texts.first().contains(QStringLiteral("EMPLNUM")),
                 qPrintable(ok.texts.first()));
    }
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    typeInto(loc<DBEdit>("DBEdit31"), QStringLiteral("30"));
    QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
    QCOMPARE(t->state(), TDataSetState::dsBrowse);
    QCOMPARE(t->fieldByName(QStringLiteral("WSNUM"))->asInteger(), 12);
    QCOMPARE(t->fieldByName(QStringLiteral("EMPLNUM"))->asInteger(), 30);
}

void TestRecordPages::keyedSearches_data() {
    QTest::addColumn<int>("page");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("found");
    QTest::newRow("company prefix") << 1 << "Ca"
                                    << "Canon Works";
    QTest::newRow("company between keys") << 1 << "Dz"
                                          << "Fuji Office";
    QTest::newRow("company after every key") << 1 << "Zz"
                                             << "Lumen";
    QTest::newRow("location prefix") << 2 << "Branch S"
                                     << "Branch South";
    QTest::newRow("location between keys") << 2 << "Bz"
                                           << "Depot";
    QTest::newRow("deleted location skipped") << 2 << "La"
                                              << "Warehouse";
}

void TestRecordPages::keyedSearches() {
    QFETCH(int, page);
    QFETCH(QString, typed);
    QFETCH(QString, found);
    w->notebook.setCurrentIndex(page);
    auto* search = page == 1 ? manuf<IncrementalSearch>("IncrementalSearch2")
                             : loc<IncrementalSearch>("IncrementalSearch3");
    search->setFocus();
    QTest::keyClicks(search, typed);
    QCOMPARE(search->text(), typed);
    TDbTable* t = page == 1 ? h.dm->ManufT : h.dm->LocationT;
    QCOMPARE(PagesHarness::text(t, page == 1 ? "COMPANY" : "NAME_ID"), found);
    auto* key = page == 1 ? manuf<DBEdit>("DBEdit13") : loc<DBEdit>("DBEdit22");
    QCOMPARE(key->text(), found);
}

void TestRecordPages::viewAllWithoutScopeGoesToFirst() {
    TDbTable* t = h.dm->LocationT;
    const QList<long> before = PagesHarness::records(t);
    QVERIFY(t->gotoRecord(5));
    w->notebook.setCurrentIndex(2);
    QTest::mouseClick(loc<QPushButton>("Button2"), Qt::LeftButton);
    QCOMPARE(t->recNo(), before.first());
    QCOMPARE(PagesHarness::records(t), before);
    QCOMPARE(w->notebook.currentIndex(), 2);
    QVERIFY(loc<QPushButton>("Button2")->isEnabled());
}

void TestRecordPages::insertedManufacturerIsOfferedAtOnce() {
    w->notebook.setCurrentIndex(1);
    auto* nav = manuf<DBNavigator>("DBNavigator2");
    QTest::mouseClick(nav->button(DBNavigator::nbInsert), Qt::LeftButton);
    QCOMPARE(h.dm->ManufT->state(), TDataSetState::dsInsert);
    QCOMPARE(manuf<DBEdit>("DBEdit13")->text(), QString());
    typeInto(manuf<DBEdit>("DBEdit13"), QStringLiteral("Zenith"));
    QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
    QCOMPARE(h.dm->ManufT->state(), TDataSetState::dsBrowse);
    QCOMPARE(w->item->manufacturerBox()->findCompletion(QStringLiteral("Zen")),
             QStringLiteral("Zenith"));
}

void TestRecordPages::navigatorDeletesLocationNotItems() {
    TDbTable* t = h.dm->LocationT;
    w->notebook.setCurrentIndex(2);
    auto* search = loc<IncrementalSearch>("IncrementalSearch3");
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("Annex"));
    const long annex = t->recNo();
    const int items = PagesHarness::records(h.dm->MainT).size();
    auto* nav = loc<DBNavigator>("DBNavigator3");
    {
        BoxAnswerer no(QMessageBox::No);
        QTest::mouseClick(nav->button(DBNavigator::nbDelete), Qt::LeftButton);
        QCOMPARE(no.texts, QStringList{QStringLiteral("Delete record?")});
    }
    QCOMPARE(t->recNo(), annex);
    {
        BoxAnswerer yes(QMessageBox::Yes);
        QTest::mouseClick(nav->button(DBNavigator::nbDelete), Qt::LeftButton);
        QCOMPARE(yes.texts.size(), 1);
    }
    QVERIFY(!PagesHarness::records(t).contains(annex));
    QCOMPARE(PagesHarness::records(h.dm->MainT).size(), items);
    QVERIFY(h.dm->MainT->gotoRecord(6));
    QCOMPARE(PagesHarness::text(h.dm->MainT, "LOCATION"),
             QStringLiteral("Annex"));  // items keep the name
}

QTEST_MAIN(TestRecordPages)
#include "ui_pages_records_test.moc"
