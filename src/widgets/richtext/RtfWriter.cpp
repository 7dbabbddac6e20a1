#include "widgets/richtext/Rtf.h"

#include "widgets/richtext/CodePage.h"

#include <QColor>
#include <QHash>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>

#include <cmath>
#include <optional>
#include <utility>

// Writing a QTextDocument as RTF.
//
//   {\rtf1\ansi\ansicpg1252\deff0\deftab720
//   {\fonttbl{\f0\fnil\fcharset0 Family;}...{\fN\fnil\fcharset2 Symbol;}}
//   {\colortbl ;\red..\green..\blue..;...}
//   \uc1\pard<paragraph>\par ... }
//
// Every paragraph starts with \pard and its own properties; character
// properties are written where they change. Font 0 is the document's
// default font and colour 0 the automatic colour. List items carry a \pn
// description and a \pntext with the bullet or number, which rich-edit
// controls and word processors both show. Links the document has as anchors
// become HYPERLINK fields.

namespace richtext {

namespace {

constexpr int kTwipsPerPixel = 15;  // 96 pixels per inch
constexpr int kListIndent = 360;    // twips per list level

struct Chars {
    int font = 0;
    int halfPoints = 20;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    int vertical = 0;
    int color = 0;
    int background = 0;
    bool operator==(const Chars&) const = default;
};

// The label of a list item as the list style shows it, without its dot.
QByteArray itemLabel(QTextListFormat::Style style, int number) {
    switch (style) {
        case QTextListFormat::ListLowerAlpha:
        case QTextListFormat::ListUpperAlpha: {
            QByteArray label;
            for (int n = number; n > 0; n = (n - 1) / 26)
                label.prepend(static_cast<char>('a' + (n - 1) % 26));
            return style == QTextListFormat::ListUpperAlpha ? label.toUpper() : label;
        }
        case QTextListFormat::ListLowerRoman:
        case QTextListFormat::ListUpperRoman: {
            static const std::pair<int, const char*> kRoman[] = {
                {1000, "m"}, {900, "cm"}, {500, "d"}, {400, "cd"}, {100, "c"},
                {90, "xc"},  {50, "l"},   {40, "xl"}, {10, "x"},   {9, "ix"},
                {5, "v"},    {4, "iv"},   {1, "i"}};
            if (number >= 4000)
                return QByteArray::number(number);
            QByteArray label;
            int n = number;
            for (const auto& [value, letters] : kRoman) {
                for (; n >= value; n -= value)
                    label += letters;
            }
            return style == QTextListFormat::ListUpperRoman ? label.toUpper() : label;
        }
        default:
            return QByteArray::number(number);
    }
}

int twips(qreal pixels) {
    return static_cast<int>(std::lround(pixels * kTwipsPerPixel));
}

class Writer {
public:
    explicit Writer(const QTextDocument* document) : m_document(document) {}

    QByteArray run();

private:
    void writeBlock(const QTextBlock& block);
    void writeListPrefix(const QTextList* list);
    void writeChars(const Chars& chars);
    void writeText(const QString& text);
    void openLink(const QString& href);
    void closeLink();
    Chars charsOf(const QTextCharFormat& format);
    int fontIndex(const QString& family);
    int colorIndex(const QColor& color);
    static QByteArray escaped(const QString& text, bool inDestination = false);

    const QTextDocument* m_document;
    QByteArray m_body;
    QStringList m_fonts;
    QHash<QString, int> m_fontIndex;
    QList<QRgb> m_colors;  // \cfN is m_colors[N - 1]; 0 is automatic
    QHash<QRgb, int> m_colorIndex;
    QHash<const QTextList*, int> m_listCounts;
    int m_symbolFont = -1;
    Chars m_chars;
    bool m_charsKnown = false;
    std::optional<QString> m_link;
    Chars m_charsBeforeLink;
    bool m_knownBeforeLink = false;
};

QByteArray Writer::run() {
    fontIndex(m_document->defaultFont().family());
    for (QTextBlock block = m_document->begin(); block.isValid(); block = block.next())
        writeBlock(block);

    QByteArray out = "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deftab720{\\fonttbl";
    for (int i = 0; i < m_fonts.size(); ++i) {
        out += "{\\f" + QByteArray::number(i) + "\\fnil\\fcharset" +
               (i == m_symbolFont ? "2 " : "0 ") + escaped(m_fonts[i], true) + ";}";
    }
    out += "}\r\n{\\colortbl ;";
    for (QRgb rgb : m_colors) {
        out += "\\red" + QByteArray::number(qRed(rgb)) + "\\green" +
               QByteArray::number(qGreen(rgb)) + "\\blue" + QByteArray::number(qBlue(rgb)) + ";";
    }
    out += "}\r\n\\uc1";
    out += m_body;
    out += "}\r\n";
    return out;
}

void Writer::writeBlock(const QTextBlock& block) {
    const QTextBlockFormat format = block.blockFormat();
    m_body += "\\pard";
    const QTextList* list = block.textList();
    if (list != nullptr) {
        writeListPrefix(list);
    } else {
        const int left = twips(format.leftMargin() + format.indent() * m_document->indentWidth());
        if (left != 0)
            m_body += "\\li" + QByteArray::number(left);
        if (const int first = twips(format.textIndent()); first != 0)
            m_body += "\\fi" + QByteArray::number(first);
    }
    if (const int right = twips(format.rightMargin()); right != 0)
        m_body += "\\ri" + QByteArray::number(right);
    if (const int before = twips(format.topMargin()); before != 0)
        m_body += "\\sb" + QByteArray::number(before);
    if (const int after = twips(format.bottomMargin()); after != 0)
        m_body += "\\sa" + QByteArray::number(after);
    const Qt::Alignment align = format.alignment() & Qt::AlignHorizontal_Mask;
    if (align & Qt::AlignJustify)
        m_body += "\\qj";
    else if (align & Qt::AlignHCenter)
        m_body += "\\qc";
    else if (align & (Qt::AlignRight | Qt::AlignTrailing))
        m_body += "\\qr";
    m_body += ' ';

    bool wroteText = false;
    for (auto it = block.begin(); !it.atEnd(); ++it) {
        const QTextFragment fragment = it.fragment();
        if (!fragment.isValid())
            continue;
        const QTextCharFormat cf = fragment.charFormat();
        const QString href = cf.isAnchor() ? cf.anchorHref() : QString();
        if (m_link && *m_link != href)
            closeLink();
        if (!href.isEmpty() && !m_link)
            openLink(href);
        writeChars(charsOf(cf));
        writeText(fragment.text());
        wroteText = true;
    }
    if (m_link)
        closeLink();
    if (!wroteText)
        writeChars(charsOf(block.charFormat()));
    m_body += "\\par\r\n";
}

void Writer::writeListPrefix(const QTextList* list) {
    const QTextListFormat format = list->format();
    const int level = std::max(format.indent(), 1);
    QByteArray kind;
    switch (format.style()) {
        case QTextListFormat::ListDecimal:
            kind = "\\pnlvlbody\\pndec";
            break;
        case QTextListFormat::ListLowerAlpha:
            kind = "\\pnlvlbody\\pnlcltr";
            break;
        case QTextListFormat::ListUpperAlpha:
            kind = "\\pnlvlbody\\pnucltr";
            break;
        case QTextListFormat::ListLowerRoman:
            kind = "\\pnlvlbody\\pnlcrm";
            break;
        case QTextListFormat::ListUpperRoman:
            kind = "\\pnlvlbody\\pnucrm";
            break;
        default:
            break;
    }
    if (kind.isEmpty()) {
        if (m_symbolFont < 0) {
            m_fonts.append(QStringLiteral("Symbol"));
            m_symbolFont = static_cast<int>(m_fonts.size()) - 1;
        }
        const QByteArray symbol = QByteArray::number(m_symbolFont);
        m_body += "{\\pntext\\f" + symbol + "\\'b7\\tab}{\\*\\pn\\pnlvlblt\\pnf" + symbol +
                  "\\pnindent0{\\pntxtb\\'b7}}";
    } else {
        // Counted here: asking the list for an item's number is linear in
        // the length of the list.
        const int number = ++m_listCounts[list];
        m_body += "{\\pntext\\f0 " + itemLabel(format.style(), number) + ".\\tab}{\\*\\pn" + kind +
                  "\\pnf0\\pnindent0\\pnstart1{\\pntxta.}}";
    }
    m_body += "\\fi-" + QByteArray::number(kListIndent) + "\\li" +
              QByteArray::number(kListIndent * level);
}

void Writer::writeChars(const Chars& c) {
    const Chars& o = m_chars;
    const bool all = !m_charsKnown;
    QByteArray w;
    if (all || c.font != o.font)
        w += "\\f" + QByteArray::number(c.font);
    if (all || c.halfPoints != o.halfPoints)
        w += "\\fs" + QByteArray::number(c.halfPoints);
    if (all || c.bold != o.bold)
        w += c.bold ? "\\b" : "\\b0";
    if (all || c.italic != o.italic)
        w += c.italic ? "\\i" : "\\i0";
    if (all || c.underline != o.underline)
        w += c.underline ? "\\ul" : "\\ulnone";
    if (all || c.strike != o.strike)
        w += c.strike ? "\\strike" : "\\strike0";
    if (all || c.vertical != o.vertical)
        w += c.vertical == 1 ? "\\super" : c.vertical == 2 ? "\\sub" : "\\nosupersub";
    if (all || c.color != o.color)
        w += "\\cf" + QByteArray::number(c.color);
    if (all || c.background != o.background)
        w += "\\highlight" + QByteArray::number(c.background);
    if (!w.isEmpty()) {
        m_body += w;
        m_body += ' ';
    }
    m_chars = c;
    m_charsKnown = true;
}

void Writer::writeText(const QString& text) {
    m_body += escaped(text);
}

void Writer::openLink(const QString& href) {
    QString target = href;
    target.replace(QLatin1Char('"'), QLatin1String("%22"));
    m_body += "{\\field{\\*\\fldinst{HYPERLINK \"" + escaped(target, true) + "\"}}{\\fldrslt{";
    m_link = href;
    m_charsBeforeLink = m_chars;
    m_knownBeforeLink = m_charsKnown;
}

void Writer::closeLink() {
    m_body += "}}}";
    m_link.reset();
    m_chars = m_charsBeforeLink;
    m_charsKnown = m_knownBeforeLink;
}

Chars Writer::charsOf(const QTextCharFormat& format) {
    const QFont defaultFont = m_document->defaultFont();
    Chars c;
    QString family;
    const QStringList families = format.fontFamilies().toStringList();
    if (!families.isEmpty())
        family = families.first();
    if (family.isEmpty())
        family = defaultFont.family();
    c.font = fontIndex(family);
    qreal points = 0;
    if (format.hasProperty(QTextFormat::FontPointSize))
        points = format.fontPointSize();
    else if (format.hasProperty(QTextFormat::FontPixelSize))
        points = format.intProperty(QTextFormat::FontPixelSize) * 0.75;
    if (points <= 0)
        points = defaultFont.pointSizeF() > 0 ? defaultFont.pointSizeF()
                                              : defaultFont.pixelSize() * 0.75;
    if (points <= 0)
        points = 10;
    c.halfPoints = std::clamp(static_cast<int>(std::lround(points * 2)), 2, 3276);
    c.bold = format.hasProperty(QTextFormat::FontWeight) ? format.fontWeight() > QFont::Medium
                                                         : defaultFont.bold();
    c.italic =
        format.hasProperty(QTextFormat::FontItalic) ? format.fontItalic() : defaultFont.italic();
    c.underline = format.fontUnderline();
    c.strike = format.fontStrikeOut();
    if (format.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        c.vertical = 1;
    else if (format.verticalAlignment() == QTextCharFormat::AlignSubScript)
        c.vertical = 2;
    if (format.hasProperty(QTextFormat::ForegroundBrush) &&
        format.foreground().style() != Qt::NoBrush)
        c.color = colorIndex(format.foreground().color());
    if (format.hasProperty(QTextFormat::BackgroundBrush) &&
        format.background().style() != Qt::NoBrush)
        c.background = colorIndex(format.background().color());
    return c;
}

int Writer::fontIndex(const QString& family) {
    const auto it = m_fontIndex.constFind(family);
    if (it != m_fontIndex.cend())
        return *it;
    m_fonts.append(family);
    const int index = static_cast<int>(m_fonts.size()) - 1;
    m_fontIndex.insert(family, index);
    return index;
}

int Writer::colorIndex(const QColor& color) {
    const QRgb rgb = color.rgb() | 0xFF000000u;
    const auto it = m_colorIndex.constFind(rgb);
    if (it != m_colorIndex.cend())
        return *it;
    m_colors.append(rgb);
    const int index = static_cast<int>(m_colors.size());
    m_colorIndex.insert(rgb, index);
    return index;
}

// Text with RTF's special characters escaped. A font name or a field
// instruction is only text: characters that the body writes as control
// words are written by their code there, and ";" (which ends a font name)
// as \'3b.
QByteArray Writer::escaped(const QString& text, bool inDestination) {
    static const char kHex[] = "0123456789abcdef";
    QByteArray out;
    out.reserve(text.size());
    for (QChar qc : text) {
        const char16_t ch = qc.unicode();
        if (inDestination && ch == u';') {
            out += "\\'3b";
            continue;
        }
        if (inDestination && (ch == u'\t' || ch == 0x2028))
            continue;
        if (ch == u'\\' || ch == u'{' || ch == u'}') {
            out += '\\';
            out += static_cast<char>(ch);
            continue;
        }
        if (!inDestination) {
            const char* word = nullptr;
            switch (ch) {
                case u'\t':
                    word = "\\tab ";
                    break;
                case 0x2028:
                    word = "\\line ";
                    break;
                case 0x00A0:
                    word = "\\~";
                    break;
                case 0x00AD:
                    word = "\\-";
                    break;
                case 0x2011:
                    word = "\\_";
                    break;
                default:
                    break;
            }
            if (word != nullptr) {
                out += word;
                continue;
            }
        }
        if (isDroppedChar(ch))
            continue;
        if (ch < 0x80) {
            out += static_cast<char>(ch);
            continue;
        }
        const int byte = encodeCp1252(ch);
        if (byte >= 0x80 && !(byte >= 0x80 && byte < 0xA0 && byte == ch)) {
            out += "\\'";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else {
            out += "\\u" + QByteArray::number(static_cast<int>(static_cast<qint16>(ch))) + "?";
        }
    }
    return out;
}

}  // namespace

QByteArray writeRtf(const QTextDocument* document) {
    return Writer(document).run();
}

}  // namespace richtext
