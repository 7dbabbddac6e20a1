#include "widgets/controls/EditMask.h"

#include <QStringList>

#include <algorithm>

namespace {

// Splits "template;save;blank" at the semicolons that are not escaped.
QStringList splitParts(const QString& mask) {
    QStringList parts;
    QString current;
    for (int i = 0; i < mask.size(); ++i) {
        const QChar c = mask.at(i);
        if (c == QLatin1Char('\\') && i + 1 < mask.size()) {
            current += c;
            current += mask.at(++i);
        } else if (c == QLatin1Char(';')) {
            parts.append(current);
            current.clear();
        } else {
            current += c;
        }
    }
    parts.append(current);
    return parts;
}

}  // namespace

EditMask::EditMask(const QString& mask) {
    const QStringList parts = splitParts(mask);
    const QString pattern = parts.value(0);
    if (parts.size() > 1)
        m_saveLiterals = parts.at(1).trimmed() != QLatin1String("0");
    if (parts.size() > 2 && !parts.at(2).isEmpty())
        m_blank = parts.at(2).at(0);

    Case letterCase = Case::None;
    for (int i = 0; i < pattern.size(); ++i) {
        const QChar c = pattern.at(i);
        Position p;
        p.letterCase = letterCase;
        switch (c.unicode()) {
            case '!':
                m_leadingBlanks = true;
                continue;
            case '>':
                letterCase = Case::Upper;
                continue;
            case '<':
                if (i + 1 < pattern.size() && pattern.at(i + 1) == QLatin1Char('>')) {
                    letterCase = Case::None;
                    ++i;
                } else {
                    letterCase = Case::Lower;
                }
                continue;
            case '\\':
                if (i + 1 >= pattern.size())
                    continue;
                p.literal = pattern.at(++i);
                break;
            case '0':
                p.kind = Kind::Digit;
                p.required = true;
                break;
            case '9':
                p.kind = Kind::Digit;
                break;
            case '#':
                p.kind = Kind::DigitOrSign;
                break;
            case 'L':
                p.kind = Kind::Letter;
                p.required = true;
                break;
            case 'l':
                p.kind = Kind::Letter;
                break;
            case 'A':
                p.kind = Kind::LetterOrDigit;
                p.required = true;
                break;
            case 'a':
                p.kind = Kind::LetterOrDigit;
                break;
            case 'C':
                p.kind = Kind::Any;
                p.required = true;
                break;
            case 'c':
                p.kind = Kind::Any;
                break;
            case '_':
                p.literal = QLatin1Char(' ');
                break;
            default:
                p.literal = c;
                break;
        }
        m_positions.append(p);
    }
}

bool EditMask::accepts(int index, QChar c, QChar* out) const {
    if (index < 0 || index >= length())
        return false;
    const Position& p = m_positions.at(index);
    bool ok = false;
    switch (p.kind) {
        case Kind::Literal:
            ok = false;
            break;
        case Kind::Digit:
            ok = c.isDigit();
            break;
        case Kind::DigitOrSign:
            ok = c.isDigit() || c == QLatin1Char('+') || c == QLatin1Char('-');
            break;
        case Kind::Letter:
            ok = c.isLetter();
            break;
        case Kind::LetterOrDigit:
            ok = c.isLetterOrNumber();
            break;
        case Kind::Any:
            ok = c.isPrint() && c != m_blank;
            break;
    }
    if (ok && c.unicode() > 0xFF)
        ok = false;  // the tables hold one byte per character
    if (ok && out) {
        *out = p.letterCase == Case::Upper   ? c.toUpper()
               : p.letterCase == Case::Lower ? c.toLower()
                                             : c;
        if (out->unicode() > 0xFF)
            *out = c;
    }
    return ok;
}

QString EditMask::emptyEditText() const {
    QString text;
    text.reserve(length());
    for (const Position& p : m_positions)
        text += p.kind == Kind::Literal ? p.literal : m_blank;
    return text;
}

QString EditMask::editTextFromValue(const QString& value) const {
    QString text = emptyEditText();
    int from = 0;
    for (int i = 0; i < length() && from < value.size(); ++i) {
        if (isLiteral(i)) {
            if (m_saveLiterals)
                ++from;  // the stored literal stands in its own place
            continue;
        }
        const QChar c = value.at(from++);
        text[i] = c == QLatin1Char(' ') ? m_blank : c;
    }
    return text;
}

bool EditMask::isUnfilled(const QString& editText) const {
    for (int i = 0; i < length(); ++i) {
        if (!isLiteral(i) && i < editText.size() && editText.at(i) != m_blank)
            return false;
    }
    return true;
}

QString EditMask::valueFromEditText(const QString& editText, bool* complete) const {
    if (complete)
        *complete = true;
    if (isUnfilled(editText))
        return QString();
    QString value;
    int i = 0;
    while (i < length()) {
        if (isLiteral(i)) {
            if (m_saveLiterals)
                value += m_positions.at(i).literal;
            ++i;
            continue;
        }
        // one group of editable positions
        QString filled;
        int size = 0;
        for (; i < length() && !isLiteral(i); ++i, ++size) {
            const QChar c = i < editText.size() ? editText.at(i) : m_blank;
            if (c == m_blank) {
                if (m_positions.at(i).required && complete)
                    *complete = false;
                if (!m_leadingBlanks)
                    filled += QLatin1Char(' ');
            } else {
                filled += c;
            }
        }
        if (m_leadingBlanks)
            filled = QString(size - filled.size(), QLatin1Char(' ')) + filled;
        value += filled;
    }
    int end = value.size();
    while (end > 0 && value.at(end - 1) == QLatin1Char(' '))
        --end;
    value.truncate(end);
    return value;
}

int EditMask::nextEditable(int index) const {
    int i = std::max(index, 0);
    while (i < length() && isLiteral(i))
        ++i;
    return i;
}

int EditMask::previousEditable(int index) const {
    int i = std::min(index, length()) - 1;
    while (i >= 0 && isLiteral(i))
        --i;
    return i;
}

bool EditMask::type(QString& editText, int* cursor, QChar c) const {
    int at = std::clamp(*cursor, 0, length());
    // a literal typed where the mask has it: step over it
    for (int i = at; i < length() && isLiteral(i); ++i) {
        if (m_positions.at(i).literal == c) {
            *cursor = i + 1;
            return true;
        }
    }
    const int target = nextEditable(at);
    if (target >= length())
        return false;
    QChar out;
    if (accepts(target, c, &out)) {
        editText[target] = out;
        *cursor = target + 1;
        return true;
    }
    // the literal that ends this group, typed early: leave the rest of the
    // group unfilled and go on after it
    for (int i = target; i < length(); ++i) {
        if (isLiteral(i)) {
            if (m_positions.at(i).literal != c)
                return false;
            *cursor = i + 1;
            return true;
        }
    }
    return false;
}

void EditMask::clearRange(QString& editText, int from, int to) const {
    for (int i = std::max(from, 0); i < std::min(to, length()); ++i) {
        if (!isLiteral(i))
            editText[i] = m_blank;
    }
}
