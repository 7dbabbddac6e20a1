#pragma once

// Shared helpers of the report tests: copies of the fixture tables, the
// text of a PDF file page by page (pdftotext), and a paint device that
// records what is painted on it, in report units.

#include <QColor>
#include <QFont>
#include <QLineF>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPainter>
#include <QProcess>
#include <QRectF>
#include <QStringList>

#include <algorithm>
#include <memory>

#include "support/FixtureFolder.h"

namespace qlytest {

// A temporary folder with copies of one set of the FoxPro fixture tables
// ("sample" or "empty"), in the form the Qt tests use.
class TableFolder {
public:
    explicit TableFolder(const char* set = "sample") : m_folder(set) {}
    QString error() const { return QString::fromStdString(m_folder.error()); }
    QString path() const { return QString::fromStdString(m_folder.path().string()) + u'/'; }
    QString file(const QString& name) const { return path() + name; }

private:
    qly::test::FixtureFolder m_folder;
};

// The text of each page of a PDF file as pdftotext reads it: in its
// physical layout, or (raw) in the order it was written; empty when the file
// cannot be read.
inline QStringList pdfPages(const QString& path, bool raw = false) {
    QProcess process;
    process.start(
        QStringLiteral("pdftotext"),
        {raw ? QStringLiteral("-raw") : QStringLiteral("-layout"), path, QStringLiteral("-")});
    if (!process.waitForFinished(60000) || process.exitCode() != 0)
        return {};
    QStringList pages = QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\f'));
    if (!pages.isEmpty() && pages.constLast().trimmed().isEmpty())
        pages.removeLast();
    return pages;
}

// What was painted on a RecordingDevice, in device units (1/120 inch).
struct Painted {
    struct Text {
        QString text;
        QPointF baseline;  // start of the baseline
        QFont font;
        QRectF clip;  // empty: not clipped
    };
    struct Fill {
        QRectF rect;
        QColor color;
    };
    struct Outline {
        QRectF rect;
    };
    struct Line {
        QLineF line;
        qreal width;
    };
    QList<Text> texts;
    QList<Fill> fills;
    QList<Outline> outlines;
    QList<Line> lines;

    // The texts painted with their baseline between top and bottom, left to right.
    QStringList textsBetween(qreal top, qreal bottom) const {
        QList<Text> row;
        for (const Text& t : texts)
            if (t.baseline.y() >= top && t.baseline.y() < bottom)
                row << t;
        std::sort(row.begin(), row.end(),
                  [](const Text& a, const Text& b) { return a.baseline.x() < b.baseline.x(); });
        QStringList out;
        for (const Text& t : row)
            out << t.text;
        return out;
    }
    const Text* find(const QString& text) const {
        for (const Text& t : texts)
            if (t.text == text)
                return &t;
        return nullptr;
    }
    QList<QRectF> fillsOf(const QColor& color) const {
        QList<QRectF> out;
        for (const Fill& f : fills)
            if (f.color == color)
                out << f.rect;
        return out;
    }
};

// A paint device of one letter page at 120 dots per inch whose engine
// records texts, filled and outlined rectangles and lines.
class RecordingDevice : public QPaintDevice {
public:
    RecordingDevice() : m_engine(std::make_unique<Engine>(&m_painted)) {}
    QPaintEngine* paintEngine() const override { return m_engine.get(); }
    const Painted& painted() const { return m_painted; }

protected:
    int metric(PaintDeviceMetric metric) const override {
        switch (metric) {
            case PdmWidth:
                return 1020;
            case PdmHeight:
                return 1320;
            case PdmWidthMM:
                return 216;
            case PdmHeightMM:
                return 279;
            case PdmDpiX:
            case PdmDpiY:
            case PdmPhysicalDpiX:
            case PdmPhysicalDpiY:
                return 120;
            case PdmDepth:
                return 32;
            case PdmNumColors:
                return 0x7fffffff;
            case PdmDevicePixelRatio:
                return 1;
            case PdmDevicePixelRatioScaled:
                return static_cast<int>(devicePixelRatioFScale());
            default:
                return 0;
        }
    }

private:
    class Engine : public QPaintEngine {
    public:
        explicit Engine(Painted* painted) : QPaintEngine(AllFeatures), m_painted(painted) {}
        bool begin(QPaintDevice*) override { return true; }
        bool end() override { return true; }
        Type type() const override { return User; }
        void updateState(const QPaintEngineState& state) override {
            if (state.state() & DirtyTransform)
                m_transform = state.transform();
            if (state.state() & DirtyBrush)
                m_brush = state.brush();
            if (state.state() & DirtyPen)
                m_pen = state.pen();
            if (state.state() & DirtyFont)
                m_font = state.font();
            if (state.state() & (DirtyClipRegion | DirtyClipPath | DirtyClipEnabled))
                m_clip = state.isClipEnabled() ? painter()->clipBoundingRect() : QRectF();
        }
        void drawTextItem(const QPointF& p, const QTextItem& item) override {
            m_painted->texts << Painted::Text{item.text(), m_transform.map(p), item.font(),
                                              m_transform.mapRect(m_clip)};
        }
        void drawRects(const QRectF* rects, int count) override {
            for (int i = 0; i < count; ++i) {
                const QRectF r = m_transform.mapRect(rects[i]);
                if (m_brush.style() != Qt::NoBrush)
                    m_painted->fills << Painted::Fill{r, m_brush.color()};
                if (m_pen.style() != Qt::NoPen)
                    m_painted->outlines << Painted::Outline{r};
            }
        }
        void drawRects(const QRect* rects, int count) override {
            for (int i = 0; i < count; ++i) {
                const QRectF r(rects[i]);
                drawRects(&r, 1);
            }
        }
        void drawLines(const QLineF* lines, int count) override {
            for (int i = 0; i < count; ++i)
                m_painted->lines << Painted::Line{m_transform.map(lines[i]),
                                                  m_pen.widthF() * m_transform.m11()};
        }
        void drawLines(const QLine* lines, int count) override {
            for (int i = 0; i < count; ++i) {
                const QLineF l(lines[i]);
                drawLines(&l, 1);
            }
        }
        void drawPolygon(const QPointF*, int, PolygonDrawMode) override {}
        void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}

    private:
        Painted* m_painted;
        QTransform m_transform;
        QBrush m_brush;
        QPen m_pen;
        QFont m_font;
        QRectF m_clip;
    };

    Painted m_painted;
    std::unique_ptr<Engine> m_engine;
};

}  // namespace qlytest
