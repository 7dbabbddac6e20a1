#include "engine/Expression.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "engine/Dates.h"
#include "engine/ExpressionNode.h"

namespace qly::engine {

namespace {

using expr::Cmp;
using expr::Op;

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

Expression::Expression() = default;
Expression::~Expression() = default;
Expression::Expression(Expression&&) noexcept = default;
Expression& Expression::operator=(Expression&&) noexcept = default;

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
