// Filters and expressions: the filter semantics the program relies on, the
// functions, bad expressions, and the date formats.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "EngineTestUtil.h"
#include "engine/Dates.h"
#include "engine/Expression.h"
#include "engine/xbase.h"
#include "support/EngineMatchers.h"

using namespace enginetest;
using qly::test::XbTrue;

namespace {

struct FilterCase {
    const char* expression;
    bool exact;
    bool hideDeleted;
    long count;
};

// Items fixture: CATAGORY of item i is entry (i mod 15) + 1 of a list with
// "Desk", "Desks" and "desk"; records 7, 17, 27, 37 are deleted.
const FilterCase kFilters[] = {
    {"CATAGORY=\"Desk\"", false, false, 6},  // Desk and Desks
    {"CATAGORY=\"Desk\"", true, false, 3},   // exact: only Desk
    {"CATAGORY=\"desk\"", false, false, 2},  // case-sensitive
    {"CATAGORY=\"Misc\"", false, false, 6},
    {"CATAGORY=\"Misc.\"", false, false, 3},
    {"CATAGORY=\"Com\"", false, false, 3},
    {"CATAGORY=\"Zzz\"", false, false, 0},
    {"CATAGORY=\"\"", false, false, 40},  // the empty text keeps everything
    {"CATAGORY=\"\"", false, true, 36},
    {"NAME=\"\"", false, true, 36},
    {"CATAGORY=\"\"", true, false, 0},
    {"CATAGORY==\"Desk\"", false, false, 0},  // field is padded to 40
    {"TRIM(CATAGORY)==\"Desk\"", false, false, 3},
    {"CATAGORY<>\"Desk\"", false, false, 34},
    {"CATAGORY#\"Desk\"", false, false, 34},
    {"CATAGORY!=\"Desk\"", false, false, 34},
    {".NOT. CATAGORY=\"Desk\"", false, false, 34},
    {"UPPER(CATAGORY)=\"DESK\"", false, false, 8},
    {"LOWER(CATAGORY)='desk'", false, false, 8},
    {"CATAGORY=\"Misc\" .OR. CATAGORY=\"Com\"", false, false, 9},
    {"CATAGORY=\"Desk\" .AND. RECNO()>10", false, false, 4},
    {"(CATAGORY=\"Desk\" .OR. CATAGORY=\"Com\") .AND. .NOT. DELETED()", false, false, 9},
    {"SUBSTR(CATAGORY,1,4)==\"Misc\"", false, false, 6},
    {"LEFT(CATAGORY,4)==\"Misc\"", false, false, 6},
    {"RIGHT(ALLTRIM(CATAGORY),1)=\"s\"", false, false, 19},
    {"\"Misc\" $ CATAGORY", false, false, 6},
    {"LTRIM(\"  Desk\")+\"x\"==\"Deskx\"", false, false, 40},
    {"QUANTITY>10", false, false, 15},
    {"QUANTITY>=-1 .AND. QUANTITY<=0", false, false, 4},
    {"QUANTITY*2-1=1", false, false, 2},
    {"VAL(STR(QUANTITY,4))=QUANTITY", false, false, 40},
    {"STR(QUANTITY,4)=\"  -1\"", false, false, 2},
    {"DISPOSED", false, false, 4},
    {"DISPOSED", false, true, 3},
    {"DISPOSED=.T.", false, false, 4},
    {"DELETED()", false, false, 4},
    {"DELETED()", false, true, 0},
    {"RECNO()<=10", false, false, 10},
    {"EMPTY(MANUFACT)", false, false, 3},
    {"EMPTY(DISPDATE)", false, false, 36},
    {"MANUFACT=\"Nobody\"", false, false, 3},
    {"DTOS(PURCHDATE)>=\"19990101\"", false, false, 31},
    {"PURCHDATE<CTOD(\"01/01/99\")", false, false, 9},
    {"PURCHDATE<{^1999-01-01}", false, false, 9},
    {"PURCHDATE>={01/01/99}", false, false, 31},
    {"PURCHDATE+1>PURCHDATE", false, false, 40},
    {"DISPDATE-PURCHDATE>0", false, false, 4},
    {"main->CATAGORY=\"Com\"", false, false, 3},
    {"upper(catagory)=[COM]", false, false, 3},
    {"ALLT(CATAGORY)==\"Desk\"", false, false, 3},
    {"QUANTITY=1.AND.RECNO()<10", false, false, 1},
    {"DTOC(PURCHDATE)+\"|\"=DTOC(PURCHDATE)", false, false, 40},
};

class Filters : public EngineTest, public ::testing::WithParamInterface<FilterCase> {};

TEST_P(Filters, KeepTheRecordsForWhichTheyAreTrue) {
    const FilterCase& c = GetParam();
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_SetExact(c.exact ? -1 : 0);
    xb_SetDeleted(c.hideDeleted ? -1 : 0);
    ASSERT_THAT(xb_Query(c.expression), XbTrue());
    EXPECT_EQ(xb_DBFilter(), c.expression);
    EXPECT_EQ(xb_Count(), c.count);
    EXPECT_EQ(xb_QueryRecCount(), c.count);
    EXPECT_EQ(xb_RecCount(), 40);
    // Walking the area visits the same records, forwards and backwards.
    long forward = 0, backward = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1))
        ++forward;
    for (xb_GoBottom(); !xb_Bof() && !xb_Eof(); xb_Skip(-1))
        ++backward;
    EXPECT_EQ(forward, c.count);
    EXPECT_EQ(backward, c.count);
}

INSTANTIATE_TEST_SUITE_P(Items, Filters, ::testing::ValuesIn(kFilters));

class Queries : public EngineTest {};

TEST_F(Queries, FilterPositionsOnTheFirstMatchAndCanBeRemoved) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    ASSERT_EQ(xb_Query("CATAGORY=\"Desk\""), -1);
    EXPECT_EQ(xb_RecNo(), 5);
    EXPECT_EQ(xb_Skip(1), -1);
    EXPECT_EQ(xb_RecNo(), 6);
    EXPECT_EQ(xb_Skip(-1), -1);
    EXPECT_EQ(xb_Skip(-1), -1);
    EXPECT_EQ(xb_Bof(), -1);
    EXPECT_EQ(xb_RecNo(), 5);
    ASSERT_EQ(xb_Query(""), -1);
    EXPECT_EQ(xb_DBFilter(), "");
    EXPECT_EQ(xb_Count(), 40);
    EXPECT_EQ(xb_RecNo(), 1);
    // A filter nothing passes: Bof and Eof at once.
    ASSERT_EQ(xb_Query("CATAGORY=\"Zzz\""), -1);
    EXPECT_EQ(xb_Eof(), -1);
    EXPECT_EQ(xb_Bof(), -1);
}

TEST_F(Queries, MalformedExpressionsAreRefusedAndChangeNothing) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    ASSERT_EQ(xb_Query("CATAGORY=\"Com\""), -1);
    std::string before = readFile(m_dir / "MAIN.DBF");
    const char* bad[] = {
        "CATAGORY=\"Desk\"s\"",  // a value that holds a double quote
        "CATAGORY=\"My \"big\" desk\"",
        "CATAGORY=\"",
        "CATAGORY=",
        "=\"Desk\"",
        "NOSUCH=\"a\"",
        "UPPER(CATAGORY=\"a\"",
        "NOSUCHFUNC(NAME)=\"a\"",
        "CATAGORY=1",
        "CATAGORY",
        "QUANTITY .AND. .T.",
        "SUBSTR(NAME)=\"a\"",
        "CATAGORY=\"a\" CATAGORY=\"b\"",
        "PURCHDATE={13/45/99}",
        "CATAGORY=\"a\" ; DELETE",
        "   ",
        "DTOC(PURCHDATE)+DTOC(PURCHDATE)=1",
    };
    for (const char* expression : bad) {
        SCOPED_TRACE(expression);
        bool blank = std::string(expression).find_first_not_of(' ') == std::string::npos;
        if (blank)
            continue;  // blank removes the filter; checked elsewhere
        EXPECT_EQ(xb_Query(expression), 0);
        EXPECT_FALSE(xb_LastError().empty());
        EXPECT_EQ(xb_DBFilter(), "CATAGORY=\"Com\"");
        EXPECT_EQ(xb_Count(), 3);
    }
    // Deep nesting is refused, not a stack overflow.
    std::string deep = std::string(100000, '(') + "CATAGORY=\"a\"" + std::string(100000, ')');
    EXPECT_EQ(xb_Query(deep), 0);
    EXPECT_NE(xb_LastError().find("deeply"), std::string::npos);
    EXPECT_EQ(xb_Query(std::string(100000, '!') + "DELETED()"), 0);
    EXPECT_EQ(xb_Query(std::string(100000, '-') + "1=1"), 0);
    EXPECT_EQ(xb_Count(), 3);
    // Moderate nesting is fine.
    EXPECT_EQ(xb_Query(std::string(50, '(') + "CATAGORY=\"Com\"" + std::string(50, ')')), -1);
    xb_CloseAll();
    EXPECT_EQ(readFile(m_dir / "MAIN.DBF"), before);
}

TEST_F(Queries, EvalStringGivesTheValueAsText) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_Go(1);
    struct {
        const char* expression;
        const char* text;
    } cases[] = {
        {"TRIM(NAME)", "Laser printer #1"},
        {"UPPER(LEFT(NAME,5))", "LASER"},
        {"STR(PURCHPRICE,10,2)", "   1234.57"},
        {"STR(PURCHPRICE)", "      1235"},
        {"STR(QUANTITY,3)", " -1"},
        {"STR(123456,3)", "***"},
        {"DTOS(PURCHDATE)", "19980207"},
        {"DTOS(DISPDATE)", "        "},
        {"PURCHDATE", "02/07/98"},
        {"PURCHDATE+30", "03/09/98"},
        {"CTOD(\"12/31/99\")", "12/31/99"},
        {"QUANTITY+1", "0"},
        {"1+2*3", "7"},
        {"7/2", "3.5"},
        {"VAL(\"  12.5abc\")", "12.5"},
        {"RECNO()", "1"},
        {"DISPOSED", ".F."},
        {"EMPTY(\"   \")", ".T."},
        {"SUBSTR(\"abcdef\",3)", "cdef"},
        {"SUBSTR(\"abcdef\",3,2)", "cd"},
        {"SUBSTR(\"abc\",9,2)", ""},
        {"RIGHT(\"abcdef\",2)", "ef"},
        {"LEFT(\"abc\",10)", "abc"},
        {"ALLTRIM(\"  a b  \")", "a b"},
        {"\"ab\"+\"cd\"", "abcd"},
        {"\"abc\"=\"ab\"", ".T."},
        {"\"ab\"=\"abc\"", ".F."},
        {"\"abc\"<\"abd\"", ".T."},
        {"\"ab\"<\"ab \"", ".F."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.expression);
        EXPECT_EQ(xb_EvalString(c.expression), c.text) << xb_LastError();
    }
    EXPECT_EQ(xb_EvalString("NAME=\"x"), "");
    EXPECT_FALSE(xb_LastError().empty());
    xb_SetCentury(-1);
    xb_SetDateFormat(kXbDateGerman);
    EXPECT_EQ(xb_EvalString("PURCHDATE"), "07.02.1998");
    EXPECT_EQ(xb_EvalString("DTOC(PURCHDATE)"), "07.02.1998");
    EXPECT_EQ(xb_GetDateString("PURCHDATE"), "07.02.1998");
    EXPECT_EQ(xb_EvalString("DTOS(CTOD(\"31.12.1999\"))"), "19991231");
    // A long system pattern never overruns a text built from it.
    xb_SetSystemDateFormat("dd. mm. yyyy  ");
    xb_SetDateFormat(kXbDateSystem);
    EXPECT_EQ(xb_EvalString("DTOC(PURCHDATE)+\"|\""), "07. 02. 1998  |");
}

TEST_F(Queries, ReplaceDateTextUsesTheEpochForTwoDigitYears) {
    ASSERT_THAT(xb_Create(path("d.dbf"), {{"D", 'D', 8, 0}}), XbTrue());
    ASSERT_GT(xb_Use(path("d.dbf"), "", kXbModeExclusive, kXbDriverFox), 0);
    ASSERT_EQ(xb_AppendEx(), 0);
    struct {
        int epoch;
        const char* text;
        const char* stored;
    } cases[] = {
        {1900, "12/31/99", "19991231"},   {1900, "01/02/03", "19030102"},
        {1950, "01/02/49", "20490102"},   {1950, "01/02/50", "19500102"},
        {1900, "01/02/2003", "20030102"}, {1900, "", "        "},
        {1900, "  /  /  ", "        "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        xb_SetEpoch(c.epoch);
        ASSERT_THAT(xb_Replace("D", kXbReplaceDateText, c.text), XbTrue());
        EXPECT_EQ(xb_GetString("D"), c.stored);
    }
}

TEST(DateFormats, PatternsCenturyAndSettings) {
    using namespace qly::engine;
    struct {
        int format;
        bool century;
        const char* pattern;
    } cases[] = {
        {0, false, "mm/dd/yy"},  {1, false, "yy.mm.dd"},  {2, false, "dd/mm/yy"},
        {3, true, "dd/mm/yyyy"}, {4, true, "dd.mm.yyyy"}, {4, false, "dd.mm.yy"},
        {5, false, "dd-mm-yy"},  {6, true, "dd-mm-yyyy"}, {99, false, "m/d/yy"},
        {99, true, "m/d/yyyy"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        EXPECT_EQ(applyCentury(patternForFormat(c.format, ""), c.century), c.pattern);
    }
    EXPECT_EQ(applyCentury("yyyy-mm-dd", false), "yy-mm-dd");
    int32_t j = julianFromYmd(2000, 1, 1);
    EXPECT_EQ(j, 2451545);
    EXPECT_EQ(formatDate(j, "m/d/yy"), "1/1/00");
    EXPECT_EQ(formatDate(julianFromYmd(1998, 2, 7), "dd.mm.yyyy"), "07.02.1998");
    int32_t parsed = 0;
    EXPECT_TRUE(parseDate("2/29/2000", "m/d/yy", 1900, parsed));
    EXPECT_EQ(parsed, julianFromYmd(2000, 2, 29));
    EXPECT_FALSE(parseDate("2/29/1900", "m/d/yy", 1900, parsed));
    EXPECT_FALSE(parseDate("1/2", "m/d/yy", 1900, parsed));
    EXPECT_FALSE(parseDate("1/2/3/4", "m/d/yy", 1900, parsed));
    EXPECT_FALSE(parseDate("ab/cd/ef", "m/d/yy", 1900, parsed));

    xb_SetSystemDateFormat("dd.mm.yy");
    EXPECT_EQ(xb_SetDateFormat(kXbDateSystem), kXbDateAmerican);
    EXPECT_EQ(xb_DateFormatPattern(), "dd.mm.yy");
    EXPECT_EQ(xb_SetCentury(-1), 0);
    EXPECT_EQ(xb_DateFormatPattern(), "dd.mm.yyyy");
    EXPECT_EQ(xb_SetDateFormat(7), -1);
    EXPECT_EQ(xb_SetEpoch(1950), 1900);
    EXPECT_EQ(xb_SetMemoBlockSize(1), 64);
    EXPECT_EQ(xb_SetMemoBlockSize(64), 512);
    resetEngine();
}

TEST(CompiledExpressions, KeyBytesArePaddedToTheResultWidth) {
    using namespace qly::engine;
    std::vector<Field> fields = {{"NAME", 'C', 10, 0, 1}, {"QTY", 'N', 4, 0, 11}};
    Settings settings;
    Expression e;
    std::string error;
    ASSERT_TRUE(e.compile("UPPER(TRIM(NAME))+\"!\"", fields, &settings, error)) << error;
    EXPECT_EQ(e.type(), ValueType::Character);
    EXPECT_EQ(e.width(), 11);
    std::string rec = std::string(" abc       ") + "  12";
    std::string key;
    e.evalKey(RecordView{rec.data(), 1}, key);
    EXPECT_EQ(key, "ABC!       ");
    Expression n;
    ASSERT_TRUE(n.compile("QTY*2", fields, &settings, error));
    EXPECT_EQ(n.type(), ValueType::Numeric);
    Value v;
    n.evaluate(RecordView{rec.data(), 1}, v);
    EXPECT_EQ(v.num, 24);
}

}  // namespace
