#pragma once

#include <QByteArray>
#include <QString>

namespace richtext {

// Windows code pages as RTF names them (\ansicpgN, \fcharsetN). Code page
// 1252 is handled here directly; the others go through Qt's converters and
// fall back to 1252 where Qt does not know the page.

// The code page a font's \fcharsetN stands for, or 0 when the charset does
// not name one (the document's own code page applies then).
int codePageForCharset(int charset);

// Decodes bytes written in the given code page.
QString decodeCodePage(int codePage, const QByteArray& bytes);

// Characters that are not text of a memo: control characters (but the
// tab), and those QTextDocument takes for block, frame or object marks.
// Reader and writer both leave them out.
inline bool isDroppedChar(char16_t ch) {
    return (ch < 0x20 && ch != u'\t') || ch == 0x7F || ch == 0x2029 || ch == 0xFDD0 ||
           ch == 0xFDD1 || ch == 0xFFFC || ch >= 0xFFFE;
}

// The byte that stands for the character in code page 1252, or -1 when the
// page has no such character.
int encodeCp1252(char16_t ch);

}  // namespace richtext
