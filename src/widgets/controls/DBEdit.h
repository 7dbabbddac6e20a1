#pragma once

#include "widgets/controls/DataFieldControl.h"
#include "widgets/controls/EditMask.h"

#include <QLineEdit>
#include <QString>

// A data-aware one-line edit box bound to one field of a data source. It
// shows the field of the current record; typing puts the table into edit
// state, and the text is handed over to the field when the box loses the
// focus and before the record is posted. A value the field refuses raises
// the field's message (QlyError) at the hand-over: on leaving the box it is
// shown in the standard error box and the focus stays; before a post it
// ends the post, and the record stays in edit state. Escape puts the
// field's value back.
//
// Kinds: plain text; a whole number (right-aligned, refused when it is not
// one); a currency amount (shown in the system's currency format while the
// box has no focus, as a plain number while it is edited); and masked text,
// following the field's edit mask (or one set with setEditMask): the
// mask's template with its blanks while the box has the focus, the value as
// stored otherwise.
class DBEdit : public QLineEdit, public qly::controls::DataFieldControl {
    Q_OBJECT

public:
    enum class Kind { Text, WholeNumber, Currency };

    explicit DBEdit(QWidget* parent = nullptr);
    ~DBEdit() override;

    void setKind(Kind kind);
    Kind kind() const { return m_kind; }
    // A mask of its own ("" = the field's edit mask).
    void setEditMask(const QString& mask);
    const EditMask& activeMask() const { return m_mask; }

public slots:
    // Clipboard commands that respect the mask and put the table into edit state.
    void cut();
    void paste();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    // A click in an empty masked box, or past its text, puts the caret at
    // the first free position, where typing fills the template.
    void mousePressEvent(QMouseEvent* event) override;

    // The text that shows a field's value.
    virtual QString textOfField(const TField& field) const;
    // Writes the text into the field, as the kind and the mask read it.
    void writeValue(TField& field) override;

private:
    void showValue() override;
    void refreshMask();
    void typeMasked(const QString& text);
    void setMaskedText(const QString& text, int cursor);

    Kind m_kind = Kind::Text;
    QString m_ownMask;
    EditMask m_mask;
};
