#pragma once

#include <QObject>

// The engine-wide settings: century, epoch, date format, exact comparison,
// soft seek, hiding of deleted records, lock time-out and memo block size.
// One per process: constructing a second one throws QlyError("Removing
// extra TXBaseEnv component") and leaves the first working. Every setter
// stores its value and passes it to the engine at once; the constructor only
// sets the fields, so a property left at its default never reaches the
// engine.

enum TXBaseDateFrmt {
    dfAmerican,
    dfAnsi,
    dfBritish,
    dfFrench,
    dfGerman,
    dfItalian,
    dfSpanish,
    dfWinDefault
};

class TXBaseEnv : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool Exact READ exact WRITE setExact)
    Q_PROPERTY(bool Century READ century WRITE setCentury)
    Q_PROPERTY(int Epoch READ epoch WRITE setEpoch)
    Q_PROPERTY(int DateFormat READ dateFormatOrdinal WRITE setDateFormatOrdinal)
    Q_PROPERTY(int LockTimeout READ lockTimeout WRITE setLockTimeout)
    Q_PROPERTY(int MemoBlockSize READ memoBlockSize WRITE setMemoBlockSize)
    Q_PROPERTY(bool SoftSeek READ softSeek WRITE setSoftSeek)
    Q_PROPERTY(bool Deleted READ deleted WRITE setDeleted)

public:
    // Throws QlyError when another TXBaseEnv exists.
    explicit TXBaseEnv(QObject* parent = nullptr);
    ~TXBaseEnv() override;

    // The process's environment, or nullptr.
    static TXBaseEnv* instance();

    bool exact() const { return m_exact; }
    void setExact(bool on);
    bool century() const { return m_century; }
    void setCentury(bool on);
    int epoch() const { return m_epoch; }
    void setEpoch(int year);  // clamped: 0 -> 1900, below 100 -> 100, above 2999 -> 2999
    TXBaseDateFrmt dateFormat() const { return m_dateFormat; }
    void setDateFormat(TXBaseDateFrmt format);
    int lockTimeout() const { return m_lockTimeout; }
    void setLockTimeout(int seconds);
    int memoBlockSize() const { return m_memoBlockSize; }
    void setMemoBlockSize(int size);
    bool softSeek() const { return m_softSeek; }
    void setSoftSeek(bool on);
    bool deleted() const { return m_deleted; }
    void setDeleted(bool on);

    // The epoch clamp on its own.
    static int clampEpoch(int year);

private:
    int dateFormatOrdinal() const { return static_cast<int>(m_dateFormat); }
    void setDateFormatOrdinal(int ordinal);

    bool m_exact = false;
    bool m_century = false;
    int m_epoch = 1900;
    TXBaseDateFrmt m_dateFormat = dfWinDefault;
    int m_lockTimeout = 1;
    int m_memoBlockSize = 64;
    bool m_softSeek = false;
    bool m_deleted = false;
};
