#pragma once

#include "data/DataSource.h"
#include "data/DbTable.h"

#include <QPixmap>
#include <QPointer>
#include <QString>
#include <QWidget>

class TDataSource;

// The state pane: the state of a data source's table as a word with a small
// picture before it ("Inactive", "Browse", "Edit", "Insert", "Search",
// "Calculate", "Filter"). Follows the data source as its state changes; with
// no data source it shows "Inactive".
class DBStateStatus : public QWidget {
    Q_OBJECT

public:
    explicit DBStateStatus(QWidget* parent = nullptr);
    ~DBStateStatus() override;

    TDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TDataSource* source);

    TDataSetState state() const { return m_state; }
    // The word shown for the current state.
    QString text() const { return stateWord(m_state); }

    static QString stateWord(TDataSetState state);
    // The picture of a state, size x size pixels.
    static QPixmap statePicture(TDataSetState state, int size);

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void showState(TDataSetState state);

    QPointer<TDataSource> m_dataSource;
    QMetaObject::Connection m_stateConnection;
    QMetaObject::Connection m_activeConnection;
    TDataSetState m_state = TDataSetState::dsInactive;
};
