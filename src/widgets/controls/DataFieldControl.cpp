#include "widgets/controls/DataFieldControl.h"

#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/Field.h"
#include "widgets/data/ErrorBox.h"

#include <QWidget>

namespace qly::controls {

// ---- FieldLink

TField* FieldLink::field() const {
    TDbTable* table = dataSet();
    if (!table || !table->active() || fieldName.isEmpty())
        return nullptr;
    return table->findField(fieldName);
}

bool FieldLink::hasRecord() const {
    TDbTable* table = dataSet();
    return table && table->active() && !table->isEmpty();
}

void FieldLink::recordChanged(TField* changed) {
    if (!changed || changed == field())
        notify();
}

void FieldLink::updateData() {
    m_control.updateRecord();
}

void FieldLink::notify() {
    if (!quiet)
        m_control.reset();
}

// ---- DataFieldControl

namespace {

// Holds the link's notices back while the control writes itself.
class Quiet {
public:
    explicit Quiet(FieldLink& link) : m_link(link) { m_link.quiet = true; }
    ~Quiet() { m_link.quiet = false; }
    Quiet(const Quiet&) = delete;
    Quiet& operator=(const Quiet&) = delete;

private:
    FieldLink& m_link;
};

}  // namespace

DataFieldControl::DataFieldControl(QWidget* widget) : m_widget(widget), m_link(*this) {}

DataFieldControl::~DataFieldControl() {
    // the control is going: no notice may reach it any more
    m_link.quiet = true;
    m_link.setDataSource(nullptr);
}

void DataFieldControl::setDataSource(TDataSource* source) {
    m_link.setDataSource(source);
    reset();
}

TDataSource* DataFieldControl::dataSource() const {
    return m_link.dataSource();
}

void DataFieldControl::setDataField(const QString& field) {
    m_link.fieldName = field;
    reset();
}

QString DataFieldControl::dataField() const {
    return m_link.fieldName;
}

TField* DataFieldControl::field() const {
    return m_link.field();
}

void DataFieldControl::reset() {
    showValue();
    m_pending = false;
}

bool DataFieldControl::beginChange() {
    if (m_pending)
        return true;
    if (!field())
        return false;
    try {
        Quiet quiet(m_link);
        m_link.edit();
    } catch (const std::exception& error) {
        reportError(error);
        reset();
        return false;
    }
    m_pending = true;
    return true;
}

void DataFieldControl::updateRecord() {
    if (!m_pending)
        return;
    TField* f = field();
    if (!f) {
        m_pending = false;
        return;
    }
    {
        Quiet quiet(m_link);
        if (!m_link.editing())
            m_link.edit();
        writeValue(*f);
    }
    m_pending = false;
}

bool DataFieldControl::handOverOrReport() {
    try {
        updateRecord();
    } catch (const std::exception& error) {
        reportError(error);
        return false;
    }
    return true;
}

bool DataFieldControl::leftForGood(Qt::FocusReason reason) const {
    return !m_reporting && reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason;
}

void DataFieldControl::reportError(const std::exception& error) {
    m_reporting = true;
    qly::showErrorBox(QString::fromUtf8(error.what()), m_widget->window());
    m_reporting = false;
}

QString trimRight(QString text) {
    int end = static_cast<int>(text.size());
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    text.truncate(end);
    return text;
}

}  // namespace qly::controls
