#include "widgets/data/DBLookupCombo.h"

#include "data/DataLink.h"
#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "widgets/data/ErrorBox.h"

#include <QApplication>
#include <QFocusEvent>
#include <QFrame>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>

namespace {

constexpr int kVisibleRows = 8;

QString trimRight(QString text) {
    int end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

}  // namespace

// The link to the bound field: shows the field's value whenever the record
// changes or moves.
class DBLookupCombo::FieldLink : public TDataLink {
public:
    explicit FieldLink(DBLookupCombo* owner) : m_owner(owner) {}

    void activeChanged() override { m_owner->showFieldValue(); }
    void dataSetChanged() override { m_owner->showFieldValue(); }
    void dataSetScrolled() override { m_owner->showFieldValue(); }
    // Insert and cancel change the buffer without moving: a new record's
    // box shows the empty value it holds.
    void stateChanged() override { m_owner->showFieldValue(); }
    void recordChanged(TField* field) override {
        if (!field || field->fieldName().compare(m_owner->m_dataField, Qt::CaseInsensitive) == 0)
            m_owner->showFieldValue();
    }

private:
    DBLookupCombo* m_owner;
};

DBLookupCombo::DBLookupCombo(QWidget* parent)
    : QWidget(parent), m_link(std::make_unique<FieldLink>(this)) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);

    m_edit = new QLineEdit(this);
    m_edit->setFrame(false);
    m_edit->installEventFilter(this);
    setFocusProxy(m_edit);
    connect(m_edit, &QLineEdit::textEdited, this, &DBLookupCombo::onTextEdited);

    m_model = new GridModel(nullptr, this);

    m_popup = new QFrame(this, Qt::Popup);
    m_popup->setFrameShape(QFrame::Box);
    m_popup->setLineWidth(1);
    m_popup->installEventFilter(this);
    auto* layout = new QVBoxLayout(m_popup);
    layout->setContentsMargins(0, 0, 0, 0);
    m_list = new QTableView(m_popup);
    m_list->setModel(m_model);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->verticalHeader()->hide();
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setSectionsClickable(false);
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_list->setShowGrid(true);
    m_list->setWordWrap(false);
    m_list->setFrameShape(QFrame::NoFrame);
    m_list->installEventFilter(this);
    layout->addWidget(m_list);
    connect(m_list, &QTableView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            chooseRow(index.row());
    });
}

DBLookupCombo::~DBLookupCombo() {
    m_link->setDataSource(nullptr);
}

// ---- The list

void DBLookupCombo::setLookupSource(TDataSource* source) {
    m_model->setDataSource(source);
}

TDataSource* DBLookupCombo::lookupSource() const {
    return m_model->dataSource();
}

void DBLookupCombo::setLookupColumns(const QList<GridColumn>& columns) {
    m_model->setColumns(columns);
}

void DBLookupCombo::setLookupField(const QString& field) {
    m_lookupField = field;
}

void DBLookupCombo::setShowTitles(bool on) {
    m_list->horizontalHeader()->setVisible(on);
}

int DBLookupCombo::keyColumn() const {
    const QList<GridColumn> columns = m_model->columns();
    for (int i = 0; i < columns.size(); ++i) {
        if (columns.at(i).field.compare(m_lookupField, Qt::CaseInsensitive) == 0)
            return i;
    }
    return 0;
}

QString DBLookupCombo::keyOfRow(int row) const {
    return trimRight(m_model->data(m_model->index(row, keyColumn()), Qt::DisplayRole).toString());
}

int DBLookupCombo::lowerBound(const QString& key) const {
    int low = 0;
    int high = m_model->rowCount();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (QString::compare(keyOfRow(middle), key, Qt::CaseSensitive) < 0)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

QString DBLookupCombo::findCompletion(const QString& prefix, int* row) const {
    if (row)
        *row = -1;
    const int rows = m_model->rowCount();
    if (prefix.isEmpty() || rows == 0)
        return QString();
    TDataSource* source = m_model->dataSource();
    TDbTable* table = source ? source->dataSet() : nullptr;
    const bool ordered = table && !table->indexName().isEmpty() &&
                         table->indexName().compare(m_lookupField, Qt::CaseInsensitive) == 0;
    int bestRow = -1;
    if (ordered) {
        // The list is in key order: look the prefix up as typed, then in the
        // usual capitalisations, and take the earliest row that matches.
        QStringList variants{prefix};
        QString capitalised = prefix.toLower();
        capitalised[0] = capitalised.at(0).toUpper();
        for (const QString& variant : {capitalised, prefix.toUpper(), prefix.toLower()}) {
            if (!variants.contains(variant))
                variants.append(variant);
        }
        for (int i = 0; i < variants.size(); ++i) {
            const int found = lowerBound(variants.at(i));
            if (found < rows && keyOfRow(found).startsWith(
                                    prefix, i == 0 ? Qt::CaseSensitive : Qt::CaseInsensitive)) {
                if (i == 0) {
                    bestRow = found;
                    break;
                }
                if (bestRow < 0 || found < bestRow)
                    bestRow = found;
            }
        }
    } else {
        for (int i = 0; i < rows && bestRow < 0; ++i) {
            if (keyOfRow(i).startsWith(prefix, Qt::CaseSensitive))
                bestRow = i;
        }
        for (int i = 0; i < rows && bestRow < 0; ++i) {
            if (keyOfRow(i).startsWith(prefix, Qt::CaseInsensitive))
                bestRow = i;
        }
    }
    if (bestRow < 0)
        return QString();
    if (row)
        *row = bestRow;
    return keyOfRow(bestRow);
}

// ---- The bound field

void DBLookupCombo::setDataSource(TDataSource* source) {
    m_link->setDataSource(source);
    showFieldValue();
}

TDataSource* DBLookupCombo::dataSource() const {
    return m_link->dataSource();
}

void DBLookupCombo::setDataField(const QString& field) {
    m_dataField = field;
    showFieldValue();
}

void DBLookupCombo::showFieldValue() {
    if (m_writing)
        return;
    TDbTable* table = m_link->dataSet();
    if (!table || m_dataField.isEmpty())
        return;
    QString value;
    if (table->active()) {
        if (TField* field = table->findField(m_dataField); field && !table->isEmpty())
            value = trimRight(field->asString());
    }
    if (value != m_edit->text()) {
        m_showing = true;
        m_edit->setText(value);
        showStart();
        m_showing = false;
    }
}

void DBLookupCombo::showStart() {
    // A long name shows its beginning while the box is not being typed in.
    if (!m_edit->hasFocus())
        m_edit->setCursorPosition(0);
}

void DBLookupCombo::writeField() {
    TDbTable* table = m_link->dataSet();
    if (!table || !table->active() || m_dataField.isEmpty())
        return;
    TField* field = table->findField(m_dataField);
    if (!field)
        return;
    const QString value = m_edit->text();
    const bool editing =
        table->state() == TDataSetState::dsEdit || table->state() == TDataSetState::dsInsert;
    if (!editing && !table->isEmpty() && trimRight(field->asString()) == value)
        return;
    m_writing = true;
    try {
        if (!editing) {
            if (table->isEmpty())
                table->append();
            else
                m_link->edit();
        }
        field->setAsString(value);
    } catch (const std::exception& error) {
        m_writing = false;
        reportError(error);
        return;
    }
    m_writing = false;
}

void DBLookupCombo::reportError(const std::exception& error) {
    qly::showErrorBox(QString::fromStdString(error.what()), window());
}

// ---- The text

QString DBLookupCombo::text() const {
    return m_edit->text();
}

void DBLookupCombo::setText(const QString& text) {
    if (text == m_edit->text())
        return;
    m_showing = true;
    m_edit->setText(text);
    showStart();
    m_showing = false;
    writeField();
    emit changed();
}

void DBLookupCombo::onTextEdited(const QString& text) {
    if (!m_lastKeyDeletes && !text.isEmpty() && m_edit->cursorPosition() == text.size() &&
        !m_edit->hasSelectedText()) {
        const QString completed = findCompletion(text);
        if (!completed.isEmpty() && completed != text) {
            m_showing = true;
            m_edit->setText(completed);
            m_edit->setSelection(completed.size(), text.size() - completed.size());
            m_showing = false;
        }
    }
    m_lastKeyDeletes = false;
    writeField();
    emit changed();
}

// ---- The list window

void DBLookupCombo::chooseRow(int row) {
    if (row < 0 || row >= m_model->rowCount())
        return;
    const QString value = keyOfRow(row);
    hidePopup();
    if (value != m_edit->text()) {
        m_showing = true;
        m_edit->setText(value);
        m_showing = false;
        writeField();
        emit changed();
    }
    m_edit->selectAll();
    emit clicked();
}

void DBLookupCombo::showPopup() {
    if (!isEnabled() || m_popup->isVisible())
        return;
    const QList<GridColumn> columns = m_model->columns();
    const QFontMetrics metrics(m_list->font());
    int width = 0;
    for (int i = 0; i < m_model->columnCount(); ++i) {
        const int chars = m_model->headerData(i, Qt::Horizontal, GridModel::WidthCharsRole).toInt();
        // at least as wide as its title
        const QString title = m_model->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString();
        const int titleWidth =
            m_list->horizontalHeader()->fontMetrics().horizontalAdvance(title) + 16;
        const int columnWidth = std::max(
            (chars > 0 ? chars : 10) * metrics.horizontalAdvance(QLatin1Char('0')) + 8, titleWidth);
        m_list->setColumnWidth(i, columnWidth);
        width += columnWidth;
    }
    const int rowHeight = metrics.height() + 4;
    m_list->verticalHeader()->setDefaultSectionSize(rowHeight);
    const int rows = std::clamp(m_model->rowCount(), 1, kVisibleRows);
    // (isHidden, not isVisible: the list is not shown yet when it is sized)
    const int header = !m_list->horizontalHeader()->isHidden()
                           ? m_list->horizontalHeader()->sizeHint().height()
                           : 0;
    width += m_list->verticalScrollBar()->sizeHint().width() + 2;
    m_popup->resize(
        std::max(width, this->width()),
        header + rows * rowHeight + 2 +
            (width > this->width() + 400 ? m_list->horizontalScrollBar()->sizeHint().height() : 0));
    positionPopup();

    int row = -1;
    if (!text().isEmpty())
        findCompletion(text(), &row);
    if (row < 0 && m_model->rowCount() > 0)
        row = 0;
    m_popup->show();
    if (row >= 0) {
        const QModelIndex index = m_model->index(row, 0);
        m_list->selectionModel()->setCurrentIndex(
            index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        m_list->scrollTo(index, QAbstractItemView::PositionAtTop);
    }
    m_list->setFocus(Qt::PopupFocusReason);
    update();
}

void DBLookupCombo::positionPopup() {
    QPoint below = mapToGlobal(QPoint(0, height()));
    const QScreen* screen = this->screen();
    if (screen) {
        const QRect available = screen->availableGeometry();
        if (below.y() + m_popup->height() > available.bottom())
            below.setY(mapToGlobal(QPoint(0, 0)).y() - m_popup->height());
        if (below.x() + m_popup->width() > available.right())
            below.setX(std::max(available.left(), available.right() - m_popup->width()));
    }
    m_popup->move(below);
}

void DBLookupCombo::hidePopup() {
    if (m_popup->isVisible())
        m_popup->hide();
    update();
}

bool DBLookupCombo::isPopupVisible() const {
    return m_popup->isVisible();
}

// ---- Events

bool DBLookupCombo::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_edit) {
        switch (event->type()) {
            case QEvent::KeyPress: {
                auto* key = static_cast<QKeyEvent*>(event);
                m_lastKeyDeletes = key->key() == Qt::Key_Backspace ||
                                   key->key() == Qt::Key_Delete || key->matches(QKeySequence::Cut);
                const bool alt = key->modifiers() & Qt::AltModifier;
                if (key->key() == Qt::Key_F4 ||
                    ((key->key() == Qt::Key_Down || key->key() == Qt::Key_Up) && alt) ||
                    (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier)) {
                    showPopup();
                    return true;
                }
                break;
            }
            case QEvent::FocusIn: {
                update();  // the frame shows the focus while the box has it
                const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
                if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                    emit entered();
                break;
            }
            case QEvent::MouseButtonPress:
                if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
                    emit clicked();
                break;
            case QEvent::FocusOut:
                update();  // and no longer once it has left
                if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                    QTimer::singleShot(0, m_edit, [this] { showStart(); });
                break;
            default:
                break;
        }
    } else if (watched == m_list && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            chooseRow(m_list->currentIndex().row());
            return true;
        }
        if (key->key() == Qt::Key_Escape || key->key() == Qt::Key_F4 ||
            (key->key() == Qt::Key_Up && (key->modifiers() & Qt::AltModifier))) {
            hidePopup();
            return true;
        }
    } else if (watched == m_popup && event->type() == QEvent::Hide) {
        m_edit->setFocus(Qt::PopupFocusReason);
        update();
    }
    return QWidget::eventFilter(watched, event);
}

void DBLookupCombo::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        m_list->setFont(font());
        updateGeometry();
        layoutEdit();
    } else if (event->type() == QEvent::EnabledChange) {
        update();
    }
}

void DBLookupCombo::initStyleOption(QStyleOptionComboBox* option) const {
    option->initFrom(this);
    option->editable = true;
    option->frame = true;
    option->subControls = QStyle::SC_All;
    option->currentText = m_edit->text();
    if (m_popup->isVisible())
        option->state |= QStyle::State_On;
    if (m_edit->hasFocus())
        option->state |= QStyle::State_HasFocus;
}

void DBLookupCombo::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    style()->drawComplexControl(QStyle::CC_ComboBox, &option, &painter, this);
}

void DBLookupCombo::layoutEdit() {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    m_edit->setGeometry(
        style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this));
}

void DBLookupCombo::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutEdit();
}

void DBLookupCombo::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QStyle::SubControl control = style()->hitTestComplexControl(
        QStyle::CC_ComboBox, &option, event->position().toPoint(), this);
    if (control == QStyle::SC_ComboBoxArrow) {
        m_edit->setFocus(Qt::MouseFocusReason);
        if (m_popup->isVisible())
            hidePopup();
        else
            showPopup();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

QSize DBLookupCombo::sizeHint() const {
    QStyleOptionComboBox option;
    initStyleOption(&option);
    const QFontMetrics metrics = fontMetrics();
    const QSize contents(metrics.horizontalAdvance(QLatin1Char('0')) * 12,
                         std::max(metrics.height(), 16));
    return style()->sizeFromContents(QStyle::CT_ComboBox, &option, contents, this);
}

QSize DBLookupCombo::minimumSizeHint() const {
    return sizeHint();
}
