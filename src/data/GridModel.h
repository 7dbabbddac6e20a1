#pragma once

#include "data/DataSource.h"
#include "data/DbTable.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QList>
#include <QPointer>

#include <list>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

// One column of a data grid: the field, its title and its width in
// characters (0: the field's display width).
struct GridColumn {
    QString field;
    QString title;  // empty: the field's display label
    int width = 0;
};

// The model of a data grid over a data source. Rows are the table's visible
// records in its current order, filter and scope; a row's record is found by
// moving the engine from the nearest row already known (the top, the bottom
// or a row seen before), so opening, scrolling to the end and paging never
// read the whole table. Only the rows the view asks for are read, and a
// bounded number of them are kept.
//
// Current row: setCurrentRow moves the table's current record (posting a
// pending edit); when the table moves by other means currentRowChanged
// tells the view. Editing a cell puts the table into edit state; the value
// is posted when the current row changes.
class GridModel : public QAbstractTableModel {
    Q_OBJECT

public:
    // Header role giving a column's width in characters (int).
    static constexpr int WidthCharsRole = Qt::UserRole + 1;
    // Data role giving the field name of a column.
    static constexpr int FieldNameRole = Qt::UserRole + 2;

    explicit GridModel(TDataSource* source = nullptr, QObject* parent = nullptr);
    ~GridModel() override;

    TDataSource* dataSource() const { return m_source; }
    void setDataSource(TDataSource* source);
    // Empty list: every visible field of the table, with its display label
    // and width.
    void setColumns(const QList<GridColumn>& columns);
    QList<GridColumn> columns() const;  // the columns in effect

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;

    int currentRow() const;             // -1 when the table is closed or empty
    long recordOfRow(int row) const;    // 0 when none
    int rowOfRecord(long recno) const;  // -1 when not visible
    // Number of records read from the engine since the last reload (for
    // tests and benchmarks).
    long recordsRead() const { return m_recordsRead; }
    // Tables with more records than this, and no filter, show their rows at
    // once with the file's record count and count exactly right after (the
    // rows of deleted records then go away).
    void setExactCountLimit(long records) { m_exactCountLimit = records; }
    bool countExact() const { return m_countExact; }

public slots:
    void setCurrentRow(int row);
    void reload();

signals:
    void currentRowChanged(int row);
    // A value typed into a cell was refused (the message to show).
    void editError(const QString& message);

private:
    struct Column {
        GridColumn columnDef;
        int fieldIndex = -1;
    };
    void rebuildColumns();
    void onActive(bool active);
    void onDataChanged();
    void onMoved();
    void onField(TField* field);
    void onState(TDataSetState state);
    void onInserting(bool atEnd);
    long locate(int row) const;  // record of a row, filling the row map
    const std::string& image(int row) const;
    bool isInsertRow(int row) const { return m_insertRow >= 0 && row == m_insertRow; }
    int tableRow(int row) const;       // view row -> row among the records
    int viewRow(int recordRow) const;  // row among the records -> view row
    void remember(int row, long recno) const;
    void scheduleReload() const;
    void finishCount();
    QString cellText(int row, const Column& column, int role) const;

    QPointer<TDataSource> m_source;
    QPointer<TDbTable> m_table;
    QList<GridColumn> m_specs;
    std::vector<Column> m_columns;
    QList<QMetaObject::Connection> m_connections;

    int m_count = 0;       // records in the view
    int m_insertRow = -1;  // the new row while inserting
    int m_currentRow = -1;
    mutable std::vector<long> m_rowRecord;  // 0 = not yet known
    mutable std::unordered_map<long, int> m_recordRow;
    mutable std::list<int> m_lru;  // rows whose images are cached
    mutable std::unordered_map<int, std::pair<std::string, std::list<int>::iterator>> m_images;
    mutable long m_recordsRead = 0;
    mutable std::set<int> m_checkpoints;  // known rows kept for finding a near start
    mutable bool m_reloadPending = false;
    bool m_countExact = true;
    long m_exactCountLimit = 50000;
};
