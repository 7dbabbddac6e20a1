#pragma once

#include <QColor>
#include <QDateTime>
#include <QFont>
#include <QHash>
#include <QObject>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QWidget;
class TDataSource;
class TVarLabel;

// A banded report definition: a report object with its default font, one
// page definition with five bands, the variables its labels print, and the
// elements placed on the bands. Every position and size is in report units
// of 1/120 inch, measured from the top left corner of the element's band; a
// font's pixel size is in the same units. The definition paints nothing by
// itself: a TReportRun lays its pages out and paints them.

namespace qly::reports {
inline constexpr int kUnitsPerInch = 120;
}

// What a variable is asked when a label prints it.
struct TReportContext {
    int pageNumber = 0;  // 1 on the first page
    QDateTime started;   // when the run began
    QFont reportFont;    // for elements that name none
    bool clipLabels = false;
    QColor pageColor = Qt::white;
    // The texts the program set on labels before the run, taken when it began.
    const QHash<const TVarLabel*, QString>* programTexts = nullptr;
};

// ---- Variables

class TReportVariable {
public:
    virtual ~TReportVariable() = default;
    virtual QString value(const TReportContext& context) const = 0;
};

// The named field of the current record of its data source, as a user reads
// it (dates in the program's short date format).
class TFieldVar : public TReportVariable {
public:
    TFieldVar(TDataSource* dataSource, const QString& fieldName)
        : m_dataSource(dataSource), m_fieldName(fieldName) {}
    TDataSource* dataSource() const { return m_dataSource; }
    const QString& fieldName() const { return m_fieldName; }
    QString value(const TReportContext& context) const override;

private:
    TDataSource* m_dataSource;
    QString m_fieldName;
};

// The date and time the run began; it prints the date in the program's
// short date format.
class TDateTimeVar : public TReportVariable {
public:
    QString value(const TReportContext& context) const override;
};

// The page number, a plain integer.
class TPageVar : public TReportVariable {
public:
    QString value(const TReportContext& context) const override;
};

// ---- Elements

class TBandElement {
public:
    explicit TBandElement(const QRect& geometry) : m_geometry(geometry) {}
    virtual ~TBandElement() = default;
    TBandElement(const TBandElement&) = delete;
    TBandElement& operator=(const TBandElement&) = delete;

    QRect geometry() const { return m_geometry; }
    // Paints in band coordinates (the painter's origin is the band's top left).
    virtual void paint(QPainter& painter, const TReportContext& context) const = 0;

private:
    QRect m_geometry;
};

// A label: its fixed caption, or the value of its variable, or, with
// neither, the text the program sets before the run. Transparent or opaque
// (filled with the page colour), with or without a single-line border. Its
// text is one line; text wider than the box runs on past it unless the
// report clips labels.
class TVarLabel : public TBandElement {
public:
    explicit TVarLabel(const QRect& geometry) : TBandElement(geometry) {}

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QString caption() const { return m_caption; }
    void setCaption(const QString& caption) { m_caption = caption; }
    TReportVariable* variable() const { return m_variable; }
    void setVariable(TReportVariable* variable) { m_variable = variable; }
    // The text the program sets (used when there is neither caption nor variable).
    QString text() const { return m_text; }
    void setText(const QString& text) { m_text = text; }

    // nullopt: the report's font.
    const std::optional<QFont>& font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; }
    bool transparent() const { return m_transparent; }
    void setTransparent(bool on) { m_transparent = on; }
    bool border() const { return m_border; }
    void setBorder(bool on) { m_border = on; }
    // Left or centred, at the top or centred vertically.
    Qt::Alignment alignment() const { return m_alignment; }
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }

    // What the label prints in this context.
    QString printedText(const TReportContext& context) const;
    void paint(QPainter& painter, const TReportContext& context) const override;

private:
    QString m_name;
    QString m_caption;
    TReportVariable* m_variable = nullptr;
    QString m_text;
    std::optional<QFont> m_font;
    bool m_transparent = true;
    bool m_border = false;
    Qt::Alignment m_alignment = Qt::AlignLeft | Qt::AlignVCenter;
};

// A rectangle filled grey, without outline.
class TBandShape : public TBandElement {
public:
    explicit TBandShape(const QRect& geometry) : TBandElement(geometry) {}
    static QColor grey() { return QColor(128, 128, 128); }
    void paint(QPainter& painter, const TReportContext& context) const override;
};

// A horizontal rule across the box, halfway down it.
class TBandLine : public TBandElement {
public:
    TBandLine(const QRect& geometry, int penWidth) : TBandElement(geometry), m_penWidth(penWidth) {}
    int penWidth() const { return m_penWidth; }
    void paint(QPainter& painter, const TReportContext& context) const override;

private:
    int m_penWidth;
};

// ---- Bands and the page

class TBand {
public:
    int height() const { return m_height; }
    void setHeight(int height) { m_height = height; }
    bool visible() const { return m_visible; }
    void setVisible(bool on) { m_visible = on; }
    // The height the band takes on a page: none when hidden.
    int extent() const { return m_visible ? m_height : 0; }

    // Adds an element; the band owns it. Elements paint in the order added.
    template <class Element, class... Args>
    Element* add(Args&&... args) {
        auto element = std::make_unique<Element>(std::forward<Args>(args)...);
        Element* raw = element.get();
        m_elements.push_back(std::move(element));
        return raw;
    }
    const std::vector<std::unique_ptr<TBandElement>>& elements() const { return m_elements; }

    // Paints the elements with the painter's origin at the band's top left.
    void paint(QPainter& painter, const TReportContext& context) const;

private:
    int m_height = 0;
    bool m_visible = true;
    std::vector<std::unique_ptr<TBandElement>> m_elements;
};

// Which records drive the detail band.
enum TDataRange { drAllRecords };

// The page definition: page size, margins, band width, the data source
// whose records drive the detail band, and the five bands in the order they
// print: report header (once, at the start), page header (top of every
// page), detail (once per record), page footer (bottom of every page),
// report footer (once, at the end).
class TBandPage {
public:
    // 8.5 x 11 inches.
    QSize pageSize() const { return m_pageSize; }
    void setPageSize(const QSize& units) { m_pageSize = units; }
    // The band area: bandWidth wide, centred across the page, from the top
    // margin down to the bottom margin.
    int bandWidth() const { return m_bandWidth; }
    void setBandWidth(int units) { m_bandWidth = units; }
    int topMargin() const { return m_topMargin; }
    int bottomMargin() const { return m_bottomMargin; }
    void setMargins(int top, int bottom) {
        m_topMargin = top;
        m_bottomMargin = bottom;
    }
    int leftMargin() const { return (m_pageSize.width() - m_bandWidth) / 2; }
    QColor pageColor() const { return m_pageColor; }
    void setPageColor(const QColor& color) { m_pageColor = color; }

    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source) { m_dataSource = source; }
    TDataRange dataRange() const { return m_dataRange; }
    void setDataRange(TDataRange range) { m_dataRange = range; }

    TBand reportHeader;
    TBand pageHeader;
    TBand detail;
    TBand pageFooter;
    TBand reportFooter;

private:
    QSize m_pageSize{1020, 1320};
    int m_bandWidth = 950;
    int m_topMargin = 60;
    int m_bottomMargin = 60;
    QColor m_pageColor = Qt::white;
    TDataSource* m_dataSource = nullptr;
    TDataRange m_dataRange = drAllRecords;
};

// The report object: title, default font, the page definition, the
// variables its labels use, and how a run behaves.
class TBandReport : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool ClipLabels READ clipLabels WRITE setClipLabels)
    Q_PROPERTY(bool OmitLastPgFt READ omitLastPageFooter WRITE setOmitLastPageFooter)
    Q_PROPERTY(bool CloseDataSet READ closeDataSet WRITE setCloseDataSet)
    Q_PROPERTY(bool CloseDataSources READ closeDataSources WRITE setCloseDataSources)
    Q_PROPERTY(bool NoDataQuit READ noDataQuit WRITE setNoDataQuit)
    Q_PROPERTY(bool Prompt READ prompt WRITE setPrompt)
    Q_PROPERTY(bool SuppressStatus READ suppressStatus WRITE setSuppressStatus)

public:
    explicit TBandReport(QObject* parent = nullptr);
    ~TBandReport() override;

    QString title() const { return m_title; }
    void setTitle(const QString& title) { m_title = title; }
    // The font of elements that name none.
    QFont font() const { return m_font; }
    void setFont(const QFont& font) { m_font = font; }

    TBandPage& page() { return m_page; }
    const TBandPage& page() const { return m_page; }

    // Adds a variable; the report owns it.
    template <class Variable, class... Args>
    Variable* addVariable(Args&&... args) {
        auto variable = std::make_unique<Variable>(std::forward<Args>(args)...);
        Variable* raw = variable.get();
        m_variables.push_back(std::move(variable));
        return raw;
    }
    // Every label of every band, in band order.
    std::vector<TVarLabel*> labels() const;
    // The label of that name, or nullptr.
    TVarLabel* label(const QString& name) const;

    // Text wider than its label box is cut at the box (off: it runs on).
    bool clipLabels() const { return m_clipLabels; }
    void setClipLabels(bool on) { m_clipLabels = on; }
    // No page footer on the last page.
    bool omitLastPageFooter() const { return m_omitLastPageFooter; }
    void setOmitLastPageFooter(bool on) { m_omitLastPageFooter = on; }
    // Close the table after the run even when it was open before.
    bool closeDataSet() const { return m_closeDataSet; }
    void setCloseDataSet(bool on) { m_closeDataSet = on; }
    // Close a table that the run had to open.
    bool closeDataSources() const { return m_closeDataSources; }
    void setCloseDataSources(bool on) { m_closeDataSources = on; }
    // A table without records ends the run without output.
    bool noDataQuit() const { return m_noDataQuit; }
    void setNoDataQuit(bool on) { m_noDataQuit = on; }
    // Ask for the destination first (off: straight to the screen).
    bool prompt() const { return m_prompt; }
    void setPrompt(bool on) { m_prompt = on; }
    // No progress window while pages go to a printer or file.
    bool suppressStatus() const { return m_suppressStatus; }
    void setSuppressStatus(bool on) { m_suppressStatus = on; }

    // Runs the report: opens its table when closed, asks for the
    // destination (printer, screen or PDF file; Cancel ends the run without
    // output) and produces the pages there. A preview stays open after the
    // call returns, as a window of parent; pages for a printer or a file
    // are produced before it returns, with a progress window and the event
    // loop running between pages. Returns false when nothing was produced
    // (cancelled, no records with NoDataQuit, the table closed during the
    // run). Throws QlyError when the table cannot be opened or the output
    // cannot be written, with the message the user sees.
    bool run(QWidget* parent = nullptr);

private:
    QString m_title;
    QFont m_font;
    TBandPage m_page;
    std::vector<std::unique_ptr<TReportVariable>> m_variables;
    bool m_clipLabels = false;
    bool m_omitLastPageFooter = false;
    bool m_closeDataSet = false;
    bool m_closeDataSources = true;
    bool m_noDataQuit = false;
    bool m_prompt = true;
    bool m_suppressStatus = false;
};
