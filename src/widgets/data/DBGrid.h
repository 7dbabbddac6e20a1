#pragma once

#include "data/GridModel.h"

#include <QHeaderView>
#include <QList>
#include <QPointer>
#include <QTableView>

class TDataSource;

// The record indicator column of a data grid: a narrow vertical header that
// paints only the current row's mark (a black triangle while browsing, an
// I-beam while editing, a star while inserting) and no row numbers.
class DBGridIndicator : public QHeaderView {
    Q_OBJECT

public:
    explicit DBGridIndicator(QWidget* parent = nullptr);

    void setCurrentRow(int row);
    int currentRow() const { return m_currentRow; }
    void setMarkState(TDataSetState state);
    // Gives every row the size at once, also a million of them.
    void setUniformSectionSize(int size);

    QSize sizeHint() const override;

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;

private:
    int m_currentRow = -1;
    TDataSetState m_state = TDataSetState::dsBrowse;
};

// A data grid over a data source: one row per visible record of its table in
// the table's order, read lazily through GridModel, so a table of a million
// records opens and scrolls without being read whole. Column titles are
// left-aligned on a teal background; a record indicator column marks the
// current record; the horizontal scroll bar is always shown.
//
// The grid and the table share the current record: moving in the grid moves
// the table (posting a pending edit), and a move of the table by other means
// moves the grid. Typing in a cell, F2 or a click on the current cell edits
// in place; the value goes into the table's edit buffer and is posted when
// the current row changes (or by whatever posts the table); Escape cancels
// a pending edit of the table. A double click emits doubleClicked.
class DBGrid : public QTableView {
    Q_OBJECT

public:
    explicit DBGrid(QWidget* parent = nullptr);
    ~DBGrid() override;

    TDataSource* dataSource() const;
    void setDataSource(TDataSource* source);
    // Columns shown (field, title, width in characters); empty: the table's
    // visible fields.
    void setColumns(const QList<GridColumn>& columns);
    GridModel* gridModel() const { return m_model; }
    DBGridIndicator* indicator() const { return m_indicator; }

    // The width in pixels of a column of the given number of characters in
    // the grid's font.
    int columnWidthForChars(int chars) const;
    // Applies the columns' widths in characters (after a font change).
    void applyColumnWidths();
    // Gives every row the height, at once also for a million rows.
    void setDefaultRowHeight(int height);
    // Whether a new font gives the rows their height (the font's height and
    // 6): on, unless a form scaler sizes the rows.
    bool rowsFollowFont() const { return m_rowsFollowFont; }
    void setRowsFollowFont(bool on) { m_rowsFollowFont = on; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void changeEvent(QEvent* event) override;
    void commitData(QWidget* editor) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;
    // The view's current index moving off a removed row (the new row of an
    // insertion, when it ends) does not move the table off the record just
    // posted.
    void rowsAboutToBeRemoved(const QModelIndex& parent, int start, int end) override;

private:
    void onModelCurrentRow(int row);
    void onStateChanged(TDataSetState state);
    // The first change typed into a cell editor puts the table into edit.
    void editorChanged();
    // Before the table posts or cancels: the open cell editor hands its
    // value over and closes, so a typed value is stored once and never lost.
    void handOverEditor();
    void updateTitleStyle();

    GridModel* m_model = nullptr;
    DBGridIndicator* m_indicator = nullptr;
    QMetaObject::Connection m_stateConnection;
    bool m_following = false;    // moving the view to the table's record
    QPointer<QWidget> m_editor;  // the open cell editor
    QMetaObject::Connection m_updateConnection;
    bool m_rowsFollowFont = true;
};
