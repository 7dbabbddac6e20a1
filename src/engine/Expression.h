#pragma once

// A compiled xBase expression: filters (xb_Query), xb_EvalString and index
// keys. Compiled once against a table's field list; evaluated per record
// without allocating (each node owns a scratch buffer sized at compile time).
//
// Grammar (case-insensitive keywords and names):
//   expr    := and { .OR. and }
//   and     := not { .AND. not }
//   not     := (.NOT. | !) not | compare
//   compare := sum [ (= | == | <> | # | != | < | > | <= | >= | $) sum ]
//   sum     := product { (+ | -) product }
//   product := unary { (* | / | %) unary }
//   unary   := - unary | primary
//   primary := number | "text" | 'text' | [text] | {date} | .T. | .F.
//            | ( expr ) | name ( args ) | field | alias->field
// Functions: UPPER LOWER TRIM RTRIM LTRIM ALLTRIM SUBSTR LEFT RIGHT STR VAL
// DTOS DTOC CTOD DELETED RECNO EMPTY (names may be shortened to 4 letters).
//
// Text "=" with exact comparison off compares only as many characters as the
// right operand has (the empty text equals everything); with it on, trailing
// blanks are ignored. "==" compares exactly. Comparison is case-sensitive,
// byte by byte.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/Field.h"
#include "engine/Settings.h"

namespace qly::engine {

enum class ValueType : uint8_t { Character, Numeric, Date, Logical };

struct Value {
    ValueType type = ValueType::Logical;
    const char* str = nullptr;  // Character: points into the record or a node buffer
    uint32_t len = 0;
    double num = 0;    // Numeric; Date: Julian day (0 = empty date)
    bool log = false;  // Logical
};

// The record an expression is evaluated on: its image and number.
struct RecordView {
    const char* data = nullptr;
    uint32_t recno = 0;
};

class Expression {
public:
    Expression();
    ~Expression();
    Expression(Expression&&) noexcept;
    Expression& operator=(Expression&&) noexcept;
    Expression(const Expression&) = delete;
    Expression& operator=(const Expression&) = delete;

    // settings must outlive the expression (exact comparison, date format and
    // epoch are read at evaluation time).
    bool compile(const std::string& text, const std::vector<Field>& fields,
                 const Settings* settings, std::string& error);
    bool isValid() const { return m_root >= 0; }
    const std::string& text() const { return m_text; }

    ValueType type() const;
    // Character: the fixed result width (keys are padded to it).
    int width() const;

    void evaluate(const RecordView& record, Value& out) const;
    // Logical result; false for any other type.
    bool evalBool(const RecordView& record) const;
    // Key bytes: character results padded with blanks to width(); numeric and
    // date results as the value's text form is of no use for ordering, so
    // they give the 8 bytes of the double (host order) for the index layer
    // to encode; logical "T" or "F".
    void evalKey(const RecordView& record, std::string& out) const;
    // The value as text: characters as they are, numbers plainly, dates in
    // the current date format, logicals ".T." / ".F.".
    std::string toText(const Value& value) const;

    struct Node;

private:
    void eval(int index, const RecordView& record, Value& out) const;

    std::string m_text;
    const Settings* m_settings = nullptr;
    std::vector<Node> m_nodes;
    int m_root = -1;
};

}  // namespace qly::engine
