#pragma once

#include "data/DbTable.h"
#include "reports/BandReport.h"

#include <QDateTime>
#include <QHash>
#include <QPointer>
#include <QSize>
#include <QString>

#include <vector>

class QPainter;
class QPaintDevice;

// What one page of a run holds: the record its detail bands start at and
// how many there are, and whether the report header or footer falls on it.
struct TPagePlan {
    long firstRecord = 0;  // record number (0: no detail band on the page)
    int details = 0;
    bool reportHeader = false;
    bool reportFooter = false;
};

// One run of a report definition over the table of its page's data source.
//
// Pages are laid out only as far as they are asked for: laying out a page
// walks the record numbers of its detail bands without reading or painting
// them, and remembers where the page starts. Painting a page goes to its
// first record and reads its records then. So the first page of a table of
// any size is ready at once, and only the plans (a few bytes a page) are
// kept, never the painted pages.
//
// The records are walked in the table's current order through the engine,
// which leaves out records marked deleted as the engine environment says.
// A run keeps no engine position between calls: each page is found again
// from its plan, so several runs (or other users of the table) may take
// turns between pages.
class TReportRun {
public:
    // Takes the date and time and the texts the program set on the labels;
    // opens the table when it is closed (and closes it again at the end of
    // the run). Throws QlyError with the table layer's message when the
    // table cannot be opened, or a field a label prints does not exist.
    explicit TReportRun(TBandReport& report);
    ~TReportRun();
    TReportRun(const TReportRun&) = delete;
    TReportRun& operator=(const TReportRun&) = delete;

    // The definition and its table still exist and the table is open.
    bool valid() const;
    TBandReport* report() const { return m_report; }
    TDbTable* table() const { return m_table; }
    QString title() const;
    QDateTime started() const { return m_context.started; }
    QSize pageSize() const { return m_pageSize; }  // units
    // No records to print.
    bool noRecords() const { return m_noRecords; }

    // Lays out pages until the one of that index (0-based) is known; false
    // when the report has fewer pages.
    bool hasPage(int index);
    // Lays out up to count further pages; true once the last page is known.
    bool layOutMore(int count);
    bool complete() const { return m_complete; }
    int pagesLaidOut() const { return static_cast<int>(m_plans.size()); }
    // Lays out every page and returns how many there are.
    int pageCount();
    const TPagePlan& plan(int index) const { return m_plans.at(static_cast<std::size_t>(index)); }

    // Paints a page with the painter in report units, origin at the top left
    // corner of the page (see beginUnits). The page must be laid out
    // (hasPage). Nothing is painted once the run is no longer valid.
    void paintPage(QPainter& painter, int index);

    // Scales the painter from report units to the device's resolution.
    static void beginUnits(QPainter& painter, const QPaintDevice& device);

private:
    void layOutPage();
    bool positionOnRecord(long record);

    QPointer<TBandReport> m_report;
    QPointer<TDbTable> m_table;
    bool m_openedTable = false;
    bool m_closeTable = false;
    QSize m_pageSize;
    QHash<const TVarLabel*, QString> m_programTexts;
    TReportContext m_context;

    std::vector<TPagePlan> m_plans;
    long m_nextRecord = 0;  // the next record to lay out (0: none left)
    bool m_reportHeaderDone = false;
    bool m_reportFooterDone = false;
    bool m_complete = false;
    bool m_noRecords = true;
};
