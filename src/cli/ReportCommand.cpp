// qlyctl report: one of the three list reports written as a PDF file,
// without a display, for scheduled runs. The pages are the ones the
// program's reports dialog prints.

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QTime>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <string>

#include "cli/Commands.h"
#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/XBaseEnv.h"
#include "data/XbTable.h"
#include "reports/BandReport.h"
#include "reports/ListReports.h"
#include "reports/PageOutput.h"
#include "reports/ReportRun.h"
#include "settings/SettingsStore.h"

namespace qlyctl {

namespace {

const char* const kSynopsis = "report items|locations|manufacturers FOLDER OUT.pdf";

struct ReportKind {
    const char* name;
    const char* table;
    TBandReport* (*make)(TDataSource*, QObject*);
    const char* timeLabel;
};

const ReportKind kReports[] = {
    {"items", "MAIN.DBF", &qly::reports::makeItemsReport, "TimeLabel2"},
    {"locations", "Location.dbf", &qly::reports::makeLocationsReport, "TimeLabel3"},
    {"manufacturers", "MANUFACT.DBF", &qly::reports::makeManufacturersReport, "TimeLabel1"},
};

// The date format and century of the user's settings, as the program
// applies them at start; a store or value that cannot be read leaves the
// program's defaults.
void applyDateSettings(TXBaseEnv& env) {
    qly::SettingsStore store;
    if (!store.open())
        return;
    std::int32_t century = 0;
    if (store.readInteger(qly::kValueCentury, &century).ok())
        env.setCentury(century != 0);
    std::int32_t format = 0;
    if (store.readInteger(qly::kValueDateFormat, &format).ok() && format >= dfAmerican &&
        format <= dfSpanish)
        env.setDateFormat(static_cast<TXBaseDateFrmt>(format));
    store.close();
}

// Qt's own notices (a missing runtime folder and the like) are no concern of
// a scheduled run; failures are reported by the command itself.
void quietNotices(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

}  // namespace

int cmdReport(const Args& args) {
    if (args.size() != 3) {
        std::fprintf(stderr, "usage: qlyctl %s\n", kSynopsis);
        return kExitUsage;
    }
    const ReportKind* kind = nullptr;
    for (const ReportKind& k : kReports) {
        if (args[0] == k.name)
            kind = &k;
    }
    if (!kind) {
        std::fprintf(stderr, "qlyctl report: unknown report '%s'\nusage: qlyctl %s\n",
                     args[0].c_str(), kSynopsis);
        return kExitUsage;
    }

    // Fonts and PDF output need a GUI application, but no display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(quietNotices);
    static int argc = 1;
    static char program[] = "qlyctl";
    static char* argv[] = {program, nullptr};
    QGuiApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Quillory"));

    const QString folder = QString::fromLocal8Bit(args[1].c_str());
    const QString output = QString::fromLocal8Bit(args[2].c_str());
    const QFileInfo folderInfo(folder);
    if (!folderInfo.isDir()) {
        std::fprintf(stderr, "qlyctl report: %s: no such folder\n", args[1].c_str());
        return kExitFailure;
    }

    qly::dates::widenShortDateFormat();
    TXBaseEnv env;
    env.setCentury(true);
    env.setSoftSeek(true);
    env.setDeleted(true);
    applyDateSettings(env);

    TXbTable table;
    table.setDatabaseName(folderInfo.absoluteFilePath() + QLatin1Char('/'));
    table.setTableName(QString::fromLatin1(kind->table));
    const std::unique_ptr<TBandReport> report(kind->make(table.ownDataSource(), nullptr));
    report->label(QString::fromLatin1(kind->timeLabel))
        ->setText(qly::reports::longTimeText(QTime::currentTime()));
    try {
        TReportRun run(*report);
        writePdf(run, output, TPageSelection());
        std::printf("%s: %s, %d page%s\n", args[2].c_str(), qPrintable(report->title()),
                    run.pagesLaidOut(), run.pagesLaidOut() == 1 ? "" : "s");
    } catch (const std::exception& error) {
        std::fprintf(stderr, "qlyctl report: %s\n", error.what());
        return kExitFailure;
    }
    return kExitOk;
}

}  // namespace qlyctl
