#include "data/GridModel.h"

#include "data/DataSource.h"
#include "data/DateFormat.h"
#include "data/Error.h"
#include "data/RecordCodec.h"

#include <QTimer>

#include <cstdlib>

namespace {

constexpr std::size_t kImageCacheRows = 2048;
constexpr int kCheckpointEvery = 256;
constexpr int kNearScan = 256;

bool isNumeric(TFieldType t) {
    return t == TFieldType::ftSmallint || t == TFieldType::ftFloat;
}

}  // namespace

GridModel::GridModel(TDataSource* source, QObject* parent) : QAbstractTableModel(parent) {
    setDataSource(source);
}

GridModel::~GridModel() {
    for (auto& c : m_connections)
        disconnect(c);
}

void GridModel::setDataSource(TDataSource* source) {
    for (auto& c : m_connections)
        disconnect(c);
    m_connections.clear();
    m_source = source;
    m_table = source ? source->dataSet() : nullptr;
    if (source) {
        m_connections << connect(source, &TDataSource::activeChanged, this, &GridModel::onActive);
        m_connections << connect(source, &TDataSource::dataChanged, this,
                                 &GridModel::onDataChanged);
        m_connections << connect(source, &TDataSource::dataSetScrolled, this, &GridModel::onMoved);
        m_connections << connect(source, &TDataSource::recordChanged, this, &GridModel::onField);
        m_connections << connect(source, &TDataSource::stateChanged, this, &GridModel::onState);
    }
    if (m_table)
        m_connections << connect(m_table, &TDbTable::recordInserting, this,
                                 &GridModel::onInserting);
    reload();
}

void GridModel::setColumns(const QList<GridColumn>& columns) {
    m_specs = columns;
    reload();
}

QList<GridColumn> GridModel::columns() const {
    QList<GridColumn> out;
    for (const Column& c : m_columns)
        out << c.columnDef;
    return out;
}

void GridModel::rebuildColumns() {
    m_columns.clear();
    TDbTable* t = m_table;
    if (m_specs.isEmpty()) {
        if (!t)
            return;
        for (int i = 0; i < t->fieldCount(); ++i) {
            const TField* f = t->field(i);
            if (!f->visible())
                continue;
            m_columns.push_back({{f->fieldName(), f->displayLabel(), f->displayWidth()}, i});
        }
        return;
    }
    for (const GridColumn& columnDef : m_specs) {
        Column c{columnDef, -1};
        if (t) {
            for (int i = 0; i < t->fieldCount(); ++i)
                if (t->field(i)->fieldName().compare(columnDef.field, Qt::CaseInsensitive) == 0)
                    c.fieldIndex = i;
            if (c.fieldIndex >= 0) {
                const TField* f = t->field(c.fieldIndex);
                if (c.columnDef.title.isEmpty())
                    c.columnDef.title = f->displayLabel();
                if (c.columnDef.width <= 0)
                    c.columnDef.width = f->displayWidth();
            }
        }
        if (c.columnDef.title.isEmpty())
            c.columnDef.title = c.columnDef.field;
        m_columns.push_back(c);
    }
}

void GridModel::reload() {
    beginResetModel();
    m_reloadPending = false;
    m_rowRecord.clear();
    m_recordRow.clear();
    m_checkpoints.clear();
    m_images.clear();
    m_lru.clear();
    m_recordsRead = 0;
    m_insertRow = -1;
    m_count = 0;
    rebuildColumns();
    TDbTable* t = m_table;
    m_countExact = true;
    if (t && t->active()) {
        long count = 0;
        if (!t->recordCountKnown() && t->physicalRecordCount() > m_exactCountLimit &&
            t->engineFilter().isEmpty()) {
            // counting a large table reads all of it: show the rows first
            count = t->physicalRecordCount();
            m_countExact = false;
            QTimer::singleShot(0, this, &GridModel::finishCount);
        } else {
            count = t->recordCount();
        }
        m_count = count > 0 ? static_cast<int>(std::min<long>(count, 0x7fffffffL)) : 0;
        m_rowRecord.assign(static_cast<std::size_t>(m_count), 0);
        if (t->state() == TDataSetState::dsInsert)
            m_insertRow = m_count;  // a new record shows at the end
    }
    endResetModel();
    const int row = currentRow();
    m_currentRow = row;
    emit currentRowChanged(row);
}

void GridModel::finishCount() {
    TDbTable* t = m_table;
    if (m_countExact || !t || !t->active())
        return;
    const long exact = std::min<long>(t->recordCount(), 0x7fffffffL);
    if (m_insertRow >= 0 || exact > m_count) {
        reload();
        return;
    }
    if (exact < m_count) {
        beginRemoveRows(QModelIndex(), static_cast<int>(exact), m_count - 1);
        for (int row = static_cast<int>(exact); row < m_count; ++row) {
            const long r = m_rowRecord[static_cast<std::size_t>(row)];
            if (r)
                m_recordRow.erase(r);
        }
        m_checkpoints.erase(m_checkpoints.lower_bound(static_cast<int>(exact)),
                            m_checkpoints.end());
        m_count = static_cast<int>(exact);
        m_rowRecord.resize(static_cast<std::size_t>(m_count));
        m_images.clear();
        m_lru.clear();
        endRemoveRows();
    }
    // only now may the last row be taken from the engine's bottom
    m_countExact = true;
    const int row = currentRow();
    if (row != m_currentRow) {
        m_currentRow = row;
        emit currentRowChanged(row);
    }
}

void GridModel::scheduleReload() const {
    if (m_reloadPending)
        return;
    m_reloadPending = true;
    auto* self = const_cast<GridModel*>(this);
    QTimer::singleShot(0, self, [self] {
        if (self->m_reloadPending)
            self->reload();
    });
}

int GridModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return m_count + (m_insertRow >= 0 ? 1 : 0);
}

int GridModel::columnCount(const QModelIndex& parent) const {
    if (parent.isValid())
        return 0;
    return static_cast<int>(m_columns.size());
}

int GridModel::tableRow(int row) const {
    if (m_insertRow >= 0 && row > m_insertRow)
        return row - 1;
    return row;
}

int GridModel::viewRow(int recordRow) const {
    if (recordRow < 0)
        return -1;
    if (m_insertRow >= 0 && recordRow >= m_insertRow)
        return recordRow + 1;
    return recordRow;
}

void GridModel::remember(int row, long recno) const {
    if (row < 0 || row >= m_count || recno <= 0)
        return;
    m_rowRecord[static_cast<std::size_t>(row)] = recno;
    m_recordRow[recno] = row;
    if (row % kCheckpointEvery == 0)
        m_checkpoints.insert(row);
}

long GridModel::locate(int row) const {
    TDbTable* t = m_table;
    if (!t || !t->active() || row < 0 || row >= m_count)
        return 0;
    if (long r = m_rowRecord[static_cast<std::size_t>(row)])
        return r;
    // the two ends are always reachable directly
    if (!m_rowRecord.front()) {
        remember(0, t->engineTop());
        m_checkpoints.insert(0);
    }
    if (!m_rowRecord.back() && m_countExact) {
        remember(m_count - 1, t->engineBottom());
        m_checkpoints.insert(m_count - 1);
    }
    if (long r = m_rowRecord[static_cast<std::size_t>(row)])
        return r;
    // nearest known row: close by, else the nearest checkpoint
    int from = -1;
    for (int d = 1; d <= kNearScan && from < 0; ++d) {
        if (row - d >= 0 && m_rowRecord[static_cast<std::size_t>(row - d)])
            from = row - d;
        else if (row + d < m_count && m_rowRecord[static_cast<std::size_t>(row + d)])
            from = row + d;
    }
    if (from < 0) {
        auto above = m_checkpoints.lower_bound(row);
        int best = 0;
        if (above != m_checkpoints.end())
            best = *above;
        else if (above != m_checkpoints.begin())
            best = *std::prev(above);
        if (above != m_checkpoints.begin()) {
            const int below = *std::prev(above);
            if (row - below < best - row)
                best = below;
        }
        from = best;
    }
    const int direction = from < row ? 1 : -1;
    const long distance = std::labs(static_cast<long>(row) - from);
    const std::vector<long> records =
        t->engineWalk(m_rowRecord[static_cast<std::size_t>(from)], direction, distance);
    for (std::size_t i = 0; i < records.size(); ++i)
        remember(from + direction * static_cast<int>(i + 1), records[i]);
    if (static_cast<long>(records.size()) < distance) {
        // the table holds fewer records than counted: count again
        scheduleReload();
        return 0;
    }
    m_checkpoints.insert(row);
    t->selectArea(true);
    return m_rowRecord[static_cast<std::size_t>(row)];
}

long GridModel::recordOfRow(int row) const {
    if (isInsertRow(row))
        return 0;
    return locate(tableRow(row));
}

int GridModel::rowOfRecord(long recno) const {
    TDbTable* t = m_table;
    if (!t || !t->active() || recno <= 0 || m_count == 0)
        return -1;
    auto known = m_recordRow.find(recno);
    if (known != m_recordRow.end())
        return viewRow(known->second);
    if (!t->recordVisible(recno)) {
        t->selectArea(true);
        return -1;
    }
    locate(0);  // the ends are known from here on
    known = m_recordRow.find(recno);
    if (known != m_recordRow.end())
        return viewRow(known->second);
    // walk outward from the record until a known row or an end is met
    std::vector<long> before, after;
    long backFrom = recno, forwardFrom = recno;
    bool backEnd = false, forwardEnd = false;
    int result = -1;
    for (long step = 32; result < 0 && (!backEnd || !forwardEnd); step *= 2) {
        if (!backEnd) {
            const std::vector<long> recs = t->engineWalk(backFrom, -1, step);
            for (long r : recs) {
                before.push_back(r);
                auto k = m_recordRow.find(r);
                if (k != m_recordRow.end()) {
                    result = k->second + static_cast<int>(before.size());
                    break;
                }
            }
            if (result < 0 && static_cast<long>(recs.size()) < step) {
                backEnd = true;
                result = static_cast<int>(before.size());
            }
            if (!recs.empty())
                backFrom = recs.back();
        }
        if (result < 0 && !forwardEnd) {
            const std::vector<long> recs = t->engineWalk(forwardFrom, 1, step);
            for (long r : recs) {
                after.push_back(r);
                auto k = m_recordRow.find(r);
                if (k != m_recordRow.end()) {
                    result = k->second - static_cast<int>(after.size());
                    break;
                }
            }
            if (result < 0 && static_cast<long>(recs.size()) < step) {
                forwardEnd = true;
                // the last row is known only once the count is exact
                if (m_countExact)
                    result = m_count - 1 - static_cast<int>(after.size());
            }
            if (!recs.empty())
                forwardFrom = recs.back();
        }
    }
    t->selectArea(true);
    if (result < 0 || result >= m_count) {
        scheduleReload();
        return -1;
    }
    remember(result, recno);
    m_checkpoints.insert(result);
    for (std::size_t i = 0; i < before.size(); ++i)
        remember(result - static_cast<int>(i + 1), before[i]);
    for (std::size_t i = 0; i < after.size(); ++i)
        remember(result + static_cast<int>(i + 1), after[i]);
    return viewRow(result);
}

int GridModel::currentRow() const {
    TDbTable* t = m_table;
    if (!t || !t->active())
        return -1;
    if (t->state() == TDataSetState::dsInsert && m_insertRow >= 0)
        return m_insertRow;
    return rowOfRecord(t->recNo());
}

const std::string& GridModel::image(int row) const {
    auto it = m_images.find(row);
    if (it != m_images.end()) {
        m_lru.splice(m_lru.begin(), m_lru, it->second.second);
        return it->second.first;
    }
    TDbTable* t = m_table;
    const long recno = locate(tableRow(row));
    std::string img = recno > 0 ? t->readRecordImage(recno) : std::string();
    ++m_recordsRead;
    if (recno > 0)
        t->selectArea(true);
    if (m_images.size() >= kImageCacheRows) {
        m_images.erase(m_lru.back());
        m_lru.pop_back();
    }
    m_lru.push_front(row);
    auto inserted = m_images.emplace(row, std::make_pair(std::move(img), m_lru.begin()));
    return inserted.first->second.first;
}

QString GridModel::cellText(int row, const Column& column, int role) const {
    TDbTable* t = m_table;
    const TField* f = t->field(column.fieldIndex);
    const bool editing =
        t->state() == TDataSetState::dsEdit || t->state() == TDataSetState::dsInsert;
    const bool fromField = isInsertRow(row) || (editing && row == m_currentRow) ||
                           (f->isBlob() && row == m_currentRow);
    if (role == Qt::EditRole && !f->isBlob()) {
        const QVariant v = fromField ? f->value() : qly::record::valueFromImage(*f, image(row));
        if (!v.isValid())
            return {};
        switch (f->dataType()) {
            case TFieldType::ftDate:
                return qly::dates::formatDate(v.toDate());
            case TFieldType::ftBoolean:
                return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
            default:
                return v.toString();
        }
    }
    return fromField ? f->displayText() : qly::record::displayTextFromImage(*f, image(row));
}

QVariant GridModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= columnCount())
        return {};
    const Column& column = m_columns[static_cast<std::size_t>(index.column())];
    TDbTable* t = m_table;
    if (role == FieldNameRole)
        return column.columnDef.field;
    if (!t || !t->active() || column.fieldIndex < 0)
        return {};
    const TField* f = t->field(column.fieldIndex);
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return cellText(index.row(), column, role);
        case Qt::TextAlignmentRole:
            return isNumeric(f->dataType()) ? QVariant(int(Qt::AlignRight | Qt::AlignVCenter))
                                            : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
        default:
            return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    const Column& c = m_columns[static_cast<std::size_t>(section)];
    switch (role) {
        case Qt::DisplayRole:
            return c.columnDef.title;
        case WidthCharsRole:
            return c.columnDef.width;
        case FieldNameRole:
            return c.columnDef.field;
        case Qt::TextAlignmentRole:
            return int(Qt::AlignLeft | Qt::AlignVCenter);
        default:
            return {};
    }
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    const Column& c = m_columns[static_cast<std::size_t>(index.column())];
    TDbTable* t = m_table;
    if (t && t->active() && !t->readOnly() && c.fieldIndex >= 0 &&
        !t->field(c.fieldIndex)->isBlob())
        f |= Qt::ItemIsEditable;
    return f;
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::EditRole || !index.isValid() || !(flags(index) & Qt::ItemIsEditable))
        return false;
    TDbTable* t = m_table;
    const Column& c = m_columns[static_cast<std::size_t>(index.column())];
    try {
        if (index.row() != currentRow())
            setCurrentRow(index.row());
        if (index.row() != currentRow())
            return false;
        if (t->state() == TDataSetState::dsBrowse)
            t->edit();
        t->field(c.fieldIndex)->setValue(value);
    } catch (const QlyError& e) {
        emit editError(QString::fromStdString(e.what()));
        return false;
    }
    return true;
}

void GridModel::setCurrentRow(int row) {
    TDbTable* t = m_table;
    if (!t || !t->active() || row < 0 || row >= rowCount() || isInsertRow(row))
        return;
    if (row == m_currentRow && t->state() == TDataSetState::dsBrowse)
        return;
    const long recno = locate(tableRow(row));
    if (recno <= 0)
        return;
    // moving posts a pending edit (which may reload the rows)
    t->gotoRecord(recno);
}

void GridModel::onActive(bool) {
    reload();
}

void GridModel::onDataChanged() {
    reload();
}

void GridModel::onMoved() {
    const int old = m_currentRow;
    const int row = currentRow();
    m_currentRow = row;
    if (old >= 0 && old < rowCount())
        emit dataChanged(index(old, 0), index(old, std::max(0, columnCount() - 1)));
    if (row != old) {
        if (row >= 0 && row < rowCount())
            emit dataChanged(index(row, 0), index(row, std::max(0, columnCount() - 1)));
        emit currentRowChanged(row);
    }
}

void GridModel::onField(TField*) {
    if (m_currentRow >= 0 && m_currentRow < rowCount() && columnCount() > 0)
        emit dataChanged(index(m_currentRow, 0), index(m_currentRow, columnCount() - 1));
}

void GridModel::onInserting(bool atEnd) {
    if (m_insertRow >= 0)
        return;
    const int at = atEnd || m_currentRow < 0 ? m_count : m_currentRow;
    beginInsertRows(QModelIndex(), at, at);
    m_insertRow = at;
    // rows below shift by one: the image cache is keyed by view row
    m_images.clear();
    m_lru.clear();
    endInsertRows();
    m_currentRow = at;
    emit currentRowChanged(at);
}

void GridModel::onState(TDataSetState state) {
    if (state == TDataSetState::dsInsert || m_insertRow < 0)
        return;
    // the insertion ended: a post reloads the rows, a cancel removes the new row
    const int at = m_insertRow;
    beginRemoveRows(QModelIndex(), at, at);
    m_insertRow = -1;
    m_images.clear();
    m_lru.clear();
    endRemoveRows();
}
