#include "data/CodePage.h"

#include <array>

namespace qly::cp1252 {

namespace {

constexpr std::array<char16_t, 32> kHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool undefinedByte(unsigned b) {
    return b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D;
}

}  // namespace

QString decode(const char* data, qsizetype size) {
    QString out(size, Qt::Uninitialized);
    QChar* to = out.data();
    for (qsizetype i = 0; i < size; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        to[i] = QChar(b >= 0x80 && b < 0xA0 ? kHigh[b - 0x80] : static_cast<char16_t>(b));
    }
    return out;
}

int byteFor(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return ch;
    if (ch < 0xA0)  // C1 controls: only those standing for an undefined byte
        return undefinedByte(ch) ? ch : -1;
    for (std::size_t i = 0; i < kHigh.size(); ++i)
        if (kHigh[i] == ch)
            return static_cast<int>(0x80 + i);
    return -1;
}

qsizetype firstUnencodable(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i)
        if (byteFor(text.at(i).unicode()) < 0)
            return i;
    return -1;
}

std::string encode(const QString& text) {
    std::string out;
    out.reserve(static_cast<std::size_t>(text.size()));
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const int b = byteFor(c.unicode());
        out += b < 0 ? '?' : static_cast<char>(b);
        if (b < 0 && c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            ++i;
    }
    return out;
}

}  // namespace qly::cp1252
