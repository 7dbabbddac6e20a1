#include "data/DataSource.h"

#include "data/DataLink.h"

#include <algorithm>

TDataSource::TDataSource(QObject* parent) : QObject(parent) {}

TDataSource::~TDataSource() {
    for (auto& c : m_connections)
        disconnect(c);
    // the links stay alive: they only forget this source
    for (TDataLink* link : m_links)
        link->m_dataSource = nullptr;
    m_links.clear();
}

template <typename F>
void TDataSource::forEachLink(F f) {
    if (!m_enabled)
        return;
    // a notice may unlink a control: work on a copy
    const std::vector<TDataLink*> links = m_links;
    for (TDataLink* link : links)
        if (std::find(m_links.begin(), m_links.end(), link) != m_links.end())
            f(link);
}

void TDataSource::setDataSet(TDbTable* table) {
    if (table == m_dataSet)
        return;
    for (auto& c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_dataSet = table;
    if (table) {
        m_connections << connect(table, &TDbTable::activeChanged, this, &TDataSource::onActive);
        m_connections << connect(table, &TDbTable::stateChanged, this, &TDataSource::onState);
        m_connections << connect(table, &TDbTable::dataSetChanged, this,
                                 &TDataSource::onDataSetChanged);
        m_connections << connect(table, &TDbTable::recordMoved, this, &TDataSource::onMoved);
        m_connections << connect(table, &TDbTable::fieldChanged, this, &TDataSource::onField);
        m_connections << connect(table, &TDbTable::updateRecordRequested, this,
                                 &TDataSource::onUpdate);
        m_connections << connect(table, &QObject::destroyed, this, [this] { setDataSet(nullptr); });
    }
    m_lastState = state();
    const bool isActive = table && table->active();
    emit activeChanged(isActive);
    forEachLink([](TDataLink* l) { l->activeChanged(); });
}

TDataSetState TDataSource::state() const {
    return m_dataSet ? m_dataSet->state() : TDataSetState::dsInactive;
}

void TDataSource::setEnabled(bool on) {
    m_enabled = on;
    forEachLink([](TDataLink* l) { l->activeChanged(); });
}

void TDataSource::addLink(TDataLink* link) {
    if (std::find(m_links.begin(), m_links.end(), link) == m_links.end())
        m_links.push_back(link);
    link->m_dataSource = this;
}

void TDataSource::removeLink(TDataLink* link) {
    m_links.erase(std::remove(m_links.begin(), m_links.end(), link), m_links.end());
    if (link->m_dataSource == this)
        link->m_dataSource = nullptr;
}

void TDataSource::onActive(bool active) {
    // links first: a companion re-applies its filter before controls read
    forEachLink([](TDataLink* l) { l->activeChanged(); });
    emit activeChanged(active);
}

void TDataSource::onState(TDataSetState state) {
    const auto isEdit = [](TDataSetState s) {
        return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
    };
    const bool editingChanged = isEdit(state) != isEdit(m_lastState);
    m_lastState = state;
    emit stateChanged(state);
    forEachLink([editingChanged](TDataLink* l) {
        l->stateChanged();
        if (editingChanged)
            l->editingChanged();
    });
}

void TDataSource::onDataSetChanged() {
    emit dataChanged();
    forEachLink([](TDataLink* l) { l->dataSetChanged(); });
}

void TDataSource::onMoved() {
    emit dataSetScrolled();
    emit recordChanged(nullptr);
    forEachLink([](TDataLink* l) {
        l->dataSetScrolled();
        l->recordChanged(nullptr);
    });
}

void TDataSource::onField(TField* field) {
    emit recordChanged(field);
    forEachLink([field](TDataLink* l) { l->recordChanged(field); });
}

void TDataSource::onUpdate() {
    emit updateData();
    forEachLink([](TDataLink* l) { l->updateData(); });
}
