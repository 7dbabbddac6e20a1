#include "data/XBaseEnv.h"

#include <iterator>

#include "data/DateFormat.h"
#include "data/Error.h"
#include "data/Messages.h"
#include "engine/xbase.h"

namespace {

TXBaseEnv* g_instance = nullptr;

int engineBool(bool on) {
    return on ? -1 : 0;
}

}  // namespace

TXBaseEnv::TXBaseEnv(QObject* parent) : QObject(parent) {
    if (g_instance)
        throw QlyError(qly::msg::kExtraEnv);
    g_instance = this;
    setObjectName(QStringLiteral("XBaseEnv1"));
}

TXBaseEnv::~TXBaseEnv() {
    if (g_instance == this)
        g_instance = nullptr;
}

TXBaseEnv* TXBaseEnv::instance() {
    return g_instance;
}

void TXBaseEnv::setExact(bool on) {
    m_exact = on;
    xb_SetExact(engineBool(on));
}

void TXBaseEnv::setCentury(bool on) {
    m_century = on;
    xb_SetCentury(engineBool(on));
    qly::dates::setShortDateFormat(qly::dates::applyCentury(qly::dates::shortDateFormat(), on));
}

int TXBaseEnv::clampEpoch(int year) {
    if (year == 0)
        return 1900;
    if (year < 100)
        return 100;
    if (year > 2999)
        return 2999;
    return year;
}

void TXBaseEnv::setEpoch(int year) {
    m_epoch = clampEpoch(year);
    xb_SetEpoch(m_epoch);
}

void TXBaseEnv::setDateFormat(TXBaseDateFrmt format) {
    m_dateFormat = format;
    QChar separator;
    QString pattern;
    switch (format) {
        case dfAmerican:
            separator = u'/';
            pattern = QStringLiteral("mm/dd/yy");
            break;
        case dfAnsi:
            separator = u'.';
            pattern = QStringLiteral("yy.mm.dd");
            break;
        case dfBritish:
        case dfFrench:
            separator = u'/';
            pattern = QStringLiteral("dd/mm/yy");
            break;
        case dfGerman:
            separator = u'.';
            pattern = QStringLiteral("dd.mm.yy");
            break;
        case dfItalian:
        case dfSpanish:
            separator = u'-';
            pattern = QStringLiteral("dd-mm-yy");
            break;
        case dfWinDefault:
            separator = qly::dates::systemDateSeparator();
            pattern = qly::dates::systemShortDateFormat();
            xb_SetSystemDateFormat(pattern.toStdString());
            break;
    }
    static constexpr int kEngineFormat[] = {kXbDateAmerican, kXbDateAnsi,   kXbDateBritish,
                                            kXbDateFrench,   kXbDateGerman, kXbDateItalian,
                                            kXbDateSpanish,  kXbDateSystem};
    static_assert(std::size(kEngineFormat) == dfWinDefault + 1);
    xb_SetDateFormat(kEngineFormat[format]);
    qly::dates::setDateSeparator(separator);
    qly::dates::setShortDateFormat(pattern);
    if (m_century)
        qly::dates::setShortDateFormat(qly::dates::applyCentury(pattern, true));
}

void TXBaseEnv::setDateFormatOrdinal(int ordinal) {
    if (ordinal >= dfAmerican && ordinal <= dfWinDefault)
        setDateFormat(static_cast<TXBaseDateFrmt>(ordinal));
}

void TXBaseEnv::setLockTimeout(int seconds) {
    m_lockTimeout = seconds;
    xb_SetLockTimeout(seconds);
}

void TXBaseEnv::setMemoBlockSize(int size) {
    m_memoBlockSize = size;
    xb_SetMemoBlockSize(size);
}

void TXBaseEnv::setSoftSeek(bool on) {
    m_softSeek = on;
    xb_SetSoftSeek(engineBool(on));
}

void TXBaseEnv::setDeleted(bool on) {
    m_deleted = on;
    xb_SetDeleted(engineBool(on));
}
