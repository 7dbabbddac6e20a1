#pragma once

#include "data/DataLink.h"

#include <QString>

#include <exception>

class QWidget;
class TDataSource;
class TField;

namespace qly::controls {

class DataFieldControl;

// The link of a data-aware control to one field of a data source. It has
// the control show the field again whenever the table opened or closed,
// another record became current, the records were read again, the field
// changed, or an edit or insertion began or ended; and hand its change over
// before the record is posted.
class FieldLink : public TDataLink {
public:
    explicit FieldLink(DataFieldControl& control) : m_control(control) {}

    QString fieldName;
    // While set, notices do not show the field (the control itself is writing).
    bool quiet = false;

    // The bound field of the open table, or nullptr.
    TField* field() const;
    // The field's value is there to be shown: a record is current or being inserted.
    bool hasRecord() const;

    void activeChanged() override { notify(); }
    void dataSetChanged() override { notify(); }
    void dataSetScrolled() override { notify(); }
    void editingChanged() override { notify(); }
    void recordChanged(TField* changed) override;
    void updateData() override;

private:
    void notify();

    DataFieldControl& m_control;
};

// What every data-aware control of the detail pages does with its field:
// the link to a data source and a field, showing the field's value again
// whenever the link says so, putting the table into edit state when the user
// begins a change, and handing the change over to the field when the
// control is left and before the record is posted. A field that refuses
// the value raises its message (QlyError) at the hand-over.
//
// A control derives from its widget first and from this second, and says
// how it shows the value (showValue) and writes it (writeValue).
class DataFieldControl {
public:
    DataFieldControl(const DataFieldControl&) = delete;
    DataFieldControl& operator=(const DataFieldControl&) = delete;

    void setDataSource(TDataSource* source);
    TDataSource* dataSource() const;
    void setDataField(const QString& field);
    QString dataField() const;
    TField* field() const;

    // A change begun but not yet handed over to the field.
    bool pendingChange() const { return m_pending; }
    // Hands a pending change over to the field; throws QlyError with the
    // field's message when the field refuses it.
    void updateRecord();
    // Shows the field's value again, dropping a pending change.
    void reset();

protected:
    // widget: the control itself; its window is the parent of the error box.
    explicit DataFieldControl(QWidget* widget);
    virtual ~DataFieldControl();

    // Shows the field's value of the current record (blank when there is
    // no field or no record: see hasRecord).
    virtual void showValue() = 0;
    // Writes the control's value into the field; the table is in edit state.
    virtual void writeValue(TField& field) = 0;

    bool hasRecord() const { return m_link.hasRecord(); }
    // The user began a change: puts the table into edit state and notes the
    // change. False when there is no field, or when the table refused to edit
    // (its message has been shown and the field's value is shown again).
    bool beginChange();
    // Hands a pending change over; when the field refuses it, shows its
    // message and returns false.
    bool handOverOrReport();
    // The focus went elsewhere for good: not to a popup or another window,
    // nor to the error box of this control.
    bool leftForGood(Qt::FocusReason reason) const;
    // Shows the message in the standard error box.
    void reportError(const std::exception& error);

private:
    QWidget* m_widget;
    FieldLink m_link;
    bool m_pending = false;
    bool m_reporting = false;  // the error box is up
};

// Removes trailing blanks (character fields come back padded).
QString trimRight(QString text);

}  // namespace qly::controls
