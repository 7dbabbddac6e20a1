// The RTF reader and writer: the fixture memos, memos as rich-edit controls
// and word processors write them, round trips, and broken input.

#include "widgets/richtext/FptMemos.h"

#include "widgets/richtext/LinkFinder.h"
#include "widgets/richtext/Rtf.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

using richtext::readRtf;
using richtext::writeRtf;

namespace {

QStringList blockTexts(const QTextDocument& doc) {
    QStringList texts;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next())
        texts << b.text();
    return texts;
}

QByteArray dataFile(const char* name) {
    QFile file(QStringLiteral(QLY_TEST_DATA_DIR "/") + QLatin1String(name));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

// The character format at a position of the document's text.
QTextCharFormat formatAt(const QTextDocument& doc, int position) {
    QTextCursor cursor(const_cast<QTextDocument*>(&doc));
    cursor.setPosition(position);
    cursor.setPosition(position + 1, QTextCursor::KeepAnchor);
    return cursor.charFormat();
}

int find(const QTextDocument& doc, const QString& text) {
    return static_cast<int>(doc.toRawText().indexOf(text));
}

// What the reader keeps of a character, for comparing two documents.
QString describe(const QTextCharFormat& f) {
    return QStringLiteral("%1|%2|%3|%4|%5|%6|%7|%8|%9")
        .arg(f.fontFamilies().toStringList().value(0))
        .arg(f.fontPointSize())
        .arg(f.fontWeight() > QFont::Medium)
        .arg(f.fontItalic())
        .arg(f.fontUnderline())
        .arg(f.fontStrikeOut())
        .arg(int(f.verticalAlignment()))
        .arg(f.hasProperty(QTextFormat::ForegroundBrush) ? f.foreground().color().name()
                                                         : QString())
        .arg((f.hasProperty(QTextFormat::BackgroundBrush) ? f.background().color().name()
                                                          : QString()) +
             (f.isAnchor() ? QStringLiteral("|") + f.anchorHref() : QString()));
}

QStringList describeBlocks(const QTextDocument& doc) {
    QStringList out;
    for (QTextBlock b = doc.begin(); b.isValid(); b = b.next()) {
        const QTextBlockFormat f = b.blockFormat();
        QString line = QStringLiteral("%1 align=%2 l=%3 r=%4 fi=%5 t=%6 b=%7 list=%8 :")
                           .arg(b.text())
                           .arg(int(f.alignment() & Qt::AlignHorizontal_Mask))
                           .arg(f.leftMargin())
                           .arg(f.rightMargin())
                           .arg(f.textIndent())
                           .arg(f.topMargin())
                           .arg(f.bottomMargin())
                           .arg(b.textList() ? int(b.textList()->format().style()) : 0);
        for (auto it = b.begin(); !it.atEnd(); ++it)
            line += QStringLiteral(" [%1 %2]")
                        .arg(it.fragment().text(), describe(it.fragment().charFormat()));
        out << line;
    }
    return out;
}

}  // namespace

class TestRtf : public QObject {
    Q_OBJECT

private slots:
    void fixtureMemos_data();
    void fixtureMemos();
    void readsWordPadMemo();
    void characters_data();
    void characters();
    void roundTripKeepsTextAndFormats();
    void writerOutputIsPlainAsciiRtf();
    void writesLinksOnlyWhereTheTextHasThem();
    void malformed_data();
    void malformed();
    void truncatedAtEveryByte();
    void tooManyParagraphsAreCut();
    void plainTextMemo();
    void findsLinks_data();
    void findsLinks();
};

void TestRtf::fixtureMemos_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("count");
    QTest::newRow("items") << "MAIN.fpt"
                           << "Item " << 30;
    QTest::newRow("manufacturers") << "MANUFACT.fpt"
                                   << "Street " << 8;
    QTest::newRow("locations") << "Location.fpt"
                               << "Building " << 4;
}

void TestRtf::fixtureMemos() {
    QFETCH(QString, file);
    QFETCH(QString, start);
    QFETCH(int, count);
    const QList<QByteArray> memos =
        fptMemos(QStringLiteral(QLY_FIXTURES_DIR "/foxpro/sample/") + file);
    QCOMPARE(memos.size(), count);
    for (const QByteArray& memo : memos) {
        QVERIFY(memo.endsWith(QByteArray("}\r\n\0", 4)));
        QVERIFY(richtext::looksLikeRtf(memo));
        QTextDocument doc;
        const richtext::RtfReadResult result = readRtf(memo, &doc);
        QVERIFY2(result.isRtf && result.complete, qPrintable(result.error));
        // One paragraph: the trailing \par, CR LF and zero byte add nothing.
        QCOMPARE(doc.blockCount(), 1);
        const QString text = doc.toPlainText();
        QVERIFY2(text.startsWith(start) && text.endsWith(QLatin1String(" bold red")),
                 qPrintable(text));

        const QTextCharFormat plain = formatAt(doc, 0);
        QCOMPARE(plain.fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
        QCOMPARE(plain.fontPointSize(), 10.0);
        QVERIFY(plain.fontWeight() <= QFont::Normal);
        QVERIFY(!plain.hasProperty(QTextFormat::ForegroundBrush));
        const QTextCharFormat red = formatAt(doc, find(doc, QStringLiteral("bold red")));
        QCOMPARE(red.fontWeight(), int(QFont::Bold));
        QCOMPARE(red.foreground().color(), QColor(255, 0, 0));
    }
    // The item memos name their web address in the text.
    if (file == QLatin1String("MAIN.fpt")) {
        QTextDocument doc;
        readRtf(memos.first(), &doc);
        QVERIFY(doc.toPlainText().contains(QLatin1String("http://example.com/item/1")));
    }
}

void TestRtf::readsWordPadMemo() {
    const QByteArray memo = dataFile("wordpad.rtf");
    QVERIFY(!memo.isEmpty());
    QTextDocument doc;
    const richtext::RtfReadResult result = readRtf(memo, &doc);
    QVERIFY2(result.complete, qPrintable(result.error));
    const QStringList expected = {
        QStringLiteral("Caf\u00e9 Inventory"),
        QStringLiteral("Normal italic underlined struck red blue on green x2 H2O"),
        QStringLiteral("Indented paragraph with a euro sign \u20ac and \u20ac and Cyrillic "
                       "\u0410\u0431 and \u0416."),
        QStringLiteral("First bullet"),
        QStringLiteral("Second bullet"),
        QStringLiteral("First number"),
        QStringLiteral("Second number"),
        QStringLiteral("Right aligned\ttab\u2028next line"),
        QStringLiteral("Web the manual and www.example.org"),
    };
    QCOMPARE(blockTexts(doc), expected);

    const QTextBlock title = doc.begin();
    QCOMPARE(title.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const QTextCharFormat titleChars = formatAt(doc, 0);
    QCOMPARE(titleChars.fontFamilies().toStringList(), QStringList{QStringLiteral("Arial")});
    QCOMPARE(titleChars.fontPointSize(), 16.0);
    QCOMPARE(titleChars.fontWeight(), int(QFont::Bold));
    QCOMPARE(title.blockFormat().bottomMargin(), 200 / 15.0);

    QVERIFY(formatAt(doc, find(doc, QStringLiteral("italic"))).fontItalic());
    QVERIFY(!formatAt(doc, find(doc, QStringLiteral("Normal"))).fontItalic());
    QVERIFY(formatAt(doc, find(doc, QStringLiteral("underlined"))).fontUnderline());
    QVERIFY(formatAt(doc, find(doc, QStringLiteral("struck"))).fontStrikeOut());
    QCOMPARE(formatAt(doc, find(doc, QStringLiteral("red"))).foreground().color(),
             QColor(255, 0, 0));
    const QTextCharFormat blue = formatAt(doc, find(doc, QStringLiteral("blue on")));
    QCOMPARE(blue.foreground().color(), QColor(0, 0, 255));
    QCOMPARE(blue.background().color(), QColor(0, 128, 0));
    QVERIFY(
        !formatAt(doc, find(doc, QStringLiteral(" x2"))).hasProperty(QTextFormat::BackgroundBrush));
    QCOMPARE(formatAt(doc, find(doc, QStringLiteral("x2")) + 1).verticalAlignment(),
             QTextCharFormat::AlignSuperScript);
    QCOMPARE(formatAt(doc, find(doc, QStringLiteral("H2O")) + 1).verticalAlignment(),
             QTextCharFormat::AlignSubScript);
    QCOMPARE(formatAt(doc, find(doc, QStringLiteral("Normal"))).fontPointSize(), 11.0);
    QCOMPARE(formatAt(doc, find(doc, QStringLiteral("Normal"))).fontFamilies().toStringList(),
             QStringList{QStringLiteral("Calibri")});
    QCOMPARE(formatAt(doc, find(doc, QStringLiteral("\u0410"))).fontFamilies().toStringList(),
             QStringList{QStringLiteral("Times New Roman")});

    const QTextBlock indented = doc.findBlockByNumber(2);
    QCOMPARE(indented.blockFormat().leftMargin(), 48.0);
    QCOMPARE(indented.blockFormat().rightMargin(), 24.0);
    QCOMPARE(indented.blockFormat().textIndent(), -24.0);
    QCOMPARE(indented.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignJustify);

    const QTextBlock bullet1 = doc.findBlockByNumber(3);
    const QTextBlock bullet2 = doc.findBlockByNumber(4);
    QVERIFY(bullet1.textList() != nullptr);
    QCOMPARE(bullet1.textList(), bullet2.textList());
    QCOMPARE(bullet1.textList()->format().style(), QTextListFormat::ListDisc);
    const QTextBlock number1 = doc.findBlockByNumber(5);
    QVERIFY(number1.textList() != nullptr);
    QVERIFY(number1.textList() != bullet1.textList());
    QCOMPARE(number1.textList()->format().style(), QTextListFormat::ListDecimal);
    QCOMPARE(doc.findBlockByNumber(6).textList(), number1.textList());
    QCOMPARE(doc.findBlockByNumber(7).textList(), nullptr);
    QCOMPARE(doc.findBlockByNumber(7).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
             Qt::AlignRight);

    const QTextCharFormat link = formatAt(doc, find(doc, QStringLiteral("the manual")));
    QVERIFY(link.isAnchor());
    QCOMPARE(link.anchorHref(), QStringLiteral("http://example.com/manual"));
    QVERIFY(link.fontUnderline());
    QVERIFY(!formatAt(doc, find(doc, QStringLiteral(" and www"))).isAnchor());
    QVERIFY(!formatAt(doc, find(doc, QStringLiteral("www"))).isAnchor());
}

void TestRtf::characters_data() {
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QString>("text");
    const auto row = [](const char* name, const char* body, const QString& text) {
        QTest::newRow(name) << QByteArray(body) << text;
    };
    row("hex in 1252", R"(caf\'e9 \'80\'96)", QStringLiteral("caf\u00e9 \u20ac\u2013"));
    row("hex upper case", R"(\'C9)", QStringLiteral("\u00c9"));
    row("ansicpg 1251", R"(\ansicpg1251 \'c0\'e1)", QStringLiteral("\u0410\u0431"));
    row("font charset 1250", R"({\fonttbl{\f0 Arial;}{\f1\fcharset238 Arial CE;}}\f1 \'b9\f0 \'b9)",
        QStringLiteral("\u0105\u00b9"));
    row("unicode with fallback", R"(\u8364?x)", QStringLiteral("\u20acx"));
    row("negative unicode", R"(\u-3913?)", QStringLiteral("\uf0b7"));
    row("uc2 skips two", R"(\uc2\u8364 EUx)", QStringLiteral("\u20acx"));
    row("uc0 skips none", R"(\uc0\u8364 x)", QStringLiteral("\u20acx"));
    row("fallback hex counts one", R"(\u233\'e9x)", QStringLiteral("\u00e9x"));
    row("fallback ends at group", R"({\uc3\u233 a}bc)", QStringLiteral("\u00e9bc"));
    row("surrogate pair", R"(\u-10179?\u-8704?)", QStringLiteral("\U0001F600"));
    row("symbols", R"(a\~b\-c\_d\{\}\\)", QStringLiteral("a\u00a0b\u00adc\u2011d{}\\"));
    row("tab and line", R"(a\tab b\line c)", QStringLiteral("a\tb\u2028c"));
    row("named characters", R"(\emdash\endash\bullet\lquote\rquote\ldblquote\rdblquote)",
        QStringLiteral("\u2014\u2013\u2022\u2018\u2019\u201c\u201d"));
    row("unknown words", R"(a\foo123 b\bar-4\baz c)", QStringLiteral("abc"));
    row("star destination", R"(a{\*\unknown {nested} text}b)", QStringLiteral("ab"));
    row("known destinations",
        R"(a{\stylesheet{x;}}{\info{\title t}}{\pict 0102}{\object x}{\header h}b)",
        QStringLiteral("ab"));
    row("bin data", "a{\\bin6 }}}{{\\}b", QStringLiteral("ab"));
    row("raw line breaks ignored", "a\r\nb\nc", QStringLiteral("abc"));
    row("escaped line break is a paragraph", "a\\\r\nb", QStringLiteral("a\nb"));
    row("control characters dropped", R"(a\u13?\u10?\'0d\u8233?b\u65532?c)",
        QStringLiteral("a\nbc"));
    row("upr keeps the ansi part", R"({\upr{plain}{\*\ud{unicode}}})", QStringLiteral("plain"));
    row("field without result", R"({\field{\*\fldinst{PAGE}}}x)", QStringLiteral("x"));
}

void TestRtf::characters() {
    QFETCH(QByteArray, body);
    QFETCH(QString, text);
    QTextDocument doc;
    const richtext::RtfReadResult result = readRtf("{\\rtf1\\ansi " + body + "}", &doc);
    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(blockTexts(doc).join(QLatin1Char('\n')), text);
}

void TestRtf::roundTripKeepsTextAndFormats() {
    QTextDocument doc;
    QTextCursor c(&doc);
    QTextCharFormat f;
    f.setFontFamilies({QStringLiteral("Arial")});
    f.setFontPointSize(12);
    c.insertText(QStringLiteral("Plain {braces} \\ back\tslash "), f);
    f.setFontWeight(QFont::Bold);
    c.insertText(QStringLiteral("bold "), f);
    f.setFontItalic(true);
    f.setForeground(QColor(10, 20, 30));
    c.insertText(QStringLiteral("bold italic coloured "), f);
    QTextCharFormat g;
    g.setFontFamilies({QStringLiteral("Times New Roman")});
    g.setFontPointSize(7.5);
    g.setFontUnderline(true);
    g.setFontStrikeOut(true);
    g.setBackground(QColor(255, 255, 0));
    c.insertText(QStringLiteral("caf\u00e9 \u20ac \u0416\u0436 \U0001F600 \u00a0\u00ad\u2011"), g);
    QTextCharFormat sup;
    sup.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    c.insertText(QStringLiteral("2"), sup);

    QTextBlockFormat centred;
    centred.setAlignment(Qt::AlignHCenter);
    centred.setLeftMargin(20);
    centred.setRightMargin(10);
    centred.setTextIndent(-8);
    centred.setTopMargin(4);
    centred.setBottomMargin(6);
    c.insertBlock(centred);
    c.insertText(QStringLiteral("centred line\u2028second line"));
    QTextBlockFormat right;
    right.setAlignment(Qt::AlignRight);
    c.insertBlock(right);  // an empty right-aligned paragraph
    QTextBlockFormat justified;
    justified.setAlignment(Qt::AlignJustify);
    c.insertBlock(justified);
    QTextCharFormat link;
    link.setAnchor(true);
    link.setAnchorHref(QStringLiteral("https://example.com/a?b=c"));
    link.setFontUnderline(true);
    c.insertText(QStringLiteral("before "));
    c.insertText(QStringLiteral("a link"), link);
    c.insertText(QStringLiteral(" after"), QTextCharFormat());

    c.insertBlock(QTextBlockFormat());
    QTextListFormat bullets;
    bullets.setStyle(QTextListFormat::ListDisc);
    bullets.setIndent(1);
    c.createList(bullets);
    c.insertText(QStringLiteral("bullet one"));
    c.insertBlock();
    c.insertText(QStringLiteral("bullet two"));
    c.insertBlock(QTextBlockFormat());
    QTextListFormat numbers;
    numbers.setStyle(QTextListFormat::ListDecimal);
    numbers.setIndent(1);
    c.createList(numbers);
    c.insertText(QStringLiteral("number one"));
    c.insertBlock();
    c.insertText(QStringLiteral("number two"));
    c.insertBlock(QTextBlockFormat());
    c.insertText(QStringLiteral("last"));

    const QByteArray rtf = writeRtf(&doc);
    QTextDocument back;
    const richtext::RtfReadResult result = readRtf(rtf, &back);
    QVERIFY2(result.complete, qPrintable(result.error));
    QCOMPARE(blockTexts(back), blockTexts(doc));

    // Formats come back as written; a second round gives the same bytes.
    const QStringList first = describeBlocks(back);
    QCOMPARE(first.size(), doc.blockCount());
    for (const QString& line : first.mid(0, 1))
        QVERIFY2(
            line.contains(QLatin1String("[bold italic coloured  Arial|12|1|1|0|0|0|#0a141e|]")),
            qPrintable(line));
    QVERIFY2(first[0].contains(QLatin1String(" Times New Roman|7.5|0|0|1|1|0||#ffff00]")),
             qPrintable(first[0]));
    QVERIFY2(first[0].contains(QLatin1String("[2 ")) && first[0].endsWith(QLatin1String("|1||]")),
             qPrintable(first[0]));
    QVERIFY2(first[1].contains(QLatin1String("align=4 l=20 r=10 fi=-8 t=4 b=6 list=0")),
             qPrintable(first[1]));
    QVERIFY2(first[2].startsWith(QLatin1String(" align=2 ")), qPrintable(first[2]));
    QVERIFY2(first[3].contains(QLatin1String("[a link ")) &&
                 first[3].contains(QLatin1String("|https://example.com/a?b=c]")),
             qPrintable(first[3]));
    QVERIFY2(first[3].contains(QLatin1String("align=8 ")), qPrintable(first[3]));
    QVERIFY2(!first[3].contains(QLatin1String("[ after")) ||
                 !first[3].section(QLatin1String("[ after"), 1).contains(QLatin1String("|http")),
             qPrintable(first[3]));
    QVERIFY2(first[4].contains(QStringLiteral("list=%1").arg(int(QTextListFormat::ListDisc))),
             qPrintable(first[4]));
    QCOMPARE(back.findBlockByNumber(4).textList(), back.findBlockByNumber(5).textList());
    QVERIFY2(first[6].contains(QStringLiteral("list=%1").arg(int(QTextListFormat::ListDecimal))),
             qPrintable(first[6]));
    QCOMPARE(back.findBlockByNumber(6).textList(), back.findBlockByNumber(7).textList());
    QVERIFY(back.findBlockByNumber(8).textList() == nullptr);

    const QByteArray again = writeRtf(&back);
    QCOMPARE(again, rtf);
    QTextDocument third;
    readRtf(again, &third);
    QCOMPARE(describeBlocks(third), first);
}

void TestRtf::writerOutputIsPlainAsciiRtf() {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText(QStringLiteral("caf\u00e9 \u20ac \u0416 \U0001F600 {x}"));
    const QByteArray rtf = writeRtf(&doc);
    QVERIFY(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\deff0"));
    QVERIFY(rtf.contains("{\\fonttbl{\\f0"));
    QVERIFY(rtf.contains("{\\colortbl ;"));
    QVERIFY(rtf.endsWith("}\r\n"));
    QVERIFY2(rtf.contains("caf\\'e9 \\'80 \\u1046? \\u-10179?\\u-8704? \\{x\\}"), rtf.constData());
    for (char ch : rtf)
        QVERIFY(static_cast<unsigned char>(ch) < 0x80 && (ch >= 0x20 || ch == '\r' || ch == '\n'));
    QVERIFY(richtext::looksLikeRtf(rtf));
}

void TestRtf::writesLinksOnlyWhereTheTextHasThem() {
    // An address in the text stays text; a hyperlink field stays a field.
    const QByteArray memo = dataFile("wordpad.rtf");
    QTextDocument doc;
    readRtf(memo, &doc);
    const QByteArray rtf = writeRtf(&doc);
    QCOMPARE(rtf.count("HYPERLINK"), 1);
    QVERIFY(rtf.contains("HYPERLINK \"http://example.com/manual\""));
    QVERIFY(rtf.contains("www.example.org"));
}

void TestRtf::malformed_data() {
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("complete");
    const auto row = [](const char* name, const QByteArray& input, const QString& text,
                        bool complete) { QTest::newRow(name) << input << text << complete; };
    row("missing closing brace", "{\\rtf1 abc\\par def", QStringLiteral("abc\ndef"), false);
    row("missing inner brace", "{\\rtf1 a{\\b b", QStringLiteral("ab"), false);
    row("extra closing brace", "{\\rtf1 a}}b}", QStringLiteral("a"), false);
    row("extra brace in the middle", "{\\rtf1 a}b{c}", QStringLiteral("a"), false);
    row("trailing CR LF and zeros", QByteArray("{\\rtf1 a}\r\n\0\0", 13), QStringLiteral("a"),
        true);
    row("ends with backslash", "{\\rtf1 a\\", QStringLiteral("a"), false);
    row("ends inside hex", "{\\rtf1 a\\'e", QStringLiteral("a"), false);
    row("bad hex", "{\\rtf1 a\\'zzb}", QStringLiteral("azzb"), false);
    row("half hex", "{\\rtf1 a\\'4zb}", QStringLiteral("a4zb"), false);
    row("huge bin", "{\\rtf1 a\\bin2147483647 b}", QStringLiteral("a"), false);
    row("bin beyond int", "{\\rtf1 a\\bin99999999999999999999 b}", QStringLiteral("a"), false);
    row("negative bin", "{\\rtf1 a\\bin-5 b}", QStringLiteral("ab"), true);
    row("huge numbers",
        "{\\rtf1\\fs99999999999\\li-99999999999\\cf99999\\f2147483647\\uc99999 a\\u99999999 b}",
        QStringLiteral("a"), true);
    row("long control word", "{\\rtf1 a\\" + QByteArray(100, 'x') + " b}", QStringLiteral("ab"),
        false);
    row("deep nesting",
        "{\\rtf1 a" + QByteArray(100000, '{') + "x" + QByteArray(100000, '}') + "b}",
        QStringLiteral("axb"), false);
    row("deep nesting never closed", "{\\rtf1 a" + QByteArray(100000, '{') + "\\b x",
        QStringLiteral("ax"), false);
    row("deep destination",
        "{\\rtf1 a{\\*\\x" + QByteArray(100000, '{') + "hidden" + QByteArray(100000, '}') + "}b}",
        QStringLiteral("ab"), false);
    row("empty rtf", "{\\rtf}", QString(), true);
    row("only the start", "{\\rtf", QString(), false);
    row("font table never closed", "{\\rtf1{\\fonttbl{\\f0 Arial;}", QString(), false);
    row("text before the group", "  {\\rtf1 a}", QStringLiteral("a"), true);
}

void TestRtf::malformed() {
    QFETCH(QByteArray, input);
    QFETCH(QString, text);
    QFETCH(bool, complete);
    QTextDocument doc;
    const richtext::RtfReadResult result = readRtf(input, &doc);
    QVERIFY(result.isRtf);
    QCOMPARE(doc.toPlainText(), text);
    QCOMPARE(result.complete, complete);
    QCOMPARE(result.error.isEmpty(), complete);
}

void TestRtf::truncatedAtEveryByte() {
    QByteArray sample = dataFile("wordpad.rtf");
    QVERIFY(!sample.isEmpty());
    // \uN read from a cut-off number would be another character; leave the
    // two out so that every prefix must give a prefix of the text.
    sample.replace("\\u8364?", "EUR").replace("\\u1046?", "Zh");
    QTextDocument full;
    QVERIFY(readRtf(sample, &full).complete);
    const QString fullText = full.toRawText();
    const qsizetype end = sample.lastIndexOf('}');
    // Shorter than "{\rtf" it is not RTF but text.
    for (qsizetype n = 5; n <= sample.size(); ++n) {
        QTextDocument doc;
        const richtext::RtfReadResult result = readRtf(sample.left(n), &doc);
        const QString text = doc.toRawText();
        QVERIFY2(fullText.startsWith(text), qPrintable(QStringLiteral("%1: %2").arg(n).arg(text)));
        QVERIFY2(result.complete == (n > end), qPrintable(QString::number(n)));
        // What was read is written out whole.
        QTextDocument back;
        QVERIFY(readRtf(writeRtf(&doc), &back).complete);
        QCOMPARE(back.toRawText(), text);
    }
}

void TestRtf::tooManyParagraphsAreCut() {
    const int lines = richtext::kMaxRtfParagraphs + 10;
    QByteArray rtf = "{\\rtf1 ";
    QByteArray text;
    for (int i = 0; i < lines; ++i) {
        rtf += "a\\par ";
        text += "a\r\n";
    }
    rtf += "}";
    for (const QByteArray& memo : {rtf, text}) {
        QTextDocument doc;
        const richtext::RtfReadResult result = readRtf(memo, &doc);
        QVERIFY(!result.complete);
        QVERIFY(result.error.contains(QString::number(richtext::kMaxRtfParagraphs)));
        QVERIFY(doc.blockCount() <= richtext::kMaxRtfParagraphs);
        QVERIFY(doc.blockCount() >= richtext::kMaxRtfParagraphs - 1);
    }
}

void TestRtf::plainTextMemo() {
    const QByteArray memo = dataFile("plain.txt");
    QVERIFY(!richtext::looksLikeRtf(memo));
    QTextDocument doc;
    const richtext::RtfReadResult result = readRtf(memo, &doc);
    QVERIFY(!result.isRtf);
    QVERIFY(result.complete);
    QCOMPARE(blockTexts(doc),
             (QStringList{QStringLiteral("A plain memo"),
                          QStringLiteral("with a second line and caf\u00e9"), QString()}));
    QTextDocument empty;
    QVERIFY(readRtf(QByteArray(), &empty).complete);
    QVERIFY(empty.isEmpty());
    for (const char* text : {"rtf1 without a brace", "{\\rtx1}", "{ \\rtf1}", "\\rtf1"}) {
        QVERIFY2(!richtext::looksLikeRtf(text), text);
        QTextDocument doc2;
        readRtf(text, &doc2);
        QCOMPARE(doc2.toPlainText(), QString::fromLatin1(text));
    }
    QVERIFY(richtext::looksLikeRtf("\r\n {\\rtf1 x}"));
}

void TestRtf::findsLinks_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("links");
    QTest::addColumn<QStringList>("urls");
    QTest::newRow("plain http") << "Item 1 see http://example.com/item/1"
                                << QStringList{"http://example.com/item/1"}
                                << QStringList{"http://example.com/item/1"};
    QTest::newRow("sentence end") << "see https://x.org/a. Or ftp://f.org/b, too!"
                                  << QStringList{"https://x.org/a", "ftp://f.org/b"}
                                  << QStringList{"https://x.org/a", "ftp://f.org/b"};
    QTest::newRow("www") << "(www.example.org)" << QStringList{"www.example.org"}
                         << QStringList{"http://www.example.org"};
    QTest::newRow("brackets kept") << "http://x.org/a_(b)" << QStringList{"http://x.org/a_(b)"}
                                   << QStringList{"http://x.org/a_(b)"};
    QTest::newRow("mailto") << "write to mailto:sales@example.com;"
                            << QStringList{"mailto:sales@example.com"}
                            << QStringList{"mailto:sales@example.com"};
    QTest::newRow("upper case") << "HTTP://EXAMPLE.COM" << QStringList{"HTTP://EXAMPLE.COM"}
                                << QStringList{"http://example.com"};
    QTest::newRow("no address") << "http:// and www. and nohttp://x and a.www.b" << QStringList{}
                                << QStringList{};
}

void TestRtf::findsLinks() {
    QFETCH(QString, text);
    QFETCH(QStringList, links);
    QFETCH(QStringList, urls);
    QStringList found;
    QStringList foundUrls;
    for (const richtext::FoundLink& link : richtext::findLinks(text)) {
        found << text.mid(link.start, link.length);
        foundUrls << link.url.toString();
    }
    QCOMPARE(found, links);
    QCOMPARE(foundUrls, urls);
}

QTEST_MAIN(TestRtf)
#include "rtf_test.moc"
