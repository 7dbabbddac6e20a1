#include "data/DataLink.h"

#include "data/DataSource.h"

TDataLink::~TDataLink() {
    if (m_dataSource)
        m_dataSource->removeLink(this);
}

void TDataLink::setDataSource(TDataSource* source) {
    if (source == m_dataSource)
        return;
    if (m_dataSource)
        m_dataSource->removeLink(this);
    if (source)
        source->addLink(this);
    activeChanged();
}

TDbTable* TDataLink::dataSet() const {
    return m_dataSource ? m_dataSource->dataSet() : nullptr;
}

bool TDataLink::active() const {
    const TDbTable* t = dataSet();
    return t && t->active();
}

bool TDataLink::editing() const {
    const TDbTable* t = dataSet();
    return t && (t->state() == TDataSetState::dsEdit || t->state() == TDataSetState::dsInsert);
}

bool TDataLink::edit() {
    TDbTable* t = dataSet();
    if (t && t->active() && !editing() && m_dataSource->enabled())
        t->edit();
    return editing();
}
