#include "reports/ReportRun.h"

#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "reports/Messages.h"

#include <QPaintDevice>
#include <QPainter>

#include <algorithm>

TReportRun::TReportRun(TBandReport& report) : m_report(&report) {
    const TBandPage& page = report.page();
    m_table = page.dataSource() ? page.dataSource()->dataSet() : nullptr;
    if (!m_table)
        throw QlyError(qly::reports::msg::kNoTable);
    if (!m_table->active()) {
        m_table->open();  // throws the table layer's message
        m_openedTable = true;
    }
    m_closeTable = report.closeDataSet() || (m_openedTable && report.closeDataSources());
    try {
        // A field the report prints must exist before any page is laid out.
        for (const TVarLabel* label : report.labels()) {
            if (const auto* field = dynamic_cast<const TFieldVar*>(label->variable())) {
                if (field->dataSource() == page.dataSource())
                    m_table->fieldByName(field->fieldName());
            }
        }
        m_nextRecord = m_table->engineTop();
    } catch (...) {
        if (m_closeTable)
            m_table->close();
        throw;
    }
    m_noRecords = m_nextRecord == 0;
    if (!page.detail.visible())
        m_nextRecord = 0;
    for (const TVarLabel* label : report.labels())
        m_programTexts.insert(label, label->text());
    m_pageSize = page.pageSize();
    m_context.started = QDateTime::currentDateTime();
    m_context.reportFont = report.font();
    m_context.clipLabels = report.clipLabels();
    m_context.pageColor = page.pageColor();
    m_context.programTexts = &m_programTexts;
}

TReportRun::~TReportRun() {
    if (m_closeTable && m_table && m_table->active())
        m_table->close();
}

bool TReportRun::valid() const {
    return m_report && m_table && m_table->active();
}

QString TReportRun::title() const {
    return m_report ? m_report->title() : QString();
}

bool TReportRun::hasPage(int index) {
    while (pagesLaidOut() <= index && !m_complete && valid())
        layOutPage();
    return index >= 0 && index < pagesLaidOut();
}

bool TReportRun::layOutMore(int count) {
    for (int i = 0; i < count && !m_complete && valid(); ++i)
        layOutPage();
    return m_complete;
}

int TReportRun::pageCount() {
    while (!m_complete && valid())
        layOutPage();
    return pagesLaidOut();
}

void TReportRun::layOutPage() {
    const TBandPage& page = m_report->page();
    TPagePlan plan;
    const int available = m_pageSize.height() - page.topMargin() - page.bottomMargin() -
                          page.pageHeader.extent() - page.pageFooter.extent();
    int used = 0;
    bool placed = false;  // a band taller than the page still gets a page of its own
    if (!m_reportHeaderDone) {
        m_reportHeaderDone = true;
        if (page.reportHeader.visible()) {
            plan.reportHeader = true;
            used += page.reportHeader.extent();
            placed = true;
        }
    }
    if (m_nextRecord != 0) {
        const int height = std::max(1, page.detail.extent());
        int capacity = std::max(0, (available - used) / height);
        if (capacity == 0 && !placed)
            capacity = 1;
        if (capacity > 0) {
            // The records after the page's first one: the page holds
            // capacity - 1 of them, the next page starts at the one after.
            const std::vector<long> after = m_table->engineWalk(m_nextRecord, 1, capacity);
            const long count = static_cast<long>(after.size());
            plan.firstRecord = m_nextRecord;
            plan.details = static_cast<int>(std::min<long>(capacity, count + 1));
            m_nextRecord = count >= capacity ? after[static_cast<std::size_t>(capacity - 1)] : 0;
            used += plan.details * height;
            placed = true;
        }
    }
    if (m_nextRecord == 0 && !m_reportFooterDone) {
        if (!page.reportFooter.visible()) {
            m_reportFooterDone = true;
        } else if (used + page.reportFooter.extent() <= available || !placed) {
            plan.reportFooter = true;
            m_reportFooterDone = true;
        }
    }
    m_complete = m_nextRecord == 0 && m_reportFooterDone;
    m_plans.push_back(plan);
}

bool TReportRun::positionOnRecord(long record) {
    // A record deleted since its page was laid out: the page goes on from
    // the record after it.
    if (m_table->gotoRecord(record))
        return true;
    const std::vector<long> after = m_table->engineWalk(record, 1, 1);
    return !after.empty() && m_table->gotoRecord(after.front());
}

void TReportRun::paintPage(QPainter& painter, int index) {
    if (!valid() || index < 0 || index >= pagesLaidOut())
        return;
    const TBandPage& page = m_report->page();
    const TPagePlan plan = m_plans[static_cast<std::size_t>(index)];
    m_context.pageNumber = index + 1;
    const int left = page.leftMargin();
    auto paintBand = [&](const TBand& band, int top) {
        painter.save();
        painter.translate(left, top);
        band.paint(painter, m_context);
        painter.restore();
    };

    int y = page.topMargin();
    if (page.pageHeader.visible()) {
        paintBand(page.pageHeader, y);
        y += page.pageHeader.extent();
    }
    if (plan.reportHeader) {
        paintBand(page.reportHeader, y);
        y += page.reportHeader.extent();
    }
    if (plan.details > 0 && positionOnRecord(plan.firstRecord)) {
        for (int i = 0; i < plan.details; ++i) {
            if (i > 0) {
                m_table->next();
                if (m_table->eof())
                    break;
            }
            paintBand(page.detail, y);
            y += std::max(1, page.detail.extent());
        }
    }
    if (plan.reportFooter)
        paintBand(page.reportFooter, y);
    if (page.pageFooter.visible()) {
        if (!m_report->omitLastPageFooter() || hasPage(index + 1))
            paintBand(page.pageFooter,
                      m_pageSize.height() - page.bottomMargin() - page.pageFooter.extent());
    }
}

void TReportRun::beginUnits(QPainter& painter, const QPaintDevice& device) {
    painter.scale(device.logicalDpiX() / qreal(qly::reports::kUnitsPerInch),
                  device.logicalDpiY() / qreal(qly::reports::kUnitsPerInch));
}
