// The data-aware controls on copies of the sample tables: typing, choosing,
// handing values over and posting, masks, refusals, the navigator and the
// incremental search.

#include "ui/pages/PagesHarness.h"

#include "data/Error.h"
#include "widgets/controls/DBCheckBox.h"
#include "widgets/controls/DBComboBox.h"
#include "widgets/controls/DBDateEdit.h"
#include "widgets/controls/DBEdit.h"
#include "widgets/controls/DBNavigator.h"
#include "widgets/controls/DBRichEdit.h"
#include "widgets/controls/EditMask.h"
#include "widgets/controls/IncrementalSearch.h"

#include <QAbstractItemView>
#include <QCalendarWidget>
#include <QClipboard>
#include <QLocale>
#include <QToolButton>
#include <QVBoxLayout>
#include <QtTest>

using qly::test::BoxAnswerer;
using qly::test::PagesHarness;

namespace {
const QString kPhoneMask = QStringLiteral("!\\00009 0000099;1;_");
const QString kPostCodeMask = QStringLiteral(">AAAa aaaa;1;_");
}  // namespace

class TestControls : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void editMask_data();
    void editMask();
    void editMaskShowsStoredValues();

    void maskedEditStoresLiteralsAndUpperCase();
    void plainEditPostsAndEscapeRestores();
    void wholeNumberRefusedUntilCorrected();
    void currencyShownInSystemFormatWhenNotEditing();
    void dateEditReadsTwoDigitYears_data();
    void dateEditReadsTwoDigitYears();
    void dateEditCalendarChoosesDate();
    void comboBoxChoiceAndTypedText();
    void checkBoxWritesLogical();
    void richEditStoresRtf();
    void movingPostsPendingText();

    void navigatorEnablesButtons();
    void navigatorBookmarksAndPaging();
    void navigatorDeleteAsksFirst();
    void navigatorInsertAndRepeat();

    void itemSearchIsCaseInsensitiveWithinFilter();
    void keyedSearchFindsNearestKey();

private:
    QWidget* window();
    void showWindow();
    template <typename T>
    T* add(TDataSource* source, const char* field);

    PagesHarness h;
    std::unique_ptr<QWidget> m_window;
};

void TestControls::init() {
    QCOMPARE(h.open(), QString());
}

void TestControls::cleanup() {
    m_window.reset();
    h.dm.reset();
}

QWidget* TestControls::window() {
    if (!m_window) {
        m_window = std::make_unique<QWidget>();
        new QVBoxLayout(m_window.get());
        m_window->resize(400, 300);
    }
    return m_window.get();
}

void TestControls::showWindow() {
    window()->show();
    window()->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window()));
}

template <typename T>
T* TestControls::add(TDataSource* source, const char* field) {
    auto* control = new T(window());
    window()->layout()->addWidget(control);
    control->setDataField(QString::fromLatin1(field));
    control->setDataSource(source);
    return control;
}

// ---- The mask

void TestControls::editMask_data() {
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("editText");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<bool>("complete");

    QTest::newRow("phone, optional digits unfilled: blanks to the front")
        << kPhoneMask << "0123 45678"
        << "0123_ 45678__"
        << "0 123   45678" << true;
    QTest::newRow("phone, every digit") << kPhoneMask << "01234 5678901"
                                        << "01234 5678901"
                                        << "01234 5678901" << true;
    QTest::newRow("phone typed without its literal 0") << kPhoneMask << "123 45678"
                                                       << "0123_ 45678__"
                                                       << "0 123   45678" << true;
    QTest::newRow("phone, a required digit missing") << kPhoneMask << "012 34567"
                                                     << "012__ 34567__"
                                                     << "0  12   34567" << false;
    QTest::newRow("phone, letters refused") << kPhoneMask << "0ab1"
                                            << "01___ _______"
                                            << "0   1" << false;
    QTest::newRow("post code upper case") << kPostCodeMask << "sw1a 1aa"
                                          << "SW1A 1AA_"
                                          << "SW1A 1AA" << true;
    QTest::newRow("post code, optional kept in place") << kPostCodeMask << "ab1 2cd"
                                                       << "AB1_ 2CD_"
                                                       << "AB1  2CD" << true;
    QTest::newRow("post code too short") << kPostCodeMask << "ab"
                                         << "AB__ ____"
                                         << "AB" << false;
    QTest::newRow("nothing typed stores nothing") << kPhoneMask << ""
                                                  << "0____ _______"
                                                  << "" << true;
    QTest::newRow("literals not stored") << "000-000;0;_"
                                         << "123456"
                                         << "123-456"
                                         << "123456" << true;
    QTest::newRow("lower case and blank literal") << "<LL_l;1;*"
                                                  << "ABc"
                                                  << "ab c"
                                                  << "ab c" << true;
}

void TestControls::editMask() {
    QFETCH(QString, mask);
    QFETCH(QString, typed);
    const EditMask m(mask);
    QString edit = m.emptyEditText();
    int cursor = 0;
    for (QChar c : typed)
        m.type(edit, &cursor, c);
    QTEST(edit, "editText");
    bool complete = false;
    QTEST(m.valueFromEditText(edit, &complete), "stored");
    QTEST(complete, "complete");
}

void TestControls::editMaskShowsStoredValues() {
    const EditMask phone(kPhoneMask);
    QCOMPARE(phone.editTextFromValue(QStringLiteral("0 123   45678")),
             QStringLiteral("0_123 __45678"));
    // shown and stored again, a value keeps its form
    QCOMPARE(phone.valueFromEditText(phone.editTextFromValue(QStringLiteral("0 123   45678"))),
             QStringLiteral("0 123   45678"));
    QCOMPARE(phone.editTextFromValue(QStringLiteral("0001  00037")),
             QStringLiteral("0001_ 00037__"));
    QCOMPARE(phone.editTextFromValue(QString()), QStringLiteral("0____ _______"));
    QVERIFY(phone.leadingBlanks());
    QVERIFY(!EditMask(kPostCodeMask).leadingBlanks());
}

// ---- Edit boxes

void TestControls::maskedEditStoresLiteralsAndUpperCase() {
    TDbTable* t = h.dm->ManufT;
    auto* phone = add<DBEdit>(h.dm->DSManuf, "PHONE");
    auto* post = add<DBEdit>(h.dm->DSManuf, "USER2");
    showWindow();
    QCOMPARE(phone->activeMask().length(), 13);  // the field's own mask
    QCOMPARE(post->text(), PagesHarness::text(t, "USER2"));
    phone->setFocus();
    QCOMPARE(phone->text(), EditMask(kPhoneMask).editTextFromValue(PagesHarness::text(t, "PHONE")));

    phone->selectAll();
    QTest::keyClicks(phone, QStringLiteral("0123 45678"));
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    post->setFocus();  // leaving the box hands the value over
    QCOMPARE(phone->text(), QStringLiteral("0 123   45678"));  // shown as stored
    QCOMPARE(t->fieldByName(QStringLiteral("PHONE"))->asString().trimmed(),
             QStringLiteral("0 123   45678"));
    post->selectAll();
    QTest::keyClicks(post, QStringLiteral("sw1a 1aa"));
    const long recno = t->recNo();
    t->post();
    QCOMPARE(t->state(), TDataSetState::dsBrowse);
    t->refresh();
    QVERIFY(t->gotoRecord(recno));
    QCOMPARE(PagesHarness::text(t, "PHONE"), QStringLiteral("0 123   45678"));
    QCOMPARE(PagesHarness::text(t, "USER2"), QStringLiteral("SW1A 1AA"));

    // an incomplete phone number is refused at the post; the record stays in edit
    phone->setFocus();
    phone->selectAll();
    QTest::keyClicks(phone, QStringLiteral("01"));
    bool refused = false;
    try {
        t->post();
    } catch (const QlyError& e) {
        refused = QString::fromUtf8(e.what()).contains(QStringLiteral("PHONE"));
    }
    QVERIFY(refused);
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    t->cancel();
    QCOMPARE(PagesHarness::text(t, "PHONE"), QStringLiteral("0 123   45678"));
}

void TestControls::plainEditPostsAndEscapeRestores() {
    TDbTable* t = h.dm->MainT;
    auto* name = add<DBEdit>(h.dm->DSMain, "NAME");
    auto* other = add<DBEdit>(h.dm->DSMain, "PARTNUM");
    showWindow();
    QCOMPARE(name->text(), QStringLiteral("Laser printer #1"));
    QCOMPARE(name->maxLength(), 40);
    name->setFocus();
    name->selectAll();
    QTest::keyClicks(name, QStringLiteral("Scanner"));
    QVERIFY(name->pendingChange());
    QTest::keyClick(name, Qt::Key_Escape);  // back to the field's value
    QCOMPARE(name->text(), QStringLiteral("Laser printer #1"));
    QTest::keyClicks(name, QStringLiteral("Scanner"));
    other->setFocus();
    t->post();
    QCOMPARE(PagesHarness::text(t, "NAME"), QStringLiteral("Scanner"));
    t->next();
    QCOMPARE(name->text(), QStringLiteral("Office chair #2"));
}

void TestControls::wholeNumberRefusedUntilCorrected() {
    TDbTable* t = h.dm->MainT;
    auto* quantity = add<DBEdit>(h.dm->DSMain, "QUANTITY");
    quantity->setKind(DBEdit::Kind::WholeNumber);
    showWindow();
    QCOMPARE(quantity->text(), QStringLiteral("-1"));
    quantity->setFocus();
    quantity->selectAll();
    QTest::keyClicks(quantity, QStringLiteral("2.5"));
    QString message;
    try {
        t->post();
    } catch (const QlyError& e) {
        message = QString::fromUtf8(e.what());
    }
    QVERIFY2(message.contains(QStringLiteral("not a valid integer")), qPrintable(message));
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    QCOMPARE(quantity->text(), QStringLiteral("2.5"));  // the text stays to be corrected

    // leaving the box with it shows the same message and keeps the focus there
    auto* other = add<DBEdit>(h.dm->DSMain, "NAME");
    BoxAnswerer answer(QMessageBox::Ok);
    other->setFocus();
    QTRY_COMPARE(answer.texts.size(), 1);
    QVERIFY(answer.texts.first().contains(QStringLiteral("QUANTITY")));
    QTRY_COMPARE(window()->focusWidget(), quantity);

    quantity->selectAll();
    QTest::keyClicks(quantity, QStringLiteral("25"));
    t->post();
    QCOMPARE(t->fieldByName(QStringLiteral("QUANTITY"))->asInteger(), 25);
}

void TestControls::currencyShownInSystemFormatWhenNotEditing() {
    TDbTable* t = h.dm->MainT;
    auto* other = add<DBEdit>(h.dm->DSMain, "NAME");  // first: it takes the focus
    auto* price = add<DBEdit>(h.dm->DSMain, "PURCHPRICE");
    price->setKind(DBEdit::Kind::Currency);
    showWindow();
    QCOMPARE(price->text(), QLocale::system().toCurrencyString(1234.57));
    price->setFocus();
    QLocale plain = QLocale::system();
    plain.setNumberOptions(QLocale::OmitGroupSeparator);
    QCOMPARE(price->text(), plain.toString(1234.57, 'f', 2));
    price->selectAll();
    QTest::keyClicks(price, plain.toString(99.5, 'f', 1));
    other->setFocus();
    QCOMPARE(price->text(), QLocale::system().toCurrencyString(99.5));
    t->post();
    QCOMPARE(t->fieldByName(QStringLiteral("PURCHPRICE"))->asFloat(), 99.5);
}

void TestControls::dateEditReadsTwoDigitYears_data() {
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QDate>("stored");
    QTest::newRow("49 is 2049") << "03/04/49" << QDate(2049, 4, 3);
    QTest::newRow("50 is 1950") << "03/04/50" << QDate(1950, 4, 3);
    QTest::newRow("four digits as typed") << "03/04/1949" << QDate(1949, 4, 3);
    QTest::newRow("cleared") << "" << QDate();
}

void TestControls::dateEditReadsTwoDigitYears() {
    QFETCH(QString, typed);
    QFETCH(QDate, stored);
    TDbTable* t = h.dm->MainT;
    auto* date = add<DBDateEdit>(h.dm->DSMain, "PURCHDATE");
    showWindow();
    QCOMPARE(date->text(), QStringLiteral("07/02/1998"));
    date->setFocus();
    date->selectAll();
    QTest::keyClick(date, Qt::Key_Delete);
    QTest::keyClicks(date, typed);
    t->post();
    QCOMPARE(t->fieldByName(QStringLiteral("PURCHDATE"))->asDate(), stored);
    QCOMPARE(date->text(), qly::dates::formatDate(stored));
}

void TestControls::dateEditCalendarChoosesDate() {
    TDbTable* t = h.dm->MainT;
    auto* date = add<DBDateEdit>(h.dm->DSMain, "DISPDATE");
    showWindow();
    date->setFocus();
    QTest::keyClick(date, Qt::Key_Down, Qt::AltModifier);
    QTRY_VERIFY(date->isCalendarVisible());
    QCOMPARE(date->calendar()->selectedDate(), QDate::currentDate());  // no date yet: today
    date->calendar()->setSelectedDate(QDate(2003, 5, 17));
    QTest::keyClick(date->calendar()->findChild<QAbstractItemView*>(), Qt::Key_Return);
    QTRY_VERIFY(!date->isCalendarVisible());
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    QCOMPARE(t->fieldByName(QStringLiteral("DISPDATE"))->asDate(), QDate(2003, 5, 17));

    // an impossible date is refused at the post
    date->selectAll();
    QTest::keyClicks(date, QStringLiteral("31/02/2003"));
    QVERIFY_THROWS_EXCEPTION(QlyError, t->post());
    QCOMPARE(t->state(), TDataSetState::dsEdit);
}

void TestControls::comboBoxChoiceAndTypedText() {
    TDbTable* t = h.dm->MainT;
    auto* method = add<DBComboBox>(h.dm->DSMain, "DISPMETHOD");
    method->setEntries({QStringLiteral("Sold"), QStringLiteral("Destoyed")});
    showWindow();
    QCOMPARE(method->itemText(0), QStringLiteral("Destoyed"));  // sorted
    QCOMPARE(method->currentText(), QStringLiteral("Sold"));
    t->next();  // item 2 has none
    QCOMPARE(method->currentText(), QString());
    method->setFocus();
    method->showPopup();
    QTRY_VERIFY(method->view()->isVisible());
    method->view()->setCurrentIndex(method->model()->index(0, 0));
    QTest::keyClick(method->view(), Qt::Key_Return);
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    t->post();
    QCOMPARE(PagesHarness::text(t, "DISPMETHOD"), QStringLiteral("Destoyed"));

    // any other text may be typed
    method->setFocus();
    method->lineEdit()->selectAll();
    QTest::keyClicks(method->lineEdit(), QStringLiteral("Given away"));
    t->post();
    QCOMPARE(PagesHarness::text(t, "DISPMETHOD"), QStringLiteral("Given away"));
    QCOMPARE(method->count(), 2);  // typing adds no entry
}

void TestControls::checkBoxWritesLogical() {
    TDbTable* t = h.dm->MainT;
    auto* disposed = add<DBCheckBox>(h.dm->DSMain, "DISPOSED");
    showWindow();
    QVERIFY(!disposed->isChecked());
    QTest::mouseClick(disposed, Qt::LeftButton, {}, QPoint(8, disposed->height() / 2));
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    t->post();
    QVERIFY(t->fieldByName(QStringLiteral("DISPOSED"))->asBoolean());
    QVERIFY(t->gotoRecord(9));  // item 9 is disposed
    QVERIFY(disposed->isChecked());
    QTest::mouseClick(disposed, Qt::LeftButton, {}, QPoint(8, disposed->height() / 2));
    t->post();
    QVERIFY(!t->fieldByName(QStringLiteral("DISPOSED"))->asBoolean());
}

void TestControls::richEditStoresRtf() {
    TDbTable* t = h.dm->MainT;
    auto* memo = add<DBRichEdit>(h.dm->DSMain, "DESCRIPT");
    showWindow();
    memo->setFocus();
    memo->selectAll();
    QTest::keyClicks(memo, QStringLiteral("Bought at the fair"));
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    t->post();
    const QByteArray stored = t->fieldByName(QStringLiteral("DESCRIPT"))->asBytes();
    QVERIFY2(stored.startsWith("{\\rtf"), stored.constData());
    QVERIFY(stored.contains("Bought at the fair"));
    t->next();
    t->prior();
    QCOMPARE(memo->toPlainText().trimmed(), QStringLiteral("Bought at the fair"));
}

void TestControls::movingPostsPendingText() {
    TDbTable* t = h.dm->LocationT;
    auto* manager = add<DBEdit>(h.dm->DSLocation, "MANAGERNAM");
    showWindow();
    manager->setFocus();
    QTest::keyClicks(manager, QStringLiteral("Ann"));
    const long recno = t->recNo();
    t->next();  // a move posts the pending text first
    QVERIFY(t->gotoRecord(recno));
    QVERIFY(PagesHarness::text(t, "MANAGERNAM").endsWith(QStringLiteral("Ann")));
}

// ---- Navigator

void TestControls::navigatorEnablesButtons() {
    TDbTable* t = h.dm->LocationT;
    auto* nav = new DBNavigator(window());
    window()->layout()->addWidget(nav);
    auto enabled = [nav](DBNavigator::Button b) { return nav->button(b)->isEnabled(); };
    QVERIFY(!enabled(DBNavigator::nbFirst));  // no data source yet
    nav->setDataSource(h.dm->DSLocation);
    showWindow();

    QCOMPARE(nav->button(DBNavigator::nbPrior)->toolTip(), QStringLiteral("Move to prior record"));
    QCOMPARE(nav->button(DBNavigator::nbRestoreBookmark)->toolTip(),
             QStringLiteral("Go back to saved bookmark"));
    for (auto b : {DBNavigator::nbFirst, DBNavigator::nbPriorPage, DBNavigator::nbPrior,
                   DBNavigator::nbPost, DBNavigator::nbCancel, DBNavigator::nbRestoreBookmark})
        QVERIFY2(!enabled(b), qPrintable(DBNavigator::buttonName(b)));
    for (auto b : {DBNavigator::nbNext, DBNavigator::nbNextPage, DBNavigator::nbLast,
                   DBNavigator::nbInsert, DBNavigator::nbDelete, DBNavigator::nbEdit,
                   DBNavigator::nbRefresh, DBNavigator::nbSaveBookmark})
        QVERIFY2(enabled(b), qPrintable(DBNavigator::buttonName(b)));

    // moving next and back onto the first record disables first and prior again
    QTest::mouseClick(nav->button(DBNavigator::nbNext), Qt::LeftButton);
    QVERIFY(enabled(DBNavigator::nbPrior));
    QTest::mouseClick(nav->button(DBNavigator::nbPrior), Qt::LeftButton);
    QVERIFY(!enabled(DBNavigator::nbPrior));
    QVERIFY(!enabled(DBNavigator::nbFirst));

    QTest::mouseClick(nav->button(DBNavigator::nbLast), Qt::LeftButton);
    QVERIFY(!enabled(DBNavigator::nbNext));
    QVERIFY(!enabled(DBNavigator::nbLast));
    QVERIFY(enabled(DBNavigator::nbFirst));

    QTest::mouseClick(nav->button(DBNavigator::nbEdit), Qt::LeftButton);
    QCOMPARE(t->state(), TDataSetState::dsEdit);
    QVERIFY(enabled(DBNavigator::nbPost));
    QVERIFY(enabled(DBNavigator::nbCancel));
    QVERIFY(!enabled(DBNavigator::nbEdit));
    QTest::mouseClick(nav->button(DBNavigator::nbCancel), Qt::LeftButton);
    QCOMPARE(t->state(), TDataSetState::dsBrowse);
    QVERIFY(!enabled(DBNavigator::nbPost));

    t->close();
    for (int i = 0; i < DBNavigator::kButtonCount; ++i)
        QVERIFY(!nav->button(static_cast<DBNavigator::Button>(i))->isEnabled());
}

void TestControls::navigatorBookmarksAndPaging() {
    TDbTable* t = h.dm->MainT;
    auto* nav = new DBNavigator(window());
    window()->layout()->addWidget(nav);
    nav->setDataSource(h.dm->DSMain);
    showWindow();
    QTest::mouseClick(nav->button(DBNavigator::nbNextPage), Qt::LeftButton);
    QCOMPARE(t->recNo(), 12L);  // ten visible records on: record 7 is deleted
    QTest::mouseClick(nav->button(DBNavigator::nbNext), Qt::LeftButton);
    QCOMPARE(t->recNo(), 13L);
    QTest::mouseClick(nav->button(DBNavigator::nbSaveBookmark), Qt::LeftButton);
    QVERIFY(nav->button(DBNavigator::nbRestoreBookmark)->isEnabled());
    QTest::mouseClick(nav->button(DBNavigator::nbNextPage), Qt::LeftButton);
    QCOMPARE(t->recNo(), 24L);  // record 17 is deleted and not counted
    QTest::mouseClick(nav->button(DBNavigator::nbPriorPage), Qt::LeftButton);
    QCOMPARE(t->recNo(), 13L);
    QTest::mouseClick(nav->button(DBNavigator::nbLast), Qt::LeftButton);
    QTest::mouseClick(nav->button(DBNavigator::nbRestoreBookmark), Qt::LeftButton);
    QCOMPARE(t->recNo(), 13L);

    // the bookmarked record deleted: restoring says so and stays
    t->deleteRecord();
    const long now = t->recNo();
    BoxAnswerer answer(QMessageBox::Ok);
    QTest::mouseClick(nav->button(DBNavigator::nbRestoreBookmark), Qt::LeftButton);
    QCOMPARE(answer.texts.size(), 1);
    QVERIFY(answer.texts.first().contains(QStringLiteral("Record not found")));
    QCOMPARE(t->recNo(), now);
}

void TestControls::navigatorDeleteAsksFirst() {
    TDbTable* t = h.dm->LocationT;
    auto* nav = new DBNavigator(window());
    window()->layout()->addWidget(nav);
    nav->setDataSource(h.dm->DSLocation);
    showWindow();
    const int before = PagesHarness::records(t).size();
    const long first = t->recNo();
    {
        BoxAnswerer no(QMessageBox::No);
        QTest::mouseClick(nav->button(DBNavigator::nbDelete), Qt::LeftButton);
        QCOMPARE(no.texts, QStringList{QStringLiteral("Delete record?")});
    }
    QCOMPARE(PagesHarness::records(t).size(), before);
    QCOMPARE(t->recNo(), first);
    {
        BoxAnswerer yes(QMessageBox::Yes);
        QTest::mouseClick(nav->button(DBNavigator::nbDelete), Qt::LeftButton);
        QCOMPARE(yes.texts.size(), 1);
    }
    QCOMPARE(PagesHarness::records(t).size(), before - 1);
    QVERIFY(!PagesHarness::records(t).contains(first));
}

void TestControls::navigatorInsertAndRepeat() {
    TDbTable* t = h.dm->LocationT;
    auto* nav = new DBNavigator(window());
    auto* name = add<DBEdit>(h.dm->DSLocation, "NAME_ID");
    window()->layout()->addWidget(nav);
    nav->setDataSource(h.dm->DSLocation);
    showWindow();
    for (auto b : {DBNavigator::nbFirst, DBNavigator::nbPriorPage, DBNavigator::nbPrior,
                   DBNavigator::nbNext, DBNavigator::nbNextPage, DBNavigator::nbLast}) {
        QVERIFY(nav->button(b)->autoRepeat());
        QCOMPARE(nav->button(b)->autoRepeatDelay(), 500);
        QCOMPARE(nav->button(b)->autoRepeatInterval(), 100);
    }
    QVERIFY(!nav->button(DBNavigator::nbInsert)->autoRepeat());

    const int before = PagesHarness::records(t).size();
    for (const char* location : {"Zeta Wing", "Attic"}) {
        QTest::mouseClick(nav->button(DBNavigator::nbInsert), Qt::LeftButton);
        QCOMPARE(t->state(), TDataSetState::dsInsert);
        QCOMPARE(name->text(), QString());
        name->setFocus();
        QTest::keyClicks(name, QString::fromLatin1(location));
        QTest::mouseClick(nav->button(DBNavigator::nbPost), Qt::LeftButton);
        QCOMPARE(t->state(), TDataSetState::dsBrowse);
        QCOMPARE(PagesHarness::text(t, "NAME_ID"), QString::fromLatin1(location));
    }
    QCOMPARE(PagesHarness::records(t).size(), before + 2);

    // holding "next" down walks on until the last record disables it
    QTest::mouseClick(nav->button(DBNavigator::nbFirst), Qt::LeftButton);
    QToolButton* next = nav->button(DBNavigator::nbNext);
    QTest::mousePress(next, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!next->isEnabled(), 5000);
    QTest::mouseRelease(next, Qt::LeftButton);
    QCOMPARE(t->recNo(), t->engineBottom());
    t->selectArea(true);
}

// ---- Incremental search

void TestControls::itemSearchIsCaseInsensitiveWithinFilter() {
    TDbTable* t = h.dm->MainT;
    auto* search = new IncrementalSearch(window());
    window()->layout()->addWidget(search);
    search->setDataSource(h.dm->DSMain);
    search->setSearchField(QStringLiteral("NAME"));
    showWindow();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("desk"));
    QCOMPARE(t->recNo(), 3L);  // "Desk lamp #3", the first in record order
    QTest::keyClicks(search, QStringLiteral(" lamp #2"));
    QCOMPARE(t->recNo(), 23L);
    QCOMPARE(search->text(), QStringLiteral("desk lamp #2"));
    QTest::keyClicks(search, QStringLiteral("x"));  // nothing begins so: the table stays
    QVERIFY(!search->matched());
    QCOMPARE(t->recNo(), 23L);
    QTest::keyClick(search, Qt::Key_Backspace);
    QVERIFY(search->matched());

    QCOMPARE(h.dm->XBase1->query(QStringLiteral("CATAGORY=\"Misc\"")), -1);
    search->clear();
    QTest::keyClicks(search, QStringLiteral("DESK"));
    QCOMPARE(t->recNo(), 23L);  // item 3 is outside the filter
    search->clear();
    QTest::keyClicks(search, QStringLiteral("laptop"));  // every laptop is deleted or filtered out
    QVERIFY(!search->matched());
}

void TestControls::keyedSearchFindsNearestKey() {
    TDbTable* t = h.dm->ManufT;
    auto* search = new IncrementalSearch(window());
    window()->layout()->addWidget(search);
    search->setDataSource(h.dm->DSManuf);
    search->setSearchField(QStringLiteral("COMPANY"));
    search->setMode(IncrementalSearch::Mode::Keyed);
    showWindow();
    search->setFocus();
    QTest::keyClicks(search, QStringLiteral("Fu"));
    QCOMPARE(PagesHarness::text(t, "COMPANY"), QStringLiteral("Fuji Office"));
    search->clear();
    QTest::keyClicks(search, QStringLiteral("E"));  // Epsilon is deleted: the next key
    QCOMPARE(PagesHarness::text(t, "COMPANY"), QStringLiteral("Fuji Office"));
    search->clear();
    QTest::keyClicks(search, QStringLiteral("Cz"));
    QCOMPARE(PagesHarness::text(t, "COMPANY"), QStringLiteral("Delta"));
    search->clear();
    QTest::keyClicks(search, QStringLiteral("Zz"));  // after every key: the last
    QCOMPARE(PagesHarness::text(t, "COMPANY"), QStringLiteral("Lumen"));

    QVERIFY(h.dm->XBase2->setScope(QStringLiteral("B"), QStringLiteral("Dz")));
    search->clear();
    QTest::keyClicks(search, QStringLiteral("H"));  // past the scope: its last record
    QCOMPARE(PagesHarness::text(t, "COMPANY"), QStringLiteral("Delta"));
    search->clear();
    QTest::keyClicks(search, QStringLiteral("A"));
    QCOMPARE(PagesHarness::text(t, "COMPANY"), QStringLiteral("Brother"));
}

QTEST_MAIN(TestControls)
#include "widgets_controls_test.moc"
