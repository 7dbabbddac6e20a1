#include "widgets/richtext/Rtf.h"

#include "widgets/richtext/CodePage.h"

#include <QColor>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextList>

#include <algorithm>
#include <map>
#include <string_view>
#include <unordered_map>
#include <vector>

// Reading RTF into a QTextDocument.
//
// The input is walked once, byte by byte: "{" and "}" open and close a group
// (each group starts with a copy of its parent's state), "\word-123 " is a
// control word with an optional number and one swallowed space, "\x" a
// control symbol, "\'hh" a byte in the document's code page, anything else
// text. Text collects in a run until its character properties change or a
// paragraph ends; runs go into the document through one cursor. A paragraph
// mark (\par) is only carried out when more text follows, so that the final
// \par of every memo does not leave an empty line at the end.

namespace richtext {

namespace {

enum class Dest { Text, Skip, FontTable, ColorTable, FieldInst, ListDef };

struct CharProps {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int font = -1;       // \fN; -1: the default font (\deffN)
    int halfPoints = 0;  // \fsN; 0: not given
    int color = -1;      // \cfN into the colour table; -1: automatic
    int background = 0;  // \highlightN, \cbN; 0: none
    int vertical = 0;    // 1 superscript, 2 subscript
    int field = -1;      // hyperlink field whose result this text is
    bool operator==(const CharProps&) const = default;
};

struct ParaProps {
    int align = 0;  // 0 left, 1 centre, 2 right, 3 justified
    int left = 0;   // twips
    int right = 0;
    int first = 0;
    int before = 0;
    int after = 0;
    int list = 0;  // a QTextListFormat::Style, 0: not a list item
};

struct GroupState {
    Dest dest = Dest::Text;
    CharProps chars;
    ParaProps para;
    int unicodeSkip = 1;  // \ucN
    int field = -1;       // the \field group this group belongs to
};

struct Font {
    QByteArray bytes;  // the part of the name not decoded yet
    QString name;
    int codePage = 0;
    bool complete = false;  // the name's ";" was read
};

struct Field {
    QByteArray bytes;  // the part of the instruction not decoded yet
    QString instruction;
    QString href;
};

enum class Word {
    Unknown,
    // destinations
    FontTable,
    ColorTable,
    Field,
    FieldInst,
    FieldResult,
    ListDef,
    SkipDest,
    // character properties
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Strike,
    Plain,
    Font,
    FontSize,
    Color,
    Background,
    Super,
    Sub,
    NoSuperSub,
    FontCharset,
    Red,
    Green,
    Blue,
    // paragraph properties
    Pard,
    AlignLeft,
    AlignRight,
    AlignCentre,
    AlignJustify,
    LeftIndent,
    RightIndent,
    FirstIndent,
    SpaceBefore,
    SpaceAfter,
    ListOverride,
    PnBullet,
    PnBody,
    PnCont,
    PnDecimal,
    PnLowerAlpha,
    PnUpperAlpha,
    PnLowerRoman,
    PnUpperRoman,
    // characters and breaks
    Par,
    Line,
    Tab,
    Cell,
    Unicode,
    UnicodeSkip,
    Bin,
    Emdash,
    Endash,
    Bullet,
    LQuote,
    RQuote,
    LDblQuote,
    RDblQuote,
    EmSpace,
    EnSpace,
    // document
    AnsiCodePage,
    Ansi,
    Mac,
    Pc,
    Pca,
    DefaultFont,
};

const std::unordered_map<std::string_view, Word>& words() {
    static const std::unordered_map<std::string_view, Word> table = {
        {"fonttbl", Word::FontTable},
        {"colortbl", Word::ColorTable},
        {"field", Word::Field},
        {"fldinst", Word::FieldInst},
        {"fldrslt", Word::FieldResult},
        {"pn", Word::ListDef},
        // destinations whose content is not text of the document
        {"stylesheet", Word::SkipDest},
        {"info", Word::SkipDest},
        {"pict", Word::SkipDest},
        {"object", Word::SkipDest},
        {"header", Word::SkipDest},
        {"headerl", Word::SkipDest},
        {"headerr", Word::SkipDest},
        {"headerf", Word::SkipDest},
        {"footer", Word::SkipDest},
        {"footerl", Word::SkipDest},
        {"footerr", Word::SkipDest},
        {"footerf", Word::SkipDest},
        {"footnote", Word::SkipDest},
        {"annotation", Word::SkipDest},
        {"pntext", Word::SkipDest},
        {"listtext", Word::SkipDest},
        {"pntxtb", Word::SkipDest},
        {"pntxta", Word::SkipDest},
        {"listtable", Word::SkipDest},
        {"listoverridetable", Word::SkipDest},
        {"revtbl", Word::SkipDest},
        {"rsidtbl", Word::SkipDest},
        {"generator", Word::SkipDest},
        {"xe", Word::SkipDest},
        {"tc", Word::SkipDest},
        {"txe", Word::SkipDest},
        {"nonshppict", Word::SkipDest},
        {"shpinst", Word::SkipDest},
        {"themedata", Word::SkipDest},
        {"colorschememapping", Word::SkipDest},
        {"datastore", Word::SkipDest},
        {"latentstyles", Word::SkipDest},
        {"bkmkstart", Word::SkipDest},
        {"bkmkend", Word::SkipDest},
        {"ftnsep", Word::SkipDest},
        {"ftnsepc", Word::SkipDest},
        {"aftnsep", Word::SkipDest},
        {"aftnsepc", Word::SkipDest},
        {"objdata", Word::SkipDest},
        {"fchars", Word::SkipDest},
        {"lchars", Word::SkipDest},
        {"author", Word::SkipDest},
        {"title", Word::SkipDest},
        {"subject", Word::SkipDest},
        {"keywords", Word::SkipDest},
        {"comment", Word::SkipDest},
        {"operator", Word::SkipDest},
        {"doccomm", Word::SkipDest},
        {"company", Word::SkipDest},
        {"private", Word::SkipDest},
        // character properties
        {"b", Word::Bold},
        {"i", Word::Italic},
        {"ul", Word::Underline},
        {"uld", Word::Underline},
        {"uldb", Word::Underline},
        {"ulw", Word::Underline},
        {"uldash", Word::Underline},
        {"ulth", Word::Underline},
        {"ulwave", Word::Underline},
        {"ulnone", Word::UnderlineNone},
        {"strike", Word::Strike},
        {"striked", Word::Strike},
        {"plain", Word::Plain},
        {"f", Word::Font},
        {"fs", Word::FontSize},
        {"cf", Word::Color},
        {"cb", Word::Background},
        {"highlight", Word::Background},
        {"super", Word::Super},
        {"sub", Word::Sub},
        {"nosupersub", Word::NoSuperSub},
        {"fcharset", Word::FontCharset},
        {"red", Word::Red},
        {"green", Word::Green},
        {"blue", Word::Blue},
        // paragraph properties
        {"pard", Word::Pard},
        {"ql", Word::AlignLeft},
        {"qr", Word::AlignRight},
        {"qc", Word::AlignCentre},
        {"qj", Word::AlignJustify},
        {"li", Word::LeftIndent},
        {"ri", Word::RightIndent},
        {"fi", Word::FirstIndent},
        {"sb", Word::SpaceBefore},
        {"sa", Word::SpaceAfter},
        {"ls", Word::ListOverride},
        {"pnlvlblt", Word::PnBullet},
        {"pnlvlbody", Word::PnBody},
        {"pnlvl", Word::PnBody},
        {"pnlvlcont", Word::PnCont},
        {"pndec", Word::PnDecimal},
        {"pnlcltr", Word::PnLowerAlpha},
        {"pnucltr", Word::PnUpperAlpha},
        {"pnlcrm", Word::PnLowerRoman},
        {"pnucrm", Word::PnUpperRoman},
        // characters and breaks
        {"par", Word::Par},
        {"sect", Word::Par},
        {"page", Word::Par},
        {"row", Word::Par},
        {"line", Word::Line},
        {"tab", Word::Tab},
        {"cell", Word::Cell},
        {"u", Word::Unicode},
        {"uc", Word::UnicodeSkip},
        {"bin", Word::Bin},
        {"emdash", Word::Emdash},
        {"endash", Word::Endash},
        {"bullet", Word::Bullet},
        {"lquote", Word::LQuote},
        {"rquote", Word::RQuote},
        {"ldblquote", Word::LDblQuote},
        {"rdblquote", Word::RDblQuote},
        {"emspace", Word::EmSpace},
        {"enspace", Word::EnSpace},
        {"qmspace", Word::EnSpace},
        // document
        {"ansicpg", Word::AnsiCodePage},
        {"ansi", Word::Ansi},
        {"mac", Word::Mac},
        {"pc", Word::Pc},
        {"pca", Word::Pca},
        {"deff", Word::DefaultFont},
    };
    return table;
}

constexpr int kMaxWordLength = 32;
constexpr int kMaxFontName = 256;
constexpr int kMaxInstruction = 2048;
constexpr int kMaxTwips = 31680;      // 22 inches
constexpr int kMaxHalfPoints = 3276;  // 1638 points

bool isSpace(unsigned char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

int hexValue(unsigned char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Characters a font name or a field instruction keeps.
bool isNameChar(char16_t ch) {
    return !isDroppedChar(ch) && ch != u'\t' && ch != 0x2028;
}

qreal twipsToPixels(int twips) {
    return std::clamp(twips, -kMaxTwips, kMaxTwips) / 15.0;
}

// The address a HYPERLINK field instruction names: HYPERLINK "url" or
// HYPERLINK url, with \l "mark" for a place in the document.
QString hrefOf(const QString& instruction) {
    QString rest = instruction;
    rest.removeIf([](QChar ch) { return !isNameChar(ch.unicode()); });
    rest = rest.trimmed();
    if (!rest.startsWith(QLatin1String("HYPERLINK"), Qt::CaseInsensitive))
        return {};
    rest = rest.mid(9).trimmed();
    QString prefix;
    if (rest.startsWith(QLatin1String("\\l"))) {
        prefix = QStringLiteral("#");
        rest = rest.mid(2).trimmed();
    }
    QString url;
    if (rest.startsWith(QLatin1Char('"'))) {
        const qsizetype end = rest.indexOf(QLatin1Char('"'), 1);
        url = end < 0 ? rest.mid(1) : rest.mid(1, end - 1);
    } else {
        url = rest.section(QLatin1Char(' '), 0, 0);
    }
    url = url.trimmed();
    return url.isEmpty() ? QString() : prefix + url;
}

class Reader {
public:
    Reader(const QByteArray& input, QTextDocument* document) : m_in(input), m_cursor(document) {}

    RtfReadResult run();

private:
    void parse();
    void openGroup();
    void closeGroup();
    void control();
    void controlWord(std::string_view word, bool hasParam, int param);
    void controlSymbol(unsigned char c);
    void textByte(unsigned char c, bool escaped);
    void appendChar(char16_t ch);
    void appendUnicode(int value);

    void beginText();
    void flushBytes();
    void flushRun();
    void endParagraph();
    void finish();
    void applyParagraph();
    QTextCharFormat charFormat(const CharProps& props);
    void decodeFontBytes(Font& font) const;
    void decodeInstruction(Field& field) const;
    void finishFontName(Font& font) const;
    int codePageOf(const CharProps& props) const;
    void fail(const QString& error);

    GroupState& state() { return m_stack.back(); }

    const QByteArray& m_in;
    QTextCursor m_cursor;
    qsizetype m_pos = 0;
    qsizetype m_end = 0;
    bool m_done = false;
    bool m_finished = false;
    RtfReadResult m_result;

    std::vector<GroupState> m_stack;
    int m_overflowDepth = 0;     // groups beyond kMaxRtfDepth still open
    bool m_starPending = false;  // \* seen, its destination word not yet
    int m_unicodeSkipLeft = 0;   // fallback characters after \uN still to skip

    int m_codePage = 1252;
    int m_defaultFont = 0;
    std::map<int, Font> m_fonts;
    int m_tableFont = -1;  // the font the font table is describing
    std::vector<QColor> m_colors;
    int m_red = -1;
    int m_green = -1;
    int m_blue = -1;
    std::vector<Field> m_fields;

    QByteArray m_bytes;  // undecoded text in m_bytesCodePage
    int m_bytesCodePage = 1252;
    QString m_run;  // decoded text with m_runProps
    CharProps m_runProps;
    bool m_pendingParagraph = false;
    int m_paragraphs = 0;
    bool m_paragraphHasText = false;
    QTextList* m_list = nullptr;
    int m_listStyle = 0;
    int m_listBlock = -1;  // the block number last added to m_list
};

RtfReadResult Reader::run() {
    m_result.isRtf = true;
    m_end = m_in.size();
    if (m_end > kMaxRtfInput) {
        m_end = kMaxRtfInput;
        fail(QStringLiteral("The rich text is too long; it was read as far as %1 bytes.")
                 .arg(kMaxRtfInput));
    }
    while (m_pos < m_end && isSpace(static_cast<unsigned char>(m_in[m_pos])))
        ++m_pos;
    m_cursor.beginEditBlock();
    parse();
    finish();
    m_cursor.endEditBlock();
    return m_result;
}

void Reader::fail(const QString& error) {
    if (m_result.complete) {
        m_result.complete = false;
        m_result.error = error;
    }
}

void Reader::parse() {
    while (m_pos < m_end && !m_done) {
        const auto c = static_cast<unsigned char>(m_in[m_pos++]);
        switch (c) {
            case '{':
                openGroup();
                break;
            case '}':
                closeGroup();
                break;
            case '\\':
                control();
                break;
            case '\r':
            case '\n':
            case '\0':
                break;
            default:
                if (m_stack.empty()) {
                    fail(QStringLiteral("The rich text does not start with a group."));
                    m_done = true;
                } else {
                    textByte(c, false);
                }
                break;
        }
    }
    if (m_done) {
        // What a closed document leaves behind is only white space and the
        // zero bytes some editors add.
        for (qsizetype i = m_pos; i < m_end; ++i) {
            const auto c = static_cast<unsigned char>(m_in[i]);
            if (!isSpace(c) && c != 0) {
                fail(QStringLiteral("The rich text goes on after its end."));
                break;
            }
        }
    } else if (!m_stack.empty()) {
        fail(QStringLiteral("The rich text ends inside a group."));
    }
}

void Reader::openGroup() {
    m_unicodeSkipLeft = 0;
    if (m_stack.empty()) {
        m_stack.emplace_back();
        return;
    }
    if (static_cast<int>(m_stack.size()) >= kMaxRtfDepth) {
        if (m_overflowDepth == 0)
            fail(QStringLiteral("The rich text nests its groups too deeply."));
        ++m_overflowDepth;
        return;
    }
    GroupState copy = state();
    m_stack.push_back(copy);
}

void Reader::closeGroup() {
    m_unicodeSkipLeft = 0;
    m_starPending = false;
    if (m_overflowDepth > 0) {
        --m_overflowDepth;
        return;
    }
    if (m_stack.empty())
        return;
    if (m_stack.size() == 1)
        finish();
    const GroupState closed = m_stack.back();
    m_stack.pop_back();
    if (closed.dest == Dest::FontTable)
        m_tableFont = -1;
    if (m_stack.empty()) {
        m_done = true;
        return;
    }
    // A \pn group describes the numbering of the paragraph it stands in.
    if (closed.dest == Dest::ListDef && state().dest != Dest::ListDef)
        state().para.list = closed.para.list;
}

void Reader::control() {
    if (m_pos >= m_end) {
        fail(QStringLiteral("The rich text ends with a backslash."));
        return;
    }
    const auto c = static_cast<unsigned char>(m_in[m_pos]);
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'))) {
        ++m_pos;
        controlSymbol(c);
        return;
    }
    const qsizetype start = m_pos;
    while (m_pos < m_end) {
        const auto l = static_cast<unsigned char>(m_in[m_pos]);
        if (!((l >= 'a' && l <= 'z') || (l >= 'A' && l <= 'Z')))
            break;
        ++m_pos;
    }
    const qsizetype length = m_pos - start;
    bool hasParam = false;
    long long value = 0;
    bool negative = false;
    if (m_pos < m_end && m_in[m_pos] == '-') {
        if (m_pos + 1 == m_end) {
            ++m_pos;  // a number cut off by the end of the input
        } else if (m_in[m_pos + 1] >= '0' && m_in[m_pos + 1] <= '9') {
            negative = true;
            ++m_pos;
        }
    }
    while (m_pos < m_end && m_in[m_pos] >= '0' && m_in[m_pos] <= '9') {
        hasParam = true;
        if (value < 100000000000LL)
            value = value * 10 + (m_in[m_pos] - '0');
        ++m_pos;
    }
    if (m_pos < m_end && m_in[m_pos] == ' ')
        ++m_pos;
    value = std::clamp(negative ? -value : value, -2147483647LL, 2147483647LL);
    if (length > kMaxWordLength) {
        fail(QStringLiteral("The rich text has a control word that is too long."));
        controlWord({}, hasParam, static_cast<int>(value));
        return;
    }
    controlWord(std::string_view(m_in.constData() + start, static_cast<std::size_t>(length)),
                hasParam, static_cast<int>(value));
}

void Reader::controlSymbol(unsigned char c) {
    if (m_stack.empty())
        return;
    switch (c) {
        case '\'': {
            if (m_pos + 2 > m_end) {
                // cut off by the end of the input
                m_pos = m_end;
                fail(QStringLiteral("The rich text ends inside a \\' escape."));
                return;
            }
            const int high = m_pos < m_end ? hexValue(static_cast<unsigned char>(m_in[m_pos])) : -1;
            const int low =
                m_pos + 1 < m_end ? hexValue(static_cast<unsigned char>(m_in[m_pos + 1])) : -1;
            if (high < 0 || low < 0) {
                fail(QStringLiteral("The rich text has a broken \\' escape."));
                return;
            }
            m_pos += 2;
            textByte(static_cast<unsigned char>(high * 16 + low), true);
            return;
        }
        case '*':
            m_starPending = true;
            return;
        case '\\':
        case '{':
        case '}':
            textByte(c, true);
            return;
        case '\r':
        case '\n':
            controlWord("par", false, 0);
            return;
        default:
            break;
    }
    if (state().dest != Dest::Text)
        return;
    if (m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }
    switch (c) {
        case '~':
            appendChar(0x00A0);
            break;
        case '-':
            appendChar(0x00AD);
            break;
        case '_':
            appendChar(0x2011);
            break;
        case '\t':
            appendChar(u'\t');
            break;
        default:
            break;  // \| \: and the like carry nothing we show
    }
}

void Reader::controlWord(std::string_view word, bool hasParam, int param) {
    if (m_stack.empty())
        return;
    const auto found = words().find(word);
    const Word kind = found == words().end() ? Word::Unknown : found->second;
    GroupState& s = state();

    const bool star = m_starPending;
    m_starPending = false;
    if (s.dest == Dest::Skip)
        return;

    // Binary data is skipped wherever it stands; it counts as one character
    // of a \uN fallback.
    if (kind == Word::Bin) {
        if (hasParam && param > 0)
            m_pos += std::min<qsizetype>(param, m_end - m_pos);
        if (m_unicodeSkipLeft > 0)
            --m_unicodeSkipLeft;
        return;
    }

    if (s.dest == Dest::Text && m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }

    switch (kind) {
        case Word::FontTable:
            s.dest = Dest::FontTable;
            return;
        case Word::ColorTable:
            s.dest = Dest::ColorTable;
            m_red = m_green = m_blue = -1;
            return;
        case Word::Field:
            if (m_fields.size() < 1000000) {
                m_fields.emplace_back();
                s.field = static_cast<int>(m_fields.size()) - 1;
            }
            return;
        case Word::FieldInst:
            s.dest = s.field >= 0 ? Dest::FieldInst : Dest::Skip;
            return;
        case Word::FieldResult:
            if (s.field >= 0) {
                Field& f = m_fields[static_cast<std::size_t>(s.field)];
                decodeInstruction(f);
                if (f.href.isEmpty())
                    f.href = hrefOf(f.instruction);
                if (!f.href.isEmpty())
                    s.chars.field = s.field;
            }
            return;
        case Word::ListDef:
            if (s.dest == Dest::Text || s.dest == Dest::ListDef) {
                s.dest = Dest::ListDef;
                s.para.list = QTextListFormat::ListDisc;
            }
            return;
        case Word::SkipDest:
            s.dest = Dest::Skip;
            return;
        default:
            break;
    }
    if (star && kind == Word::Unknown) {
        s.dest = Dest::Skip;
        return;
    }

    const bool on = !hasParam || param != 0;
    switch (kind) {
        // document
        case Word::AnsiCodePage:
            if (hasParam && param > 0)
                m_codePage = param;
            return;
        case Word::Ansi:
            m_codePage = 1252;
            return;
        case Word::Mac:
            m_codePage = 10000;
            return;
        case Word::Pc:
            m_codePage = 437;
            return;
        case Word::Pca:
            m_codePage = 850;
            return;
        case Word::DefaultFont:
            if (hasParam)
                m_defaultFont = param;
            return;
        case Word::UnicodeSkip:
            if (hasParam)
                s.unicodeSkip = std::clamp(param, 0, 10);
            return;
        default:
            break;
    }

    if (s.dest == Dest::FontTable) {
        if (kind == Word::Font && hasParam) {
            m_tableFont = param;
            m_fonts[param] = Font{};
        } else if (kind == Word::FontCharset && m_tableFont >= 0 && hasParam) {
            m_fonts[m_tableFont].codePage = codePageForCharset(param);
        } else if (kind == Word::Unicode && m_tableFont >= 0 && hasParam) {
            Font& font = m_fonts[m_tableFont];
            decodeFontBytes(font);
            const auto ch = static_cast<char16_t>(param < 0 ? param + 65536 : param);
            if (isNameChar(ch) && font.name.size() < kMaxFontName)
                font.name.append(QChar(ch));
            m_unicodeSkipLeft = s.unicodeSkip;
        }
        return;
    }
    if (s.dest == Dest::FieldInst) {
        if (kind == Word::Unicode && hasParam && s.field >= 0) {
            Field& field = m_fields[static_cast<std::size_t>(s.field)];
            decodeInstruction(field);
            if (param >= -32768 && param <= 65535 && isNameChar(static_cast<char16_t>(param)) &&
                field.instruction.size() < kMaxInstruction)
                field.instruction.append(
                    QChar(static_cast<char16_t>(param < 0 ? param + 65536 : param)));
            m_unicodeSkipLeft = s.unicodeSkip;
        }
        return;
    }
    if (s.dest == Dest::ColorTable) {
        const int v = std::clamp(param, 0, 255);
        if (kind == Word::Red)
            m_red = v;
        else if (kind == Word::Green)
            m_green = v;
        else if (kind == Word::Blue)
            m_blue = v;
        return;
    }

    CharProps& ch = s.chars;
    ParaProps& pa = s.para;
    switch (kind) {
        case Word::Bold:
            ch.bold = on;
            return;
        case Word::Italic:
            ch.italic = on;
            return;
        case Word::Underline:
            ch.underline = on;
            return;
        case Word::UnderlineNone:
            ch.underline = false;
            return;
        case Word::Strike:
            ch.strike = on;
            return;
        case Word::Plain: {
            const int field = ch.field;
            ch = CharProps{};
            ch.field = field;
            return;
        }
        case Word::Font:
            if (hasParam)
                ch.font = param;
            return;
        case Word::FontSize:
            if (hasParam && param > 0)
                ch.halfPoints = std::min(param, kMaxHalfPoints);
            return;
        case Word::Color:
            ch.color = hasParam ? std::max(param, 0) : -1;
            return;
        case Word::Background:
            ch.background = hasParam ? std::max(param, 0) : 0;
            return;
        case Word::Super:
            ch.vertical = 1;
            return;
        case Word::Sub:
            ch.vertical = 2;
            return;
        case Word::NoSuperSub:
            ch.vertical = 0;
            return;
        case Word::Pard:
            pa = ParaProps{};
            return;
        case Word::AlignLeft:
            pa.align = 0;
            return;
        case Word::AlignCentre:
            pa.align = 1;
            return;
        case Word::AlignRight:
            pa.align = 2;
            return;
        case Word::AlignJustify:
            pa.align = 3;
            return;
        case Word::LeftIndent:
            pa.left = param;
            return;
        case Word::RightIndent:
            pa.right = param;
            return;
        case Word::FirstIndent:
            pa.first = param;
            return;
        case Word::SpaceBefore:
            pa.before = param;
            return;
        case Word::SpaceAfter:
            pa.after = param;
            return;
        case Word::ListOverride:
            if (pa.list == 0 && hasParam && param > 0)
                pa.list = QTextListFormat::ListDisc;
            return;
        case Word::PnBullet:
            pa.list = QTextListFormat::ListDisc;
            return;
        case Word::PnBody:
            if (pa.list == QTextListFormat::ListDisc || pa.list == 0)
                pa.list = QTextListFormat::ListDecimal;
            return;
        case Word::PnCont:
            pa.list = 0;
            return;
        case Word::PnDecimal:
            pa.list = QTextListFormat::ListDecimal;
            return;
        case Word::PnLowerAlpha:
            pa.list = QTextListFormat::ListLowerAlpha;
            return;
        case Word::PnUpperAlpha:
            pa.list = QTextListFormat::ListUpperAlpha;
            return;
        case Word::PnLowerRoman:
            pa.list = QTextListFormat::ListLowerRoman;
            return;
        case Word::PnUpperRoman:
            pa.list = QTextListFormat::ListUpperRoman;
            return;
        default:
            break;
    }

    if (s.dest != Dest::Text)
        return;
    switch (kind) {
        case Word::Par:
            endParagraph();
            return;
        case Word::Line:
            appendChar(QChar::LineSeparator);
            return;
        case Word::Tab:
        case Word::Cell:
            appendChar(u'\t');
            return;
        case Word::Unicode:
            if (hasParam) {
                if (param >= -32768 && param <= 65535)
                    appendUnicode(param < 0 ? param + 65536 : param);
                m_unicodeSkipLeft = s.unicodeSkip;
            }
            return;
        case Word::Emdash:
            appendChar(0x2014);
            return;
        case Word::Endash:
            appendChar(0x2013);
            return;
        case Word::Bullet:
            appendChar(0x2022);
            return;
        case Word::LQuote:
            appendChar(0x2018);
            return;
        case Word::RQuote:
            appendChar(0x2019);
            return;
        case Word::LDblQuote:
            appendChar(0x201C);
            return;
        case Word::RDblQuote:
            appendChar(0x201D);
            return;
        case Word::EmSpace:
            appendChar(0x2003);
            return;
        case Word::EnSpace:
            appendChar(0x2002);
            return;
        default:
            return;
    }
}

void Reader::textByte(unsigned char c, bool escaped) {
    GroupState& s = state();
    m_starPending = false;
    switch (s.dest) {
        case Dest::Skip:
        case Dest::ListDef:
            return;
        case Dest::FontTable:
            if (m_tableFont < 0)
                return;
            if (m_unicodeSkipLeft > 0) {
                --m_unicodeSkipLeft;
            } else if (c == ';' && !escaped) {
                finishFontName(m_fonts[m_tableFont]);
                m_tableFont = -1;
            } else {
                Font& font = m_fonts[m_tableFont];
                if (font.bytes.size() + font.name.size() < kMaxFontName)
                    font.bytes.append(static_cast<char>(c));
            }
            return;
        case Dest::ColorTable:
            if (c == ';' && !escaped) {
                if (m_red < 0 && m_green < 0 && m_blue < 0)
                    m_colors.emplace_back();
                else
                    m_colors.emplace_back(std::max(m_red, 0), std::max(m_green, 0),
                                          std::max(m_blue, 0));
                m_red = m_green = m_blue = -1;
            }
            return;
        case Dest::FieldInst:
            if (m_unicodeSkipLeft > 0) {
                --m_unicodeSkipLeft;
            } else if (s.field >= 0) {
                Field& field = m_fields[static_cast<std::size_t>(s.field)];
                if (field.bytes.size() + field.instruction.size() < kMaxInstruction)
                    field.bytes.append(static_cast<char>(c));
            }
            return;
        case Dest::Text:
            break;
    }
    if (m_unicodeSkipLeft > 0) {
        --m_unicodeSkipLeft;
        return;
    }
    if (c == '\t') {
        appendChar(u'\t');
        return;
    }
    if (c < 0x20)
        return;
    beginText();
    const int codePage = codePageOf(s.chars);
    if (!m_bytes.isEmpty() && codePage != m_bytesCodePage)
        flushBytes();
    m_bytesCodePage = codePage;
    m_bytes.append(static_cast<char>(c));
}

void Reader::appendUnicode(int value) {
    if (value == QChar::ParagraphSeparator) {
        endParagraph();
        return;
    }
    appendChar(static_cast<char16_t>(value));
}

void Reader::appendChar(char16_t ch) {
    if (isDroppedChar(ch))
        return;
    beginText();
    flushBytes();
    m_run.append(QChar(ch));
}

// Called before text is added: carries out a pending paragraph mark and
// starts a new run when the character properties changed.
void Reader::beginText() {
    if (m_pendingParagraph) {
        flushBytes();
        flushRun();
        m_cursor.insertBlock(QTextBlockFormat(), charFormat(state().chars));
        m_pendingParagraph = false;
        m_paragraphHasText = false;
    }
    if (!(state().chars == m_runProps)) {
        flushBytes();
        flushRun();
        m_runProps = state().chars;
    }
    m_paragraphHasText = true;
}

void Reader::flushBytes() {
    if (m_bytes.isEmpty())
        return;
    const QString decoded = decodeCodePage(m_bytesCodePage, m_bytes);
    m_bytes.clear();
    for (QChar ch : decoded) {
        if (!isDroppedChar(ch.unicode()))
            m_run.append(ch);
    }
}

void Reader::flushRun() {
    if (m_run.isEmpty())
        return;
    m_cursor.insertText(m_run, charFormat(m_runProps));
    m_run.clear();
}

void Reader::endParagraph() {
    if (++m_paragraphs >= kMaxRtfParagraphs) {
        fail(QStringLiteral("The rich text has too many paragraphs; it was read as far as %1.")
                 .arg(kMaxRtfParagraphs));
        m_done = true;
        return;
    }
    if (m_pendingParagraph) {
        // An empty paragraph: carry out the one before it.
        m_pendingParagraph = false;
        flushBytes();
        flushRun();
        m_cursor.insertBlock(QTextBlockFormat(), charFormat(state().chars));
        m_paragraphHasText = false;
    }
    flushBytes();
    flushRun();
    applyParagraph();
    m_pendingParagraph = true;
}

// Ends the document: the last paragraph keeps its properties even without a
// closing \par.
void Reader::finish() {
    if (m_finished || m_stack.empty())
        return;
    m_finished = true;
    flushBytes();
    flushRun();
    if (!m_pendingParagraph)
        applyParagraph();
}

void Reader::applyParagraph() {
    const ParaProps& pa = state().para;
    QTextBlockFormat format;
    static constexpr Qt::Alignment kAlign[] = {Qt::AlignLeft, Qt::AlignHCenter, Qt::AlignRight,
                                               Qt::AlignJustify};
    format.setAlignment(kAlign[pa.align]);
    if (pa.list == 0) {
        if (pa.left != 0)
            format.setLeftMargin(twipsToPixels(pa.left));
        if (pa.first != 0)
            format.setTextIndent(twipsToPixels(pa.first));
    }
    if (pa.right != 0)
        format.setRightMargin(twipsToPixels(pa.right));
    if (pa.before != 0)
        format.setTopMargin(twipsToPixels(pa.before));
    if (pa.after != 0)
        format.setBottomMargin(twipsToPixels(pa.after));
    m_cursor.setBlockFormat(format);
    if (!m_paragraphHasText)
        m_cursor.setBlockCharFormat(charFormat(state().chars));

    const QTextBlock block = m_cursor.block();
    if (pa.list == 0) {
        m_list = nullptr;
        return;
    }
    if (m_list != nullptr && m_listStyle == pa.list && m_listBlock == block.blockNumber() - 1) {
        m_list->add(block);
    } else {
        QTextListFormat listFormat;
        listFormat.setStyle(static_cast<QTextListFormat::Style>(pa.list));
        listFormat.setIndent(1);
        m_list = m_cursor.createList(listFormat);
        m_listStyle = pa.list;
    }
    m_listBlock = block.blockNumber();
}

void Reader::decodeFontBytes(Font& font) const {
    if (font.bytes.isEmpty())
        return;
    const QString text =
        decodeCodePage(font.codePage != 0 ? font.codePage : m_codePage, font.bytes);
    font.bytes.clear();
    for (QChar ch : text) {
        if (isNameChar(ch.unicode()))
            font.name.append(ch);
    }
}

void Reader::decodeInstruction(Field& field) const {
    if (field.bytes.isEmpty())
        return;
    field.instruction += decodeCodePage(m_codePage, field.bytes);
    field.bytes.clear();
}

void Reader::finishFontName(Font& font) const {
    decodeFontBytes(font);
    font.name = font.name.trimmed();
    font.complete = true;
}

int Reader::codePageOf(const CharProps& props) const {
    const auto it = m_fonts.find(props.font >= 0 ? props.font : m_defaultFont);
    if (it != m_fonts.end() && it->second.codePage != 0 && it->second.codePage != 1252)
        return it->second.codePage;
    return m_codePage;
}

QTextCharFormat Reader::charFormat(const CharProps& props) {
    QTextCharFormat format;
    const auto font = m_fonts.find(props.font >= 0 ? props.font : m_defaultFont);
    if (font != m_fonts.end()) {
        Font& f = font->second;
        if (!f.complete)
            finishFontName(f);
        if (!f.name.isEmpty())
            format.setFontFamilies({f.name});
    }
    if (props.halfPoints > 0)
        format.setFontPointSize(props.halfPoints / 2.0);
    if (props.bold)
        format.setFontWeight(QFont::Bold);
    if (props.italic)
        format.setFontItalic(true);
    if (props.underline)
        format.setFontUnderline(true);
    if (props.strike)
        format.setFontStrikeOut(true);
    if (props.vertical == 1)
        format.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (props.vertical == 2)
        format.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    const auto colour = [this](int index) {
        return index >= 0 && static_cast<std::size_t>(index) < m_colors.size()
                   ? m_colors[static_cast<std::size_t>(index)]
                   : QColor();
    };
    if (const QColor fg = colour(props.color); fg.isValid())
        format.setForeground(fg);
    if (const QColor bg = colour(props.background); props.background > 0 && bg.isValid())
        format.setBackground(bg);
    if (props.field >= 0) {
        format.setAnchor(true);
        format.setAnchorHref(m_fields[static_cast<std::size_t>(props.field)].href);
    }
    return format;
}

}  // namespace

bool plainTextOfRtf(const std::string& stored, std::string& plainUtf8) {
    const QByteArray bytes = QByteArray::fromStdString(stored);
    if (!looksLikeRtf(bytes))
        return false;
    QTextDocument document;
    readRtf(bytes, &document);
    plainUtf8 = document.toPlainText().toStdString();
    return true;
}

bool looksLikeRtf(const QByteArray& bytes) {
    qsizetype i = 0;
    while (i < bytes.size() && isSpace(static_cast<unsigned char>(bytes[i])))
        ++i;
    return bytes.mid(i, 5) == "{\\rtf";
}

RtfReadResult readRtf(const QByteArray& bytes, QTextDocument* document) {
    const bool undo = document->isUndoRedoEnabled();
    document->setUndoRedoEnabled(false);
    document->clear();
    RtfReadResult result;
    if (looksLikeRtf(bytes)) {
        Reader reader(bytes, document);
        result = reader.run();
    } else {
        QByteArray text = bytes.left(kMaxRtfInput);
        while (text.endsWith('\0'))
            text.chop(1);
        QString plain = decodeCodePage(1252, text);
        plain.replace(QLatin1String("\r\n"), QLatin1String("\n"));
        plain.replace(QLatin1Char('\r'), QLatin1Char('\n'));
        if (plain.count(QLatin1Char('\n')) >= kMaxRtfParagraphs) {
            qsizetype at = -1;
            for (int i = 0; i < kMaxRtfParagraphs; ++i)
                at = plain.indexOf(QLatin1Char('\n'), at + 1);
            plain.truncate(at);
            result.complete = false;
            result.error = QStringLiteral("The text has too many lines; it was read as far as %1.")
                               .arg(kMaxRtfParagraphs);
        }
        plain.removeIf([](QChar ch) {
            const char16_t u = ch.unicode();
            return (u < 0x20 && u != u'\t' && u != u'\n') || u == 0x7F;
        });
        document->setPlainText(plain);
        if (bytes.size() > kMaxRtfInput) {
            result.complete = false;
            result.error = QStringLiteral("The text is too long; it was read as far as %1 bytes.")
                               .arg(kMaxRtfInput);
        }
    }
    document->setUndoRedoEnabled(undo);
    document->setModified(false);
    return result;
}

}  // namespace richtext
