// The report engine and the three list reports: pages painted on a
// recording device (where each element lands), on an image (what shows) and
// into PDF files read back with pdftotext (what a reader sees), from copies
// of the fixture tables.

#include "ReportTestSupport.h"

#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/Error.h"
#include "data/Field.h"
#include "data/XBaseEnv.h"
#include "data/XbTable.h"
#include "reports/BandReport.h"
#include "reports/ListReports.h"
#include "reports/PageOutput.h"
#include "reports/ReportRun.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPdfWriter>
#include <QRegularExpression>
#include <QTest>

#include <functional>
#include <memory>

using qlytest::Painted;
using qlytest::RecordingDevice;
using qlytest::TableFolder;

namespace {

// The band area's place on the page: left margin and top margin, in units.
constexpr int kLeft = 35;
constexpr int kTop = 60;
constexpr int kPageHeight = 1320;
constexpr int kBottom = 60;

const char* const kTimeText = "10:20:30";

enum Which { kItems, kLocations, kManufacturers };

struct Layout {
    const char* table;
    const char* title;
    const char* timeLabel;
    TBandReport* (*make)(TDataSource*, QObject*);
    const char* fields[4];
    const char* headings[4];
};

const Layout kLayouts[] = {
    {"MAIN.DBF",
     "Main Table",
     "TimeLabel2",
     &qly::reports::makeItemsReport,
     {"UNIT_ID", "NAME", "CATAGORY", "LOCATION"},
     {"Unit ID", "Name", "Catagory", "Location"}},
    {"Location.dbf",
     "Location Report",
     "TimeLabel3",
     &qly::reports::makeLocationsReport,
     {"NAME_ID", "DEPARTMENT", "MANAGERNAM", "PHONE"},
     {"Name", "Department", "Manager", "Phone"}},
    {"MANUFACT.DBF",
     "Manufacturer Report",
     "TimeLabel1",
     &qly::reports::makeManufacturersReport,
     {"COMPANY", "CITY", "CONTACT", "PHONE"},
     {"Company", "City", "Contact", "Phone"}},
};

// One of the list reports on its own table in a copy of a fixture set.
struct Subject {
    explicit Subject(Which which, const char* set = "sample")
        : layout(kLayouts[which]), folder(set) {
        table.setDatabaseName(folder.path());
        table.setTableName(QString::fromLatin1(layout.table));
        report.reset(layout.make(table.ownDataSource(), nullptr));
        report->label(QString::fromLatin1(layout.timeLabel))
            ->setText(QString::fromLatin1(kTimeText));
    }

    // The values of the four columns of every record the table shows, in
    // its order.
    QList<QStringList> rows() {
        const bool wasOpen = table.active();
        table.open();
        QList<QStringList> out;
        for (table.first(); !table.eof(); table.next()) {
            QStringList row;
            for (const char* field : layout.fields)
                row << table.fieldByName(QString::fromLatin1(field))->asString();
            out << row;
        }
        if (!wasOpen)
            table.close();
        return out;
    }

    void setField(long recno, const char* field, const QString& value) {
        table.open();
        QVERIFY(table.gotoRecord(recno));
        table.edit();
        table.fieldByName(QString::fromLatin1(field))->setAsString(value);
        table.post();
    }

    Painted paint(TReportRun& run, int index) {
        RecordingDevice device;
        QPainter painter(&device);
        TReportRun::beginUnits(painter, device);
        run.paintPage(painter, index);
        painter.end();
        return device.painted();
    }

    QString pdf(const TPageSelection& pages = TPageSelection()) {
        const QString path = folder.file(QStringLiteral("report.pdf"));
        TReportRun run(*report);
        if (writePdf(run, path, pages) != TOutputResult::Done)
            return QString();
        return path;
    }

    const Layout& layout;
    TableFolder folder;
    TXbTable table;
    std::unique_ptr<TBandReport> report;
};

QRegularExpression pageNumberLine(int page) {
    return QRegularExpression(QStringLiteral("Page:\\s+%1\\s*$").arg(page),
                              QRegularExpression::MultilineOption);
}

QString today() {
    return qly::dates::formatDate(QDate::currentDate());
}

}  // namespace

class TestReports : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        m_env = std::make_unique<TXBaseEnv>();
        m_env->setCentury(true);
        m_env->setSoftSeek(true);
        m_env->setDeleted(true);
    }

    void pdfListsEveryRecordInRecordOrder_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QStringList>("deleted");  // values of deleted records
        QTest::newRow("items") << int(kItems) << 2
                               << QStringList{"Laptop #7", "Laptop #17", "Laptop #27",
                                              "Laptop #37"};
        QTest::newRow("locations") << int(kLocations) << 1 << QStringList{"Manager 6"};
        QTest::newRow("manufacturers")
            << int(kManufacturers) << 1 << QStringList{"Epsilon", "Jupiter"};
    }

    void pdfListsEveryRecordInRecordOrder() {
        QFETCH(int, which);
        QFETCH(int, pages);
        QFETCH(QStringList, deleted);
        Subject s(static_cast<Which>(which));
        // Record order, not the order of the table's index.
        s.setField(1, s.layout.fields[0], QStringLiteral("Zz first in the file"));
        s.table.close();
        const QList<QStringList> rows = s.rows();
        QCOMPARE(rows.first().first(), QStringLiteral("Zz first in the file"));

        const QStringList text = qlytest::pdfPages(s.pdf());
        QCOMPARE(text.size(), pages);
        for (int page = 0; page < pages; ++page) {
            const QString& t = text[page];
            QVERIFY2(t.contains(QString::fromLatin1(s.layout.title)), qPrintable(t));
            QVERIFY(QRegularExpression(QStringLiteral("Report Date:\\s+") +
                                       QRegularExpression::escape(today()))
                        .match(t)
                        .hasMatch());
            QVERIFY(QRegularExpression(QStringLiteral("Report Time:\\s+") + kTimeText)
                        .match(t)
                        .hasMatch());
            QString headings;
            for (const char* heading : s.layout.headings)
                headings += QString::fromLatin1(heading) + QStringLiteral("\\s+");
            QVERIFY2(QRegularExpression(headings).match(t).hasMatch(), qPrintable(t));
            QVERIFY2(pageNumberLine(page + 1).match(t).hasMatch(), qPrintable(t));
            for (const QString& gone : deleted)
                QVERIFY2(!t.contains(gone), qPrintable(gone));
        }
        // Each record on a line of its own with its four values side by
        // side, in the table's record order.
        const QStringList lines = text.join(QLatin1Char('\n')).split(QLatin1Char('\n'));
        int at = 0;
        for (const QStringList& row : rows) {
            // pdftotext may widen or narrow the blanks inside a value.
            QStringList words;
            for (const QString& value : row)
                for (const QString& word : value.split(QLatin1Char(' '), Qt::SkipEmptyParts))
                    words << QRegularExpression::escape(word);
            const QRegularExpression line(QStringLiteral("^\\s*") +
                                          words.join(QStringLiteral("\\s+")) +
                                          QStringLiteral("\\s*$"));
            while (at < lines.size() && !line.match(lines[at]).hasMatch())
                ++at;
            QVERIFY2(at < lines.size(), qPrintable(row.join(QLatin1Char('|'))));
            ++at;
        }
    }

    void paintedElementsSitWhereTheLayoutSays_data() {
        QTest::addColumn<int>("which");
        QTest::addColumn<QList<QRect>>("shadows");  // in the band
        QTest::addColumn<QList<QRect>>("boxes");    // title and headings
        QTest::addColumn<QList<int>>("bold");       // of the four headings
        QTest::addColumn<int>("titleSize");
        QTest::addColumn<QRect>("rule");
        QTest::addColumn<int>("headerHeight");
        QTest::addColumn<int>("detailHeight");
        QTest::addColumn<QList<QRect>>("columns");
        QTest::addColumn<QString>("detailFamily");
        QTest::addColumn<int>("detailSize");
        QTest::addColumn<QList<QRect>>("footer");  // "Page:" and the number
        QTest::addColumn<QString>("footerFamily");

        QTest::newRow("items") << int(kItems)
                               << QList<QRect>{{16, 16, 353, 57},
                                               {16, 88, 177, 33},
                                               {264, 88, 145, 33},
                                               {464, 88, 161, 33},
                                               {712, 88, 145, 33}}
                               << QList<QRect>{{16, 8, 345, 57},
                                               {8, 80, 177, 33},
                                               {256, 80, 145, 33},
                                               {456, 80, 161, 33},
                                               {704, 80, 145, 33}}
                               << QList<int>{1, 1, 1, 1} << 43 << QRect(0, 120, 897, 17) << 141
                               << 33
                               << QList<QRect>{{16, 8, 169, 25},
                                               {256, 8, 185, 25},
                                               {456, 8, 209, 25},
                                               {704, 8, 185, 25}}
                               << "Arial" << 17 << QList<QRect>{{768, 8, 57, 25}, {832, 8, 41, 25}}
                               << "Arial";
        QTest::newRow("locations")
            << int(kLocations)
            << QList<QRect>{{24, 16, 393, 57},
                            {24, 96, 145, 33},
                            {264, 96, 161, 33},
                            {488, 96, 153, 33},
                            {720, 96, 145, 33}}
            << QList<QRect>{{16, 8, 393, 57},
                            {16, 88, 145, 33},
                            {256, 88, 161, 33},
                            {480, 88, 153, 33},
                            {712, 88, 145, 33}}
            << QList<int>{1, 1, 1, 0} << 43 << QRect(16, 128, 849, 17) << 150 << 41
            << QList<QRect>{{16, 8, 201, 17},
                            {256, 8, 193, 17},
                            {480, 8, 209, 17},
                            {712, 8, 177, 17}}
            << "Arial" << 17 << QList<QRect>{{768, 8, 57, 25}, {840, 8, 41, 25}}
            << "Times New Roman";
        QTest::newRow("manufacturers")
            << int(kManufacturers)
            << QList<QRect>{{24, 16, 465, 49},
                            {32, 96, 185, 33},
                            {288, 96, 161, 33},
                            {520, 96, 161, 33},
                            {736, 96, 145, 33}}
            << QList<QRect>{{16, 8, 465, 49},
                            {24, 88, 185, 33},
                            {280, 88, 161, 33},
                            {512, 88, 161, 33},
                            {728, 88, 145, 33}}
            << QList<int>{0, 0, 0, 0} << 40 << QRect(0, 128, 897, 17) << 149 << 33
            << QList<QRect>{{24, 8, 225, 25},
                            {280, 8, 209, 25},
                            {512, 8, 193, 25},
                            {728, 8, 161, 25}}
            << "Arial" << 13 << QList<QRect>{{800, 8, 49, 25}, {864, 8, 25, 25}} << "Arial";
    }

    void paintedElementsSitWhereTheLayoutSays() {
        QFETCH(int, which);
        QFETCH(QList<QRect>, shadows);
        QFETCH(QList<QRect>, boxes);
        QFETCH(QList<int>, bold);
        QFETCH(int, titleSize);
        QFETCH(QRect, rule);
        QFETCH(int, headerHeight);
        QFETCH(int, detailHeight);
        QFETCH(QList<QRect>, columns);
        QFETCH(QString, detailFamily);
        QFETCH(int, detailSize);
        QFETCH(QList<QRect>, footer);
        QFETCH(QString, footerFamily);
        Subject s(static_cast<Which>(which));
        const QList<QStringList> rows = s.rows();
        TReportRun run(*s.report);
        QVERIFY(run.hasPage(0));
        const Painted p = s.paint(run, 0);
        const QPoint band(kLeft, kTop);

        // Shadows, grey and first; the title and headings opaque and bordered.
        QList<QRectF> expectedShadows;
        for (const QRect& r : shadows)
            expectedShadows << QRectF(r.translated(band));
        QCOMPARE(p.fillsOf(QColor(128, 128, 128)), expectedShadows);
        QList<QRectF> expectedBoxes;
        for (const QRect& r : boxes)
            expectedBoxes << QRectF(r.translated(band));
        QCOMPARE(p.fillsOf(Qt::white), expectedBoxes);
        QCOMPARE(p.outlines.size(), boxes.size());
        for (int i = 0; i < boxes.size(); ++i)
            QVERIFY(expectedBoxes[i].adjusted(-1, -1, 1, 1).contains(p.outlines[i].rect));

        // The title centred in its box, bold italic Times New Roman.
        const Painted::Text* title = p.find(QString::fromLatin1(s.layout.title));
        QVERIFY(title);
        QCOMPARE(title->font.family(), QStringLiteral("Times New Roman"));
        QCOMPARE(title->font.pixelSize(), titleSize);
        QVERIFY(title->font.bold() && title->font.italic());
        const QRectF titleBox = expectedBoxes[0];
        const qreal titleWidth = QFontMetricsF(title->font).horizontalAdvance(title->text);
        QVERIFY(qAbs(title->baseline.x() - (titleBox.center().x() - titleWidth / 2)) < 2);

        // Headings at the top left of their boxes, Times New Roman 20.
        for (int i = 0; i < 4; ++i) {
            const Painted::Text* heading = p.find(QString::fromLatin1(s.layout.headings[i]));
            QVERIFY(heading);
            const QRectF box = expectedBoxes[i + 1];
            QVERIFY(qAbs(heading->baseline.x() - box.left()) <= 3);
            QVERIFY(heading->baseline.y() > box.top() &&
                    heading->baseline.y() < box.top() + QFontMetricsF(heading->font).ascent() + 3);
            QCOMPARE(heading->font.family(), QStringLiteral("Times New Roman"));
            QCOMPARE(heading->font.pixelSize(), 20);
            QCOMPARE(heading->font.bold(), bold[i] != 0);
        }
        // "Report Date:" and the time text at the top right.
        const Painted::Text* date = p.find(today());
        const Painted::Text* time = p.find(QString::fromLatin1(kTimeText));
        QVERIFY(date && time && p.find(QStringLiteral("Report Date:")) &&
                p.find(QStringLiteral("Report Time:")));
        QCOMPARE(date->baseline.x(), time->baseline.x());
        QCOMPARE(time->baseline.y() - date->baseline.y(), 32.0);
        QCOMPARE(date->font.pixelSize(), 17);

        // The rule under the headings, two units wide.
        QCOMPARE(p.lines.size(), 1);
        const qreal ruleY = kTop + rule.top() + rule.height() / 2.0;
        QCOMPARE(p.lines[0].line,
                 QLineF(kLeft + rule.left(), ruleY, kLeft + rule.right() + 1, ruleY));
        QCOMPARE(p.lines[0].width, 2.0);

        // Detail rows one band apart, each column at its left edge.
        const int firstTop = kTop + headerHeight;
        for (int row = 0; row < 3; ++row) {
            const int top = firstTop + row * detailHeight;
            QCOMPARE(p.textsBetween(top, top + detailHeight), rows[row]);
            for (int c = 0; c < 4; ++c) {
                const Painted::Text* t = nullptr;
                for (const Painted::Text& candidate : p.texts)
                    if (candidate.text == rows[row][c] && candidate.baseline.y() >= top &&
                        candidate.baseline.y() < top + detailHeight)
                        t = &candidate;
                QVERIFY(t);
                QCOMPARE(t->baseline.x(), qreal(kLeft + columns[c].left()));
                QCOMPARE(t->font.family(), detailFamily);
                QCOMPARE(t->font.pixelSize(), detailSize);
            }
        }

        // "Page:" and the number at the bottom of the page.
        const int footerTop = kPageHeight - kBottom - 33;
        QCOMPARE(p.textsBetween(footerTop, footerTop + 33), QStringList({"Page:", "1"}));
        const Painted::Text* pageCaption = p.find(QStringLiteral("Page:"));
        QCOMPARE(pageCaption->baseline.x(), qreal(kLeft + footer[0].left()));
        QCOMPARE(pageCaption->font.family(), footerFamily);
        QCOMPARE(p.find(QStringLiteral("1"))->baseline.x(), qreal(kLeft + footer[1].left()));
    }

    void longTextRunsPastItsBox() {
        Subject s(kItems);
        const QString name = QStringLiteral("An item whose name fills all forty chars");
        QCOMPARE(name.size(), 40);
        s.setField(1, "NAME", name);
        const QRect nameBox(kLeft + 256, kTop + 141 + 8, 185, 25);
        {
            TReportRun run(*s.report);
            QVERIFY(run.hasPage(0));
            const Painted painted = s.paint(run, 0);
            const Painted::Text* t = painted.find(name);
            QVERIFY(t);
            QVERIFY(t->clip.isEmpty());
            // On the page: ink past the box's right edge, before the next column.
            QImage image(1020, 1320, QImage::Format_RGB32);
            image.fill(Qt::white);
            {
                QPainter painter(&image);
                run.paintPage(painter, 0);
            }
            if (!qEnvironmentVariableIsEmpty("QLY_SCREENSHOT_DIR"))
                image.save(qEnvironmentVariable("QLY_SCREENSHOT_DIR") +
                           QStringLiteral("/items-report-page1.png"));
            bool inkBeyond = false;
            for (int y = nameBox.top(); y <= nameBox.bottom(); ++y)
                for (int x = nameBox.right() + 2; x < kLeft + 456; ++x)
                    inkBeyond = inkBeyond || qGray(image.pixel(x, y)) < 128;
            QVERIFY(inkBeyond);
        }
        // The whole name in the file, though its end lies under the next column.
        QVERIFY(qlytest::pdfPages(s.pdf(), true).value(0).contains(name));

        // With ClipLabels on, the text is cut at its box.
        s.report->setClipLabels(true);
        TReportRun clipped(*s.report);
        QVERIFY(clipped.hasPage(0));
        const Painted painted = s.paint(clipped, 0);
        const Painted::Text* t = painted.find(name);
        QVERIFY(t);
        QCOMPARE(t->clip, QRectF(nameBox));
    }

    void emptyTablePrintsOnePageOfHeadings_data() {
        QTest::addColumn<int>("which");
        QTest::newRow("items") << int(kItems);
        QTest::newRow("locations") << int(kLocations);
        QTest::newRow("manufacturers") << int(kManufacturers);
    }

    void emptyTablePrintsOnePageOfHeadings() {
        QFETCH(int, which);
        Subject s(static_cast<Which>(which), "empty");
        TReportRun run(*s.report);
        QCOMPARE(run.pageCount(), 1);
        QVERIFY(run.noRecords());
        QCOMPARE(run.plan(0).details, 0);
        const Painted p = s.paint(run, 0);
        // Nothing between the rule and the page footer.
        QVERIFY(p.textsBetween(kTop + 141, kPageHeight - kBottom - 33).isEmpty());
        const QStringList text = qlytest::pdfPages(s.pdf());
        QCOMPARE(text.size(), 1);
        QVERIFY(text[0].contains(QString::fromLatin1(s.layout.title)));
        QVERIFY(text[0].contains(QString::fromLatin1(s.layout.headings[3])));
        QVERIFY(pageNumberLine(1).match(text[0]).hasMatch());

        // With NoDataQuit on, a run of an empty table produces nothing.
        s.report->setNoDataQuit(true);
        s.report->setPrompt(false);
        QVERIFY(!s.report->run(nullptr));
    }

    void deletedRecordsFollowTheEnvironment() {
        Subject s(kItems);
        m_env->setDeleted(false);
        TReportRun all(*s.report);
        const int pagesWithDeleted = all.pageCount();
        const int details = all.plan(0).details + all.plan(1).details;
        m_env->setDeleted(true);
        TReportRun visible(*s.report);
        visible.pageCount();
        QCOMPARE(pagesWithDeleted, 2);
        QCOMPARE(details, 40);
        QCOMPARE(visible.plan(0).details + visible.plan(1).details, 36);
    }

    void pagesBreakAsTheBandsRequire_data() {
        // A report over the seven locations whose page holds three detail
        // bands of 50 below a page header of 100 and above a page footer of 20.
        QTest::addColumn<int>("reportHeader");  // height; 0: hidden
        QTest::addColumn<int>("reportFooter");
        QTest::addColumn<QString>("set");
        QTest::addColumn<QString>("plans");  // details per page; H header, F footer
        QTest::newRow("details only") << 0 << 0 << "sample"
                                      << "3 3 1";
        QTest::newRow("footer fits the last page") << 0 << 40 << "sample"
                                                   << "3 3 1F";
        QTest::newRow("footer gets a page of its own") << 0 << 120 << "sample"
                                                       << "3 3 1 0F";
        QTest::newRow("header takes room on page one") << 100 << 0 << "sample"
                                                       << "H1 3 3";
        QTest::newRow("header and footer of an empty table") << 100 << 40 << "empty"
                                                             << "H0F";
        QTest::newRow("a band taller than the page") << 0 << 400 << "sample"
                                                     << "3 3 1 0F";
    }

    void pagesBreakAsTheBandsRequire() {
        QFETCH(int, reportHeader);
        QFETCH(int, reportFooter);
        QFETCH(QString, set);
        QFETCH(QString, plans);
        TableFolder folder(set.toLatin1().constData());
        QCOMPARE(folder.error(), QString());
        TXbTable table;
        table.setDatabaseName(folder.path());
        table.setTableName(QStringLiteral("Location.dbf"));
        TBandReport report;
        TBandPage& page = report.page();
        page.setDataSource(table.ownDataSource());
        page.setPageSize(QSize(1020, 60 + 60 + 100 + 20 + 150));
        page.pageHeader.setHeight(100);
        page.pageFooter.setHeight(20);
        page.pageFooter.add<TVarLabel>(QRect(0, 0, 40, 20))
            ->setVariable(report.addVariable<TPageVar>());
        page.detail.setHeight(50);
        page.detail.add<TVarLabel>(QRect(0, 0, 200, 20))
            ->setVariable(report.addVariable<TFieldVar>(table.ownDataSource(), "NAME_ID"));
        page.reportHeader.setHeight(reportHeader);
        page.reportHeader.setVisible(reportHeader > 0);
        page.reportFooter.setHeight(reportFooter);
        page.reportFooter.setVisible(reportFooter > 0);

        TReportRun run(report);
        const int count = run.pageCount();
        QStringList got;
        for (int i = 0; i < count; ++i) {
            const TPagePlan& plan = run.plan(i);
            got << QStringLiteral("%1%2%3")
                       .arg(plan.reportHeader ? "H" : "")
                       .arg(plan.details)
                       .arg(plan.reportFooter ? "F" : "");
        }
        QCOMPARE(got.join(QLatin1Char(' ')), plans);

        // The page footer on every page, the last included; not on the last
        // with OmitLastPgFt.
        for (bool omit : {false, true}) {
            report.setOmitLastPageFooter(omit);
            TReportRun again(report);
            for (int i = 0; i < count; ++i) {
                RecordingDevice device;
                QPainter painter(&device);
                QVERIFY(again.hasPage(i));
                again.paintPage(painter, i);
                painter.end();
                const bool footer = device.painted().find(QString::number(i + 1)) != nullptr;
                QCOMPARE(footer, !(omit && i == count - 1));
            }
        }
    }

    void locationsReportEndsWithItsEmptyFooter() {
        // Locations: 20 units of report footer on the last page, nothing
        // printed in it; the other two end with their last detail band.
        for (Which which : {kItems, kLocations, kManufacturers}) {
            Subject s(which);
            TReportRun run(*s.report);
            const int last = run.pageCount() - 1;
            QCOMPARE(run.plan(last).reportFooter, which == kLocations);
            QCOMPARE(s.report->page().reportFooter.extent(), which == kLocations ? 20 : 0);
            QVERIFY(s.report->page().reportFooter.elements().empty());
        }
    }

    void pagesAreLaidOutAsTheyAreAskedFor() {
        Subject s(kItems);
        TReportRun run(*s.report);
        QCOMPARE(run.pagesLaidOut(), 0);
        QVERIFY(run.hasPage(0));
        QCOMPARE(run.pagesLaidOut(), 1);
        QVERIFY(!run.complete());
        s.paint(run, 0);
        QCOMPARE(run.pagesLaidOut(), 1);
        QVERIFY(run.hasPage(1));
        QVERIFY(!run.hasPage(2));
        QVERIFY(run.complete());
        QCOMPARE(run.plan(0).details, 31);
        QCOMPARE(run.plan(1).details, 5);

        // A record deleted since its page was laid out: the page goes on
        // from the record after it.
        const long first = run.plan(1).firstRecord;
        s.table.gotoRecord(first);
        s.table.deleteRecord();
        const Painted p = s.paint(run, 1);
        QVERIFY(!p.textsBetween(kTop + 141, kTop + 141 + 33).isEmpty());
        QCOMPARE(p.textsBetween(kTop + 141, kPageHeight).filter(QStringLiteral("U000")).size(), 4);
    }

    void runOpensAClosedTableForItself() {
        {
            // Closed before: opened for the run and closed after it.
            Subject s(kManufacturers);
            {
                TReportRun run(*s.report);
                QVERIFY(s.table.active());
            }
            QVERIFY(!s.table.active());
            // Open before: stays open.
            s.table.open();
            { TReportRun run(*s.report); }
            QVERIFY(s.table.active());
            // CloseDataSet closes it all the same.
            s.report->setCloseDataSet(true);
            { TReportRun run(*s.report); }
            QVERIFY(!s.table.active());
        }
        // A table that cannot be opened: the table layer's message, no pages.
        Subject s(kLocations);
        QVERIFY(QFile::remove(s.folder.file(QStringLiteral("Location.dbf"))));
        const QString out = s.folder.file(QStringLiteral("never.pdf"));
        try {
            TReportRun run(*s.report);
            QFAIL("the run started");
        } catch (const QlyError& error) {
            const QString message = QString::fromStdString(error.what());
            QVERIFY2(message.startsWith(QStringLiteral("Cannot open table ")), qPrintable(message));
            QVERIFY(message.contains(QStringLiteral("Location.dbf")));
        }
        QVERIFY(!QFile::exists(out));
        QVERIFY(!s.table.active());
    }

    void pageSelectionAndCopies_data() {
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<int>("copies");
        QTest::addColumn<bool>("collate");
        QTest::addColumn<QList<int>>("pages");  // the page numbers printed, in order
        QTest::newRow("all") << 1 << 0 << 1 << true << QList<int>{1, 2};
        QTest::newRow("second only") << 2 << 2 << 1 << true << QList<int>{2};
        QTest::newRow("past the end") << 1 << 9 << 1 << true << QList<int>{1, 2};
        QTest::newRow("collated copies") << 1 << 0 << 2 << true << QList<int>{1, 2, 1, 2};
        QTest::newRow("uncollated copies") << 1 << 0 << 2 << false << QList<int>{1, 1, 2, 2};
    }

    void pageSelectionAndCopies() {
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(int, copies);
        QFETCH(bool, collate);
        QFETCH(QList<int>, pages);
        Subject s(kItems);
        TReportRun run(*s.report);
        const QString path = s.folder.file(QStringLiteral("copies.pdf"));
        {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QPdfWriter writer(&file);
            preparePagedDevice(writer, run);
            QCOMPARE(paintPages(run, writer, TPageSelection{from, to, copies, collate}),
                     TOutputResult::Done);
        }
        const QStringList text = qlytest::pdfPages(path);
        QCOMPARE(text.size(), pages.size());
        for (int i = 0; i < pages.size(); ++i)
            QVERIFY2(pageNumberLine(pages[i]).match(text[i]).hasMatch(), qPrintable(text[i]));
    }

    void pdfFileIsAllOrNothing() {
        Subject s(kItems);
        const QString path = s.folder.file(QStringLiteral("out.pdf"));
        auto writeOld = [&] {
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("old");
        };
        auto contents = [&] {
            QFile file(path);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        auto otherFiles = [&] {
            return QDir(s.folder.path()).entryList({QStringLiteral("out*")}, QDir::Files);
        };
        writeOld();

        // Stopped after the first page: the old file stays, no temporary remains.
        {
            TReportRun run(*s.report);
            QCOMPARE(writePdf(run, path, {}, [](int) { return false; }), TOutputResult::Stopped);
        }
        QCOMPARE(contents(), QByteArray("old"));
        QCOMPARE(otherFiles(), QStringList{"out.pdf"});

        // The table closed between pages: the run stops reading it.
        {
            TReportRun run(*s.report);
            int pagesDone = 0;
            QCOMPARE(writePdf(run, path, {},
                              [&](int) {
                                  ++pagesDone;
                                  s.table.close();
                                  return true;
                              }),
                     TOutputResult::Stopped);
            QCOMPARE(pagesDone, 1);
        }
        QCOMPARE(contents(), QByteArray("old"));

        // A selection past the last page, a missing folder, a symbolic link:
        // refused with the file and the cause, the old file as it was.
        const struct {
            QString path;
            TPageSelection pages;
            QString message;
        } refusals[] = {
            {path, {5, 0, 1, true}, "The report has 2 pages: there is no page 5"},
            {s.folder.file("missing/out.pdf"),
             {},
             "Cannot write " + s.folder.file("missing/out.pdf")},
            {s.folder.file("link.pdf"),
             {},
             "Cannot write " + s.folder.file("link.pdf") + ": it is a symbolic link"},
        };
        QVERIFY(QFile::link(path, s.folder.file(QStringLiteral("link.pdf"))));
        for (const auto& refusal : refusals) {
            TReportRun run(*s.report);
            try {
                writePdf(run, refusal.path, refusal.pages);
                QFAIL(qPrintable(refusal.path));
            } catch (const QlyError& error) {
                QVERIFY2(QString::fromStdString(error.what()).startsWith(refusal.message),
                         error.what());
            }
        }
        QCOMPARE(contents(), QByteArray("old"));

        // Complete: the file replaced.
        s.table.open();
        TReportRun run(*s.report);
        QCOMPARE(writePdf(run, path, {}), TOutputResult::Done);
        QVERIFY(contents().startsWith("%PDF"));
        QCOMPARE(qlytest::pdfPages(path).size(), 2);
    }

    void longTimeTextHasSeconds() {
        const QString text = qly::reports::longTimeText(QTime(14, 5, 9));
        QVERIFY2(text.contains(QStringLiteral("05")) && text.contains(QStringLiteral("09")),
                 qPrintable(text));
        QVERIFY(qly::reports::longTimeText(QTime(14, 5, 9)) !=
                qly::reports::longTimeText(QTime(14, 5, 10)));
    }

private:
    std::unique_ptr<TXBaseEnv> m_env;
};

QTEST_MAIN(TestReports)
#include "reports_test.moc"
