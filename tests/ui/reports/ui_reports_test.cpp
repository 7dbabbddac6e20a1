// The reports dialog driven as a user would: choose a report, Run, answer
// the destination prompt and the file dialog, look at the preview, close
// the dialog; what comes out is read back from the PDF files.

#include "reports/ReportTestSupport.h"
#include "ui/main/MainTestSupport.h"

#include "app/Program.h"
#include "data/DataModule2.h"
#include "data/DbTable.h"
#include "data/XBase.h"
#include "data/XbTable.h"
#include "reports/BandReport.h"
#include "reports/DestinationPrompt.h"
#include "reports/ListReports.h"
#include "reports/Messages.h"
#include "reports/PreviewWindow.h"
#include "ui/dialogs/Reports.h"
#include "ui/main/Main.h"
#include "widgets/help/HelpWindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>

using qlytest::Installation;

namespace {

template <typename T>
T* child(QObject* parent, const char* name) {
    T* found = parent->findChild<T*>(QString::fromLatin1(name));
    if (!found)
        qFatal("no child %s", name);
    return found;
}

// Acts on the modal windows that open, one step for each in turn; a step
// names the window it is for. Message boxes are answered with OK and their
// texts kept. A window that no step is for, seen for the first time, is
// noted and cancelled; one already acted on that comes to the front again
// (its child window closed) is left alone unless the next step is for it.
class ModalDriver : public QObject {
public:
    using Action = std::function<void(QWidget* window)>;

    ModalDriver() {
        connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
        m_timer.start(10);
    }
    void then(const char* window, Action action) {
        m_steps << Step{QString::fromLatin1(window), std::move(action)};
    }
    bool done() const { return m_steps.isEmpty(); }

    QStringList boxes;
    QStringList unexpected;

private:
    struct Step {
        QString window;
        Action action;
    };

    void poll() {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible() || modal == m_front)
            return;
        m_front = modal;
        if (auto* box = qobject_cast<QMessageBox*>(modal)) {
            boxes << box->text();
            box->button(QMessageBox::Ok) ? box->button(QMessageBox::Ok)->click() : box->reject();
            return;
        }
        const bool seen = m_seen.contains(modal);
        m_seen << modal;
        if (!m_steps.isEmpty() && m_steps.front().window == modal->objectName()) {
            // Acted on from the event loop, not from this timer: a step that
            // opens the next window waits inside it, and the timer must go on.
            QTimer::singleShot(0, modal,
                               [action = m_steps.takeFirst().action, window = QPointer(modal)] {
                                   if (window)
                                       action(window);
                               });
        } else if (!seen) {
            unexpected << modal->objectName();
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
        }
    }

    QTimer m_timer;
    QList<Step> m_steps;
    QPointer<QWidget> m_front;
    QList<QPointer<QWidget>> m_seen;
};

// A step in the destination prompt.
void inPrompt(ModalDriver& driver, std::function<void(TReportDestination*)> act) {
    driver.then("ReportDestination",
                [act](QWidget* window) { act(qobject_cast<TReportDestination*>(window)); });
}

void press(QWidget* window, const char* button) {
    QTest::mouseClick(child<QAbstractButton>(window, button), Qt::LeftButton);
}

// Types the file's name into the file dialog and presses Enter.
void typeFileName(ModalDriver& driver, const QString& path) {
    driver.then("PdfFileDialog", [path](QWidget* window) {
        auto* name = child<QLineEdit>(window, "fileNameEdit");
        name->clear();
        QTest::keyClicks(name, path);
        QTest::keyClick(name, Qt::Key_Return);
    });
}

// PDF file as the destination, with the file's name.
void toPdf(ModalDriver& driver, const QString& path,
           std::function<void(TReportDestination*)> before = nullptr) {
    inPrompt(driver, [before](TReportDestination* p) {
        if (before)
            before(p);
        child<QRadioButton>(p, "PdfButton")->click();
        press(p, "OkButton");
    });
    typeFileName(driver, path);
}

void typeNumber(QSpinBox* box, int value) {
    box->setFocus();
    box->selectAll();
    QTest::keyClicks(box, QString::number(value));
    QTest::keyClick(box, Qt::Key_Tab);
}

QString reportTime(const QString& pageText) {
    const QRegularExpression time(QStringLiteral("Report Time:\\s+(\\S+)"));
    return time.match(pageText).captured(1);
}

int itemLines(const QStringList& pages) {
    return int(
        pages.join(QLatin1Char('\n')).count(QRegularExpression(QStringLiteral("U000\\d\\d"))));
}

}  // namespace

class TestReportsDialog : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Installation> m_installation;
    std::unique_ptr<TDataModule2> m_module;  // the engine environment the program has

    TReports* newDialog() {
        auto* dialog = new TReports;
        dialog->show();
        return dialog;
    }
    // Clicks the item's circle.
    void choose(TReports* dialog, int item) {
        auto* button = child<QRadioButton>(
            dialog, QStringLiteral("RadioGroup1Item%1").arg(item).toLatin1().constData());
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(8, button->height() / 2));
        QVERIFY(button->isChecked());
    }
    void run(TReports* dialog, ModalDriver& driver) {
        press(dialog, "Button2");
        QTRY_VERIFY(driver.done());
        QVERIFY2(driver.unexpected.isEmpty(), qPrintable(driver.unexpected.join(u',')));
    }
    QString out(const char* name) const {
        return m_installation->workFolder() + QString::fromLatin1(name);
    }

private slots:
    void init() {
        m_installation = std::make_unique<Installation>();
        QVERIFY(m_installation->ok());
        m_module = std::make_unique<TDataModule2>();
        m_module->DataModule2Create();
    }

    void cleanup() {
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (qobject_cast<TReports*>(widget))
                delete widget;
        m_module.reset();
        m_installation.reset();
    }

    void formAsDesigned() {
        TReports* dialog = newDialog();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Reports"));
        QCOMPARE(dialog->size(), QSize(381, 292));
        QCOMPARE(dialog->minimumSize(), dialog->maximumSize());
        QVERIFY(!(dialog->windowFlags() & Qt::WindowMaximizeButtonHint));
        QVERIFY(dialog->windowFlags() & Qt::WindowMinimizeButtonHint);
        QVERIFY(!dialog->isModal());
        QCOMPARE(dialog->font().family(), QStringLiteral("Arial"));
        QCOMPARE(dialog->font().pixelSize(), 13);

        auto* group = child<QGroupBox>(dialog, "RadioGroup1");
        QCOMPARE(group->title(), QStringLiteral("Report"));
        QCOMPARE(group->geometry(), QRect(16, 16, 193, 257));
        const QStringList items = {"Main.dbf", "Location.dbf", "Manufacturers.dbf"};
        for (int i = 0; i < items.size(); ++i) {
            auto* item = child<QRadioButton>(
                group, QStringLiteral("RadioGroup1Item%1").arg(i).toLatin1().constData());
            QCOMPARE(item->text(), items[i]);
            QVERIFY(!item->isChecked());
        }
        auto* panel = child<QFrame>(dialog, "Panel1");
        QCOMPARE(panel->geometry(), QRect(224, 24, 137, 249));
        QCOMPARE(panel->frameShadow(), QFrame::Sunken);
        auto* run = child<QPushButton>(panel, "Button2");
        QCOMPARE(run->text(), QStringLiteral("Run"));
        QCOMPARE(run->geometry(), QRect(24, 16, 89, 41));
        QVERIFY(!run->isEnabled());
        auto* close = child<QPushButton>(panel, "Button1");
        QCOMPARE(close->text(), QStringLiteral("Close"));
        QCOMPARE(close->geometry(), QRect(24, 160, 89, 41));

        // Its own three tables, open from the data path, no filter.
        QCOMPARE(TReports::dataPath(), m_installation->dataFolder());
        const struct {
            TXbTable* table;
            const char* file;
            TDataSource* source;
        } tables[] = {{dialog->XbTable1, "MAIN.DBF", dialog->DataSource1},
                      {dialog->XbTable2, "Location.dbf", dialog->DataSource2},
                      {dialog->XbTable3, "MANUFACT.DBF", dialog->DataSource3}};
        for (const auto& t : tables) {
            QVERIFY(t.table->active());
            QCOMPARE(t.table->tableName(), QString::fromLatin1(t.file));
            QCOMPARE(t.table->displayLabel(), QString::fromLatin1(t.file));
            QCOMPARE(t.table->databaseName(), m_installation->dataFolder());
            QVERIFY(!t.table->turboRead());
            QCOMPARE(t.source->dataSet(), t.table);
            QVERIFY(t.table != m_module->MainT && t.table != m_module->ManufT &&
                    t.table != m_module->LocationT);
        }
        QCOMPARE(dialog->Report2->page().dataSource(), dialog->DataSource1);
        QCOMPARE(dialog->Report3->page().dataSource(), dialog->DataSource2);
        QCOMPARE(dialog->Report1->page().dataSource(), dialog->DataSource3);
    }

    void aClickEnablesRunForGood() {
        TReports* dialog = newDialog();
        auto* run = child<QPushButton>(dialog, "Button2");
        choose(dialog, 1);
        QVERIFY(run->isEnabled());
        choose(dialog, 0);
        QVERIFY(run->isEnabled());
        // A cancelled prompt: no output, the dialog and its tables as they were.
        ModalDriver driver;
        inPrompt(driver, [](TReportDestination* p) { press(p, "CancelButton"); });
        this->run(dialog, driver);
        QVERIFY(dialog->isVisible());
        QVERIFY(run->isEnabled());
        QVERIFY(dialog->XbTable1->active() && dialog->XbTable2->active() &&
                dialog->XbTable3->active());
        QVERIFY(dialog->findChildren<TReportPreview*>().isEmpty());
        QVERIFY(driver.boxes.isEmpty());
    }

    void eachItemRunsItsReport_data() {
        QTest::addColumn<int>("item");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("value");  // of the item's table
        QTest::newRow("Main.dbf") << 0 << "Main Table"
                                  << "Laser printer #1";
        QTest::newRow("Location.dbf") << 1 << "Location Report"
                                      << "Branch North";
        QTest::newRow("Manufacturers.dbf") << 2 << "Manufacturer Report"
                                           << "Canon Works";
    }

    void eachItemRunsItsReport() {
        QFETCH(int, item);
        QFETCH(QString, title);
        QFETCH(QString, value);
        TReports* dialog = newDialog();
        choose(dialog, item);
        ModalDriver driver;
        toPdf(driver, out("report.pdf"));
        run(dialog, driver);
        const QStringList pages = qlytest::pdfPages(out("report.pdf"));
        QVERIFY(!pages.isEmpty());
        QVERIFY(pages[0].contains(title));
        QVERIFY(pages[0].contains(value));
        for (const char* other : {"Main Table", "Location Report", "Manufacturer Report"})
            QVERIFY(title == QLatin1String(other) || !pages[0].contains(QLatin1String(other)));
        QVERIFY(dialog->isVisible());
        QVERIFY(driver.boxes.isEmpty());
    }

    void twoRunsAFewSecondsApartCarryTheirOwnTimes() {
        TReports* dialog = newDialog();
        choose(dialog, 2);
        QStringList times;
        for (const char* file : {"first.pdf", "second.pdf"}) {
            const QString before = qly::reports::longTimeText(QTime::currentTime());
            ModalDriver driver;
            toPdf(driver, out(file));
            run(dialog, driver);
            const QString printed = reportTime(qlytest::pdfPages(out(file)).value(0));
            QVERIFY2(printed == before ||
                         printed == qly::reports::longTimeText(QTime::currentTime().addSecs(-1)) ||
                         printed == qly::reports::longTimeText(QTime::currentTime()),
                     qPrintable(printed));
            times << printed;
            QTest::qWait(1100);
        }
        QVERIFY(times[0] != times[1]);
    }

    void screenPreviewShowsPagesOnDemand() {
        TReports* dialog = newDialog();
        choose(dialog, 0);
        ModalDriver driver;
        inPrompt(driver, [](TReportDestination* p) {
            QVERIFY(child<QRadioButton>(p, "ScreenButton")->isChecked());
            press(p, "OkButton");
        });
        run(dialog, driver);
        QPointer<TReportPreview> preview = dialog->findChild<TReportPreview*>();
        QVERIFY(preview && preview->isVisible());
        QVERIFY(QTest::qWaitForWindowExposed(preview));
        QCOMPARE(preview->currentPage(), 1);
        QTRY_COMPARE(child<QLabel>(preview, "PageCountLabel")->text(), QStringLiteral(" of 2 "));
        QCOMPARE(preview->pagesPainted(), 1);
        if (!qEnvironmentVariableIsEmpty("QLY_SCREENSHOT_DIR"))
            preview->grab().save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") +
                                 QStringLiteral("/report-preview.png"));
        press(preview, "NextButton");
        QCOMPARE(preview->currentPage(), 2);
        QTRY_COMPARE(preview->pagesPainted(), 2);
        QVERIFY(!child<QToolButton>(preview, "NextButton")->isEnabled());
        press(preview, "FirstButton");
        QCOMPARE(preview->currentPage(), 1);
        QCOMPARE(child<QSpinBox>(preview, "PageBox")->value(), 1);
        press(preview, "LastButton");
        QCOMPARE(preview->currentPage(), 2);
        QTest::qWait(50);
        QCOMPARE(preview->pagesPainted(), 2);  // page 2 again from the cache
        QVERIFY(preview->pagesHeld() <= TReportPreview::kCachedPages);

        press(preview, "FitPageButton");
        const QSize fitPage = preview->pageSizeOnScreen();
        press(preview, "FitWidthButton");
        const QSize fitWidth = preview->pageSizeOnScreen();
        press(preview, "ActualSizeButton");
        const QSize actual = preview->pageSizeOnScreen();
        QVERIFY(fitPage.height() < fitWidth.height());
        QCOMPARE(actual.width(), qRound(8.5 * preview->logicalDpiX()));

        // Save as PDF from the preview.
        typeFileName(driver, out("from-preview.pdf"));
        press(preview, "SavePdfButton");
        QTRY_VERIFY(driver.done());
        QTRY_COMPARE(qlytest::pdfPages(out("from-preview.pdf")).size(), 2);

        // Closing the dialog closes its tables, and the preview with them.
        press(dialog, "Button1");
        QVERIFY(!dialog->isVisible());
        QVERIFY(!dialog->XbTable1->active());
        QTRY_VERIFY(!preview);
    }

    void printerCopiesAndCollation_data() {
        QTest::addColumn<bool>("collate");
        QTest::addColumn<QList<int>>("pages");
        QTest::newRow("collated") << true << QList<int>{1, 2, 1, 2};
        QTest::newRow("not collated") << false << QList<int>{1, 1, 2, 2};
    }

    void printerCopiesAndCollation() {
        QFETCH(bool, collate);
        QFETCH(QList<int>, pages);
        TReports* dialog = newDialog();
        choose(dialog, 0);
        const QString printed = out("printed.pdf");
        ModalDriver driver;
        inPrompt(driver, [&](TReportDestination* p) {
            // The machine has no printer: the printer prints into a file.
            p->printer()->setOutputFileName(printed);
            child<QRadioButton>(p, "PrinterButton")->click();
            typeNumber(child<QSpinBox>(p, "Copies"), 2);
            auto* collateBox = child<QCheckBox>(p, "Collate");
            QVERIFY(collateBox->isEnabled());
            if (collateBox->isChecked() != collate)
                QTest::mouseClick(collateBox, Qt::LeftButton);
            press(p, "OkButton");
        });
        run(dialog, driver);
        const QStringList text = qlytest::pdfPages(printed);
        QCOMPARE(text.size(), pages.size());
        for (int i = 0; i < pages.size(); ++i)
            QVERIFY(QRegularExpression(QStringLiteral("Page:\\s+%1\\s*$").arg(pages[i]),
                                       QRegularExpression::MultilineOption)
                        .match(text[i])
                        .hasMatch());
    }

    void printerWithoutAPrinterSaysSo() {
        if (!QPrinterInfo::availablePrinterNames().isEmpty())
            QSKIP("a printer is installed");
        TReports* dialog = newDialog();
        choose(dialog, 1);
        ModalDriver driver;
        // Set-up opens the printer dialog; cancelled, it changes nothing.
        inPrompt(driver, [](TReportDestination* p) { press(p, "SetupButton"); });
        driver.then("PrinterSetup",
                    [](QWidget* setup) { qobject_cast<QDialog*>(setup)->reject(); });
        inPrompt(driver, [](TReportDestination* p) {
            QVERIFY(child<QRadioButton>(p, "ScreenButton")->isChecked());
            QCOMPARE(child<QLabel>(p, "PrinterName")->text(),
                     QString::fromLatin1(qly::reports::msg::kNoPrinterName));
            child<QRadioButton>(p, "PrinterButton")->click();
            press(p, "OkButton");
        });
        // Still open after the message: cancel it.
        inPrompt(driver, [](TReportDestination* p) { press(p, "CancelButton"); });
        run(dialog, driver);
        QCOMPARE(driver.boxes, QStringList{QString::fromLatin1(qly::reports::msg::kNoPrinter)});
    }

    void pageRangeFromTo() {
        TReports* dialog = newDialog();
        choose(dialog, 0);
        ModalDriver driver;
        toPdf(driver, out("range.pdf"), [](TReportDestination* p) {
            child<QRadioButton>(p, "PagesButton")->click();
            typeNumber(child<QSpinBox>(p, "FromPage"), 2);
            typeNumber(child<QSpinBox>(p, "ToPage"), 2);
        });
        run(dialog, driver);
        const QStringList pages = qlytest::pdfPages(out("range.pdf"));
        QCOMPARE(pages.size(), 1);
        QVERIFY(pages[0].contains(QStringLiteral("Page:   2")) ||
                QRegularExpression(QStringLiteral("Page:\\s+2")).match(pages[0]).hasMatch());
        QCOMPARE(itemLines(pages), 5);
    }

    void closingOrCancellingDuringARunEndsItCleanly_data() {
        QTest::addColumn<bool>("closeDialog");  // else Cancel in the progress window
        QTest::newRow("Close in the dialog") << true;
        QTest::newRow("Cancel in the progress window") << false;
    }

    void closingOrCancellingDuringARunEndsItCleanly() {
        QFETCH(bool, closeDialog);
        TReports* dialog = newDialog();
        choose(dialog, 0);
        // Pressed while the first page is out and the event loop runs.
        struct PressWhenProgressShows : QObject {
            QWidget* dialog;
            bool closeDialog;
            bool eventFilter(QObject* watched, QEvent* event) override {
                if (event->type() == QEvent::Show &&
                    watched->objectName() == QLatin1String("ReportProgress")) {
                    auto* progress = static_cast<QWidget*>(watched);
                    QTimer::singleShot(0, progress, [progress, d = dialog, close = closeDialog] {
                        if (close)
                            press(d, "Button1");
                        else
                            press(progress, "ProgressCancel");
                    });
                }
                return false;
            }
        } presser;
        presser.dialog = dialog;
        presser.closeDialog = closeDialog;
        qApp->installEventFilter(&presser);
        ModalDriver driver;
        toPdf(driver, out("stopped.pdf"));
        run(dialog, driver);
        qApp->removeEventFilter(&presser);
        QCOMPARE(dialog->isVisible(), !closeDialog);
        for (TXbTable* table : {dialog->XbTable1, dialog->XbTable2, dialog->XbTable3})
            QCOMPARE(table->active(), !closeDialog);
        // No file, not even a part of one; no progress window left; no error.
        QCOMPARE(QDir(m_installation->workFolder()).entryList({"stopped*"}, QDir::Files),
                 QStringList());
        QVERIFY(!dialog->findChild<QWidget*>(QStringLiteral("ReportProgress")));
        QVERIFY(driver.boxes.isEmpty());
    }

    void listViewFilterDoesNotNarrowTheItemsReport() {
        // The program itself, with its own data module.
        m_module.reset();
        qlytest::BoxCatcher boxes;
        qly::Program program;
        QVERIFY(program.start());
        TMain* window = program.mainWindow();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window));
        child<QToolButton>(window, "BarButton2")->click();  // the list view
        QTest::keyClicks(child<QComboBox>(window, "ComboBox1")->lineEdit(), "Chair");
        QCOMPARE(program.dataModule()->XBase1->filter(), QStringLiteral("CATAGORY=\"Chair\""));
        const long current = program.dataModule()->MainT->recNo();

        // Ctrl+R twice: two dialogs, neither modal.
        QVERIFY(child<QToolButton>(window, "BarButton5")->isEnabled());
        QVERIFY(child<QAction>(window, "Reports1")->isEnabled());
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        QTest::keyClick(window, Qt::Key_R, Qt::ControlModifier);
        const QList<TReports*> dialogs = window->findChildren<TReports*>();
        QCOMPARE(dialogs.size(), 2);
        for (TReports* d : dialogs)
            QVERIFY(d->isVisible() && !d->isModal());

        choose(dialogs[0], 0);
        ModalDriver driver;
        toPdf(driver, out("all-items.pdf"));
        run(dialogs[0], driver);
        QCOMPARE(itemLines(qlytest::pdfPages(out("all-items.pdf"))), 36);
        QCOMPARE(program.dataModule()->XBase1->filter(), QStringLiteral("CATAGORY=\"Chair\""));
        QCOMPARE(program.dataModule()->MainT->recNo(), current);
        QVERIFY(boxes.texts.isEmpty());
    }

    void pathOfTheWrongTypeKeepsTheFolderStillNamed() {
        delete newDialog();
        QCOMPARE(TReports::dataPath(), m_installation->dataFolder());
        m_installation->setSetting("PATH", QStringLiteral("dword:00000001"));
        ModalDriver driver;
        TReports* dialog = newDialog();
        QTRY_COMPARE(driver.boxes, QStringList{QStringLiteral("Invalid data type for 'PATH'")});
        QVERIFY(dialog->isVisible());
        QCOMPARE(TReports::dataPath(), m_installation->dataFolder());
        QVERIFY(dialog->XbTable1->active());
        QCOMPARE(dialog->XbTable1->databaseName(), m_installation->dataFolder());
    }

    void settingsThatCannotBeOpenedMeanTheProgramsFolder() {
        delete newDialog();
        QFile store(qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/KVR/QLY32.reg"));
        QVERIFY(store.open(QIODevice::WriteOnly | QIODevice::Truncate));
        store.write("not a registry export\n");
        store.close();
        ModalDriver driver;
        TReports* dialog = newDialog();
        const QString programFolder = QCoreApplication::applicationDirPath() + u'/';
        QCOMPARE(TReports::dataPath(), programFolder);
        // No tables there: the table layer says so, the dialog opens as usual.
        QTRY_COMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].startsWith(QStringLiteral("Cannot open table ") + programFolder),
                 qPrintable(driver.boxes[0]));
        QVERIFY(dialog->isVisible());
    }

    void aMissingTableFailsAndItsReportPrintsNothing() {
        m_installation->removeDataFile(QStringLiteral("Location.dbf"));
        ModalDriver driver;
        TReports* dialog = newDialog();
        QTRY_COMPARE(driver.boxes.size(), 1);
        QVERIFY2(driver.boxes[0].startsWith(QStringLiteral("Cannot open table ")) &&
                     driver.boxes[0].contains(QStringLiteral("Location.dbf")),
                 qPrintable(driver.boxes[0]));
        QVERIFY(dialog->XbTable1->active());
        QVERIFY(!dialog->XbTable2->active() && !dialog->XbTable3->active());

        // Its report: the table layer's message again, and no prompt, no pages.
        choose(dialog, 1);
        press(dialog, "Button2");
        QTRY_COMPARE(driver.boxes.size(), 2);
        QCOMPARE(driver.boxes[1], driver.boxes[0]);
        QVERIFY(driver.unexpected.isEmpty());
        QVERIFY(dialog->findChildren<TReportPreview*>().isEmpty());

        // The manufacturers' table, closed after the failure, is opened for
        // its run and closed again.
        choose(dialog, 2);
        toPdf(driver, out("manufacturers.pdf"));
        run(dialog, driver);
        QVERIFY(
            qlytest::pdfPages(out("manufacturers.pdf")).value(0).contains("Manufacturer Report"));
        QVERIFY(!dialog->XbTable3->active());
    }

    void closeBoxClosesTheTablesAndF1ShowsTheTopic() {
        qly::HelpWindow::setHelpFolder(QStringLiteral(QLY_SOURCE_HELP_DIR));
        TReports* dialog = newDialog();
        dialog->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(dialog));
        QTest::keyClick(dialog, Qt::Key_F1);
        QVERIFY(qly::HelpWindow::instance()->isVisible());
        QCOMPARE(qly::HelpWindow::instance()->currentContext(), TReports::kHelpContext);
        qly::HelpWindow::instance()->hide();
        dialog->close();
        QVERIFY(!dialog->isVisible());
        QVERIFY(!dialog->XbTable1->active() && !dialog->XbTable2->active() &&
                !dialog->XbTable3->active());
    }
};

QTEST_MAIN(TestReportsDialog)
#include "ui_reports_test.moc"
