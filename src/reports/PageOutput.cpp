#include "reports/PageOutput.h"

#include "data/Error.h"
#include "reports/Messages.h"
#include "reports/ReportRun.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QSaveFile>

#include <climits>

namespace {

[[noreturn]] void fail(const QString& message) {
    throw QlyError(message.toStdString());
}

QString cannotWrite(const QString& path, const QString& cause) {
    return QString::fromLatin1(qly::reports::msg::kCannotWrite).arg(path, cause);
}

}  // namespace

bool layOutFirstPage(TReportRun& run, const TPageSelection& selection) {
    const int first = std::max(1, selection.fromPage) - 1;
    if (run.hasPage(first))
        return true;
    if (!run.valid())
        return false;
    fail(QString::fromLatin1(qly::reports::msg::kNoSuchPage).arg(run.pageCount()).arg(first + 1));
}

void preparePagedDevice(QPagedPaintDevice& device, const TReportRun& run) {
    const QSize units = run.pageSize();
    const QPageSize size(QSizeF(units.width() / qreal(qly::reports::kUnitsPerInch),
                                units.height() / qreal(qly::reports::kUnitsPerInch)),
                         QPageSize::Inch);
    device.setPageLayout(QPageLayout(size, QPageLayout::Portrait, QMarginsF(0, 0, 0, 0)));
}

TOutputResult paintPages(TReportRun& run, QPagedPaintDevice& device,
                         const TPageSelection& selection, const TBetweenPages& betweenPages) {
    const int first = std::max(1, selection.fromPage) - 1;
    const int last = selection.toPage > 0 ? selection.toPage - 1 : INT_MAX;
    if (!layOutFirstPage(run, selection))
        return TOutputResult::Stopped;
    QPainter painter;
    if (!painter.begin(&device))
        return TOutputResult::CannotBegin;
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    TReportRun::beginUnits(painter, device);

    bool firstSheet = true;
    // Paints one page; false when the run has to stop.
    auto emitPage = [&](int index) {
        if (!firstSheet && !device.newPage())
            return false;
        firstSheet = false;
        run.paintPage(painter, index);
        if (betweenPages && !betweenPages(index + 1))
            return false;
        return run.valid();
    };
    const int copies = std::max(1, selection.copies);
    bool going = true;
    if (selection.collate || copies == 1) {
        for (int copy = 0; copy < copies && going; ++copy)
            for (int index = first; going && index <= last && run.hasPage(index); ++index)
                going = emitPage(index);
    } else {
        for (int index = first; going && index <= last && run.hasPage(index); ++index)
            for (int copy = 0; copy < copies && going; ++copy)
                going = emitPage(index);
    }
    painter.end();
    return going && run.valid() ? TOutputResult::Done : TOutputResult::Stopped;
}

TOutputResult printPages(TReportRun& run, QPrinter& printer, const TPageSelection& selection,
                         const TBetweenPages& betweenPages) {
    preparePagedDevice(printer, run);
    printer.setFullPage(true);
    printer.setDocName(run.title());
    TPageSelection pages = selection;
    if (printer.supportsMultipleCopies()) {
        printer.setCopyCount(std::max(1, selection.copies));
        printer.setCollateCopies(selection.collate);
        pages.copies = 1;
    } else {
        printer.setCopyCount(1);
    }
    const TOutputResult result = paintPages(run, printer, pages, betweenPages);
    if (result == TOutputResult::CannotBegin)
        fail(QString::fromLatin1(qly::reports::msg::kPrinterFailed).arg(printer.printerName()));
    if (result == TOutputResult::Stopped)
        printer.abort();
    return result;
}

TOutputResult writePdf(TReportRun& run, const QString& path, const TPageSelection& selection,
                       const TBetweenPages& betweenPages) {
    if (QFileInfo(path).isSymLink())
        fail(cannotWrite(path, QString::fromLatin1(qly::reports::msg::kIsSymlink)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        fail(cannotWrite(path, file.errorString()));
    TOutputResult result = TOutputResult::Stopped;
    {
        QPdfWriter writer(&file);
        preparePagedDevice(writer, run);
        writer.setResolution(qly::reports::kUnitsPerInch);
        writer.setTitle(run.title());
        writer.setCreator(QCoreApplication::applicationName().trimmed());
        result = paintPages(run, writer, selection, betweenPages);
    }
    // Anything but a complete file: the temporary file goes with `file`.
    if (result == TOutputResult::CannotBegin)
        fail(cannotWrite(path, file.errorString()));
    if (result == TOutputResult::Done && !file.commit())
        fail(cannotWrite(path, file.errorString()));
    return result;
}
