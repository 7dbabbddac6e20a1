#include "widgets/richtext/CodePage.h"

#include <QStringDecoder>

#include <array>
#include <map>
#include <mutex>

namespace richtext {

namespace {

// Code page 1252 differs from Latin-1 only in 0x80..0x9F. Bytes the page
// leaves undefined keep their C1 control values, as Windows maps them.
constexpr std::array<char16_t, 32> kCp1252High = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

QString decodeCp1252(const QByteArray& bytes) {
    QString out;
    out.reserve(bytes.size());
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x80 && b < 0xA0)
            out.append(QChar(kCp1252High[b - 0x80]));
        else
            out.append(QChar(static_cast<char16_t>(b)));
    }
    return out;
}

// The name under which Qt knows a code page, or an empty name for a page
// that is not one of the Windows pages RTF writers use.
QByteArray converterName(int codePage) {
    switch (codePage) {
        case 437:
        case 850:
        case 852:
        case 866:
        case 932:
        case 936:
        case 949:
        case 950:
            return "cp" + QByteArray::number(codePage);
        case 874:
        case 1250:
        case 1251:
        case 1253:
        case 1254:
        case 1255:
        case 1256:
        case 1257:
        case 1258:
            return "windows-" + QByteArray::number(codePage);
        case 10000:
            return "macintosh";
        default:
            return {};
    }
}

// Whether Qt can convert the page; asked once per page.
bool hasDecoder(int codePage, const QByteArray& name) {
    static std::mutex lock;
    static std::map<int, bool> known;
    std::lock_guard guard(lock);
    auto it = known.find(codePage);
    if (it == known.end())
        it = known.emplace(codePage, QStringDecoder(name.constData()).isValid()).first;
    return it->second;
}

}  // namespace

int codePageForCharset(int charset) {
    switch (charset) {
        case 0:
            return 1252;
        case 77:
            return 10000;
        case 128:
            return 932;
        case 129:
            return 949;
        case 134:
            return 936;
        case 136:
            return 950;
        case 161:
            return 1253;
        case 162:
            return 1254;
        case 163:
            return 1258;
        case 177:
            return 1255;
        case 178:
            return 1256;
        case 186:
            return 1257;
        case 204:
            return 1251;
        case 222:
            return 874;
        case 238:
            return 1250;
        default:
            return 0;
    }
}

QString decodeCodePage(int codePage, const QByteArray& bytes) {
    const QByteArray name = converterName(codePage);
    if (name.isEmpty() || !hasDecoder(codePage, name))
        return decodeCp1252(bytes);
    QStringDecoder decoder(name.constData());
    return decoder.decode(bytes);
}

int encodeCp1252(char16_t ch) {
    if (ch < 0x80 || (ch >= 0xA0 && ch <= 0xFF))
        return ch;
    for (std::size_t i = 0; i < kCp1252High.size(); ++i) {
        if (kCp1252High[i] == ch)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

}  // namespace richtext
