#pragma once

#include <string>

#include <QByteArray>
#include <QString>

class QTextDocument;

// RTF between the memo fields and Qt's text document.
//
// The reader takes what Windows rich-edit controls and word processors write:
// fonts, sizes, bold, italic, underline, strike-out, colours, super- and
// subscript, paragraph alignment, indents and spacing, simple bullet and
// number lists, and hyperlink fields. Whatever else it meets (style sheets,
// document info, pictures, objects, \*\ destinations) it skips without losing
// the text around it. Malformed input is read as far as it goes: group depth
// is bounded, every byte is looked at a bounded number of times, and reading
// stops at the end of the input or of the outermost group.
//
// The writer produces \rtf1\ansi with a font table and a colour table,
// characters outside ASCII as \'hh in code page 1252 and \uN? for the rest,
// and \pn bullets and numbers that both rich-edit controls and word
// processors show.
namespace richtext {

// How a read went. `complete` is false when the input ended before its
// outermost group closed, was longer than kMaxRtfInput, or broke the RTF
// syntax somewhere; `error` then says what was met first. The document
// holds what could be read either way.
struct RtfReadResult {
    bool isRtf = false;
    bool complete = true;
    QString error;
};

// Memos longer than this are read up to this many bytes.
inline constexpr qsizetype kMaxRtfInput = 16 * 1024 * 1024;

// Memos with more paragraphs than this are read up to this paragraph.
inline constexpr int kMaxRtfParagraphs = 100000;

// Groups nested deeper than this share the state of the deepest one; their
// braces are still counted so that the text after them keeps its place.
inline constexpr int kMaxRtfDepth = 200;

// True when the bytes start, after white space, with "{\rtf".
bool looksLikeRtf(const QByteArray& bytes);

// Replaces the document's content with the memo. A memo that is not RTF is
// shown as plain text (code page 1252, trailing zero bytes dropped).
RtfReadResult readRtf(const QByteArray& bytes, QTextDocument* document);

// The plain text (UTF-8) of a stored memo that is RTF; false, leaving
// plainUtf8 alone, when the memo is not RTF. Needs a QGuiApplication.
bool plainTextOfRtf(const std::string& stored, std::string& plainUtf8);

// The document as RTF, ending with "}" and CR LF.
QByteArray writeRtf(const QTextDocument* document);

}  // namespace richtext
