#pragma once

#include "data/DbTable.h"

#include <QObject>
#include <QPointer>

#include <vector>

class TDataLink;

// The data source between a table and its bound controls. It passes the
// table's notices on, both as Qt signals and to its TDataLinks.
class TDataSource : public QObject {
    Q_OBJECT

public:
    explicit TDataSource(QObject* parent = nullptr);
    ~TDataSource() override;

    TDbTable* dataSet() const { return m_dataSet; }
    void setDataSet(TDbTable* table);
    TDataSetState state() const;
    bool enabled() const { return m_enabled; }
    void setEnabled(bool on);

    void addLink(TDataLink* link);
    void removeLink(TDataLink* link);

signals:
    void activeChanged(bool active);
    void stateChanged(TDataSetState state);
    void dataChanged();  // the records were read again
    void recordChanged(
        TField* field);      // a field of the current record changed (nullptr: whole record)
    void dataSetScrolled();  // another record became current
    void updateData();       // before post

private:
    void onActive(bool active);
    void onState(TDataSetState state);
    void onDataSetChanged();
    void onMoved();
    void onField(TField* field);
    void onUpdate();
    template <typename F>
    void forEachLink(F f);

    QPointer<TDbTable> m_dataSet;
    bool m_enabled = true;
    TDataSetState m_lastState = TDataSetState::dsInactive;
    std::vector<TDataLink*> m_links;
    QList<QMetaObject::Connection> m_connections;
};
