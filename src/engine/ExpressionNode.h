#pragma once

// The compiled form of an Expression, shared by its parser
// (ExpressionParser.cpp) and its evaluator (Expression.cpp): a flat list of
// nodes, each naming its operands by index.

#include <cstdint>
#include <string>
#include <vector>

#include "engine/Expression.h"

namespace qly::engine {

namespace expr {

enum class Op : uint8_t {
    Field,
    Const,
    Not,
    And,
    Or,
    Compare,
    Concat,
    Add,
    Sub,
    Mul,
    Div,
    Mod,
    Neg,
    Upper,
    Lower,
    RTrim,
    LTrim,
    AllTrim,
    Substr,
    Left,
    Right,
    Str,
    Val,
    Dtos,
    Dtoc,
    Ctod,
    Deleted,
    Recno,
    Empty
};

enum class Cmp : uint8_t { Eq, ExactEq, Ne, Lt, Gt, Le, Ge, Contains };

}  // namespace expr

struct Expression::Node {
    expr::Op op = expr::Op::Const;
    ValueType type = ValueType::Logical;
    int a = -1, b = -1, c = -1;
    expr::Cmp cmp = expr::Cmp::Eq;
    char fieldType = 'C';
    int fieldOffset = 0;
    int fieldWidth = 0;
    int width = 0;  // character result width (maximum)
    double num = 0;
    bool log = false;
    std::string constText;
    mutable std::vector<char> buf;
};

}  // namespace qly::engine
