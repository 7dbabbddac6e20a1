// Text in the tables is Windows code page 1252 both ways: what the user types
// is stored as those bytes, bytes other programs wrote read as the characters
// they stand for, and a character the page cannot hold is refused.
#include "DataTestSupport.h"

#include "data/DataSource.h"
#include "data/XBase.h"

#include <vector>

namespace {

using TDataText = DataTest;

// The 32 characters of the bytes 0x80..0x9F; the five bytes the page leaves
// undefined stand for the C1 controls of the same value.
QString highHalfOfThePage() {
    const char16_t chars[] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                              0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                              0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                              0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    return QString(reinterpret_cast<const QChar*>(chars), 32);
}

QByteArray highHalfBytes() {
    QByteArray bytes;
    for (int b = 0x80; b < 0xA0; ++b)
        bytes += static_cast<char>(b);
    return bytes;
}

TEST_F(TDataText, TextIsStoredAsCodePage1252AndReadsBackTheSame) {
    struct Case {
        QString text;
        QByteArray bytes;  // as the file must hold them
    };
    const std::vector<Case> cases = {
        {QStringLiteral("Ann\u2019s desk \u20ac"), QByteArray("Ann\x92s desk \x80")},
        {QStringLiteral("\u201cBig\u201d \u2013 \u2026 \u00e9\u00ff"),
         QByteArray("\x93"
                    "Big\x94 \x96 \x85 \xe9\xff")},
        {highHalfOfThePage(), highHalfBytes()},
    };
    FixtureFolder folder;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        auto t = mainTable(folder);
        t->edit();
        t->fieldByName("NAME")->setAsString(c.text);
        t->fieldByName("DESCRIPT")->setAsString(c.text);
        t->post();
        t->close();
        EXPECT_TRUE(folder.contents(QStringLiteral("MAIN.DBF")).contains(c.bytes));
        EXPECT_TRUE(folder.contents(QStringLiteral("MAIN.fpt")).contains(c.bytes));

        t->open();
        EXPECT_EQ(t->fieldByName("NAME")->asString(), c.text);
        EXPECT_EQ(t->fieldByName("DESCRIPT")->asString(), c.text);
        // an edit that does not touch the text writes the same bytes back
        t->edit();
        t->fieldByName("QUANTITY")->setAsInteger(7);
        t->post();
        t->close();
        EXPECT_TRUE(folder.contents(QStringLiteral("MAIN.DBF")).contains(c.bytes));
    }
}

TEST_F(TDataText, SearchesAndFiltersFindSuchText) {
    FixtureFolder folder;
    auto t = mainTable(folder);
    t->moveBy(4);
    const long recno = t->recNo();
    t->edit();
    t->fieldByName("NAME")->setAsString(QStringLiteral("Ann\u2019s desk \u20ac"));
    t->post();
    t->first();
    EXPECT_TRUE(t->locate(QStringLiteral("NAME"), QStringLiteral("ANN\u2019S DESK \u20ac")));
    EXPECT_EQ(t->recNo(), recno);

    TDataSource source;
    source.setDataSet(t.get());
    TXBase xbase;
    xbase.setDataSource(&source);
    xbase.setFilter(QStringLiteral("NAME=\"Ann\u2019s\""));
    EXPECT_EQ(t->recordCount(), 1);
    EXPECT_EQ(t->recNo(), recno);
    EXPECT_EQ(xbase.filter(), QStringLiteral("NAME=\"Ann\u2019s\""));
}

TEST_F(TDataText, ACharacterThePageCannotHoldIsRefusedNamingTheField) {
    struct Case {
        const char* field;
        QString text;
        const char* code;
    };
    const std::vector<Case> cases = {
        {"NAME", QStringLiteral("Snow \u2603"), "U+2603"},
        {"DESCRIPT", QStringLiteral("Smile \U0001F600"), "U+1F600"},
        {"NAME", QString(QChar(0x80)), "U+0080"},  // a C1 control the page has no byte for
        {"CATAGORY", QStringLiteral("\u0141\u00f3d\u017a"), "U+0141"},
    };
    FixtureFolder folder;
    auto t = mainTable(folder);
    const QByteArray before = folder.contents(QStringLiteral("MAIN.DBF"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        t->edit();
        t->fieldByName(c.field)->setAsString(c.text);
        const std::string message = QLY_ERROR_OF(t->post());
        EXPECT_NE(message.find("field '" + std::string(c.field) + "'"), std::string::npos)
            << message;
        EXPECT_NE(message.find(c.code), std::string::npos) << message;
        EXPECT_EQ(t->state(), TDataSetState::dsEdit);
        t->cancel();
    }
    t->close();
    EXPECT_EQ(folder.contents(QStringLiteral("MAIN.DBF")), before);
}

}  // namespace
