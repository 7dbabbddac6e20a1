#include "widgets/controls/DBComboBox.h"

#include "widgets/controls/FieldLink.h"
#include "widgets/data/ErrorBox.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

using qly::controls::FieldLink;

DBComboBox::DBComboBox(QWidget* parent) : QComboBox(parent), m_link(std::make_unique<FieldLink>()) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setMaxVisibleItems(8);
    m_link->show = [this] { showField(); };
    m_link->handOver = [this] { updateRecord(); };
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { beginChange(); });
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString chosen = itemText(index);
        if (!beginChange())
            return;
        if (lineEdit()->text() != chosen)
            lineEdit()->setText(chosen);
        try {
            updateRecord();
        } catch (const std::exception& error) {
            reportError(error);
        }
    });
}

DBComboBox::~DBComboBox() {
    m_link->show = nullptr;
    m_link->handOver = nullptr;
    m_link->setDataSource(nullptr);
}

void DBComboBox::setDataSource(TDataSource* source) {
    m_link->setDataSource(source);
    showField();
}

TDataSource* DBComboBox::dataSource() const {
    return m_link->dataSource();
}

void DBComboBox::setDataField(const QString& field) {
    m_link->fieldName = field;
    showField();
}

QString DBComboBox::dataField() const {
    return m_link->fieldName;
}

TField* DBComboBox::field() const {
    return m_link->field();
}

void DBComboBox::setEntries(const QStringList& entries) {
    QStringList sorted = entries;
    sorted.sort();
    const QString keep = lineEdit()->text();
    m_showing = true;
    clear();
    addItems(sorted);
    setCurrentIndex(-1);
    lineEdit()->setText(keep);
    m_showing = false;
}

void DBComboBox::showField() {
    TField* f = field();
    QString text;
    if (f && m_link->hasRecord())
        text = qly::controls::trimRight(f->asString());
    if (f && f->dataType() == TFieldType::ftString)
        lineEdit()->setMaxLength(f->size());
    m_showing = true;
    const int index = findText(text, Qt::MatchExactly);
    if (index != currentIndex())
        setCurrentIndex(index);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
    m_showing = false;
    m_pending = false;
}

void DBComboBox::reset() {
    showField();
}

bool DBComboBox::beginChange() {
    if (m_showing)
        return false;
    if (m_pending)
        return true;
    TDbTable* table = m_link->dataSet();
    if (!table || !table->active() || !field())
        return false;
    m_link->quiet = true;
    try {
        m_link->edit();
    } catch (const std::exception& error) {
        m_link->quiet = false;
        reportError(error);
        reset();
        return false;
    }
    m_link->quiet = false;
    m_pending = true;
    return true;
}

void DBComboBox::updateRecord() {
    if (!m_pending)
        return;
    TField* f = field();
    if (!f) {
        m_pending = false;
        return;
    }
    m_link->quiet = true;
    try {
        if (!m_link->editing())
            m_link->edit();
        f->setAsString(lineEdit()->text());
    } catch (...) {
        m_link->quiet = false;
        throw;
    }
    m_link->quiet = false;
    m_pending = false;
}

void DBComboBox::reportError(const std::exception& error) {
    m_reporting = true;
    qly::showErrorBox(QString::fromUtf8(error.what()), window());
    m_reporting = false;
}

void DBComboBox::cut() {
    const QString before = lineEdit()->text();
    lineEdit()->cut();
    if (lineEdit()->text() != before)
        beginChange();
}

void DBComboBox::copy() {
    lineEdit()->copy();
}

void DBComboBox::paste() {
    const QString before = lineEdit()->text();
    lineEdit()->paste();
    if (lineEdit()->text() != before)
        beginChange();
}

void DBComboBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && m_pending && !view()->isVisible()) {
        reset();
        lineEdit()->selectAll();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void DBComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    const Qt::FocusReason reason = event->reason();
    if (m_reporting || !m_pending || reason == Qt::PopupFocusReason ||
        reason == Qt::ActiveWindowFocusReason)
        return;
    try {
        updateRecord();
    } catch (const std::exception& error) {
        reportError(error);
        QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
    }
}
