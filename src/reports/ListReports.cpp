#include "reports/ListReports.h"

#include "reports/BandReport.h"

#include <QLocale>
#include <QRegularExpression>

namespace qly::reports {

namespace {

const char* const kArial = "Arial";
const char* const kTimes = "Times New Roman";

QFont font(const char* family, int units, bool bold = false, bool italic = false) {
    QFont f(QString::fromLatin1(family));
    f.setPixelSize(units);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

TVarLabel* caption(TBand& band, const QRect& box, const char* text) {
    auto* label = band.add<TVarLabel>(box);
    label->setCaption(QString::fromLatin1(text));
    return label;
}

struct Heading {
    QRect shadow;
    QRect box;
    const char* text;
    bool bold;
};

// What sets one report's page header apart from the others'.
struct PageHeader {
    int height;
    const char* title;
    QRect titleShadow;
    QRect titleBox;
    int titleSize;
    int captionLeft;  // of "Report Date:" and "Report Time:"
    int valueLeft;    // of the date and the time text
    const char* timeLabel;
    Heading headings[4];
    QRect rule;
};

void buildPageHeader(TBandReport& report, const PageHeader& h) {
    TBand& band = report.page().pageHeader;
    band.setHeight(h.height);

    band.add<TBandShape>(h.titleShadow);
    TVarLabel* title = caption(band, h.titleBox, h.title);
    title->setFont(font(kTimes, h.titleSize, true, true));
    title->setTransparent(false);
    title->setBorder(true);
    title->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);

    const QFont stamp = font(kTimes, 17);
    caption(band, QRect(h.captionLeft, 0, 97, 25), "Report Date:")->setFont(stamp);
    auto* date = band.add<TVarLabel>(QRect(h.valueLeft, 0, 89, 25));
    date->setVariable(report.addVariable<TDateTimeVar>());
    date->setFont(stamp);
    caption(band, QRect(h.captionLeft, 32, 97, 25), "Report Time:")->setFont(stamp);
    auto* time = band.add<TVarLabel>(QRect(h.valueLeft, 32, 89, 25));
    time->setName(QString::fromLatin1(h.timeLabel));
    time->setFont(stamp);

    for (const Heading& heading : h.headings)
        band.add<TBandShape>(heading.shadow);
    for (const Heading& heading : h.headings) {
        TVarLabel* label = caption(band, heading.box, heading.text);
        label->setFont(font(kTimes, 20, heading.bold));
        label->setTransparent(false);
        label->setBorder(true);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    }
    band.add<TBandLine>(h.rule, 2);
}

struct Column {
    const char* field;
    QRect box;
};

void buildDetail(TBandReport& report, TDataSource* source, int height, const Column (&columns)[4]) {
    TBand& band = report.page().detail;
    band.setHeight(height);
    for (const Column& column : columns) {
        auto* label = band.add<TVarLabel>(column.box);
        label->setVariable(
            report.addVariable<TFieldVar>(source, QString::fromLatin1(column.field)));
    }
}

// "Page:" and the page number; without a font both use the report's.
void buildPageFooter(TBandReport& report, const QRect& captionBox, const QRect& numberBox,
                     const QFont* labelFont = nullptr) {
    TBand& band = report.page().pageFooter;
    band.setHeight(33);
    TVarLabel* text = caption(band, captionBox, "Page:");
    auto* number = band.add<TVarLabel>(numberBox);
    number->setVariable(report.addVariable<TPageVar>());
    if (labelFont) {
        text->setFont(*labelFont);
        number->setFont(*labelFont);
    }
}

TBandReport* newReport(const char* name, const char* title, const QFont& reportFont,
                       TDataSource* source, QObject* parent, bool reportFooterShown) {
    auto* report = new TBandReport(parent);
    report->setObjectName(QString::fromLatin1(name));
    report->setTitle(QString::fromLatin1(title));
    report->setFont(reportFont);
    TBandPage& page = report->page();
    page.setDataSource(source);
    page.setDataRange(drAllRecords);
    page.reportHeader.setHeight(5);
    page.reportHeader.setVisible(false);
    page.reportFooter.setHeight(20);
    page.reportFooter.setVisible(reportFooterShown);
    return report;
}

}  // namespace

TBandReport* makeItemsReport(TDataSource* source, QObject* parent) {
    TBandReport* report =
        newReport("Report2", "Main Table", font(kArial, 17), source, parent, false);
    buildPageHeader(*report,
                    {141,
                     "Main Table",
                     QRect(16, 16, 353, 57),
                     QRect(16, 8, 345, 57),
                     43,
                     680,
                     800,
                     "TimeLabel2",
                     {{QRect(16, 88, 177, 33), QRect(8, 80, 177, 33), "Unit ID", true},
                      {QRect(264, 88, 145, 33), QRect(256, 80, 145, 33), "Name", true},
                      {QRect(464, 88, 161, 33), QRect(456, 80, 161, 33), "Catagory", true},
                      {QRect(712, 88, 145, 33), QRect(704, 80, 145, 33), "Location", true}},
                     QRect(0, 120, 897, 17)});
    buildDetail(*report, source, 33,
                {{"UNIT_ID", QRect(16, 8, 169, 25)},
                 {"NAME", QRect(256, 8, 185, 25)},
                 {"CATAGORY", QRect(456, 8, 209, 25)},
                 {"LOCATION", QRect(704, 8, 185, 25)}});
    buildPageFooter(*report, QRect(768, 8, 57, 25), QRect(832, 8, 41, 25));
    return report;
}

TBandReport* makeLocationsReport(TDataSource* source, QObject* parent) {
    TBandReport* report =
        newReport("Report3", "Location Report", font(kArial, 17), source, parent, true);
    buildPageHeader(*report,
                    {150,
                     "Location Report",
                     QRect(24, 16, 393, 57),
                     QRect(16, 8, 393, 57),
                     43,
                     664,
                     792,
                     "TimeLabel3",
                     {{QRect(24, 96, 145, 33), QRect(16, 88, 145, 33), "Name", true},
                      {QRect(264, 96, 161, 33), QRect(256, 88, 161, 33), "Department", true},
                      {QRect(488, 96, 153, 33), QRect(480, 88, 153, 33), "Manager", true},
                      {QRect(720, 96, 145, 33), QRect(712, 88, 145, 33), "Phone", false}},
                     QRect(16, 128, 849, 17)});
    buildDetail(*report, source, 41,
                {{"NAME_ID", QRect(16, 8, 201, 17)},
                 {"DEPARTMENT", QRect(256, 8, 193, 17)},
                 {"MANAGERNAM", QRect(480, 8, 209, 17)},
                 {"PHONE", QRect(712, 8, 177, 17)}});
    const QFont footer = font(kTimes, 17);
    buildPageFooter(*report, QRect(768, 8, 57, 25), QRect(840, 8, 41, 25), &footer);
    return report;
}

TBandReport* makeManufacturersReport(TDataSource* source, QObject* parent) {
    // No font of its own: it prints in the font of the reports dialog that
    // holds it, Arial 13.
    TBandReport* report =
        newReport("Report1", "Manufacturer Report", font(kArial, 13), source, parent, false);
    buildPageHeader(*report, {149,
                              "Manufacturer Report",
                              QRect(24, 16, 465, 49),
                              QRect(16, 8, 465, 49),
                              40,
                              680,
                              800,
                              "TimeLabel1",
                              {{QRect(32, 96, 185, 33), QRect(24, 88, 185, 33), "Company", false},
                               {QRect(288, 96, 161, 33), QRect(280, 88, 161, 33), "City", false},
                               {QRect(520, 96, 161, 33), QRect(512, 88, 161, 33), "Contact", false},
                               {QRect(736, 96, 145, 33), QRect(728, 88, 145, 33), "Phone", false}},
                              QRect(0, 128, 897, 17)});
    buildDetail(*report, source, 33,
                {{"COMPANY", QRect(24, 8, 225, 25)},
                 {"CITY", QRect(280, 8, 209, 25)},
                 {"CONTACT", QRect(512, 8, 193, 25)},
                 {"PHONE", QRect(728, 8, 161, 25)}});
    buildPageFooter(*report, QRect(800, 8, 49, 25), QRect(864, 8, 25, 25));
    return report;
}

QString longTimeText(const QTime& time) {
    const QLocale locale = QLocale::system();
    // The long format without the time zone that Qt's long format adds.
    QString format = locale.timeFormat(QLocale::LongFormat);
    format.remove(QRegularExpression(QStringLiteral("\\s*\\bt+\\b")));
    return locale.toString(time, format.trimmed());
}

}  // namespace qly::reports
