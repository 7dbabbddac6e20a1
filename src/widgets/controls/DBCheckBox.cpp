#include "widgets/controls/DBCheckBox.h"

#include "data/Field.h"

DBCheckBox::DBCheckBox(QWidget* parent) : QCheckBox(parent), DataFieldControl(this) {
    connect(this, &QCheckBox::clicked, this, &DBCheckBox::toggledByUser);
}

DBCheckBox::~DBCheckBox() = default;

void DBCheckBox::showValue() {
    TField* f = field();
    const bool on = f && hasRecord() && !f->isNull() && f->asBoolean();
    if (isChecked() != on)
        setChecked(on);
}

void DBCheckBox::writeValue(TField& field) {
    field.setAsBoolean(isChecked());
}

void DBCheckBox::toggledByUser() {
    // a click is handed over at once; a refused one shows the field again
    if (beginChange() && !handOverOrReport())
        reset();
}
