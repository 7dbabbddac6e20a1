// The program-wide date format, the start-up widening, the century rewrite
// and the engine environment's settings.
#include "DataTestSupport.h"

#include "data/DateFormat.h"
#include "data/Messages.h"

#include <QMetaProperty>

namespace {

using namespace qly::dates;

TEST(Dates, StartUpWideningGivesFourDigitYears) {
    struct Case {
        const char* in;
        const char* out;
    };
    for (const Case& c : {Case{"M/d/yy", "M/d/yyyy"}, Case{"dd.MM.yy", "dd.MM.yyyy"},
                          Case{"yy/MM/dd", "yyyy/MM/dd"}, Case{"yyyy-MM-dd", "yyyy-MM-dd"},
                          Case{"d/M/y", "d/M/y"}, Case{"", ""}})
        EXPECT_EQ(widenToFourDigitYear(QString::fromLatin1(c.in)).toStdString(), c.out) << c.in;

    const QString saved = shortDateFormat();
    setShortDateFormat(QStringLiteral("m/d/yy"));
    widenShortDateFormat();
    EXPECT_EQ(shortDateFormat().toStdString(), "m/d/yyyy");
    setShortDateFormat(saved);
}

TEST(Dates, CenturyRewriteTouchesOnlyTheFirstYear) {
    EXPECT_EQ(applyCentury(QStringLiteral("dd.mm.yy"), true).toStdString(), "dd.mm.yyyy");
    EXPECT_EQ(applyCentury(QStringLiteral("dd.mm.yyyy"), true).toStdString(), "dd.mm.yyyy");
    EXPECT_EQ(applyCentury(QStringLiteral("dd.mm.yyyy"), false).toStdString(), "dd.mm.yy");
    EXPECT_EQ(applyCentury(QStringLiteral("dd.mm.yy"), false).toStdString(), "dd.mm.yy");
    EXPECT_EQ(applyCentury(QStringLiteral("d/m"), true).toStdString(), "d/m");
}

TEST(Dates, FormatsAndParsesWithTheFormatLetters) {
    const QDate d(2009, 3, 7);
    struct Case {
        const char* format;
        const char* text;
    };
    for (const Case& c : {Case{"mm/dd/yy", "03/07/09"}, Case{"m/d/yyyy", "3/7/2009"},
                          Case{"dd.mm.yyyy", "07.03.2009"}, Case{"yy.mm.dd", "09.03.07"},
                          Case{"dd-mm-yy", "07-03-09"}, Case{"M/d/yy", "3/7/09"}}) {
        const QString format = QString::fromLatin1(c.format);
        EXPECT_EQ(formatDate(d, format).toStdString(), c.text) << c.format;
        bool ok = false;
        EXPECT_EQ(parseDate(QString::fromLatin1(c.text), format, &ok), d) << c.format;
        EXPECT_TRUE(ok);
    }
    EXPECT_EQ(formatDate(QDate(), QStringLiteral("dd/mm/yy")), QString());
}

TEST(Dates, TwoDigitYearsAreReadThroughTheWindow1950To2049) {
    const QString format = QStringLiteral("mm/dd/yyyy");
    EXPECT_EQ(parseDate(QStringLiteral("12/31/49"), format), QDate(2049, 12, 31));
    EXPECT_EQ(parseDate(QStringLiteral("01/01/50"), format), QDate(1950, 1, 1));
    EXPECT_EQ(parseDate(QStringLiteral("01/01/0050"), format), QDate(50, 1, 1))
        << "four digits are taken as typed";
    bool ok = true;
    for (const char* bad : {"02/30/2020", "13/01/2020", "1/2", "a/b/c", "1/2/3/4", "12/31/12345"}) {
        EXPECT_FALSE(parseDate(QString::fromLatin1(bad), format, &ok).isValid()) << bad;
        EXPECT_FALSE(ok) << bad;
    }
    EXPECT_FALSE(parseDate(QStringLiteral("  "), format, &ok).isValid());
    EXPECT_TRUE(ok) << "blank text is an empty date";
}

TEST(Dates, QtFormatsTranslateToTheProgramsLetters) {
    EXPECT_EQ(fromQtFormat(QStringLiteral("M/d/yy")).toStdString(), "m/d/yy");
    EXPECT_EQ(fromQtFormat(QStringLiteral("dd.MM.yyyy")).toStdString(), "dd.mm.yyyy");
    EXPECT_EQ(fromQtFormat(QStringLiteral("yyyy-MM-dd")).toStdString(), "yyyy-mm-dd");
    EXPECT_EQ(fromQtFormat(QStringLiteral("ddd, d MMM yyyy")).toStdString(), "d mm yyyy");
    EXPECT_FALSE(systemShortDateFormat().isEmpty());
    EXPECT_FALSE(systemDateSeparator().isLetter());
}

class Environment : public ::testing::Test {
protected:
    void SetUp() override { m_saved = shortDateFormat(); }
    void TearDown() override { setShortDateFormat(m_saved); }
    QString m_saved;
};

TEST_F(Environment, DefaultsAreSetInPropertyOrder) {
    TXBaseEnv env;
    EXPECT_FALSE(env.exact());
    EXPECT_FALSE(env.century());
    EXPECT_EQ(env.epoch(), 1900);
    EXPECT_EQ(env.dateFormat(), dfWinDefault);
    EXPECT_EQ(env.lockTimeout(), 1);
    EXPECT_EQ(env.memoBlockSize(), 64);
    EXPECT_FALSE(env.softSeek());
    EXPECT_FALSE(env.deleted());
    const QStringList expected{"Exact",       "Century",       "Epoch",    "DateFormat",
                               "LockTimeout", "MemoBlockSize", "SoftSeek", "Deleted"};
    QStringList names;
    const QMetaObject* mo = env.metaObject();
    for (int i = mo->propertyOffset(); i < mo->propertyCount(); ++i)
        names << QString::fromLatin1(mo->property(i).name());
    EXPECT_EQ(names, expected);
}

TEST_F(Environment, EpochIsClamped) {
    TXBaseEnv env;
    struct Case {
        int in, out;
    };
    for (const Case& c :
         {Case{0, 1900}, Case{50, 100}, Case{5000, 2999}, Case{1, 100}, Case{99, 100},
          Case{100, 100}, Case{2999, 2999}, Case{-5, 100}, Case{1950, 1950}}) {
        env.setEpoch(c.in);
        EXPECT_EQ(env.epoch(), c.out) << c.in;
    }
}

TEST_F(Environment, DateFormatSetsSeparatorAndShortFormatAndCenturyIsAppliedOnTop) {
    TXBaseEnv env;
    struct Case {
        TXBaseDateFrmt format;
        char separator;
        const char* shortFormat;
    };
    for (const Case& c : {Case{dfAmerican, '/', "mm/dd/yy"}, Case{dfAnsi, '.', "yy.mm.dd"},
                          Case{dfBritish, '/', "dd/mm/yy"}, Case{dfFrench, '/', "dd/mm/yy"},
                          Case{dfGerman, '.', "dd.mm.yy"}, Case{dfItalian, '-', "dd-mm-yy"},
                          Case{dfSpanish, '-', "dd-mm-yy"}}) {
        env.setDateFormat(c.format);
        EXPECT_EQ(dateSeparator(), QChar::fromLatin1(c.separator)) << c.shortFormat;
        EXPECT_EQ(shortDateFormat().toStdString(), c.shortFormat);
    }
    env.setDateFormat(dfWinDefault);
    EXPECT_EQ(shortDateFormat(), systemShortDateFormat());
    EXPECT_EQ(dateSeparator(), systemDateSeparator());

    env.setCentury(true);
    env.setDateFormat(dfGerman);
    EXPECT_EQ(shortDateFormat().toStdString(), "dd.mm.yyyy");
    EXPECT_EQ(formatDate(QDate(2024, 2, 29)).toStdString(), "29.02.2024");
    env.setCentury(false);
    EXPECT_EQ(shortDateFormat().toStdString(), "dd.mm.yy");
    EXPECT_EQ(xb_DateFormatPattern(), "dd.mm.yy") << "the engine follows";
    env.setCentury(true);
    EXPECT_EQ(xb_DateFormatPattern(), "dd.mm.yyyy");
}

TEST_F(Environment, OnlyOneEnvironmentPerProcess) {
    TXBaseEnv first;
    EXPECT_EQ(TXBaseEnv::instance(), &first);
    EXPECT_EQ(QLY_ERROR_OF(TXBaseEnv second), qly::msg::kExtraEnv);
    EXPECT_EQ(TXBaseEnv::instance(), &first) << "the first keeps working";
    first.setEpoch(0);
    EXPECT_EQ(first.epoch(), 1900);
}

TEST_F(Environment, AnotherCanBeMadeOnceTheFirstIsGone) {
    { TXBaseEnv first; }
    EXPECT_EQ(TXBaseEnv::instance(), nullptr);
    TXBaseEnv next;
    EXPECT_EQ(TXBaseEnv::instance(), &next);
}

}  // namespace
