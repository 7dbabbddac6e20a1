#pragma once

#include "widgets/controls/DataFieldControl.h"

#include <QComboBox>
#include <QString>
#include <QStringList>

// A data-aware editable drop-down list: the list offers choices (sorted, as
// given), any other text may be typed. Choosing an entry or typing puts the
// table into edit state; a choice is handed over to the field at once, typed
// text when the box loses the focus and before the record is posted.
class DBComboBox : public QComboBox, public qly::controls::DataFieldControl {
    Q_OBJECT

public:
    explicit DBComboBox(QWidget* parent = nullptr);
    ~DBComboBox() override;

    // The entries of the list, sorted.
    void setEntries(const QStringList& entries);

public slots:
    void cut();
    void copy();
    void paste();

protected:
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showValue() override;
    void writeValue(TField& field) override;
    bool startChange();  // beginChange, unless the box is showing the field

    bool m_showing = false;
};
