#include "engine/Expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine/Dates.h"

namespace qly::engine {

namespace {

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

double parseNumber(const char* p, size_t len) {
    char buf[64];
    size_t n = std::min(len, sizeof buf - 1);
    std::memcpy(buf, p, n);
    buf[n] = 0;
    // VAL and numeric fields: leading blanks, then the number; anything else ends it.
    char* end = nullptr;
    double v = std::strtod(buf, &end);
    if (end == buf)
        return 0;
    return v;
}

}  // namespace

struct Expression::Node {
    Op op = Op::Const;
    ValueType type = ValueType::Logical;
    int a = -1, b = -1, c = -1;
    Cmp cmp = Cmp::Eq;
    char fieldType = 'C';
    int fieldOffset = 0;
    int fieldWidth = 0;
    int width = 0;  // character result width (maximum)
    double num = 0;
    bool log = false;
    std::string constText;
    mutable std::vector<char> buf;
};

// ---------------------------------------------------------------------------
// Parser

namespace {

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

// ---------------------------------------------------------------------------

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

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

ValueType Expression::type() const {
    return m_root >= 0 ? m_nodes[static_cast<size_t>(m_root)].type : ValueType::Logical;
}

int Expression::width() const {
    return m_root >= 0 ? m_nodes[static_cast<size_t>(m_root)].width : 0;
}

namespace {

// Compares two texts as if the shorter were padded with blanks.
int comparePadded(const char* a, uint32_t alen, const char* b, uint32_t blen) {
    uint32_t common = std::min(alen, blen);
    int c = common ? std::memcmp(a, b, common) : 0;
    if (c != 0)
        return c < 0 ? -1 : 1;
    const char* rest = alen > blen ? a + common : b + common;
    uint32_t restLen = alen > blen ? alen - common : blen - common;
    for (uint32_t i = 0; i < restLen; ++i) {
        unsigned char ch = static_cast<unsigned char>(rest[i]);
        if (ch != ' ') {
            int sign = ch < ' ' ? -1 : 1;
            return alen > blen ? sign : -sign;
        }
    }
    return 0;
}

bool textEquals(const Value& a, const Value& b, bool exact) {
    if (!exact) {
        // Only as many characters as the right operand has.
        if (b.len == 0)
            return true;
        if (a.len >= b.len)
            return std::memcmp(a.str, b.str, b.len) == 0;
        return comparePadded(a.str, a.len, b.str, b.len) == 0;
    }
    return comparePadded(a.str, a.len, b.str, b.len) == 0;
}

bool isBlankText(const char* s, uint32_t len) {
    for (uint32_t i = 0; i < len; ++i) {
        if (s[i] != ' ' && s[i] != '\0' && s[i] != '\t' && s[i] != '\r' && s[i] != '\n')
            return false;
    }
    return true;
}

}  // namespace

void Expression::eval(int index, const RecordView& rec, Value& out) const {
    const Node& n = m_nodes[static_cast<size_t>(index)];
    out.type = n.type;
    switch (n.op) {
        case Op::Field: {
            const char* p = rec.data + n.fieldOffset;
            switch (n.type) {
                case ValueType::Character:
                    out.str = p;
                    out.len = static_cast<uint32_t>(n.fieldWidth);
                    break;
                case ValueType::Numeric:
                    out.num = parseNumber(p, static_cast<size_t>(n.fieldWidth));
                    break;
                case ValueType::Date: {
                    int32_t j = 0;
                    if (!julianFromStored(p, j))
                        j = 0;
                    out.num = j;
                    break;
                }
                case ValueType::Logical:
                    out.log = *p == 'T' || *p == 't' || *p == 'Y' || *p == 'y';
                    break;
            }
            return;
        }
        case Op::Const:
            out.str = n.constText.data();
            out.len = static_cast<uint32_t>(n.constText.size());
            out.num = n.num;
            out.log = n.log;
            return;
        case Op::Not: {
            eval(n.a, rec, out);
            out.log = !out.log;
            return;
        }
        case Op::And:
            eval(n.a, rec, out);
            if (out.log)
                eval(n.b, rec, out);
            out.type = ValueType::Logical;
            return;
        case Op::Or:
            eval(n.a, rec, out);
            if (!out.log)
                eval(n.b, rec, out);
            out.type = ValueType::Logical;
            return;
        case Op::Compare: {
            Value a, b;
            eval(n.a, rec, a);
            eval(n.b, rec, b);
            bool result = false;
            if (a.type == ValueType::Character) {
                switch (n.cmp) {
                    case Cmp::Eq:
                        result = textEquals(a, b, m_settings->exact);
                        break;
                    case Cmp::Ne:
                        result = !textEquals(a, b, m_settings->exact);
                        break;
                    case Cmp::ExactEq:
                        result = a.len == b.len && std::memcmp(a.str, b.str, a.len) == 0;
                        break;
                    case Cmp::Lt:
                        result = comparePadded(a.str, a.len, b.str, b.len) < 0;
                        break;
                    case Cmp::Gt:
                        result = comparePadded(a.str, a.len, b.str, b.len) > 0;
                        break;
                    case Cmp::Le:
                        result = comparePadded(a.str, a.len, b.str, b.len) <= 0;
                        break;
                    case Cmp::Ge:
                        result = comparePadded(a.str, a.len, b.str, b.len) >= 0;
                        break;
                    case Cmp::Contains:
                        result =
                            a.len == 0 ||
                            (a.len <= b.len &&
                             std::string_view(b.str, b.len).find(std::string_view(a.str, a.len)) !=
                                 std::string_view::npos);
                        break;
                }
            } else if (a.type == ValueType::Logical) {
                result = n.cmp == Cmp::Ne ? a.log != b.log : a.log == b.log;
            } else {
                switch (n.cmp) {
                    case Cmp::Eq:
                    case Cmp::ExactEq:
                        result = a.num == b.num;
                        break;
                    case Cmp::Ne:
                        result = a.num != b.num;
                        break;
                    case Cmp::Lt:
                        result = a.num < b.num;
                        break;
                    case Cmp::Gt:
                        result = a.num > b.num;
                        break;
                    case Cmp::Le:
                        result = a.num <= b.num;
                        break;
                    case Cmp::Ge:
                        result = a.num >= b.num;
                        break;
                    case Cmp::Contains:
                        break;
                }
            }
            out.type = ValueType::Logical;
            out.log = result;
            return;
        }
        case Op::Concat: {
            Value a, b;
            eval(n.a, rec, a);
            char* buf = n.buf.data();
            std::memcpy(buf, a.str, a.len);
            eval(n.b, rec, b);
            std::memcpy(buf + a.len, b.str, b.len);
            out.str = buf;
            out.len = a.len + b.len;
            return;
        }
        case Op::Add:
        case Op::Sub:
        case Op::Mul:
        case Op::Div:
        case Op::Mod: {
            Value a, b;
            eval(n.a, rec, a);
            eval(n.b, rec, b);
            double r = 0;
            switch (n.op) {
                case Op::Add:
                    r = a.num + b.num;
                    break;
                case Op::Sub:
                    r = a.num - b.num;
                    break;
                case Op::Mul:
                    r = a.num * b.num;
                    break;
                case Op::Div:
                    r = b.num == 0 ? 0 : a.num / b.num;
                    break;
                default:
                    r = b.num == 0 ? 0 : a.num - b.num * std::floor(a.num / b.num);
                    break;
            }
            // An empty date stays empty under date arithmetic.
            if (n.type == ValueType::Date && (a.type == ValueType::Date ? a.num == 0 : b.num == 0))
                r = 0;
            if (n.type == ValueType::Numeric && a.type == ValueType::Date &&
                (a.num == 0 || b.num == 0))
                r = 0;
            out.type = n.type;
            out.num = r;
            return;
        }
        case Op::Neg:
            eval(n.a, rec, out);
            out.num = -out.num;
            return;
        case Op::Upper:
        case Op::Lower: {
            Value a;
            eval(n.a, rec, a);
            char* buf = n.buf.data();
            bool up = n.op == Op::Upper;
            for (uint32_t i = 0; i < a.len; ++i) {
                unsigned char c = static_cast<unsigned char>(a.str[i]);
                buf[i] = static_cast<char>(up ? std::toupper(c) : std::tolower(c));
            }
            out.type = ValueType::Character;
            out.str = buf;
            out.len = a.len;
            return;
        }
        case Op::RTrim:
        case Op::LTrim:
        case Op::AllTrim: {
            eval(n.a, rec, out);
            if (n.op != Op::RTrim) {
                while (out.len > 0 && out.str[0] == ' ') {
                    ++out.str;
                    --out.len;
                }
            }
            if (n.op != Op::LTrim) {
                while (out.len > 0 && out.str[out.len - 1] == ' ')
                    --out.len;
            }
            return;
        }
        case Op::Substr:
        case Op::Left:
        case Op::Right: {
            Value s, k, l;
            eval(n.a, rec, s);
            eval(n.b, rec, k);
            int64_t len = static_cast<int64_t>(s.len);
            int64_t start = 0, count = 0;
            if (n.op == Op::Substr) {
                start = static_cast<int64_t>(k.num) - 1;
                if (start < 0)
                    start = 0;
                count = len - start;
                if (n.c >= 0) {
                    eval(n.c, rec, l);
                    count = std::min<int64_t>(count, static_cast<int64_t>(l.num));
                }
            } else if (n.op == Op::Left) {
                count = std::min<int64_t>(len, static_cast<int64_t>(k.num));
            } else {
                count = std::min<int64_t>(len, static_cast<int64_t>(k.num));
                start = len - std::max<int64_t>(count, 0);
            }
            if (start >= len || count <= 0)
                count = 0;
            count = std::min<int64_t>(count, n.width);
            out.type = ValueType::Character;
            out.str = s.str + (count > 0 ? start : 0);
            out.len = static_cast<uint32_t>(std::max<int64_t>(count, 0));
            return;
        }
        case Op::Str: {
            Value v, w, d;
            eval(n.a, rec, v);
            int width = 10, decimals = 0;
            if (n.b >= 0) {
                eval(n.b, rec, w);
                width = std::clamp(static_cast<int>(w.num), 1, 255);
            }
            if (n.c >= 0) {
                eval(n.c, rec, d);
                decimals = std::clamp(static_cast<int>(d.num), 0, 18);
            }
            if (decimals > 0 && decimals > width - 2)
                decimals = std::max(0, width - 2);
            char* buf = n.buf.data();
            double value = v.num;
            // Round half away from zero at the requested decimals, as xBase does.
            double scale = std::pow(10.0, decimals);
            double rounded = std::round(value * scale) / scale;
            if (rounded == 0)
                rounded = 0;  // no "-0"
            int written = std::snprintf(buf, n.buf.size(), "%*.*f", width, decimals, rounded);
            if (written < 0 || written > width) {
                std::memset(buf, '*', static_cast<size_t>(width));
                written = width;
            }
            out.type = ValueType::Character;
            out.str = buf;
            out.len = static_cast<uint32_t>(written);
            return;
        }
        case Op::Val: {
            Value s;
            eval(n.a, rec, s);
            out.type = ValueType::Numeric;
            out.num = parseNumber(s.str, s.len);
            return;
        }
        case Op::Dtos:
        case Op::Dtoc: {
            Value d;
            eval(n.a, rec, d);
            char* buf = n.buf.data();
            out.type = ValueType::Character;
            out.str = buf;
            if (n.op == Op::Dtos) {
                storedFromJulian(static_cast<int32_t>(d.num), buf);
                out.len = 8;
            } else {
                std::string pattern = m_settings->datePattern();
                std::string text = formatDate(static_cast<int32_t>(d.num), pattern);
                if (d.num == 0) {
                    // The empty date shows its separators only.
                    text = pattern;
                    for (char& c : text) {
                        if (std::isalpha(static_cast<unsigned char>(c)))
                            c = ' ';
                    }
                }
                size_t len = std::min(text.size(), static_cast<size_t>(n.width));
                std::memcpy(buf, text.data(), len);
                out.len = static_cast<uint32_t>(len);
            }
            return;
        }
        case Op::Ctod: {
            Value s;
            eval(n.a, rec, s);
            int32_t j = 0;
            if (!parseDate(std::string_view(s.str, s.len), m_settings->datePattern(),
                           m_settings->epoch, j))
                j = 0;
            out.type = ValueType::Date;
            out.num = j;
            return;
        }
        case Op::Deleted:
            out.type = ValueType::Logical;
            out.log = rec.data[0] == '*';
            return;
        case Op::Recno:
            out.type = ValueType::Numeric;
            out.num = rec.recno;
            return;
        case Op::Empty: {
            Value v;
            eval(n.a, rec, v);
            out.type = ValueType::Logical;
            switch (v.type) {
                case ValueType::Character:
                    out.log = isBlankText(v.str, v.len);
                    break;
                case ValueType::Numeric:
                case ValueType::Date:
                    out.log = v.num == 0;
                    break;
                case ValueType::Logical:
                    out.log = !v.log;
                    break;
            }
            return;
        }
    }
}

void Expression::evaluate(const RecordView& record, Value& out) const {
    out = Value{};
    if (m_root < 0)
        return;
    eval(m_root, record, out);
}

bool Expression::evalBool(const RecordView& record) const {
    if (m_root < 0 || type() != ValueType::Logical)
        return false;
    Value v;
    eval(m_root, record, v);
    return v.log;
}

void Expression::evalKey(const RecordView& record, std::string& out) const {
    Value v;
    evaluate(record, v);
    switch (v.type) {
        case ValueType::Character:
            out.assign(v.str, std::min<uint32_t>(v.len, static_cast<uint32_t>(width())));
            out.resize(static_cast<size_t>(width()), ' ');
            break;
        case ValueType::Numeric:
        case ValueType::Date: {
            double d = v.num;
            if (d == 0)
                d = 0;  // normalise -0
            out.assign(reinterpret_cast<const char*>(&d), sizeof d);
            break;
        }
        case ValueType::Logical:
            out.assign(1, v.log ? 'T' : 'F');
            break;
    }
}

std::string Expression::toText(const Value& v) const {
    switch (v.type) {
        case ValueType::Character:
            return std::string(v.str ? v.str : "", v.len);
        case ValueType::Numeric: {
            char buf[64];
            if (std::fabs(v.num) < 1e15 && v.num == std::floor(v.num)) {
                std::snprintf(buf, sizeof buf, "%.0f", v.num == 0 ? 0.0 : v.num);
            } else {
                std::snprintf(buf, sizeof buf, "%.10g", v.num);
            }
            return buf;
        }
        case ValueType::Date:
            return formatDate(static_cast<int32_t>(v.num),
                              m_settings ? m_settings->datePattern() : "mm/dd/yy");
        case ValueType::Logical:
            return v.log ? ".T." : ".F.";
    }
    return {};
}

}  // namespace qly::engine
