#include "data/XbTable.h"

#include "data/DataSource.h"
#include "data/XBase.h"

TXbTable::TXbTable(QObject* parent)
    : TDbTable(parent), m_source(new TDataSource(this)), m_xbase(new TXBase(this)) {
    m_source->setDataSet(this);
    m_xbase->setDataSource(m_source);
}

TXbTable::~TXbTable() {
    blockSignals(true);
    close();
}

QStringList TXbTable::extraIndexes() const {
    return m_xbase->extraIndexes();
}
void TXbTable::setExtraIndexes(const QStringList& files) {
    m_xbase->setExtraIndexes(files);
}
QString TXbTable::xbaseFilter() const {
    return m_xbase->filter();
}
void TXbTable::setXBaseFilter(const QString& expression) {
    m_xbase->query(expression);
}

bool TXbTable::turboRead() const {
    return active() ? m_xbase->turboRead() : false;
}

void TXbTable::setTurboRead(bool on) {
    if (active())
        m_xbase->setTurboRead(on);
}

QString TXbTable::displayLabel() const {
    return m_displayLabel.isEmpty() ? tableName() : m_displayLabel;
}
