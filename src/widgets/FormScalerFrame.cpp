// TFormScaler, one control at a time: what is captured of a control at the
// first rescale and applied again, scaled, at every rescale (fonts, grid
// rows and columns, status-bar panels, tool-bar buttons, labels).

#include "data/GridModel.h"
#include "widgets/FormScaler.h"
#include "widgets/data/DBGrid.h"

#include <QAbstractButton>
#include <QFontComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLayout>
#include <QMetaProperty>
#include <QScrollBar>
#include <QSizeGrip>
#include <QStatusBar>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>

#include <algorithm>

using qly::scaling::fontSize;
using qly::scaling::halfdown;
using qly::scaling::nearest;
using qly::scaling::truncated;

namespace {

constexpr int kUntouchedColumnWidth = 64;

bool sameName(const QByteArray& name, const char* wanted) {
    return name.compare(wanted, Qt::CaseInsensitive) == 0;
}

// The name of a bool property "AutoSize" in any spelling of case, declared
// or dynamic; empty when the control has none.
QByteArray autoSizeProperty(const QWidget* widget) {
    const QMetaObject* meta = widget->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.metaType().id() == QMetaType::Bool && sameName(property.name(), "AutoSize"))
            return property.name();
    }
    for (const QByteArray& name : widget->dynamicPropertyNames()) {
        if (sameName(name, "AutoSize"))
            return name;
    }
    return QByteArray();
}

bool layoutHolds(QLayout* layout, const QWidget* widget) {
    for (int i = 0; QLayoutItem* item = layout->itemAt(i); ++i) {
        if (item->widget() == widget)
            return true;
        if (QLayout* inner = item->layout(); inner && layoutHolds(inner, widget))
            return true;
    }
    return false;
}

// Placed by its parent's layout: the counterpart of an aligned control.
bool placedByLayout(const QWidget* widget) {
    QWidget* parent = widget->parentWidget();
    QLayout* layout = parent ? parent->layout() : nullptr;
    return layout && (layout->menuBar() == widget || layoutHolds(layout, widget));
}

bool autoSizeOn(const TFrame& frame) {
    return !frame.autoSizeName.isEmpty() && frame.control->property(frame.autoSizeName).toBool();
}

void setWidgetFontSize(QWidget* widget, int size) {
    QFont font = widget->font();
    if (size <= 0 || fontSize(font) == size)
        return;
    qly::scaling::setFontSize(font, size);
    widget->setFont(font);
}

// The control keeps the font it has now as its own.
void ownFont(QWidget* widget) {
    if (widget->testAttribute(Qt::WA_SetFont))
        return;
    QFont font = widget->font();
    font.setResolveMask(QFont::AllPropertiesResolved);
    widget->setFont(font);
}

// Grids: the horizontal header is the title row ("row 0").
int titleRowHeight(const QTableView* grid) {
    const QHeaderView* header = grid->horizontalHeader();
    if (header->isHidden())
        return 0;
    // What the grid gives its header, also before the grid was laid out.
    return std::clamp(header->sizeHint().height(), header->minimumHeight(),
                      std::max(header->minimumHeight(), header->maximumHeight()));
}

void setTitleRowHeight(QTableView* grid, int height) {
    QHeaderView* header = grid->horizontalHeader();
    if (height <= 0 || header->isHidden() || titleRowHeight(grid) == height)
        return;
    header->setFixedHeight(height);
    grid->doItemsLayout();  // the grid places its header and rows again
}

void setDefaultRowHeight(QTableView* grid, int height) {
    QHeaderView* rows = grid->verticalHeader();
    if (height <= 0 || rows->defaultSectionSize() == height)
        return;
    // Qt keeps rows at least as high as the header's text; scaled rows may
    // be lower.
    if (rows->minimumSectionSize() > height)
        rows->setMinimumSectionSize(height);
    if (auto* data = qobject_cast<DBGrid*>(grid))
        data->setDefaultRowHeight(height);  // a million rows at once
    else
        rows->setDefaultSectionSize(height);
}

int textHeight(const QWidget* grid) {
    return grid->fontMetrics().height();
}

// The grid's client area: inside its frame, without the scroll bars shown.
QSize gridClientSize(const QTableView* grid) {
    QSize size = grid->contentsRect().size();
    const int bar = grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, grid);
    if (grid->verticalScrollBar()->isVisibleTo(grid))
        size.rwidth() -= bar;
    if (grid->horizontalScrollBar()->isVisibleTo(grid))
        size.rheight() -= bar;
    return size;
}

// (new - border) / (captured - border) when both are positive, else the
// form's ratio.
double gridRatio(int now, int client, int captured, double formRatio) {
    const int border = now - client;
    if (now - border > 0 && captured - border > 0)
        return static_cast<double>(now - border) / (captured - border);
    return formRatio;
}

QList<QWidget*> statusPanels(const QStatusBar* bar) {
    QList<QWidget*> panels;
    for (QWidget* child : bar->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && !qobject_cast<QSizeGrip*>(child))
            panels << child;
    }
    return panels;
}

QList<QToolButton*> toolButtons(const QToolBar* bar) {
    QList<QToolButton*> buttons;
    for (QToolButton* button : bar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
        if (!button->objectName().startsWith(QLatin1String("qt_")))  // the extension button
            buttons << button;
    }
    return buttons;
}

void addExtraFonts(TFrame& frame, QObject* holder, int level) {
    // The font a font box offers is the user's choice, not its own font.
    if (qobject_cast<QFontComboBox*>(holder))
        return;
    const QMetaObject* meta = holder->metaObject();
    for (int i = 0; i < meta->propertyCount(); ++i) {
        const QMetaProperty property = meta->property(i);
        if (property.metaType().id() == QMetaType::QFont) {
            const QByteArray name = property.name();
            if (level == 1 && (sameName(name, "Font") || sameName(name, "TitleFont") ||
                               sameName(name, "TabFont")))
                continue;
            if (property.isWritable())
                frame.extraFonts.push_back(
                    {holder, i, nearest(fontSize(property.read(holder).value<QFont>()))});
        } else if (level < 3 && property.metaType().flags().testFlag(QMetaType::PointerToQObject)) {
            if (QObject* object = property.read(holder).value<QObject*>())
                addExtraFonts(frame, object, level + 1);
        }
    }
}

}  // namespace

TFrame TFormScaler::frameFor(QWidget* control) const {
    TFrame frame;
    frame.control = control;
    const QRect bounds = control->geometry();
    frame.left = bounds.x();
    frame.top = bounds.y();
    frame.width = bounds.width();
    frame.height = bounds.height();
    frame.columnCount = -1;  // no capture of the columns yet
    if (qobject_cast<QToolBar*>(control))
        frame.traits |= TFrame::kToolBar;
    if (qobject_cast<QTableView*>(control)) {
        frame.traits |= TFrame::kGrid;
        frame.traits |= qobject_cast<DBGrid*>(control) ? TFrame::kDataAware | TFrame::kTitleFont
                                                       : TFrame::kDefaultSizes;
    }
    if (placedByLayout(control))
        frame.traits |= TFrame::kLaidOut;
    frame.autoSizeName = autoSizeProperty(control);
    return frame;
}

void TFormScaler::collectExtraFonts(TFrame& frame) {
    frame.extraFonts.clear();
    if (m_lookForExtraFonts)
        addExtraFonts(frame, frame.control, 1);
}

void TFormScaler::capture(TFrame& frame) {
    QWidget* control = frame.control;
    if (!control)
        return;
    auto* grid = qobject_cast<QTableView*>(control);
    frame.isStatusBar = false;
    collectExtraFonts(frame);

    if (auto* bar = qobject_cast<QStatusBar*>(control)) {
        frame.isStatusBar = true;
        frame.panelBaseWidths.clear();
        for (QWidget* panel : statusPanels(bar)) {
            const int found =
                panel->minimumWidth() > 0 ? panel->minimumWidth() : panel->sizeHint().width();
            const int width = nearest(found * m_rx);
            panel->setFixedWidth(width);
            frame.panelBaseWidths.push_back(width);
        }
    } else if (auto* tools = qobject_cast<QToolBar*>(control)) {
        QSize button;
        for (QToolButton* b : toolButtons(tools))
            button = button.expandedTo(b->sizeHint());
        frame.baseButtonHeight = nearest(button.height() * m_ry);
        frame.baseButtonWidth = nearest(button.width() * m_rx);
        ownFont(control);
    } else if (grid && frame.is(TFrame::kDefaultSizes)) {
        captureColumns(frame, grid);
        frame.titleRowBase = nearest(titleRowHeight(grid) * m_ry);
        frame.defaultRowBase = nearest(grid->verticalHeader()->defaultSectionSize() * m_ry);
    }

    frame.left = nearest(frame.left * m_rx);
    frame.width = nearest(frame.width * m_rx);
    frame.top = nearest(frame.top * m_ry);
    frame.height = nearest(frame.height * m_ry);

    if (grid)
        ownFont(control);
    // The rows' height is the scaler's from now on, not the font's.
    if (auto* data = qobject_cast<DBGrid*>(control); data && m_scaleVertical)
        data->setRowsFollowFont(false);
    if (control->testAttribute(Qt::WA_SetFont)) {
        frame.foundFontSize = fontSize(control->font());
        frame.baseFontSize = truncated(frame.foundFontSize * m_r);
        for (TFrame::ExtraFont& extra : frame.extraFonts)
            extra.baseSize = truncated(extra.baseSize * m_r);
        if (frame.is(TFrame::kTitleFont)) {
            frame.foundTitleFontSize = fontSize(grid->horizontalHeader()->font());
            frame.baseTitleFontSize = truncated(frame.foundTitleFontSize * m_r);
            frame.titleRatio =
                frame.baseFontSize > 0
                    ? static_cast<double>(frame.baseTitleFontSize) / frame.baseFontSize
                    : 0;
        }
    }
    if (auto* tabs = qobject_cast<QTabWidget*>(control))
        frame.baseTabFontSize = truncated(fontSize(tabs->tabBar()->font()) * m_r);
    if (auto* button = qobject_cast<QAbstractButton*>(control); button && !button->icon().isNull())
        frame.baseIconSize = QSize(nearest(button->iconSize().width() * m_r),
                                   nearest(button->iconSize().height() * m_r));
}

void TFormScaler::captureColumns(TFrame& frame, QTableView* grid) {
    if (!frame.is(TFrame::kDefaultSizes)) {
        frame.titleRowBase = nearest(titleRowHeight(grid));
        frame.defaultRowBase = nearest(grid->verticalHeader()->defaultSectionSize());
    }
    const int count = grid->horizontalHeader()->count();
    frame.columnCount = count;
    frame.columnBaseWidths.assign(static_cast<std::size_t>(count), 0);
    frame.explicitWidth.assign(static_cast<std::size_t>(count), 0);
    // An untouched grid of two default columns has no columns of its own.
    frame.columnsKnown = !(count == 2 && grid->columnWidth(0) == kUntouchedColumnWidth &&
                           grid->columnWidth(1) == kUntouchedColumnWidth);
    if (frame.columnsKnown && frame.is(TFrame::kDataAware)) {
        // A column given a width in characters has an explicit width.
        for (int j = 0; j < count; ++j)
            frame.explicitWidth[static_cast<std::size_t>(j)] =
                grid->model()->headerData(j, Qt::Horizontal, GridModel::WidthCharsRole).toInt() > 0;
    }
    for (int j = 0; j < count; ++j) {
        const auto k = static_cast<std::size_t>(j);
        const bool byScreen = frame.explicitWidth[k] || frame.is(TFrame::kDefaultSizes);
        frame.columnBaseWidths[k] = nearest(grid->columnWidth(j) * (byScreen ? m_rx : 1.0));
    }
}

void TFormScaler::apply(TFrame& frame, double h, double v) {
    QWidget* control = frame.control;
    auto* grid = qobject_cast<QTableView*>(control);
    if (m_scaleFont && !frame.is(TFrame::kToolBar))
        applyFonts(frame);

    if (!frame.is(TFrame::kLaidOut)) {
        QRect bounds(frame.left, frame.top, frame.width, frame.height);
        if (m_scaleHorizontal) {
            bounds.setX(nearest(frame.left * h));
            bounds.setWidth(nearest(frame.width * h));
        }
        if (m_scaleVertical) {
            bounds.setY(nearest(frame.top * v));
            bounds.setHeight(nearest(frame.height * v));
        }
        if (control->geometry() != bounds)
            control->setGeometry(bounds);
        // A hidden container's layout would wait until it is shown; its
        // controls take their places now, as the next controls need them.
        if (QLayout* layout = control->layout(); layout && !control->isVisible()) {
            layout->invalidate();
            layout->activate();
        }
    }
    frame.lastH = h;
    frame.lastV = v;

    if (m_scaleHorizontal) {
        if (frame.isStatusBar) {
            const QList<QWidget*> panels = statusPanels(qobject_cast<QStatusBar*>(control));
            for (int i = 0; i < panels.size() && i < static_cast<int>(frame.panelBaseWidths.size());
                 ++i)
                panels[i]->setFixedWidth(
                    nearest(frame.panelBaseWidths[static_cast<std::size_t>(i)] * h));
        }
        if (grid)
            applyColumns(frame, grid, h);
    }
    if (m_scaleVertical && grid)
        applyRows(frame, grid, v);

    if (auto* tools = qobject_cast<QToolBar*>(control)) {
        const double s = control->width() > control->height() ? v : h;
        const QSize button(truncated(frame.baseButtonWidth * s),
                           truncated(frame.baseButtonHeight * s));
        for (QToolButton* b : toolButtons(tools)) {
            if (b->size() != button || b->minimumSize() != button || b->maximumSize() != button)
                b->setFixedSize(button);
        }
    }

    if (frame.is(TFrame::kLaidOut))
        return;  // the layout sizes it
    if (auto* label = qobject_cast<QLabel*>(control); label && label->pixmap().isNull()) {
        // Fits its text; with AutoSize off it may grow but never shrinks. A
        // word-wrapping label keeps its width. (A label showing a picture is
        // an image: it keeps its scaled bounds.)
        QSize fit = label->sizeHint();
        if (label->wordWrap())
            fit = QSize(label->width(), std::max(0, label->heightForWidth(label->width())));
        const QSize size = autoSizeOn(frame) ? fit : label->size().expandedTo(fit);
        if (size != label->size())
            label->resize(size);
    } else if (autoSizeOn(frame)) {
        control->adjustSize();
    }
}

void TFormScaler::applyFonts(TFrame& frame) {
    QWidget* control = frame.control;
    const bool grid = frame.is(TFrame::kGrid);
    auto* dataGrid = qobject_cast<QTableView*>(control);
    if (grid && !m_gridFontResize) {
        setWidgetFontSize(control, frame.baseFontSize);
        if (frame.is(TFrame::kTitleFont))
            setWidgetFontSize(dataGrid->horizontalHeader(), halfdown(frame.baseTitleFontSize));
        return;
    }
    frame.lastFontRatio = m_fontRatio;
    if (control->testAttribute(Qt::WA_SetFont)) {
        for (const TFrame::ExtraFont& extra : frame.extraFonts) {
            if (!extra.holder)
                continue;
            const QMetaProperty property = extra.holder->metaObject()->property(extra.property);
            QFont font = property.read(extra.holder).value<QFont>();
            const int size = halfdown(extra.baseSize * m_fontRatio);
            if (size > 0 && fontSize(font) != size) {
                qly::scaling::setFontSize(font, size);
                property.write(extra.holder, font);
            }
        }
        setWidgetFontSize(control, halfdown(frame.baseFontSize * m_fontRatio));
        if (frame.is(TFrame::kTitleFont))
            setWidgetFontSize(dataGrid->horizontalHeader(),
                              halfdown(frame.baseTitleFontSize * m_fontRatio));
    }
    if (auto* tabs = qobject_cast<QTabWidget*>(control))
        setWidgetFontSize(tabs->tabBar(), halfdown(frame.baseTabFontSize * m_fontRatio));
    if (!frame.baseIconSize.isEmpty()) {
        const QSize icon(nearest(frame.baseIconSize.width() * m_fontRatio),
                         nearest(frame.baseIconSize.height() * m_fontRatio));
        auto* button = qobject_cast<QAbstractButton*>(control);
        if (button->iconSize() != icon)
            button->setIconSize(icon);
    }
}

void TFormScaler::resetGridFonts(TFrame& frame, QTableView* grid) {
    setWidgetFontSize(grid, frame.baseFontSize);
    if (frame.is(TFrame::kTitleFont))
        setWidgetFontSize(grid->horizontalHeader(), halfdown(frame.baseTitleFontSize));
}

void TFormScaler::applyColumns(TFrame& frame, QTableView* grid, double h) {
    const double ratio = gridRatio(grid->width(), gridClientSize(grid).width(), frame.width, h);
    if (grid->horizontalHeader()->count() != frame.columnCount) {
        resetGridFonts(frame, grid);
        captureColumns(frame, grid);
    }
    // A data-aware grid sizes its columns itself with DBGridSelfResize.
    if ((m_dbGridSelfResize && !frame.is(TFrame::kDefaultSizes)) || !frame.columnsKnown)
        return;
    const int count = std::min(frame.columnCount, grid->horizontalHeader()->count());
    for (int j = 0; j < count; ++j) {
        const int base = frame.columnBaseWidths[static_cast<std::size_t>(j)];
        const int width = m_gridColumnWidthResize ? nearest(base * ratio) : base;
        if (grid->columnWidth(j) != width)
            grid->setColumnWidth(j, width);
    }
}

void TFormScaler::applyRows(TFrame& frame, QTableView* grid, double v) {
    const double ratio = gridRatio(grid->height(), gridClientSize(grid).height(), frame.height, v);
    if (grid->horizontalHeader()->count() != frame.columnCount) {
        resetGridFonts(frame, grid);
        captureColumns(frame, grid);
    }
    int rowHeight =
        m_gridRowHeightResize ? nearest(frame.defaultRowBase * ratio) : frame.defaultRowBase;
    if (!frame.is(TFrame::kDataAware)) {
        setDefaultRowHeight(grid, rowHeight);
        // A grid of default sizes ends each vertical rescale one size
        // below its scaled font.
        if (m_scaleFont && m_gridFontResize)
            setWidgetFontSize(grid, nearest(fontSize(grid->font())) - 1);
        return;
    }
    // Rows of a shrunken grid keep seven tenths of the text height.
    const int text = textHeight(grid);
    if (m_gridRowHeightResize && ratio < 0.8 && rowHeight <= text * 0.7)
        rowHeight = nearest(text * 0.7);
    setDefaultRowHeight(grid, rowHeight);
    int title = m_gridRowHeightResize ? nearest(frame.titleRowBase * ratio) : frame.titleRowBase;
    if (m_gridRowHeightResize && rowHeight > 0 &&
        static_cast<double>(title) / rowHeight < frame.titleRatio)
        title = nearest(rowHeight * frame.titleRatio) + 1;
    setTitleRowHeight(grid, title);
}
