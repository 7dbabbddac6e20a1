#pragma once

#include "data/Field.h"

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>

#include <functional>
#include <memory>
#include <string>
#include <vector>

// Table types; the type picks the engine's driver.
enum TTableType { ttDefault, ttParadox, ttDBase, ttASCII, ttXbNTX, ttXbFOX, ttXbNSX };

// States of a dataset, as the state pane shows them.
enum class TDataSetState {
    dsInactive,
    dsBrowse,
    dsEdit,
    dsInsert,
    dsSetKey,
    dsCalcFields,
    dsFilter
};

// A bookmark: the record number of the remembered record (0: none).
using TBookmark = long;

// The program's table class: one xBase table opened through the engine,
// with a current record, the states Inactive, Browse, Edit and Insert, a
// buffered edit that is written on post, bookmarks and typed fields by name.
//
// Files: DatabaseName is a folder when it contains ":" or "/" (a "/" is
// added unless it ends in one of them); any other name is an alias, which
// stands for the process's current folder when the table opens. TableName is
// appended to the folder unless it contains "/" or ":". Names match the
// files without regard to letter case.
//
// Moving never reads the whole table: the engine is positioned record by
// record. Every operation that fails throws QlyError with the message the
// user sees; the table then stays in the state it had.
class TDbTable : public QObject {
    Q_OBJECT

public:
    explicit TDbTable(QObject* parent = nullptr);
    ~TDbTable() override;  // closes (an unposted edit is discarded)

    // ---- Where the table is and how it opens (set while closed)
    QString databaseName() const { return m_databaseName; }
    void setDatabaseName(const QString& name);
    QString tableName() const { return m_tableName; }
    void setTableName(const QString& name);
    TTableType tableType() const { return m_tableType; }
    void setTableType(TTableType type);
    // True when set so, and while open on a file the engine may only read
    // (this user may not write it, or the format is one it only reads).
    bool readOnly() const { return m_readOnly || !m_writeRefusal.isEmpty(); }
    // Why the open table refuses changes ("" when it takes them, or when
    // read-only was asked for).
    QString writeRefusal() const { return m_writeRefusal; }
    // What the last open repaired ("" when nothing): see indexRepaired.
    QString repairMessage() const { return m_repairMessage; }
    void setReadOnly(bool on);
    bool exclusive() const { return m_exclusive; }
    void setExclusive(bool on);
    // The index tag that orders the table ("" = record order). Settable
    // while open (the order changes at once).
    QString indexName() const { return m_indexName; }
    void setIndexName(const QString& tag);
    // Sets the index name without asking the engine (for the companion,
    // which has already set the order).
    void setIndexNameOnly(const QString& tag) { m_indexName = tag; }

    // The declared field list; empty = every field of the file. On open each
    // declared field must exist in the file with the same presentation (and,
    // for text, the same width).
    const QList<TFieldDef>& fieldDefs() const { return m_fieldDefs; }
    void setFieldDefs(const QList<TFieldDef>& defs);

    // The full path of the .dbf as resolved from DatabaseName and TableName
    // (the name as given; the engine matches letter case itself).
    QString resolvedPath() const;
    // The engine driver the table type (and, for ttDefault, the file) picks.
    int driverFor(const QString& path) const;

    // ---- Open and close
    void open();   // throws QlyError naming the file and the problem
    void close();  // discards an unposted edit
    bool active() const { return m_area != 0; }
    void setActive(bool on) { on ? open() : close(); }
    int workArea() const { return m_area; }
    TDataSetState state() const { return m_state; }

    // ---- Fields
    int fieldCount() const { return static_cast<int>(m_fields.size()); }
    TField* field(int index) const;                  // 0-based, declared order
    TField* findField(const QString& name) const;    // nullptr when none
    TField* fieldByName(const QString& name) const;  // throws "Field 'X' not found"
    QStringList fieldNames() const;

    // ---- Moving (each posts a modified edit first, or cancels an unmodified one)
    void first();
    void last();
    void next();
    void prior();
    int moveBy(int distance);  // returns the distance moved
    bool bof() const { return m_bof; }
    bool eof() const { return m_eof; }
    bool isEmpty() const;
    long recNo() const { return m_recNo; }  // record number of the current record, 0 when none
    // Makes the record with this number current (nothing else changes);
    // false when it is not among the visible records.
    bool gotoRecord(long recno);

    // ---- Searching (for incremental search boxes)
    // Moves to the first record, in the current order and filter, whose
    // field begins with text (without regard to letter case when asked);
    // stays put and returns false when none does.
    bool locate(const QString& fieldName, const QString& text, bool caseInsensitive = true);
    // Seeks the key in the current index order: the first record whose key
    // begins with it or, with soft seek on, the first that sorts after it
    // (the last record when none does). Returns whether the key was found.
    bool findNearest(const QString& key);
    // The record an incremental search by key lands on. In index order (the
    // field being the key) the first record whose key begins with the text,
    // else the first that sorts after it, whatever the soft-seek setting;
    // before the scope's first key its first record, past the last key the
    // last one. In record order the record with the least value not below
    // the text, else the one with the greatest. Moves there; false when the
    // table shows no record.
    bool seekNearest(const QString& fieldName, const QString& text);
    // Whether the current record is the first (last) of the visible ones in
    // the current order; the engine's current area stays as it was.
    bool onFirstVisible();
    bool onLastVisible();

    // ---- Bookmarks
    TBookmark getBookmark() const { return m_recNo; }
    void gotoBookmark(TBookmark bookmark);  // throws "Record not found" when gone
    bool bookmarkValid(TBookmark bookmark);

    // ---- Changes
    void edit();
    void insert();  // a new, empty record at the current position
    void append();  // a new, empty record at the end
    void post();    // validates and writes the buffer; throws and stays in edit on a bad value
    void cancel();
    void deleteRecord();
    void checkBrowseMode();  // post when modified, else cancel
    bool modified() const { return m_modified; }
    void refresh();  // re-reads the records from the engine

    // ---- Counts
    // The engine's count shown to the user; kept until the records change
    // (post, delete, refresh, open, or a companion's filter, scope or order).
    long recordCount();

    // ---- Hooks
    // Handlers run after every successful post, in the order added.
    void addAfterPost(std::function<void(TDbTable&)> handler);

    // ---- For the engine companion and the grid model
    // Selects the table's work area (and puts the engine on the current
    // record when sync); returns the area current before.
    int selectArea(bool sync = true);
    // Takes the engine's current record as the table's after a companion's
    // engine call and tells the data sources to re-read.
    void resyncFromEngine(bool gotoTopWhenLost = true);
    // Reads the record image of the record with this number without moving
    // the table (used by the grid, which reads its values with
    // data/RecordCodec.h).
    std::string readRecordImage(long recno);
    // Record numbers of the engine's first and last visible records (0 when
    // none), and of up to count records after (direction 1) or before
    // (direction -1) the record from, in the current order. These move the
    // engine but not the table.
    long engineTop();
    long engineBottom();
    std::vector<long> engineWalk(long from, int direction, long count);
    // Whether recordCount() is known without asking the engine to count.
    bool recordCountKnown() const { return m_countCache >= 0; }
    // Records in the file, deleted ones included (from the header, at once).
    long physicalRecordCount();
    // The engine's filter expression of the table's work area.
    QString engineFilter();
    // Whether the record is among the visible ones (deleted setting and filter).
    bool recordVisible(long recno);

    // ---- Field access used by TField
    QVariant fieldValue(const TField& field) const;
    void setFieldValue(const TField& field, const QVariant& value);

signals:
    void activeChanged(bool active);  // after open and after close
    void stateChanged(TDataSetState state);
    void dataSetChanged();             // the view was read again (refresh, filter, order, post)
    void recordMoved();                // another record became current
    void fieldChanged(TField* field);  // a value of the edit buffer changed
    void updateRecordRequested();      // before post: bound controls write pending text
    void afterPost();
    void afterCancel();
    void afterDelete();
    void afterInsert();
    void recordInserting(bool atEnd);  // insert/append began (for the grid's new row)
    // At open: the last writer did not close the table and its index was
    // found wrong; the message says whether it was rebuilt (for the user).
    void indexRepaired(const QString& message);

private:
    void requireActive() const;
    void requireBrowsable();
    void setState(TDataSetState state);
    void beginInsert(bool atEnd);  // insert() and append()
    void loadCurrent();            // record image of the current record into the cache
    void afterMove();
    void validateBuffer() const;
    void writeBuffer();
    void dropNewRecord(long recno);
    void checkIndexAfterCrash(int driver);
    QString fileLabel() const;
    void buildFields();
    void fail(const QString& message) const;
    void check(int result, const QString& what) const;  // throws with the engine message
    void requireWritable() const;                       // throws when read-only
    // Throws the engine's message after putting the engine back on the
    // current record.
    [[noreturn]] void engineFailed(const QString& what);
    // Takes the engine's record as the current one (Bof when it is the
    // first); emits nothing.
    void standOnEngineRecord();

    QString m_databaseName;
    QString m_tableName;
    TTableType m_tableType = ttDefault;
    bool m_readOnly = false;
    QString m_writeRefusal;   // of the open table: why the engine takes no writes
    bool m_marked = false;    // our open marker stands beside the table
    QString m_repairMessage;  // of the last open, "" when nothing was repaired
    bool m_exclusive = false;
    QString m_indexName;
    QList<TFieldDef> m_fieldDefs;

    int m_area = 0;
    QString m_openPath;
    TDataSetState m_state = TDataSetState::dsInactive;
    std::vector<std::unique_ptr<TField>> m_fields;
    long m_recNo = 0;
    bool m_bof = true;
    bool m_eof = true;
    std::string m_image;  // current record image
    mutable std::vector<QVariant> m_memoCache;
    mutable std::vector<bool> m_memoLoaded;
    std::vector<QVariant> m_buffer;  // edit buffer, one per field
    std::vector<bool> m_changed;
    bool m_modified = false;
    long m_insertReturn = 0;  // record to return to when an insert is cancelled
    long m_countCache = -1;   // the engine's count until the records change
    std::vector<std::function<void(TDbTable&)>> m_afterPost;
};
