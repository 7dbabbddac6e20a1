#pragma once

#include "widgets/controls/DataFieldControl.h"
#include "widgets/richtext/RichTextEdit.h"

// The rich-text editor bound to a memo field: loads the memo's RTF, puts the
// table into edit state when the user changes the text or its formatting,
// and stores the text as RTF when it loses the focus and before the record
// is posted.
class DBRichEdit : public RichTextEdit, public qly::controls::DataFieldControl {
    Q_OBJECT

public:
    explicit DBRichEdit(QWidget* parent = nullptr);
    ~DBRichEdit() override;

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showValue() override;
    void writeValue(TField& field) override;
};
