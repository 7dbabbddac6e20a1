#pragma once

#include "widgets/controls/DataFieldControl.h"

#include <QCheckBox>

// A data-aware check box on a logical field: checked shows true. A click
// puts the table into edit state and writes the new value into the field.
class DBCheckBox : public QCheckBox, public qly::controls::DataFieldControl {
    Q_OBJECT

public:
    explicit DBCheckBox(QWidget* parent = nullptr);
    ~DBCheckBox() override;

private:
    void showValue() override;
    void writeValue(TField& field) override;
    void toggledByUser();
};
