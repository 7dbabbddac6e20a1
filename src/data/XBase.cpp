#include "data/XBase.h"

#include "data/CodePage.h"
#include "data/DataSource.h"
#include "data/DbTable.h"
#include "data/Error.h"
#include "data/Messages.h"
#include "data/XBaseDataLink.h"
#include "engine/xbase.h"

#include <QDir>
#include <QFileInfo>

// The work-area bracket around every engine call: select the table's area
// (or remember the current one) and re-select the remembered area after.
class TXBase::Bracket {
public:
    explicit Bracket(TXBase& owner) : m_owner(owner) {
        owner.bindTable();
        if (!owner.m_dataSource) {
            owner.m_previousArea = 0;
            return;
        }
        if (owner.m_table && owner.m_table->active())
            owner.m_previousArea = xb_Select(owner.m_table->workArea());
        else
            owner.m_previousArea = xb_WorkArea();
    }
    ~Bracket() {
        const int previous = m_owner.m_previousArea;
        const int own =
            m_owner.m_table && m_owner.m_table->active() ? m_owner.m_table->workArea() : 0;
        if (previous != 0 && previous != own)
            xb_Select(previous);
    }
    Bracket(const Bracket&) = delete;
    Bracket& operator=(const Bracket&) = delete;

private:
    TXBase& m_owner;
};

namespace {

[[noreturn]] void engineRefused(const QString& what) {
    const std::string why = xb_LastError();
    throw QlyError((what + QStringLiteral(": ") +
                    (why.empty() ? QStringLiteral("the engine refused the operation")
                                 : QString::fromStdString(why)))
                       .toStdString());
}

std::string bytes(const QString& text) {
    return qly::cp1252::encode(text);
}

}  // namespace

void TXBaseDataLink::activeChanged() {
    if (m_owner)
        m_owner->tableActiveChanged();
}

TXBase::TXBase(QObject* parent) : QObject(parent), m_link(std::make_unique<TXBaseDataLink>(this)) {}

TXBase::~TXBase() {
    m_link->setDataSource(nullptr);
}

void TXBase::setDataSource(TDataSource* source) {
    m_dataSource = source;
    m_table = source ? source->dataSet() : nullptr;
    m_link->setDataSource(source);
}

void TXBase::bindTable() {
    if (m_dataSource)
        m_table = m_dataSource->dataSet();
}

bool TXBase::isActive() const {
    TDbTable* t = m_dataSource ? m_dataSource->dataSet() : m_table.data();
    return t && t->active();
}

void TXBase::finishEdit() {
    // posts a modified record, cancels an unmodified one; then puts the
    // engine on the table's current record
    m_table->checkBrowseMode();
    m_table->selectArea(true);
}

void TXBase::setExtraIndexes(const QStringList& files) {
    m_extraIndexes = files;
    if (isActive())
        openExtraIndexes();
}

void TXBase::setTurboRead(bool on) {
    Bracket bracket(*this);
    // only an open table has a work area of its own to set
    if (m_table && m_table->active())
        xb_SetTurboRead(on ? -1 : 0);
    m_turboRead = on;
}

int TXBase::query(const QString& expression) {
    bindTable();
    if (!isActive()) {
        m_filter = expression;  // in force when the table opens
        return 0;
    }
    Bracket bracket(*this);
    finishEdit();
    const long keep = m_table->recNo();
    xb_ClearError();
    const int result = xb_Query(bytes(expression));
    QString why;
    if (!result) {
        why = QString::fromStdString(xb_LastError());
        if (why.isEmpty())
            why = QStringLiteral("The filter %1 was refused").arg(expression);
    }
    // Filter reports the expression in force: a refused one is not stored
    const QString inForce = qly::cp1252::decode(xb_DBFilter());
    m_filter = result || inForce == expression ? expression : inForce;
    // keep the current record when it still passes, else the first one
    if (!m_table->recordVisible(keep)) {
        xb_Select(m_table->workArea());
        if (!xb_GoTop())
            engineRefused(QStringLiteral("Cannot move to the first record"));
    }
    m_table->resyncFromEngine(true);
    if (!result)
        throw QlyError(why.toStdString());
    return result;
}

bool TXBase::setScope(const QString& low, const QString& high) {
    bindTable();
    if (!isActive())
        throw QlyError(qly::msg::kClosedDataSet);
    Bracket bracket(*this);
    finishEdit();
    const int result = xb_SetScope(bytes(low.left(255)), bytes(high.left(255)));
    if (!xb_GoTop())
        engineRefused(QStringLiteral("Cannot move to the first record"));
    m_table->resyncFromEngine(true);
    return result != 0;
}

void TXBase::goTop() {
    bindTable();
    if (!isActive())
        throw QlyError(qly::msg::kClosedDataSet);
    Bracket bracket(*this);
    finishEdit();
    if (!xb_GoTop())
        engineRefused(QStringLiteral("Cannot move to the first record"));
    m_table->resyncFromEngine(true);
}

void TXBase::reindex() {
    bindTable();
    if (!isActive())
        throw QlyError(qly::msg::kClosedDataSet);
    Bracket bracket(*this);
    finishEdit();
    const long keep = m_table->recNo();
    const bool ok = xb_Reindex() != 0;
    const std::string error = ok ? std::string() : xb_LastError();
    if (keep > 0 && !xb_Go(keep) && ok)
        engineRefused(QStringLiteral("Cannot read the table again"));
    m_table->resyncFromEngine(true);
    if (!ok)
        throw QlyError(error);  // the engine's own message
}

int TXBase::setOrder(int order) {
    Bracket bracket(*this);
    if (!isActive())
        return 0;
    m_table->selectArea(true);
    const int result = xb_SetOrder(order);
    if (result)  // a refused order leaves the one in force
        m_table->setIndexNameOnly(QString::fromStdString(xb_TagName(order)));
    return result;
}

int TXBase::indexOpen(const QString& file) {
    Bracket bracket(*this);
    if (!isActive())
        return 0;
    QString path = file.left(255);
    if (QFileInfo(path).isRelative())
        path = QFileInfo(m_table->resolvedPath()).dir().filePath(path);
    m_table->selectArea(true);
    const int order = xb_IndexOpen(path.toStdString());
    if (order == 0)  // not opened: the order in force stays
        return 0;
    m_table->setIndexNameOnly(QString::fromStdString(xb_TagName(order)));
    m_table->resyncFromEngine(false);
    return order;
}

QString TXBase::extraIndexFileName(const QString& name, int tableType) {
    if (!QFileInfo(name).suffix().isEmpty())
        return name;
    switch (tableType) {
        case ttXbNTX:
            return name + QStringLiteral(".NTX");
        case ttXbFOX:
            return name + QStringLiteral(".IDX");
        case ttXbNSX:
            return name + QStringLiteral(".NSX");
        default:
            return name;
    }
}

void TXBase::openExtraIndexes() {
    bindTable();
    if (!isActive())
        return;
    int remembered = indexOrd();
    setOrder(0);
    for (const QString& name : m_extraIndexes) {
        const int order = indexOpen(extraIndexFileName(name, m_table->tableType()));
        if (remembered == 0)
            remembered = order;
    }
    setOrder(remembered);
}

int TXBase::indexOrd() {
    Bracket bracket(*this);
    return isActive() ? xb_IndexOrd() : 0;
}

QString TXBase::tagName(int order) {
    Bracket bracket(*this);
    return isActive() ? QString::fromStdString(xb_TagName(order)) : QString();
}

long TXBase::recCount() {
    Bracket bracket(*this);
    return isActive() ? xb_RecCount() : 0;
}

int TXBase::recSize() {
    Bracket bracket(*this);
    return isActive() ? xb_RecSize() : 0;
}

void TXBase::tableActiveChanged() {
    bindTable();
    if (!isActive())
        return;
    // engine refusals are not messages here: the filter and the indexes
    // are simply not in force
    try {
        if (!m_filter.isEmpty())
            query(m_filter);
        if (!m_extraIndexes.isEmpty())
            openExtraIndexes();
    } catch (const QlyError&) {
    }
}
