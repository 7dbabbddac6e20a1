#include "reports/BandReport.h"

#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "reports/DestinationPrompt.h"
#include "reports/PageOutput.h"
#include "reports/PreviewWindow.h"
#include "reports/ProgressWindow.h"
#include "reports/ReportRun.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPen>
#include <QPointer>
#include <QPrinter>

QString TFieldVar::value(const TReportContext&) const {
    TDbTable* table = m_dataSource ? m_dataSource->dataSet() : nullptr;
    if (!table || !table->active())
        return {};
    const TField* field = table->findField(m_fieldName);
    return field ? field->asString() : QString();
}

QString TDateTimeVar::value(const TReportContext& context) const {
    return qly::dates::formatDate(context.started.date());
}

QString TPageVar::value(const TReportContext& context) const {
    return QString::number(context.pageNumber);
}

QString TVarLabel::printedText(const TReportContext& context) const {
    if (!m_caption.isEmpty())
        return m_caption;
    if (m_variable)
        return m_variable->value(context);
    if (context.programTexts) {
        const auto found = context.programTexts->constFind(this);
        if (found != context.programTexts->constEnd())
            return found.value();
    }
    return m_text;
}

void TVarLabel::paint(QPainter& painter, const TReportContext& context) const {
    const QRect box = geometry();
    if (!m_transparent)
        painter.fillRect(box, context.pageColor);
    if (m_border) {
        painter.setPen(QPen(Qt::black, 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(QRectF(box).adjusted(0.5, 0.5, -0.5, -0.5));
    }
    const QString text = printedText(context);
    if (text.isEmpty())
        return;
    const QFont& font = m_font ? *m_font : context.reportFont;
    painter.setFont(font);
    painter.setPen(Qt::black);
    // A bordered box keeps its text off the border. The text is placed by
    // its baseline: one line, nothing to lay out.
    const qreal inset = m_border ? 2 : 0;
    const QRectF area = QRectF(box).adjusted(inset, inset / 2, -inset, -inset / 2);
    const QFontMetricsF metrics(font);
    qreal x = area.left();
    if (m_alignment & Qt::AlignHCenter)
        x += (area.width() - metrics.horizontalAdvance(text)) / 2;
    else if (m_alignment & Qt::AlignRight)
        x = area.right() - metrics.horizontalAdvance(text);
    qreal y = area.top() + metrics.ascent();
    if (m_alignment & Qt::AlignVCenter)
        y += (area.height() - metrics.ascent() - metrics.descent()) / 2;
    else if (m_alignment & Qt::AlignBottom)
        y = area.bottom() - metrics.descent();
    if (context.clipLabels) {
        painter.save();
        painter.setClipRect(box, Qt::IntersectClip);
        painter.drawText(QPointF(x, y), text);
        painter.restore();
    } else {
        painter.drawText(QPointF(x, y), text);
    }
}

void TBandShape::paint(QPainter& painter, const TReportContext&) const {
    painter.fillRect(geometry(), grey());
}

void TBandLine::paint(QPainter& painter, const TReportContext&) const {
    const QRect box = geometry();
    QPen pen(Qt::black, m_penWidth);
    pen.setCapStyle(Qt::FlatCap);
    painter.setPen(pen);
    const qreal y = box.top() + box.height() / 2.0;
    painter.drawLine(QPointF(box.left(), y), QPointF(box.left() + box.width(), y));
}

void TBand::paint(QPainter& painter, const TReportContext& context) const {
    for (const auto& element : m_elements)
        element->paint(painter, context);
}

TBandReport::TBandReport(QObject* parent) : QObject(parent) {}

TBandReport::~TBandReport() = default;

std::vector<TVarLabel*> TBandReport::labels() const {
    std::vector<TVarLabel*> found;
    for (const TBand* band : {&m_page.reportHeader, &m_page.pageHeader, &m_page.detail,
                              &m_page.pageFooter, &m_page.reportFooter}) {
        for (const auto& element : band->elements()) {
            if (auto* label = dynamic_cast<TVarLabel*>(element.get()))
                found.push_back(label);
        }
    }
    return found;
}

TVarLabel* TBandReport::label(const QString& name) const {
    for (TVarLabel* label : labels()) {
        if (label->name() == name)
            return label;
    }
    return nullptr;
}

bool TBandReport::run(QWidget* parent) {
    auto run = std::make_unique<TReportRun>(*this);  // opens the table
    if (m_noDataQuit && run->noRecords())
        return false;

    TReportDestination::Destination destination = TReportDestination::Screen;
    TPageSelection pages;
    QString pdfFile;
    std::unique_ptr<QPrinter> printer;
    if (m_prompt) {
        QPointer<TReportDestination> prompt = new TReportDestination(m_title, parent);
        const bool accepted = prompt->exec() == QDialog::Accepted;
        if (!prompt)
            return false;  // gone with its parent meanwhile
        destination = prompt->destination();
        pages = prompt->selection();
        pdfFile = prompt->pdfFileName();
        printer = prompt->takePrinter();
        delete prompt.data();
        if (!accepted)
            return false;
    }
    if (!layOutFirstPage(*run, pages))
        return false;  // the table was closed while the prompt was open

    TOutputResult result = TOutputResult::Stopped;
    switch (destination) {
        case TReportDestination::Screen: {
            auto* preview = new TReportPreview(std::move(run), pages, parent);
            preview->show();
            return true;
        }
        case TReportDestination::Printer:
            result = TReportProgress::produce(parent, m_title, !m_suppressStatus,
                                              [&](const TBetweenPages& between) {
                                                  return printPages(*run, *printer, pages, between);
                                              });
            break;
        case TReportDestination::PdfFile:
            pages.copies = 1;
            result = TReportProgress::produce(parent, m_title, !m_suppressStatus,
                                              [&](const TBetweenPages& between) {
                                                  return writePdf(*run, pdfFile, pages, between);
                                              });
            break;
    }
    return result == TOutputResult::Done;
}
