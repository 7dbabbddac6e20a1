#include "widgets/controls/DBComboBox.h"

#include "data/Field.h"

#include <QAbstractItemView>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTimer>

DBComboBox::DBComboBox(QWidget* parent) : QComboBox(parent), DataFieldControl(this) {
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    setCompleter(nullptr);
    setMaxVisibleItems(8);
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { startChange(); });
    connect(this, &QComboBox::activated, this, [this](int index) {
        const QString chosen = itemText(index);
        if (!startChange())
            return;
        if (lineEdit()->text() != chosen)
            lineEdit()->setText(chosen);
        handOverOrReport();
    });
}

DBComboBox::~DBComboBox() = default;

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

void DBComboBox::showValue() {
    TField* f = field();
    QString text;
    if (f && hasRecord())
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
}

bool DBComboBox::startChange() {
    return !m_showing && beginChange();
}

void DBComboBox::writeValue(TField& field) {
    field.setAsString(lineEdit()->text());
}

void DBComboBox::cut() {
    const QString before = lineEdit()->text();
    lineEdit()->cut();
    if (lineEdit()->text() != before)
        startChange();
}

void DBComboBox::copy() {
    lineEdit()->copy();
}

void DBComboBox::paste() {
    const QString before = lineEdit()->text();
    lineEdit()->paste();
    if (lineEdit()->text() != before)
        startChange();
}

void DBComboBox::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && pendingChange() && !view()->isVisible()) {
        reset();
        lineEdit()->selectAll();
        event->accept();
        return;
    }
    QComboBox::keyPressEvent(event);
}

void DBComboBox::focusOutEvent(QFocusEvent* event) {
    QComboBox::focusOutEvent(event);
    if (leftForGood(event->reason()) && !handOverOrReport())
        QTimer::singleShot(0, this, [this] { setFocus(Qt::OtherFocusReason); });
}
