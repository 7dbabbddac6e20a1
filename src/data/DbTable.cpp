#include "data/DbTable.h"

#include "data/CodePage.h"
#include "data/Error.h"
#include "data/Messages.h"
#include "data/RecordCodec.h"
#include "data/XBaseEnv.h"
#include "engine/xbase.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSysInfo>

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <csignal>

namespace {

// Finds a file without regard to letter case: the exact name first, then
// the one entry of its folder that matches. "" when none exists.
QString findFile(const QString& path) {
    if (QFileInfo::exists(path))
        return path;
    const QFileInfo info(path);
    const QDir dir = info.dir();
    if (!dir.exists())
        return {};
    const QStringList entries = dir.entryList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries)
        if (entry.compare(info.fileName(), Qt::CaseInsensitive) == 0)
            return dir.filePath(entry);
    return {};
}

QString withSuffix(const QString& path, const QString& suffix) {
    const QFileInfo info(path);
    return info.dir().filePath(info.completeBaseName() + suffix);
}

QString engineError() {
    const std::string e = xb_LastError();
    return e.empty() ? QStringLiteral("the engine refused the operation")
                     : QString::fromStdString(e);
}

std::string bytes(const QString& text) {
    return qly::cp1252::encode(text);
}

// Open markers: a file "<table>.qly-open.<host>.<pid>" beside the table for
// as long as this process has it open for writing. A marker whose process
// is gone tells of a writer that did not close the table.
QHash<QString, int>& openMarkers() {
    static QHash<QString, int> markers;  // marker path -> opens in this process
    return markers;
}

QString markerPrefix(const QString& table) {
    return QFileInfo(table).fileName() + QStringLiteral(".qly-open.");
}

QString ownMarker(const QString& table) {
    return QFileInfo(table).dir().filePath(markerPrefix(table) + QSysInfo::machineHostName() +
                                           u'.' + QString::number(::getpid()));
}

// Removes the markers of writers on this host that are gone; true when one was found.
bool takeStaleMarkers(const QString& table) {
    const QDir dir = QFileInfo(table).dir();
    const QString prefix = markerPrefix(table);
    const QString host = QSysInfo::machineHostName();
    bool stale = false;
    const QStringList entries =
        dir.entryList({prefix + u'*'}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& entry : entries) {
        const QString rest = entry.mid(prefix.size());
        const qsizetype dot = rest.lastIndexOf(u'.');
        if (dot <= 0 || rest.left(dot) != host)
            continue;  // another machine's writer: nothing can be told from here
        bool ok = false;
        const qint64 pid = rest.mid(dot + 1).toLongLong(&ok);
        if (!ok || pid <= 0 || pid == ::getpid())
            continue;
        if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH)
            continue;  // still running
        stale = true;
        QFile::remove(dir.filePath(entry));
    }
    return stale;
}

void addMarker(const QString& table) {
    const QString path = ownMarker(table);
    if (openMarkers()[path]++ > 0)
        return;
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0644);
    if (fd >= 0) {
        const QByteArray text =
            QByteArray::number(::getpid()) + ' ' + QSysInfo::machineHostName().toUtf8() + '\n';
        [[maybe_unused]] const ssize_t n = ::write(fd, text.constData(), text.size());
        ::close(fd);
    }
}

void removeMarker(const QString& table) {
    const QString path = ownMarker(table);
    auto it = openMarkers().find(path);
    if (it == openMarkers().end())
        return;
    if (--it.value() == 0) {
        openMarkers().erase(it);
        QFile::remove(path);
    }
}

bool isEditState(TDataSetState s) {
    return s == TDataSetState::dsEdit || s == TDataSetState::dsInsert;
}

}  // namespace

TDbTable::TDbTable(QObject* parent) : QObject(parent) {}

TDbTable::~TDbTable() {
    // no signals while being destroyed: the receivers may be gone already
    blockSignals(true);
    try {
        close();
    } catch (const QlyError&) {
        // nobody is left to tell; the area is closed all the same
    }
}

void TDbTable::fail(const QString& message) const {
    throw QlyError(message.toStdString());
}

void TDbTable::check(int result, const QString& what) const {
    if (!result)
        fail(QStringLiteral("%1: %2: %3").arg(fileLabel(), what, engineError()));
}

void TDbTable::requireWritable() const {
    if (m_readOnly)
        fail(QStringLiteral("%1: Cannot modify a read-only dataset").arg(fileLabel()));
    if (!m_writeRefusal.isEmpty())
        fail(QStringLiteral("%1 is read-only; the change cannot be saved (%2)")
                 .arg(fileLabel(), m_writeRefusal));
}

void TDbTable::setDatabaseName(const QString& name) {
    if (active())
        fail(qly::msg::kOpenDataSet);
    m_databaseName = name;
}

void TDbTable::setTableName(const QString& name) {
    if (active())
        fail(qly::msg::kOpenDataSet);
    m_tableName = name;
}

void TDbTable::setTableType(TTableType type) {
    if (active())
        fail(qly::msg::kOpenDataSet);
    m_tableType = type;
}

void TDbTable::setReadOnly(bool on) {
    if (active())
        fail(qly::msg::kOpenDataSet);
    m_readOnly = on;
}

void TDbTable::setExclusive(bool on) {
    if (active())
        fail(qly::msg::kOpenDataSet);
    m_exclusive = on;
}

void TDbTable::setFieldDefs(const QList<TFieldDef>& defs) {
    if (active())
        fail(qly::msg::kOpenDataSet);
    m_fieldDefs = defs;
}

void TDbTable::setIndexName(const QString& tag) {
    if (!active()) {
        m_indexName = tag;
        return;
    }
    checkBrowseMode();
    selectArea();
    int order = 0;
    if (!tag.isEmpty()) {
        order = xb_TagArea(bytes(tag));
        if (order == 0)
            fail(QStringLiteral("%1: Index '%2' not found").arg(fileLabel(), tag));
    }
    if (!xb_SetOrder(order))
        engineFailed(QStringLiteral("Cannot order the table by '%1'").arg(tag));
    m_indexName = tag;
    resyncFromEngine(false);
}

QString TDbTable::resolvedPath() const {
    QString folder;
    if (m_databaseName.contains(u':') || m_databaseName.contains(u'/')) {
        folder = m_databaseName;
        if (!folder.endsWith(u':') && !folder.endsWith(u'/'))
            folder += u'/';
    } else {
        // an alias: the program registers no alias folder, so it stands
        // for the current folder at the moment the table opens
        folder = QDir::currentPath() + u'/';
    }
    if (m_tableName.contains(u'/') || m_tableName.contains(u':'))
        return m_tableName;
    return folder + m_tableName;
}

int TDbTable::driverFor(const QString& path) const {
    switch (m_tableType) {
        case ttXbNTX:
            return kXbDriverNtx;
        case ttXbFOX:
            return kXbDriverFox;
        case ttXbNSX:
            return kXbDriverNsx;
        case ttDefault:
            break;
        default:
            return kXbDriverFox;
    }
    QString dbf = findFile(path);
    if (dbf.isEmpty() && QFileInfo(path).suffix().isEmpty())
        dbf = findFile(path + QStringLiteral(".dbf"));
    QFile file(dbf);
    if (dbf.isEmpty() || !file.open(QIODevice::ReadOnly))
        return kXbDriverFox;
    char first = 0;
    if (file.read(&first, 1) != 1)
        return kXbDriverFox;
    switch (static_cast<unsigned char>(first)) {
        case 0x03:
        case 0x06:
            if (!findFile(withSuffix(dbf, QStringLiteral(".CDX"))).isEmpty())
                return kXbDriverFox;
            if (!findFile(withSuffix(dbf, QStringLiteral(".NSX"))).isEmpty())
                return kXbDriverNsx;
            return kXbDriverFox;
        case 0x83:
        case 0x86:
            return kXbDriverNtx;
        case 0xE5:
        case 0xE6:
            return kXbDriverNsx;
        default:
            return kXbDriverFox;
    }
}

void TDbTable::checkIndexAfterCrash(int driver) {
    // the last writer did not close the table: its index is checked before use
    const int area = xb_Use(m_openPath.toStdString(), std::string(), kXbModeExclusive, driver);
    if (area == 0)
        return;  // open elsewhere; the ordinary open says why when it matters
    if (xb_TagName(1).empty()) {
        xb_Close();
        return;  // no index to check
    }
    if (!xb_Verify()) {
        const QString why = engineError();
        if (xb_Reindex())
            m_repairMessage = QStringLiteral(
                                  "%1 was not closed properly last time; its index was wrong (%2) "
                                  "and has been rebuilt")
                                  .arg(m_openPath, why);
        else
            m_repairMessage = QStringLiteral(
                                  "%1 was not closed properly last time; its index is wrong (%2) "
                                  "and could not be rebuilt: %3")
                                  .arg(m_openPath, why, engineError());
    }
    xb_Close();
}

QString TDbTable::fileLabel() const {
    return m_openPath.isEmpty() ? resolvedPath() : m_openPath;
}

void TDbTable::open() {
    if (active())
        return;
    m_openPath = resolvedPath();
    if (m_tableName.isEmpty())
        fail(QStringLiteral("Cannot open a table: no table name is set"));
    const int driver = driverFor(m_openPath);
    const int mode =
        m_readOnly ? kXbModeReadOnly : (m_exclusive ? kXbModeExclusive : kXbModeShared);
    xb_SetStringType(1);
    xb_ClearError();
    m_repairMessage.clear();
    if (mode != kXbModeReadOnly && takeStaleMarkers(m_openPath))
        checkIndexAfterCrash(driver);
    const int area = xb_Use(m_openPath.toStdString(), std::string(), mode, driver);
    if (area == 0)
        fail(QStringLiteral("Cannot open table %1: %2").arg(m_openPath, engineError()));
    m_area = area;
    // a file this user may not write opens for reading only
    const QString refusal =
        mode == kXbModeReadOnly ? QString() : QString::fromStdString(xb_ReadOnlyReason());
    try {
        buildFields();
        if (!m_indexName.isEmpty()) {
            const int order = xb_TagArea(bytes(m_indexName));
            if (order == 0 || !xb_SetOrder(order))
                fail(QStringLiteral("%1: Index '%2' not found").arg(m_openPath, m_indexName));
        }
    } catch (...) {
        xb_Select(m_area);
        xb_Close();
        m_area = 0;
        m_fields.clear();
        throw;
    }
    m_writeRefusal = refusal;
    m_state = TDataSetState::dsBrowse;
    m_modified = false;
    m_countCache = -1;
    if (!xb_GoTop()) {
        const QString why = engineError();
        xb_Select(m_area);
        xb_Close();
        m_area = 0;
        m_writeRefusal.clear();
        m_fields.clear();
        m_state = TDataSetState::dsInactive;
        fail(QStringLiteral("%1: Cannot read the table: %2").arg(fileLabel(), why));
    }
    afterMove();
    m_bof = true;
    if (mode != kXbModeReadOnly && m_writeRefusal.isEmpty()) {
        addMarker(m_openPath);
        m_marked = true;
    }
    emit activeChanged(true);
    if (!m_repairMessage.isEmpty())
        emit indexRepaired(m_repairMessage);
    emit stateChanged(m_state);
    emit dataSetChanged();
}

void TDbTable::buildFields() {
    struct FileField {
        QString name;
        char type;
        int width, decimals, offset, number;
    };
    std::vector<FileField> fileFields;
    const int count = xb_FieldCount();
    for (int n = 1; n <= count; ++n) {
        FileField f{QString::fromStdString(xb_FieldName(n)).toUpper(),
                    xb_FieldType(n),
                    xb_FieldWidth(n),
                    xb_FieldDecimals(n),
                    xb_FieldOffset(n),
                    n};
        if (presentedType(f.type, f.width, f.decimals) == TFieldType::ftUnknown)
            fail(QString::fromLatin1(qly::msg::kInvalidFieldType) + QChar::fromLatin1(f.type));
        fileFields.push_back(f);
    }
    std::vector<std::unique_ptr<TField>> fields;
    if (m_fieldDefs.isEmpty()) {
        for (const FileField& f : fileFields) {
            TFieldDef def;
            def.name = f.name;
            def.type = presentedType(f.type, f.width, f.decimals);
            def.size = def.type == TFieldType::ftString ? f.width : 0;
            fields.push_back(std::make_unique<TField>(this, def, f.number, f.type, f.width,
                                                      f.decimals, f.offset));
        }
    } else {
        for (const TFieldDef& def : m_fieldDefs) {
            const FileField* found = nullptr;
            for (const FileField& f : fileFields)
                if (f.name.compare(def.name, Qt::CaseInsensitive) == 0)
                    found = &f;
            if (!found)
                fail(QStringLiteral("%1: Field '%2' not found").arg(m_openPath, def.name));
            const TFieldType actual = presentedType(found->type, found->width, found->decimals);
            if (actual != def.type)
                fail(
                    QStringLiteral("%1: Type mismatch for field '%2', expecting: %3 actual: %4")
                        .arg(m_openPath, def.name, fieldTypeName(def.type), fieldTypeName(actual)));
            if (def.type == TFieldType::ftString && def.size > 0 && def.size != found->width)
                fail(QStringLiteral("%1: Size mismatch for field '%2', expecting: %3 actual: %4")
                         .arg(m_openPath, def.name)
                         .arg(def.size)
                         .arg(found->width));
            fields.push_back(std::make_unique<TField>(this, def, found->number, found->type,
                                                      found->width, found->decimals,
                                                      found->offset));
        }
    }
    m_fields = std::move(fields);
    m_buffer.assign(m_fields.size(), QVariant());
    m_changed.assign(m_fields.size(), false);
    m_memoCache.assign(m_fields.size(), QVariant());
    m_memoLoaded.assign(m_fields.size(), false);
}

void TDbTable::close() {
    if (!active())
        return;
    // an unposted edit is discarded
    m_state = TDataSetState::dsBrowse;
    m_modified = false;
    xb_Select(m_area);
    xb_Unlock(0);
    const bool closed = xb_Close() != 0;
    if (m_marked && closed)
        removeMarker(m_openPath);  // a failed close leaves it for the next open to check
    m_marked = false;
    const QString why = closed ? QString() : engineError();
    m_area = 0;
    m_writeRefusal.clear();
    m_recNo = 0;
    m_countCache = -1;
    m_bof = m_eof = true;
    m_image.clear();
    // the fields stay (their values read as blank) until the next open
    std::fill(m_buffer.begin(), m_buffer.end(), QVariant());
    std::fill(m_memoLoaded.begin(), m_memoLoaded.end(), false);
    m_state = TDataSetState::dsInactive;
    emit activeChanged(false);
    emit stateChanged(m_state);
    emit dataSetChanged();
    if (!closed)
        fail(QStringLiteral("%1: Cannot close the table: %2").arg(fileLabel(), why));
}

// ---------------------------------------------------------------------------
// Fields

TField* TDbTable::field(int index) const {
    if (index < 0 || index >= fieldCount())
        return nullptr;
    return m_fields[static_cast<std::size_t>(index)].get();
}

TField* TDbTable::findField(const QString& name) const {
    for (const auto& f : m_fields)
        if (f->fieldName().compare(name, Qt::CaseInsensitive) == 0)
            return f.get();
    return nullptr;
}

TField* TDbTable::fieldByName(const QString& name) const {
    TField* f = findField(name);
    if (!f)
        fail(QStringLiteral("%1: Field '%2' not found").arg(fileLabel(), name));
    return f;
}

QStringList TDbTable::fieldNames() const {
    QStringList names;
    for (const auto& f : m_fields)
        names << f->fieldName();
    return names;
}

QVariant TDbTable::fieldValue(const TField& field) const {
    std::size_t i = 0;
    while (i < m_fields.size() && m_fields[i].get() != &field)
        ++i;
    if (i == m_fields.size() || !active())
        return {};
    if (isEditState(m_state))
        return m_buffer[i];
    if (m_recNo == 0)
        return {};
    if (!field.isBlob())
        return qly::record::valueFromImage(field, m_image);
    if (!m_memoLoaded[i]) {
        auto* self = const_cast<TDbTable*>(this);
        self->selectArea(true);
        const std::string stored = field.dataType() == TFieldType::ftMemo
                                       ? xb_GetMemo(bytes(field.fieldName()))
                                       : xb_GetBlob(bytes(field.fieldName()));
        if (field.dataType() == TFieldType::ftMemo)
            m_memoCache[i] = QVariant(qly::cp1252::decode(stored));
        else
            m_memoCache[i] =
                QVariant(QByteArray(stored.data(), static_cast<qsizetype>(stored.size())));
        m_memoLoaded[i] = true;
    }
    return m_memoCache[i];
}

void TDbTable::setFieldValue(const TField& field, const QVariant& value) {
    if (!active())
        fail(qly::msg::kClosedDataSet);
    if (!isEditState(m_state))
        fail(qly::msg::kNotEditing);
    std::size_t i = 0;
    while (i < m_fields.size() && m_fields[i].get() != &field)
        ++i;
    if (i == m_fields.size())
        return;
    m_buffer[i] = qly::record::fromInput(field, value);
    m_changed[i] = true;
    m_modified = true;
    emit fieldChanged(m_fields[i].get());
}

// ---------------------------------------------------------------------------
// Engine position

int TDbTable::selectArea(bool sync) {
    const int previous = xb_Select(m_area);
    if (sync && m_recNo > 0 && xb_RecNo() != m_recNo)
        xb_Go(m_recNo);
    return previous;
}

void TDbTable::loadCurrent() {
    if (m_recNo > 0) {
        m_image = xb_GetRecord();
    } else {
        m_image.clear();
    }
    std::fill(m_memoLoaded.begin(), m_memoLoaded.end(), false);
}

void TDbTable::afterMove() {
    // the engine stands where the move left it
    if (xb_Eof() && xb_Bof()) {
        m_recNo = 0;
    } else if (xb_Eof()) {
        m_recNo = 0;
    } else {
        m_recNo = xb_RecNo();
    }
    if (m_recNo == 0) {
        m_bof = m_eof = true;
    } else {
        m_bof = m_eof = false;
    }
    loadCurrent();
}

void TDbTable::requireActive() const {
    if (!active())
        fail(qly::msg::kClosedDataSet);
}

void TDbTable::requireBrowsable() {
    requireActive();
    checkBrowseMode();
}

void TDbTable::setState(TDataSetState state) {
    if (m_state == state)
        return;
    m_state = state;
    emit stateChanged(state);
}

void TDbTable::first() {
    requireBrowsable();
    selectArea(false);
    check(xb_GoTop(), QStringLiteral("Cannot move to the first record"));
    afterMove();
    m_bof = true;
    emit recordMoved();
}

void TDbTable::last() {
    requireBrowsable();
    selectArea(false);
    check(xb_GoBottom(), QStringLiteral("Cannot move to the last record"));
    afterMove();
    m_eof = true;
    emit recordMoved();
}

void TDbTable::next() {
    moveBy(1);
}
void TDbTable::prior() {
    moveBy(-1);
}

int TDbTable::moveBy(int distance) {
    requireBrowsable();
    if (distance == 0 || m_recNo == 0)
        return 0;
    selectArea(true);
    const int step = distance > 0 ? 1 : -1;
    int moved = 0;
    long at = m_recNo;
    bool hitEnd = false;
    while (moved != distance) {
        if (!xb_Skip(step)) {
            const QString why = engineError();
            xb_Go(at);
            afterMove();
            emit recordMoved();
            fail(QStringLiteral("%1: Cannot move: %2").arg(fileLabel(), why));
        }
        if (step > 0 ? xb_Eof() : xb_Bof()) {
            hitEnd = true;
            break;
        }
        const long r = xb_RecNo();
        if (r == at) {  // the engine stayed at the edge
            hitEnd = true;
            break;
        }
        at = r;
        moved += step;
    }
    if ((at != xb_RecNo() || xb_Eof() || xb_Bof()) && !xb_Go(at)) {
        const QString why = engineError();
        afterMove();
        emit recordMoved();
        fail(QStringLiteral("%1: Cannot move: %2").arg(fileLabel(), why));
    }
    if (moved != 0) {
        m_recNo = at;
        loadCurrent();
        m_bof = m_eof = false;
    }
    if (hitEnd)
        (step > 0 ? m_eof : m_bof) = true;
    if (moved != 0)
        emit recordMoved();
    return moved;
}

bool TDbTable::isEmpty() const {
    return !active() || (m_recNo == 0 && m_state != TDataSetState::dsInsert);
}

bool TDbTable::recordVisible(long recno) {
    if (!active() || recno <= 0)
        return false;
    selectArea(false);
    if (!xb_Go(recno) || xb_Eof() || xb_RecNo() != recno)
        return false;
    const TXBaseEnv* env = TXBaseEnv::instance();
    if (env && env->deleted() && xb_Deleted())
        return false;
    const std::string filter = xb_DBFilter();
    if (!filter.empty()) {
        const std::string v = xb_EvalString(filter);
        if (v != ".T.")
            return false;
    }
    return true;
}

bool TDbTable::gotoRecord(long recno) {
    requireBrowsable();
    if (!recordVisible(recno)) {
        selectArea(true);
        return false;
    }
    if (recno != m_recNo) {
        m_recNo = recno;
        loadCurrent();
        m_bof = m_eof = false;
        emit recordMoved();
    }
    return true;
}

long TDbTable::engineTop() {
    selectArea(false);
    if (!xb_GoTop())
        return 0;
    return xb_Eof() ? 0 : xb_RecNo();
}

long TDbTable::engineBottom() {
    selectArea(false);
    if (!xb_GoBottom())
        return 0;
    return xb_Eof() ? 0 : xb_RecNo();
}

bool TDbTable::onFirstVisible() {
    if (!active() || m_recNo == 0)
        return true;
    const int previous = xb_Select(m_area);
    const bool first = m_bof || engineTop() == m_recNo;
    selectArea(true);
    if (previous != 0 && previous != m_area)
        xb_Select(previous);
    return first;
}

bool TDbTable::onLastVisible() {
    if (!active() || m_recNo == 0)
        return true;
    const int previous = xb_Select(m_area);
    const bool last = m_eof || engineBottom() == m_recNo;
    selectArea(true);
    if (previous != 0 && previous != m_area)
        xb_Select(previous);
    return last;
}

std::vector<long> TDbTable::engineWalk(long from, int direction, long count) {
    std::vector<long> records;
    selectArea(false);
    if (from <= 0 || !xb_Go(from))
        return records;
    long at = from;
    for (long i = 0; i < count; ++i) {
        if (!xb_Skip(direction))
            break;
        if (direction > 0 ? xb_Eof() : xb_Bof())
            break;
        const long r = xb_RecNo();
        if (r == at)
            break;
        records.push_back(r);
        at = r;
    }
    return records;
}

std::string TDbTable::readRecordImage(long recno) {
    if (!active() || recno <= 0)
        return {};
    if (recno == m_recNo && !m_image.empty())
        return m_image;
    selectArea(false);
    if (!xb_Go(recno) || xb_RecNo() != recno)
        return {};
    return xb_GetRecord();
}

void TDbTable::resyncFromEngine(bool gotoTopWhenLost) {
    if (!active())
        return;
    xb_Select(m_area);
    m_countCache = -1;
    if ((xb_Eof() || xb_Bof()) && gotoTopWhenLost && !xb_GoTop())
        engineFailed(QStringLiteral("Cannot move to the first record"));
    standOnEngineRecord();
    emit dataSetChanged();
    emit recordMoved();
}

// ---------------------------------------------------------------------------
// Searching

void TDbTable::engineFailed(const QString& what) {
    const QString why = engineError();
    // back on the record the table shows
    xb_Select(m_area);
    if (m_recNo > 0)
        xb_Go(m_recNo);
    throw QlyError(QStringLiteral("%1: %2: %3").arg(fileLabel(), what, why).toStdString());
}

void TDbTable::standOnEngineRecord() {
    afterMove();
    if (m_recNo > 0) {
        // on the first record Bof holds, as after first()
        if (!xb_Skip(-1))
            engineFailed(QStringLiteral("Cannot read the table"));
        m_bof = xb_Bof() || xb_RecNo() == m_recNo;
        if (!xb_Go(m_recNo))
            engineFailed(QStringLiteral("Cannot read the table"));
    }
}

bool TDbTable::locate(const QString& fieldName, const QString& text, bool caseInsensitive) {
    requireBrowsable();
    const TField* f = fieldByName(fieldName);
    const Qt::CaseSensitivity cs = caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
    const QString what = QStringLiteral("Cannot search the table");
    selectArea(false);
    if (!xb_GoTop())
        engineFailed(what);
    while (!xb_Eof()) {
        const std::string image = xb_GetRecord();
        const QString value =
            f->isBlob() ? QString() : qly::record::displayTextFromImage(*f, image);
        if (value.startsWith(text, cs)) {
            standOnEngineRecord();
            emit recordMoved();
            return true;
        }
        const long at = xb_RecNo();
        if (!xb_Skip(1))
            engineFailed(what);
        if (xb_RecNo() == at)
            break;
    }
    selectArea(true);
    return false;
}

bool TDbTable::findNearest(const QString& key) {
    requireBrowsable();
    selectArea(false);
    xb_ClearError();
    const bool found = xb_Seek(bytes(key)) != 0;
    if (!found && xb_LastErrorCode() != 0)
        engineFailed(QStringLiteral("Cannot search for '%1'").arg(key));
    if (xb_Eof()) {
        if (found || m_recNo == 0) {
            afterMove();
        } else {
            if (!xb_GoBottom())
                engineFailed(QStringLiteral("Cannot move to the last record"));
            afterMove();
            m_eof = true;
        }
    } else {
        afterMove();
    }
    emit recordMoved();
    return found;
}

bool TDbTable::seekNearest(const QString& fieldName, const QString& text) {
    requireBrowsable();
    const TField* f = fieldByName(fieldName);
    const std::string key = bytes(text);
    const QString what = QStringLiteral("Cannot search for '%1'").arg(text);
    const auto value = [f](const std::string& image) {
        const std::size_t offset = static_cast<std::size_t>(f->offset());
        return offset < image.size() ? image.substr(offset, static_cast<std::size_t>(f->size()))
                                     : std::string();
    };
    selectArea(false);
    long found = 0;
    if (xb_IndexOrd() != 0) {
        // soft seek for this search, whatever the setting
        const int softSeek = xb_SetSoftSeek(-1);
        xb_ClearError();
        const bool hit = xb_Seek(key) != 0;
        const bool failed = !hit && xb_LastErrorCode() != 0;
        xb_SetSoftSeek(softSeek);
        if (failed)
            engineFailed(what);
        if (xb_Eof()) {
            // no key from the text on: the text sorts before the scope (its
            // first record) or after every key (the last record)
            if (!xb_GoTop())
                engineFailed(what);
            if (xb_Eof() || value(xb_GetRecord()).compare(0, key.size(), key) < 0) {
                if (!xb_GoBottom())
                    engineFailed(what);
            }
        }
        found = xb_Eof() ? 0 : xb_RecNo();
    } else {
        // record order: the record with the least value not below the text,
        // else the one with the greatest value
        std::string best;
        std::string last;
        long lastRecord = 0;
        if (!xb_GoTop())
            engineFailed(what);
        while (!xb_Eof()) {
            const std::string v = value(xb_GetRecord());
            const long at = xb_RecNo();
            if (v.compare(0, key.size(), key) >= 0 && (found == 0 || v < best)) {
                best = v;
                found = at;
            }
            if (lastRecord == 0 || v >= last) {
                last = v;
                lastRecord = at;
            }
            if (!xb_Skip(1))
                engineFailed(what);
            if (xb_RecNo() == at)
                break;
        }
        if (found == 0)
            found = lastRecord;
    }
    if (found == 0) {
        selectArea(true);
        return false;
    }
    if (!xb_Go(found))
        engineFailed(what);
    if (found != m_recNo) {
        standOnEngineRecord();
        emit recordMoved();
    }
    return true;
}

// ---------------------------------------------------------------------------
// Bookmarks

bool TDbTable::bookmarkValid(TBookmark bookmark) {
    if (!active() || bookmark <= 0)
        return false;
    const bool visible = recordVisible(bookmark);
    selectArea(true);
    return visible;
}

void TDbTable::gotoBookmark(TBookmark bookmark) {
    requireActive();
    if (!gotoRecord(bookmark))
        fail(QStringLiteral("%1: Record not found").arg(fileLabel()));
}

// ---------------------------------------------------------------------------
// Changes

void TDbTable::checkBrowseMode() {
    requireActive();
    if (!isEditState(m_state))
        return;
    emit updateRecordRequested();
    if (m_modified)
        post();
    else
        cancel();
}

void TDbTable::edit() {
    requireActive();
    if (isEditState(m_state))
        return;
    if (m_recNo == 0) {
        append();
        return;
    }
    requireWritable();
    selectArea(true);
    if (!m_exclusive && !xb_Rlock(m_recNo))
        fail(QStringLiteral("%1: Record %2 is locked by another user")
                 .arg(fileLabel())
                 .arg(m_recNo));
    m_image = xb_GetRecord();  // the record as it is now
    std::fill(m_memoLoaded.begin(), m_memoLoaded.end(), false);
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_buffer[i] = fieldValue(*m_fields[i]);
        m_changed[i] = false;
    }
    m_modified = false;
    setState(TDataSetState::dsEdit);
}

void TDbTable::insert() {
    beginInsert(false);
}

void TDbTable::append() {
    beginInsert(true);
}

void TDbTable::beginInsert(bool atEnd) {
    requireBrowsable();
    requireWritable();
    m_insertReturn = m_recNo;
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        m_buffer[i] = qly::record::blankValue(m_fields[i]->dataType());
        m_changed[i] = false;
    }
    m_modified = false;
    emit recordInserting(atEnd);
    setState(TDataSetState::dsInsert);
    emit afterInsert();
}

void TDbTable::validateBuffer() const {
    for (std::size_t i = 0; i < m_fields.size(); ++i)
        qly::record::validate(*m_fields[i], m_buffer[i]);
}

void TDbTable::writeBuffer() {
    // the changed fields go into a copy of the record, written at once later
    // The engine's text first: the next xb_ call clears it.
    auto recordFailure = [this] {
        const QString why = engineError();
        return QStringLiteral("%1: Cannot write record %2: %3")
            .arg(fileLabel())
            .arg(xb_RecNo())
            .arg(why);
    };
    if (!xb_BeginRecord())
        fail(recordFailure());
    for (std::size_t i = 0; i < m_fields.size(); ++i) {
        if (!m_changed[i])
            continue;
        const TField& f = *m_fields[i];
        if (!qly::record::store(f, m_buffer[i])) {
            const QString why = engineError();
            xb_CancelRecord();
            fail(QStringLiteral("%1: Cannot store field '%2': %3")
                     .arg(fileLabel(), f.fieldName(), why));
        }
    }
    if (!xb_PostRecord())
        fail(recordFailure());
}

void TDbTable::post() {
    requireActive();
    if (!isEditState(m_state))
        return;
    emit updateRecordRequested();
    validateBuffer();  // throws; the record stays in edit state
    const bool inserting = m_state == TDataSetState::dsInsert;
    selectArea(!inserting);
    if (inserting) {
        xb_ClearError();
        const int r = xb_AppendEx();
        if (r != kXbAppendOk) {
            const QString detail = xb_LastError().empty() ? QString() : engineError();
            QString why;
            switch (r) {
                case kXbAppendLockFailed:
                    why = QStringLiteral("the table is locked by another user");
                    break;
                case kXbAppendReadOnly:
                    why = QStringLiteral("the table is read-only");
                    break;
                case kXbAppendWriteFailed:
                    why = QStringLiteral("the file could not be written");
                    break;
                case kXbAppendTooManyRecords:
                    why = QStringLiteral("the table holds the most records it can");
                    break;
                case kXbAppendIndexFailed:
                    why = QStringLiteral("an index could not be updated");
                    break;
                default:
                    break;
            }
            // The engine's text names the file and the cause.
            if (why.isEmpty())
                why = engineError();
            else if (!detail.isEmpty())
                why += QStringLiteral(" (%1)").arg(detail);
            if (r == kXbAppendIndexFailed)
                dropNewRecord(xb_RecNo());
            fail(QStringLiteral("%1: Cannot add a record: %2").arg(fileLabel(), why));
        }
        const long recno = xb_RecNo();
        try {
            if (!m_exclusive && !xb_Rlock(recno))
                fail(QStringLiteral("%1: Cannot lock the new record %2: %3")
                         .arg(fileLabel())
                         .arg(recno)
                         .arg(engineError()));
            writeBuffer();
            if (!xb_Commit())
                fail(QStringLiteral("%1: Cannot write record %2: %3")
                         .arg(fileLabel())
                         .arg(recno)
                         .arg(engineError()));
        } catch (...) {
            // take the new record away again; the insert stays open
            dropNewRecord(recno);
            throw;
        }
        m_recNo = recno;
    } else {
        writeBuffer();  // throws with the stored record as it was
        if (!xb_Commit()) {
            const QString why = engineError();
            // put the record back as it was when the edit began
            xb_PutRecord(m_image);
            xb_Commit();
            fail(QStringLiteral("%1: Cannot write record %2: %3")
                     .arg(fileLabel())
                     .arg(m_recNo)
                     .arg(why));
        }
    }
    if (!m_exclusive)
        xb_Unlock(0);
    m_modified = false;
    m_countCache = -1;
    std::fill(m_changed.begin(), m_changed.end(), false);
    m_state = TDataSetState::dsBrowse;
    if (!xb_Go(m_recNo))
        m_recNo = 0;
    afterMove();
    emit stateChanged(m_state);
    emit dataSetChanged();
    emit recordMoved();
    emit afterPost();
    for (auto& handler : m_afterPost)
        handler(*this);
}

void TDbTable::dropNewRecord(long recno) {
    if (recno > 0 && xb_Go(recno) && xb_RecNo() == recno) {
        xb_CancelRecord();
        xb_Delete();
        xb_Commit();
    }
    if (!m_exclusive)
        xb_Unlock(0);
    xb_Go(m_insertReturn > 0 ? m_insertReturn : recno);
}

void TDbTable::cancel() {
    requireActive();
    if (!isEditState(m_state))
        return;
    const bool inserting = m_state == TDataSetState::dsInsert;
    if (!inserting && !m_exclusive) {
        selectArea(true);
        xb_Unlock(0);
    }
    m_modified = false;
    std::fill(m_changed.begin(), m_changed.end(), false);
    m_state = TDataSetState::dsBrowse;
    if (inserting && m_insertReturn != m_recNo)
        m_recNo = m_insertReturn;
    selectArea(true);
    loadCurrent();
    emit stateChanged(m_state);
    emit afterCancel();
    emit recordMoved();
}

void TDbTable::deleteRecord() {
    requireActive();
    if (m_state == TDataSetState::dsInsert) {
        cancel();
        return;
    }
    if (m_recNo == 0)
        fail(qly::msg::kEmptyDataSet);
    requireWritable();
    if (m_state == TDataSetState::dsEdit)
        cancel();
    selectArea(true);
    if (!m_exclusive && !xb_Rlock(m_recNo))
        fail(QStringLiteral("%1: Record %2 is locked by another user")
                 .arg(fileLabel())
                 .arg(m_recNo));
    const long deleted = m_recNo;
    bool ok = xb_Delete() != 0;
    QString why = ok ? QString() : engineError();
    m_countCache = -1;
    if (ok && !xb_Commit()) {
        ok = false;
        why = engineError();
        xb_Recall();  // the record stays as it was
        xb_Commit();
    }
    if (!m_exclusive)
        xb_Unlock(0);
    if (!ok)
        fail(QStringLiteral("%1: Cannot delete record %2: %3")
                 .arg(fileLabel())
                 .arg(deleted)
                 .arg(why));
    // the following record becomes current, or the last when none follows
    // (the record is gone already: a move the engine refuses lands on the
    // first record, or none)
    const bool stepped = xb_Go(deleted) && xb_Skip(1);
    if (stepped && !xb_Eof()) {
        afterMove();
    } else {
        if (!(stepped ? xb_GoBottom() : xb_GoTop()))
            xb_Go(0);
        afterMove();
        m_eof = m_recNo != 0 ? true : m_eof;
    }
    emit afterDelete();
    emit dataSetChanged();
    emit recordMoved();
}

void TDbTable::refresh() {
    requireBrowsable();
    selectArea(false);
    m_countCache = -1;
    const long keep = m_recNo;
    if (keep > 0 && recordVisible(keep)) {
        afterMove();
    } else {
        if (!xb_GoTop())
            engineFailed(QStringLiteral("Cannot move to the first record"));
        afterMove();
    }
    emit dataSetChanged();
    emit recordMoved();
}

long TDbTable::recordCount() {
    requireActive();
    if (m_countCache < 0) {
        selectArea(true);
        m_countCache = xb_Count();
    }
    return m_countCache;
}

long TDbTable::physicalRecordCount() {
    requireActive();
    selectArea(false);
    return xb_RecCount();
}

QString TDbTable::engineFilter() {
    requireActive();
    selectArea(false);
    return QString::fromStdString(xb_DBFilter());
}

void TDbTable::addAfterPost(std::function<void(TDbTable&)> handler) {
    m_afterPost.push_back(std::move(handler));
}
