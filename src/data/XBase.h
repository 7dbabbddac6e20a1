#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <memory>

#include "data/DataSource.h"
#include "data/DbTable.h"

class TXBaseDataLink;

// The engine companion of one table, bound through a data source: an xBase
// filter, a key scope, go-to-top, index order and extra index files,
// re-indexing and counts. Every operation selects the table's work area
// first and re-selects the area that was current afterwards.
class TXBase : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Filter READ filter WRITE setFilter)
    Q_PROPERTY(bool TurboRead READ turboRead WRITE setTurboRead)

public:
    explicit TXBase(QObject* parent = nullptr);
    ~TXBase() override;

    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);
    TDbTable* table() const { return m_table; }

    const QStringList& extraIndexes() const { return m_extraIndexes; }
    void setExtraIndexes(const QStringList& files);  // copies; on an open table opens them
    QString filter() const { return m_filter; }
    void setFilter(const QString& expression) { query(expression); }
    bool turboRead() const { return m_turboRead; }
    void setTurboRead(bool on);

    // On a closed table stores the expression (it is applied when the table
    // opens) and returns 0. Otherwise finishes the edit, syncs, passes it to
    // the engine and re-reads the table; returns -1. An expression the
    // engine refuses throws the engine's message and is not stored: the
    // filter in force before stays, and Filter reports it.
    int query(const QString& expression);
    // Keys from low to high of the current order; an empty low removes the
    // scope. Moves to the first record. True when the engine accepted it.
    // Throws the closed-dataset error on a closed table.
    bool setScope(const QString& low, const QString& high);
    void goTop();    // throws on a closed table
    void reindex();  // throws on a closed table
    int setOrder(int order);
    int indexOpen(const QString& file);
    void openExtraIndexes();
    int indexOrd();
    QString tagName(int order);
    long recCount();
    int recSize();
    bool isActive() const;

    // The name under which an extra index is opened for the table's type.
    static QString extraIndexFileName(const QString& name, int tableType);
    // The area that was current before the last engine call.
    int previousArea() const { return m_previousArea; }

    // The table was opened or closed (from the data link).
    void tableActiveChanged();

private:
    class Bracket;
    void bindTable();
    void finishEdit();

    QPointer<TDataSource> m_dataSource;
    QPointer<TDbTable> m_table;
    std::unique_ptr<TXBaseDataLink> m_link;
    QStringList m_extraIndexes;
    QString m_filter;
    bool m_turboRead = false;
    int m_previousArea = 0;
};
