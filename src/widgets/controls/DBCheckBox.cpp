#include "widgets/controls/DBCheckBox.h"

#include "widgets/controls/FieldLink.h"
#include "widgets/data/ErrorBox.h"

using qly::controls::FieldLink;

DBCheckBox::DBCheckBox(QWidget* parent) : QCheckBox(parent), m_link(std::make_unique<FieldLink>()) {
    m_link->show = [this] { showField(); };
    connect(this, &QCheckBox::clicked, this, &DBCheckBox::toggledByUser);
}

DBCheckBox::~DBCheckBox() {
    m_link->show = nullptr;
    m_link->setDataSource(nullptr);
}

void DBCheckBox::setDataSource(TDataSource* source) {
    m_link->setDataSource(source);
    showField();
}

TDataSource* DBCheckBox::dataSource() const {
    return m_link->dataSource();
}

void DBCheckBox::setDataField(const QString& field) {
    m_link->fieldName = field;
    showField();
}

QString DBCheckBox::dataField() const {
    return m_link->fieldName;
}

TField* DBCheckBox::field() const {
    return m_link->field();
}

void DBCheckBox::showField() {
    TField* f = field();
    const bool on = f && m_link->hasRecord() && !f->isNull() && f->asBoolean();
    if (isChecked() != on)
        setChecked(on);
}

void DBCheckBox::toggledByUser(bool checked) {
    TField* f = field();
    if (!f)
        return;
    m_link->quiet = true;
    try {
        m_link->edit();
        f->setAsBoolean(checked);
    } catch (const std::exception& error) {
        m_link->quiet = false;
        qly::showErrorBox(QString::fromUtf8(error.what()), window());
        showField();
        return;
    }
    m_link->quiet = false;
}
