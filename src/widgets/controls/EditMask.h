#pragma once

#include <QChar>
#include <QString>
#include <QVector>

// An edit mask of the form "template;save literals;blank", as the field
// lists declare them ("!\00009 0000099;1;_" for phone numbers, ">AAAa
// aaaa;1;_" for post codes).
//
// Template characters: 0 digit (required), 9 digit (optional), # digit or
// sign (optional), L letter, l optional letter, A letter or digit, a
// optional letter or digit, C any character, c optional any character,
// > upper case from here on, < lower case, <> no conversion, ! blanks of
// unfilled optional positions go to the front of their group when stored,
// \x the character x as a literal, _ a literal blank; anything else is a
// literal. The second part "0" stores the value without the literals (any
// other text, or none, keeps them); the third part is the character shown in
// unfilled positions ("_" when absent).
//
// The edit text is the text a masked edit box shows: exactly length()
// characters, the literals in their places and the blank character in every
// unfilled position. The functions below turn a stored value into edit text
// and back, and apply keys typed into it.
class EditMask {
public:
    enum class Kind { Literal, Digit, DigitOrSign, Letter, LetterOrDigit, Any };
    enum class Case { None, Upper, Lower };
    struct Position {
        Kind kind = Kind::Literal;
        bool required = false;
        Case letterCase = Case::None;
        QChar literal;
    };

    EditMask() = default;
    explicit EditMask(const QString& mask);

    bool isEmpty() const { return m_positions.isEmpty(); }
    int length() const { return static_cast<int>(m_positions.size()); }
    const Position& position(int index) const { return m_positions.at(index); }
    bool isLiteral(int index) const { return m_positions.at(index).kind == Kind::Literal; }
    bool saveLiterals() const { return m_saveLiterals; }
    bool leadingBlanks() const { return m_leadingBlanks; }
    QChar blank() const { return m_blank; }

    // Whether c may stand in the editable position; *out receives it after
    // the case conversion of the position.
    bool accepts(int index, QChar c, QChar* out = nullptr) const;

    // The edit text with every position unfilled.
    QString emptyEditText() const;
    // The edit text showing a stored value.
    QString editTextFromValue(const QString& value) const;
    // The value to store for an edit text: literals kept when the mask says
    // so, unfilled positions as blanks (moved to the front of their group
    // with "!"), trailing blanks removed. An edit text with no character
    // filled in gives "". *complete is false when a required position is
    // unfilled (and the text is not entirely unfilled).
    QString valueFromEditText(const QString& editText, bool* complete = nullptr) const;
    // True when no editable position is filled.
    bool isUnfilled(const QString& editText) const;

    // ---- Editing an edit text
    // The first editable position at or after index (length() when none),
    // and the last one before index (-1 when none).
    int nextEditable(int index) const;
    int previousEditable(int index) const;
    // Types one character at *cursor: it fills the next editable position
    // when it fits there; a character equal to a literal ahead moves past
    // that literal. Returns false (nothing changed) when it fits nowhere.
    bool type(QString& editText, int* cursor, QChar c) const;
    // Unfills the editable positions in [from, to).
    void clearRange(QString& editText, int from, int to) const;

private:
    QVector<Position> m_positions;
    bool m_saveLiterals = true;
    bool m_leadingBlanks = false;
    QChar m_blank = QLatin1Char('_');
};
