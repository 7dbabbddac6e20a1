#include "widgets/controls/DBEdit.h"

#include "data/Error.h"
#include "data/Field.h"

#include <QApplication>
#include <QClipboard>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLocale>
#include <QMouseEvent>
#include <QTimer>

namespace {

// The amount typed into a currency box: the system's way of writing numbers
// first (with or without its currency symbol and group separators), then the
// plain C way.
bool parseAmount(const QString& text, double* value) {
    const QLocale system = QLocale::system();
    QString plain = text;
    plain.remove(system.currencySymbol(QLocale::CurrencySymbol));
    plain.remove(system.currencySymbol(QLocale::CurrencyIsoCode));
    plain = plain.trimmed();
    bool negative = false;
    if (plain.startsWith(QLatin1Char('(')) && plain.endsWith(QLatin1Char(')'))) {
        negative = true;
        plain = plain.mid(1, plain.size() - 2).trimmed();
    }
    bool ok = false;
    double amount = system.toDouble(plain, &ok);
    if (!ok)
        amount = QLocale::c().toDouble(plain, &ok);
    if (!ok)
        return false;
    *value = negative ? -amount : amount;
    return true;
}

}  // namespace

DBEdit::DBEdit(QWidget* parent) : QLineEdit(parent), DataFieldControl(this) {
    connect(this, &QLineEdit::textEdited, this, [this] { beginChange(); });
}

DBEdit::~DBEdit() = default;

void DBEdit::setKind(Kind kind) {
    m_kind = kind;
    setAlignment(kind == Kind::Text ? Qt::AlignLeft | Qt::AlignVCenter
                                    : Qt::AlignRight | Qt::AlignVCenter);
    reset();
}

void DBEdit::setEditMask(const QString& mask) {
    m_ownMask = mask;
    reset();
}

void DBEdit::refreshMask() {
    TField* f = field();
    const QString mask = !m_ownMask.isEmpty() ? m_ownMask : f ? f->editMask() : QString();
    m_mask = EditMask(mask);
}

// ---- Showing the field

QString DBEdit::textOfField(const TField& field) const {
    if (field.isNull())
        return QString();
    switch (m_kind) {
        case Kind::WholeNumber:
            return QString::number(field.asInteger());
        case Kind::Currency: {
            if (!hasFocus())
                return QLocale::system().toCurrencyString(field.asFloat());
            QLocale locale = QLocale::system();
            locale.setNumberOptions(QLocale::OmitGroupSeparator);
            return locale.toString(field.asFloat(), 'f', std::max(field.decimals(), 0));
        }
        case Kind::Text:
            break;
    }
    return qly::controls::trimRight(field.asString());
}

void DBEdit::showValue() {
    refreshMask();
    TField* f = field();
    QString text;
    if (f && hasRecord()) {
        text = textOfField(*f);
        // the mask's template while the box is being edited; the value as
        // stored otherwise
        if (!m_mask.isEmpty() && hasFocus())
            text = m_mask.editTextFromValue(text);
    }
    if (m_kind == Kind::Text && m_mask.isEmpty() && f && f->dataType() == TFieldType::ftString)
        setMaxLength(f->size());
    else
        setMaxLength(32767);
    const bool keepCursor = hasFocus() && text == this->text();
    if (!keepCursor)
        setText(text);
}

// ---- Changing

void DBEdit::writeValue(TField& field) {
    const QString text = this->text();
    if (!m_mask.isEmpty()) {
        bool complete = true;
        const QString value = m_mask.valueFromEditText(text, &complete);
        if (!complete)
            throw QlyError(
                QStringLiteral(
                    "Invalid input value for field '%1': fill in every required position "
                    "or clear the box. Press Escape to abandon the change.")
                    .arg(field.fieldName())
                    .toStdString());
        field.setAsString(value);
        return;
    }
    switch (m_kind) {
        case Kind::Currency: {
            double amount = 0;
            if (text.trimmed().isEmpty())
                field.clear();
            else if (parseAmount(text, &amount))
                field.setAsFloat(amount);
            else
                field.setAsString(text);  // the field refuses it with its own message
            return;
        }
        case Kind::WholeNumber:
            field.setAsString(text.trimmed());
            return;
        case Kind::Text:
            field.setAsString(text);
            return;
    }
}

// ---- Masked typing

void DBEdit::setMaskedText(const QString& text, int cursor) {
    setText(text);
    setCursorPosition(cursor);
}

void DBEdit::typeMasked(const QString& typed) {
    QString edited = text();
    if (edited.size() != m_mask.length())
        edited = m_mask.emptyEditText();
    int cursor = cursorPosition();
    if (hasSelectedText()) {
        const int start = selectionStart();
        m_mask.clearRange(edited, start, start + static_cast<int>(selectedText().size()));
        cursor = start;
    }
    bool any = false;
    for (QChar c : typed) {
        if (m_mask.type(edited, &cursor, c))
            any = true;
    }
    if (!any && edited == text()) {
        QApplication::beep();
        return;
    }
    if (!beginChange())
        return;
    setMaskedText(edited, cursor);
}

void DBEdit::cut() {
    if (!hasSelectedText() || isReadOnly())
        return;
    if (m_mask.isEmpty()) {
        const QString before = text();
        QLineEdit::cut();
        if (text() != before)
            beginChange();
        return;
    }
    copy();
    QString edited = text();
    const int start = selectionStart();
    m_mask.clearRange(edited, start, start + static_cast<int>(selectedText().size()));
    if (beginChange())
        setMaskedText(edited, start);
}

void DBEdit::paste() {
    if (isReadOnly())
        return;
    if (m_mask.isEmpty()) {
        const QString before = text();
        QLineEdit::paste();
        if (text() != before)
            beginChange();
        return;
    }
    const QString clip = QApplication::clipboard()->text();
    if (!clip.isEmpty())
        typeMasked(clip);
}

// ---- Events

void DBEdit::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && pendingChange()) {
        reset();
        selectAll();
        event->accept();
        return;
    }
    if (m_mask.isEmpty() || isReadOnly()) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    if (event->matches(QKeySequence::Paste)) {
        paste();
        return;
    }
    if (event->matches(QKeySequence::Cut)) {
        cut();
        return;
    }
    const int key = event->key();
    if (key == Qt::Key_Backspace || key == Qt::Key_Delete) {
        QString edited = text();
        if (edited.size() != m_mask.length())
            edited = m_mask.emptyEditText();
        int cursor = cursorPosition();
        if (hasSelectedText()) {
            cursor = selectionStart();
            m_mask.clearRange(edited, cursor, cursor + static_cast<int>(selectedText().size()));
        } else if (key == Qt::Key_Backspace) {
            cursor = m_mask.previousEditable(cursor);
            if (cursor < 0)
                return;
            m_mask.clearRange(edited, cursor, cursor + 1);
        } else {
            const int at = m_mask.nextEditable(cursor);
            if (at >= m_mask.length())
                return;
            m_mask.clearRange(edited, at, at + 1);
        }
        if (beginChange())
            setMaskedText(edited, cursor);
        return;
    }
    const QString typed = event->text();
    if (!typed.isEmpty() && typed.at(0).isPrint() &&
        !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))) {
        typeMasked(typed);
        return;
    }
    QLineEdit::keyPressEvent(event);
}

void DBEdit::focusInEvent(QFocusEvent* event) {
    QLineEdit::focusInEvent(event);
    if ((m_kind == Kind::Currency || !m_mask.isEmpty()) && !pendingChange())
        reset();
    if (!m_mask.isEmpty() && !hasSelectedText() && event->reason() != Qt::MouseFocusReason)
        setCursorPosition(m_mask.nextEditable(0));
}

void DBEdit::mousePressEvent(QMouseEvent* event) {
    QLineEdit::mousePressEvent(event);
    if (m_mask.isEmpty() || event->button() != Qt::LeftButton || hasSelectedText())
        return;
    const QString shown = text();
    if (shown.size() != m_mask.length())
        return;
    if (m_mask.isUnfilled(shown)) {
        setCursorPosition(m_mask.nextEditable(0));
        return;
    }
    if (cursorPosition() < shown.size())
        return;  // a click on the text keeps its place
    // past the text: the free position after the last one filled
    int free = m_mask.length();
    for (int i = m_mask.length() - 1; i >= 0; --i) {
        if (m_mask.isLiteral(i))
            continue;
        if (shown.at(i) != m_mask.blank())
            break;
        free = i;
    }
    if (free < m_mask.length())
        setCursorPosition(free);
}

void DBEdit::focusOutEvent(QFocusEvent* event) {
    QLineEdit::focusOutEvent(event);
    if (!leftForGood(event->reason()))
        return;
    if (!handOverOrReport()) {
        // back to this box once the window has its focus again
        QTimer::singleShot(0, this, [this] {
            setFocus(Qt::OtherFocusReason);
            selectAll();
        });
        return;
    }
    if (m_kind == Kind::Currency || !m_mask.isEmpty())
        reset();
}
