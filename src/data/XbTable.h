#pragma once

#include "data/DbTable.h"

#include <QStringList>

class TDataSource;
class TXBase;

// A table with its own engine companion, used by the report layouts.
class TXbTable : public TDbTable {
    Q_OBJECT

public:
    explicit TXbTable(QObject* parent = nullptr);
    ~TXbTable() override;

    TXBase* xbase() const { return m_xbase; }
    TDataSource* ownDataSource() const { return m_source; }

    QStringList extraIndexes() const;
    void setExtraIndexes(const QStringList& files);
    QString xbaseFilter() const;
    void setXBaseFilter(const QString& expression);  // runs Query
    // The companion's value while open, False otherwise; a write on a
    // closed table has no effect.
    bool turboRead() const;
    void setTurboRead(bool on);
    // Reads as the table name while empty.
    QString displayLabel() const;
    void setDisplayLabel(const QString& label) { m_displayLabel = label; }

private:
    TDataSource* m_source;
    TXBase* m_xbase;
    QString m_displayLabel;
};
