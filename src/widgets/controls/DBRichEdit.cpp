#include "widgets/controls/DBRichEdit.h"

#include "data/CodePage.h"
#include "data/Field.h"

#include <QFocusEvent>

DBRichEdit::DBRichEdit(QWidget* parent) : RichTextEdit(parent), DataFieldControl(this) {
    setTabChangesFocus(true);  // Tab moves on to the next control, as in every box of the form
    connect(this, &RichTextEdit::modified, this, [this] { beginChange(); });
}

DBRichEdit::~DBRichEdit() = default;

void DBRichEdit::showValue() {
    TField* f = field();
    QByteArray memo;
    if (f && hasRecord() && !f->isNull())
        memo = f->asBytes();
    setRtf(memo);
}

void DBRichEdit::writeValue(TField& field) {
    const QByteArray bytes = rtf();
    field.setAsString(qly::cp1252::decode(bytes.constData(), bytes.size()));
}

void DBRichEdit::focusOutEvent(QFocusEvent* event) {
    RichTextEdit::focusOutEvent(event);
    if (leftForGood(event->reason()))
        handOverOrReport();
}
