#pragma once

#include "widgets/richtext/RichTextEdit.h"

#include <QString>

#include <memory>

class TDataSource;
class TField;

namespace qly::controls {
class FieldLink;
}

// The rich-text editor bound to a memo field: loads the memo's RTF, puts the
// table into edit state when the user changes the text or its formatting,
// and stores the text as RTF when it loses the focus and before the record
// is posted.
class DBRichEdit : public RichTextEdit {
    Q_OBJECT

public:
    explicit DBRichEdit(QWidget* parent = nullptr);
    ~DBRichEdit() override;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setDataField(const QString& field);
    QString dataField() const;
    TField* field() const;

    bool pendingChange() const { return m_pending; }
    // Hands a pending change over; throws QlyError when the field refuses it.
    void updateRecord();

protected:
    void focusOutEvent(QFocusEvent* event) override;

private:
    void showField();
    void changedByUser();

    std::unique_ptr<qly::controls::FieldLink> m_link;
    bool m_pending = false;
    bool m_reporting = false;
};
