#pragma once

#include "widgets/controls/EditMask.h"

#include <QLineEdit>
#include <QString>

#include <memory>

class TDataSource;
class TField;

namespace qly::controls {
class FieldLink;
}

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
class DBEdit : public QLineEdit {
    Q_OBJECT

public:
    enum class Kind { Text, WholeNumber, Currency };

    explicit DBEdit(QWidget* parent = nullptr);
    ~DBEdit() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setDataField(const QString& field);
    QString dataField() const;
    TField* field() const;

    void setKind(Kind kind);
    Kind kind() const { return m_kind; }
    // A mask of its own ("" = the field's edit mask).
    void setEditMask(const QString& mask);
    const EditMask& activeMask() const { return m_mask; }

    // A change typed but not yet handed over to the field.
    bool pendingChange() const { return m_pending; }
    // Hands a pending change over to the field; throws QlyError with the
    // field's message when the field refuses it.
    void updateRecord();
    // Shows the field's value again, dropping a pending change.
    void reset();

public slots:
    // Clipboard commands that respect the mask and put the table into edit state.
    void cut();
    void paste();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    // The text that shows a field's value.
    virtual QString textOfField(const TField& field) const;
    // Writes text into the field.
    virtual void writeField(TField& field, const QString& text);
    // The user changed the text: put the table into edit state and note the
    // change. False when the table refused to edit (the text is reset).
    bool beginChange();
    void reportError(const std::exception& error);
    qly::controls::FieldLink& link() const { return *m_link; }

private:
    void showField();
    void refreshMask();
    void typeMasked(const QString& text);
    void setMaskedText(const QString& text, int cursor);

    std::unique_ptr<qly::controls::FieldLink> m_link;
    Kind m_kind = Kind::Text;
    QString m_ownMask;
    EditMask m_mask;
    bool m_pending = false;
    bool m_reporting = false;
};
