#pragma once

#include <QString>

#include <functional>

class QPagedPaintDevice;
class QPrinter;
class TReportRun;

// Which pages of a run go out, and how many copies.
struct TPageSelection {
    int fromPage = 1;  // the first page, 1-based
    int toPage = 0;    // the last page; 0: the report's last
    int copies = 1;
    bool collate = true;  // whole copies one after the other (off: each page n times)
};

// Called after each page with the number of the page just produced; returns
// false to stop. This is where the event loop runs between pages.
using TBetweenPages = std::function<bool(int pageNumber)>;

enum class TOutputResult {
    Done,
    Stopped,     // asked to stop, or the run's table was closed meanwhile
    CannotBegin  // the device refused painting (paintPages only; the others throw)
};

// Lays out the run as far as the selection's first page. False when the
// run's table was closed meanwhile; throws QlyError when the report ends
// before that page.
bool layOutFirstPage(TReportRun& run, const TPageSelection& selection);

// Gives a printer or PDF writer the run's page size with no margins.
void preparePagedDevice(QPagedPaintDevice& device, const TReportRun& run);

// Paints the selected pages on a prepared paged device, copies included.
// Throws QlyError when the selection starts past the report's last page. The run's pages are laid
// out as they go out.
TOutputResult paintPages(TReportRun& run, QPagedPaintDevice& device,
                         const TPageSelection& selection,
                         const TBetweenPages& betweenPages = nullptr);

// Sends the selected pages to a printer, letting it make the copies when it
// can. A stopped run aborts the print job.
TOutputResult printPages(TReportRun& run, QPrinter& printer, const TPageSelection& selection,
                         const TBetweenPages& betweenPages = nullptr);

// Writes the selected pages into a PDF file, all or nothing: the pages go to
// a temporary file in the same folder, which takes the file's name only when
// it is complete, so a stopped run or a failure leaves an earlier file of
// that name as it was. A symbolic link is not written through. Throws
// QlyError naming the file and the cause.
TOutputResult writePdf(TReportRun& run, const QString& path, const TPageSelection& selection,
                       const TBetweenPages& betweenPages = nullptr);
