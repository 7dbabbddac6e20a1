// Expression::compile: the text to the node list of ExpressionNode.h, the
// types and widths checked as it is parsed.

#include "engine/Expression.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine/Dates.h"
#include "engine/ExpressionNode.h"

namespace qly::engine {

namespace {

using expr::Cmp;
using expr::Op;

struct Token {
    enum Kind {
        End,
        Name,
        Number,
        Text,
        Date,
        True,
        False,
        And,
        Or,
        Not,
        Symbol,
        LParen,
        RParen,
        Comma
    } kind = End;
    std::string text;
    double number = 0;
    size_t pos = 0;
};

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

struct FunctionInfo {
    const char* name;
    Op op;
    int minArgs;
    int maxArgs;
};

const FunctionInfo kFunctions[] = {
    {"UPPER", Op::Upper, 1, 1},   {"LOWER", Op::Lower, 1, 1}, {"TRIM", Op::RTrim, 1, 1},
    {"RTRIM", Op::RTrim, 1, 1},   {"LTRIM", Op::LTrim, 1, 1}, {"ALLTRIM", Op::AllTrim, 1, 1},
    {"SUBSTR", Op::Substr, 2, 3}, {"LEFT", Op::Left, 2, 2},   {"RIGHT", Op::Right, 2, 2},
    {"STR", Op::Str, 1, 3},       {"VAL", Op::Val, 1, 1},     {"DTOS", Op::Dtos, 1, 1},
    {"DTOC", Op::Dtoc, 1, 1},     {"CTOD", Op::Ctod, 1, 1},   {"DELETED", Op::Deleted, 0, 0},
    {"RECNO", Op::Recno, 0, 0},   {"EMPTY", Op::Empty, 1, 1},
};

const FunctionInfo* findFunction(const std::string& name) {
    for (const auto& f : kFunctions) {
        if (name == f.name)
            return &f;
    }
    // xBase lets a function name be shortened to its first four letters.
    if (name.size() >= 4) {
        for (const auto& f : kFunctions) {
            std::string_view full(f.name);
            if (full.size() > name.size() && full.substr(0, name.size()) == name)
                return &f;
        }
    }
    return nullptr;
}

class Parser {
public:
    Parser(const std::string& text, const std::vector<Field>& fields, const Settings* settings,
           std::vector<Expression::Node>& nodes)
        : m_text(text), m_fields(fields), m_settings(settings), m_nodes(nodes) {}

    int parse(std::string& error) {
        if (!tokenize()) {
            error = m_error;
            return -1;
        }
        if (m_tokens.size() == 1) {
            error = "Expression is empty";
            return -1;
        }
        int root = parseOr();
        if (root >= 0 && peek().kind != Token::End) {
            fail("Syntax error at \"" + m_text.substr(peek().pos) + "\"");
            root = -1;
        }
        if (root < 0)
            error = m_error;
        return root;
    }

private:
    bool fail(const std::string& message) {
        if (m_error.empty())
            m_error = message;
        return false;
    }

    bool tokenize() {
        size_t i = 0;
        const std::string& s = m_text;
        while (i < s.size()) {
            char ch = s[i];
            if (std::isspace(static_cast<unsigned char>(ch))) {
                ++i;
                continue;
            }
            Token t;
            t.pos = i;
            if (std::isalpha(static_cast<unsigned char>(ch)) || ch == '_') {
                size_t j = i;
                while (j < s.size() &&
                       (std::isalnum(static_cast<unsigned char>(s[j])) || s[j] == '_'))
                    ++j;
                t.kind = Token::Name;
                t.text = upper(std::string_view(s).substr(i, j - i));
                i = j;
            } else if (std::isdigit(static_cast<unsigned char>(ch)) ||
                       (ch == '.' && i + 1 < s.size() &&
                        std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
                size_t j = i;
                while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                    ++j;
                if (j < s.size() && s[j] == '.' &&
                    !(j + 1 < s.size() && std::isalpha(static_cast<unsigned char>(s[j + 1])))) {
                    ++j;
                    while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j])))
                        ++j;
                }
                t.kind = Token::Number;
                t.text = s.substr(i, j - i);
                t.number = std::strtod(t.text.c_str(), nullptr);
                i = j;
            } else if (ch == '"' || ch == '\'' || ch == '[') {
                char close = ch == '[' ? ']' : ch;
                size_t j = s.find(close, i + 1);
                if (j == std::string::npos)
                    return fail("Unterminated text in expression at \"" + s.substr(i) + "\"");
                t.kind = Token::Text;
                t.text = s.substr(i + 1, j - i - 1);
                i = j + 1;
            } else if (ch == '{') {
                size_t j = s.find('}', i + 1);
                if (j == std::string::npos)
                    return fail("Unterminated date in expression");
                t.kind = Token::Date;
                t.text = s.substr(i + 1, j - i - 1);
                i = j + 1;
            } else if (ch == '.') {
                size_t j = s.find('.', i + 1);
                std::string word = j == std::string::npos
                                       ? std::string()
                                       : upper(std::string_view(s).substr(i + 1, j - i - 1));
                if (word == "AND")
                    t.kind = Token::And;
                else if (word == "OR")
                    t.kind = Token::Or;
                else if (word == "NOT")
                    t.kind = Token::Not;
                else if (word == "T" || word == "Y")
                    t.kind = Token::True;
                else if (word == "F" || word == "N")
                    t.kind = Token::False;
                else
                    return fail("Syntax error at \"" + s.substr(i) + "\"");
                i = j + 1;
            } else if (ch == '(') {
                t.kind = Token::LParen;
                ++i;
            } else if (ch == ')') {
                t.kind = Token::RParen;
                ++i;
            } else if (ch == ',') {
                t.kind = Token::Comma;
                ++i;
            } else {
                static const char* kSymbols[] = {"==", "<>", "!=", "<=", ">=", "->", "=", "#", "<",
                                                 ">",  "$",  "+",  "-",  "*",  "/",  "%", "!"};
                bool found = false;
                for (const char* sym : kSymbols) {
                    size_t n = std::strlen(sym);
                    if (s.compare(i, n, sym) == 0) {
                        t.kind = Token::Symbol;
                        t.text = sym;
                        i += n;
                        found = true;
                        break;
                    }
                }
                if (!found)
                    return fail(std::string("Unexpected character '") + ch + "' in expression");
            }
            m_tokens.push_back(std::move(t));
        }
        Token end;
        end.pos = s.size();
        m_tokens.push_back(end);
        return true;
    }

    const Token& peek() const { return m_tokens[m_pos]; }
    const Token& next() { return m_tokens[m_pos < m_tokens.size() - 1 ? m_pos++ : m_pos]; }
    bool isSymbol(const char* sym) const {
        return peek().kind == Token::Symbol && peek().text == sym;
    }

    int add(Expression::Node n) {
        m_nodes.push_back(std::move(n));
        return static_cast<int>(m_nodes.size()) - 1;
    }
    ValueType typeOf(int i) const { return m_nodes[static_cast<size_t>(i)].type; }
    int widthOf(int i) const { return m_nodes[static_cast<size_t>(i)].width; }

    int mismatch() {
        fail("Operator/operand type mismatch");
        return -1;
    }

    // Nesting deeper than this is refused instead of exhausting the stack.
    static constexpr int kMaxDepth = 256;

    struct DepthGuard {
        explicit DepthGuard(int& d) : depth(d) { ++depth; }
        ~DepthGuard() { --depth; }
        int& depth;
    };

    int parseOr() {
        DepthGuard guard(m_depth);
        if (m_depth > kMaxDepth) {
            fail("Expression is nested too deeply");
            return -1;
        }
        int left = parseAnd();
        while (left >= 0 && peek().kind == Token::Or) {
            next();
            int right = parseAnd();
            if (right < 0)
                return -1;
            if (typeOf(left) != ValueType::Logical || typeOf(right) != ValueType::Logical)
                return mismatch();
            Expression::Node n;
            n.op = Op::Or;
            n.a = left;
            n.b = right;
            left = add(std::move(n));
        }
        return left;
    }

    int parseAnd() {
        int left = parseNot();
        while (left >= 0 && peek().kind == Token::And) {
            next();
            int right = parseNot();
            if (right < 0)
                return -1;
            if (typeOf(left) != ValueType::Logical || typeOf(right) != ValueType::Logical)
                return mismatch();
            Expression::Node n;
            n.op = Op::And;
            n.a = left;
            n.b = right;
            left = add(std::move(n));
        }
        return left;
    }

    int parseNot() {
        DepthGuard guard(m_depth);
        if (m_depth > kMaxDepth) {
            fail("Expression is nested too deeply");
            return -1;
        }
        if (peek().kind == Token::Not || isSymbol("!")) {
            next();
            int operand = parseNot();
            if (operand < 0)
                return -1;
            if (typeOf(operand) != ValueType::Logical)
                return mismatch();
            Expression::Node n;
            n.op = Op::Not;
            n.a = operand;
            return add(std::move(n));
        }
        return parseCompare();
    }

    int parseCompare() {
        int left = parseSum();
        if (left < 0)
            return -1;
        if (peek().kind != Token::Symbol)
            return left;
        static const std::pair<const char*, Cmp> kOps[] = {
            {"=", Cmp::Eq},  {"==", Cmp::ExactEq}, {"<>", Cmp::Ne}, {"#", Cmp::Ne},
            {"!=", Cmp::Ne}, {"<", Cmp::Lt},       {">", Cmp::Gt},  {"<=", Cmp::Le},
            {">=", Cmp::Ge}, {"$", Cmp::Contains}};
        for (const auto& [sym, cmp] : kOps) {
            if (peek().text != sym)
                continue;
            next();
            int right = parseSum();
            if (right < 0)
                return -1;
            ValueType t = typeOf(left);
            if (t != typeOf(right))
                return mismatch();
            if (t == ValueType::Logical && cmp != Cmp::Eq && cmp != Cmp::ExactEq && cmp != Cmp::Ne)
                return mismatch();
            if (cmp == Cmp::Contains && t != ValueType::Character)
                return mismatch();
            Expression::Node n;
            n.op = Op::Compare;
            n.cmp = cmp;
            n.a = left;
            n.b = right;
            return add(std::move(n));
        }
        return left;
    }

    int parseSum() {
        int left = parseProduct();
        while (left >= 0 && (isSymbol("+") || isSymbol("-"))) {
            bool plus = next().text == "+";
            int right = parseProduct();
            if (right < 0)
                return -1;
            ValueType lt = typeOf(left), rt = typeOf(right);
            Expression::Node n;
            n.a = left;
            n.b = right;
            if (plus && lt == ValueType::Character && rt == ValueType::Character) {
                n.op = Op::Concat;
                n.type = ValueType::Character;
                n.width = widthOf(left) + widthOf(right);
                n.buf.resize(static_cast<size_t>(n.width) + 1);
            } else if (lt == ValueType::Numeric && rt == ValueType::Numeric) {
                n.op = plus ? Op::Add : Op::Sub;
                n.type = ValueType::Numeric;
            } else if (lt == ValueType::Date && rt == ValueType::Numeric) {
                n.op = plus ? Op::Add : Op::Sub;
                n.type = ValueType::Date;
            } else if (plus && lt == ValueType::Numeric && rt == ValueType::Date) {
                n.op = Op::Add;
                n.type = ValueType::Date;
            } else if (!plus && lt == ValueType::Date && rt == ValueType::Date) {
                n.op = Op::Sub;
                n.type = ValueType::Numeric;
            } else {
                return mismatch();
            }
            left = add(std::move(n));
        }
        return left;
    }

    int parseProduct() {
        int left = parseUnary();
        while (left >= 0 && (isSymbol("*") || isSymbol("/") || isSymbol("%"))) {
            std::string sym = next().text;
            int right = parseUnary();
            if (right < 0)
                return -1;
            if (typeOf(left) != ValueType::Numeric || typeOf(right) != ValueType::Numeric)
                return mismatch();
            Expression::Node n;
            n.op = sym == "*" ? Op::Mul : sym == "/" ? Op::Div : Op::Mod;
            n.type = ValueType::Numeric;
            n.a = left;
            n.b = right;
            left = add(std::move(n));
        }
        return left;
    }

    int parseUnary() {
        DepthGuard guard(m_depth);
        if (m_depth > kMaxDepth) {
            fail("Expression is nested too deeply");
            return -1;
        }
        if (isSymbol("-")) {
            next();
            int operand = parseUnary();
            if (operand < 0)
                return -1;
            if (typeOf(operand) != ValueType::Numeric)
                return mismatch();
            Expression::Node n;
            n.op = Op::Neg;
            n.type = ValueType::Numeric;
            n.a = operand;
            return add(std::move(n));
        }
        if (isSymbol("+"))
            next();
        return parsePrimary();
    }

    int constant(ValueType type) {
        Expression::Node n;
        n.op = Op::Const;
        n.type = type;
        return add(std::move(n));
    }

    int parsePrimary() {
        Token t = next();
        switch (t.kind) {
            case Token::Number: {
                int i = constant(ValueType::Numeric);
                m_nodes[static_cast<size_t>(i)].num = t.number;
                return i;
            }
            case Token::Text: {
                int i = constant(ValueType::Character);
                m_nodes[static_cast<size_t>(i)].constText = t.text;
                m_nodes[static_cast<size_t>(i)].width = static_cast<int>(t.text.size());
                return i;
            }
            case Token::True:
            case Token::False: {
                int i = constant(ValueType::Logical);
                m_nodes[static_cast<size_t>(i)].log = t.kind == Token::True;
                return i;
            }
            case Token::Date: {
                int32_t julian = 0;
                std::string body = t.text;
                bool ok;
                if (!body.empty() && body[0] == '^') {
                    ok = parseDate(std::string_view(body).substr(1), "yyyy-mm-dd",
                                   m_settings->epoch, julian);
                } else {
                    ok = parseDate(body, m_settings->datePattern(), m_settings->epoch, julian);
                }
                if (!ok) {
                    fail("Invalid date {" + body + "} in expression");
                    return -1;
                }
                int i = constant(ValueType::Date);
                m_nodes[static_cast<size_t>(i)].num = julian;
                return i;
            }
            case Token::LParen: {
                int inner = parseOr();
                if (inner < 0)
                    return -1;
                if (next().kind != Token::RParen) {
                    fail("Missing ) in expression");
                    return -1;
                }
                return inner;
            }
            case Token::Name: {
                if (peek().kind == Token::LParen)
                    return parseCall(t);
                std::string name = t.text;
                if (isSymbol("->")) {
                    // alias->field: the alias is the table's own.
                    next();
                    if (peek().kind != Token::Name) {
                        fail("Syntax error after " + name + "->");
                        return -1;
                    }
                    name = next().text;
                }
                for (const Field& f : m_fields) {
                    if (f.name != name)
                        continue;
                    Expression::Node n;
                    n.op = Op::Field;
                    n.fieldType = f.type;
                    n.fieldOffset = f.offset;
                    n.fieldWidth = f.width;
                    switch (f.type) {
                        case 'N':
                        case 'F':
                            n.type = ValueType::Numeric;
                            break;
                        case 'D':
                            n.type = ValueType::Date;
                            break;
                        case 'L':
                            n.type = ValueType::Logical;
                            break;
                        default:
                            n.type = ValueType::Character;
                            n.width = f.width;
                            break;
                    }
                    return add(std::move(n));
                }
                fail("Variable '" + name + "' is not found");
                return -1;
            }
            case Token::End:
                fail("Expression is incomplete");
                return -1;
            default:
                fail("Syntax error at \"" + m_text.substr(t.pos) + "\"");
                return -1;
        }
    }

    int parseCall(const Token& nameToken) {
        const FunctionInfo* fn = findFunction(nameToken.text);
        if (!fn) {
            fail("Unknown function " + nameToken.text + "()");
            return -1;
        }
        next();  // (
        std::vector<int> args;
        if (peek().kind != Token::RParen) {
            for (;;) {
                int arg = parseOr();
                if (arg < 0)
                    return -1;
                args.push_back(arg);
                if (peek().kind == Token::Comma) {
                    next();
                    continue;
                }
                break;
            }
        }
        if (next().kind != Token::RParen) {
            fail(std::string("Missing ) after the arguments of ") + fn->name + "()");
            return -1;
        }
        int count = static_cast<int>(args.size());
        if (count < fn->minArgs || count > fn->maxArgs) {
            fail(std::string("Wrong number of arguments for ") + fn->name + "()");
            return -1;
        }
        auto argType = [&](int k) { return typeOf(args[static_cast<size_t>(k)]); };
        auto constNum = [&](int k, double& v) {
            const auto& n = m_nodes[static_cast<size_t>(args[static_cast<size_t>(k)])];
            if (n.op != Op::Const)
                return false;
            v = n.num;
            return true;
        };
        Expression::Node n;
        n.op = fn->op;
        n.a = count > 0 ? args[0] : -1;
        n.b = count > 1 ? args[1] : -1;
        n.c = count > 2 ? args[2] : -1;
        switch (fn->op) {
            case Op::Upper:
            case Op::Lower:
            case Op::RTrim:
            case Op::LTrim:
            case Op::AllTrim:
                if (argType(0) != ValueType::Character)
                    return mismatch();
                n.type = ValueType::Character;
                n.width = widthOf(n.a);
                if (fn->op == Op::Upper || fn->op == Op::Lower)
                    n.buf.resize(static_cast<size_t>(n.width) + 1);
                break;
            case Op::Substr:
            case Op::Left:
            case Op::Right: {
                if (argType(0) != ValueType::Character || argType(1) != ValueType::Numeric ||
                    (count > 2 && argType(2) != ValueType::Numeric))
                    return mismatch();
                n.type = ValueType::Character;
                n.width = widthOf(n.a);
                double len = 0;
                int lenArg = fn->op == Op::Substr ? 2 : 1;
                if (count > lenArg && constNum(lenArg, len))
                    n.width = std::clamp(static_cast<int>(len), 0, n.width);
                break;
            }
            case Op::Str: {
                for (int k = 0; k < count; ++k) {
                    if (argType(k) != ValueType::Numeric)
                        return mismatch();
                }
                n.type = ValueType::Character;
                double len = 10;
                if (count > 1 && !constNum(1, len))
                    len = 255;
                n.width = std::clamp(static_cast<int>(len), 1, 255);
                n.buf.resize(300);
                break;
            }
            case Op::Val:
                if (argType(0) != ValueType::Character)
                    return mismatch();
                n.type = ValueType::Numeric;
                break;
            case Op::Dtos:
            case Op::Dtoc:
                if (argType(0) != ValueType::Date)
                    return mismatch();
                n.type = ValueType::Character;
                n.width = fn->op == Op::Dtos ? 8 : 16;
                n.buf.resize(32);
                break;
            case Op::Ctod:
                if (argType(0) != ValueType::Character)
                    return mismatch();
                n.type = ValueType::Date;
                break;
            case Op::Deleted:
            case Op::Empty:
                n.type = ValueType::Logical;
                break;
            case Op::Recno:
                n.type = ValueType::Numeric;
                break;
            default:
                return mismatch();
        }
        return add(std::move(n));
    }

    const std::string& m_text;
    const std::vector<Field>& m_fields;
    const Settings* m_settings;
    std::vector<Expression::Node>& m_nodes;
    std::vector<Token> m_tokens;
    size_t m_pos = 0;
    int m_depth = 0;
    std::string m_error;
};

}  // namespace

bool Expression::compile(const std::string& text, const std::vector<Field>& fields,
                         const Settings* settings, std::string& error) {
    static const Settings kDefaults;
    const Settings* s = settings ? settings : &kDefaults;
    std::vector<Node> nodes;
    Parser parser(text, fields, s, nodes);
    int root = parser.parse(error);
    if (root < 0)
        return false;
    m_nodes = std::move(nodes);
    m_root = root;
    m_text = text;
    m_settings = s;
    return true;
}

}  // namespace qly::engine
