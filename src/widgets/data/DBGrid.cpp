#include "widgets/data/DBGrid.h"

#include "data/DataSource.h"
#include "data/DbTable.h"
#include "widgets/data/ErrorBox.h"

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QStyledItemDelegate>

#include <cmath>
#include <functional>

namespace {

constexpr int kIndicatorWidth = 14;
// The titles' background: teal, with white text.
const char* const kTitleStyle =
    "QHeaderView::section:horizontal {"
    " background-color: #008080; color: white; padding: 1px 4px;"
    " border: none; border-right: 1px solid #004c4c; border-bottom: 1px solid #004c4c; }";

// The cells' editors: the grid hears of each one opened and of its first change.
class CellDelegate : public QStyledItemDelegate {
public:
    CellDelegate(QObject* parent, std::function<void(QWidget*)> opened)
        : QStyledItemDelegate(parent), m_opened(std::move(opened)) {}

    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override {
        QWidget* editor = QStyledItemDelegate::createEditor(parent, option, index);
        if (editor)
            m_opened(editor);
        return editor;
    }

private:
    std::function<void(QWidget*)> m_opened;
};

}  // namespace

// ---------------------------------------------------------------------------

DBGridIndicator::DBGridIndicator(QWidget* parent) : QHeaderView(Qt::Vertical, parent) {
    setSectionResizeMode(QHeaderView::Fixed);
    setSectionsClickable(false);
    setHighlightSections(false);
}

void DBGridIndicator::setCurrentRow(int row) {
    if (row == m_currentRow)
        return;
    m_currentRow = row;
    viewport()->update();
}

void DBGridIndicator::setMarkState(TDataSetState state) {
    if (state == m_state)
        return;
    m_state = state;
    viewport()->update();
}

void DBGridIndicator::setUniformSectionSize(int size) {
    QAbstractItemModel* rows = model();
    QItemSelectionModel* shared = selectionModel();
    if (!rows || !shared) {
        setDefaultSectionSize(size);
        return;
    }
    // A new default size walks every section with a signal each; sections
    // made anew (without the model for a moment) take it at once. The
    // selection models the header makes on the way go again: it shares
    // the grid's.
    setModel(nullptr);
    QItemSelectionModel* empty = selectionModel();
    setDefaultSectionSize(size);
    setModel(rows);
    QItemSelectionModel* made = selectionModel();
    setSelectionModel(shared);
    delete empty;
    delete made;
}

QSize DBGridIndicator::sizeHint() const {
    return QSize(kIndicatorWidth, QHeaderView::sizeHint().height());
}

void DBGridIndicator::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    painter->save();
    painter->fillRect(rect, palette().color(QPalette::Button));
    painter->setPen(palette().color(QPalette::Mid));
    painter->drawLine(rect.topRight(), rect.bottomRight());
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
    if (logicalIndex == m_currentRow) {
        painter->setRenderHint(QPainter::Antialiasing);
        const QPointF c = QRectF(rect).center();
        painter->setPen(QPen(Qt::black, 1.4));
        painter->setBrush(Qt::black);
        switch (m_state) {
            case TDataSetState::dsEdit:  // I-beam
                painter->drawLine(QPointF(c.x(), c.y() - 5), QPointF(c.x(), c.y() + 5));
                painter->drawLine(QPointF(c.x() - 2.5, c.y() - 5), QPointF(c.x() + 2.5, c.y() - 5));
                painter->drawLine(QPointF(c.x() - 2.5, c.y() + 5), QPointF(c.x() + 2.5, c.y() + 5));
                break;
            case TDataSetState::dsInsert:  // star
                for (int i = 0; i < 3; ++i) {
                    const double a = i * 1.0471975512 + 1.5707963268;
                    painter->drawLine(QPointF(c.x() + 4 * std::cos(a), c.y() + 4 * std::sin(a)),
                                      QPointF(c.x() - 4 * std::cos(a), c.y() - 4 * std::sin(a)));
                }
                break;
            default: {  // triangle
                QPainterPath arrow;
                arrow.moveTo(c.x() - 2.5, c.y() - 4.5);
                arrow.lineTo(c.x() + 3, c.y());
                arrow.lineTo(c.x() - 2.5, c.y() + 4.5);
                arrow.closeSubpath();
                painter->setPen(Qt::NoPen);
                painter->drawPath(arrow);
                break;
            }
        }
    }
    painter->restore();
}

// ---------------------------------------------------------------------------

DBGrid::DBGrid(QWidget* parent) : QTableView(parent) {
    m_model = new GridModel(nullptr, this);
    m_indicator = new DBGridIndicator(this);
    setVerticalHeader(m_indicator);
    m_indicator->setFixedWidth(kIndicatorWidth);
    setModel(m_model);
    setItemDelegate(new CellDelegate(this, [this](QWidget* editor) {
        m_editor = editor;
        if (auto* line = qobject_cast<QLineEdit*>(editor))
            connect(line, &QLineEdit::textEdited, this, &DBGrid::editorChanged);
    }));

    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectItems);
    setEditTriggers(QAbstractItemView::AnyKeyPressed | QAbstractItemView::EditKeyPressed |
                    QAbstractItemView::SelectedClicked);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setWordWrap(false);
    setCornerButtonEnabled(false);
    setTabKeyNavigation(true);

    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsMovable(false);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setMinimumSectionSize(8);
    setDefaultRowHeight(fontMetrics().height() + 6);
    updateTitleStyle();

    connect(m_model, &GridModel::currentRowChanged, this, &DBGrid::onModelCurrentRow);
    // A value the table refuses is reported once the editor has closed.
    connect(
        m_model, &GridModel::editError, this,
        [this](const QString& message) { qly::showErrorBox(message, this); }, Qt::QueuedConnection);
    // The new row of an insertion goes when the insertion ends (see
    // rowsAboutToBeRemoved); then the grid follows the table again.
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, [this] {
        m_following = false;
        onModelCurrentRow(m_model->currentRow());
    });
    connect(m_model, &QAbstractItemModel::modelReset, this, [this] {
        applyColumnWidths();
        onModelCurrentRow(m_model->currentRow());
    });
}

DBGrid::~DBGrid() = default;

TDataSource* DBGrid::dataSource() const {
    return m_model->dataSource();
}

void DBGrid::setDataSource(TDataSource* source) {
    QObject::disconnect(m_stateConnection);
    QObject::disconnect(m_updateConnection);
    m_model->setDataSource(source);
    if (source) {
        m_stateConnection =
            connect(source, &TDataSource::stateChanged, this, &DBGrid::onStateChanged);
        m_updateConnection =
            connect(source, &TDataSource::updateData, this, &DBGrid::handOverEditor);
        onStateChanged(source->state());
    }
    applyColumnWidths();
    onModelCurrentRow(m_model->currentRow());
}

void DBGrid::setColumns(const QList<GridColumn>& columns) {
    m_model->setColumns(columns);
    applyColumnWidths();
}

int DBGrid::columnWidthForChars(int chars) const {
    return chars * fontMetrics().horizontalAdvance(QLatin1Char('0')) + 8;
}

void DBGrid::applyColumnWidths() {
    for (int column = 0; column < m_model->columnCount(); ++column) {
        const int chars =
            m_model->headerData(column, Qt::Horizontal, GridModel::WidthCharsRole).toInt();
        if (chars > 0)
            setColumnWidth(column, columnWidthForChars(chars));
    }
}

void DBGrid::setDefaultRowHeight(int height) {
    if (height <= 0 || m_indicator->defaultSectionSize() == height)
        return;
    m_indicator->setUniformSectionSize(height);
    m_indicator->viewport()->update();
    doItemsLayout();  // the rows' places and the scroll bar's range
}

void DBGrid::updateTitleStyle() {
    horizontalHeader()->setStyleSheet(QString::fromLatin1(kTitleStyle));
}

void DBGrid::rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) {
    m_following = true;  // until rowsRemoved
    QTableView::rowsAboutToBeRemoved(parent, start, end);
}

void DBGrid::onModelCurrentRow(int row) {
    m_indicator->setCurrentRow(row);
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QModelIndex now = currentIndex();
    if (now.isValid() && now.row() == row)
        return;
    m_following = true;
    const int column = now.isValid() ? now.column() : 0;
    const QModelIndex target = m_model->index(row, column);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::ClearAndSelect);
    scrollTo(target);
    m_following = false;
}

void DBGrid::onStateChanged(TDataSetState state) {
    m_indicator->setMarkState(state);
}

void DBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    if (m_following || !current.isValid())
        return;
    if (!previous.isValid() || previous.row() != current.row()) {
        // Moving posts a pending edit; a value the table refuses keeps the
        // record in edit state and the grid on it.
        try {
            m_model->setCurrentRow(current.row());
        } catch (const std::exception& error) {
            qly::showErrorBox(QString::fromStdString(error.what()), this);
        }
        m_indicator->setCurrentRow(m_model->currentRow());
        if (m_model->currentRow() != current.row())
            onModelCurrentRow(m_model->currentRow());
    }
}

void DBGrid::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && state() != QAbstractItemView::EditingState) {
        TDataSource* source = dataSource();
        TDbTable* table = source ? source->dataSet() : nullptr;
        if (table && (table->state() == TDataSetState::dsEdit ||
                      table->state() == TDataSetState::dsInsert)) {
            try {
                table->cancel();
            } catch (const std::exception& error) {
                qly::showErrorBox(QString::fromStdString(error.what()), this);
            }
            event->accept();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

void DBGrid::changeEvent(QEvent* event) {
    QTableView::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        if (m_rowsFollowFont)
            setDefaultRowHeight(fontMetrics().height() + 6);
        applyColumnWidths();
    }
}

void DBGrid::editorChanged() {
    TDataSource* source = dataSource();
    TDbTable* table = source ? source->dataSet() : nullptr;
    if (!table || !table->active() || table->state() != TDataSetState::dsBrowse)
        return;
    try {
        table->edit();
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), this);
    }
}

void DBGrid::handOverEditor() {
    QWidget* editor = m_editor;
    if (!editor || state() != QAbstractItemView::EditingState)
        return;
    m_editor = nullptr;  // once: the commit below posts nothing itself
    commitData(editor);
    // closed without a second hand-over when it loses the focus
    closeEditor(editor, QAbstractItemDelegate::NoHint);
}

void DBGrid::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    if (editor == m_editor)
        m_editor = nullptr;
    QTableView::closeEditor(editor, hint);
    if (hint != QAbstractItemDelegate::RevertModelCache)
        return;
    // Escape in the editor: an edit it began and that changed nothing ends
    TDataSource* source = dataSource();
    TDbTable* table = source ? source->dataSet() : nullptr;
    if (table && table->active() && table->state() == TDataSetState::dsEdit && !table->modified()) {
        try {
            table->cancel();
        } catch (const std::exception& error) {
            qly::showErrorBox(QString::fromStdString(error.what()), this);
        }
    }
}

void DBGrid::commitData(QWidget* editor) {
    try {
        QTableView::commitData(editor);
    } catch (const std::exception& error) {
        qly::showErrorBox(QString::fromStdString(error.what()), this);
    }
}
