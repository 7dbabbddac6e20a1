#pragma once

#include <QString>

#include <string>

// Text in the tables is Windows code page 1252: Latin-1 but for the bytes
// 0x80..0x9F, which hold the euro sign, typographic quotes, dashes and the
// like. The five bytes the page leaves undefined (0x81, 0x8D, 0x8F, 0x90,
// 0x9D) stand for the C1 control characters of the same value, so every
// byte reads as a character and writes back as the same byte.
namespace qly::cp1252 {

QString decode(const char* data, qsizetype size);
inline QString decode(const std::string& bytes) {
    return decode(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

// The byte that stands for the character, or -1 when the page has none.
int byteFor(char16_t ch);

// The position of the first character the page cannot hold (a surrogate
// pair counts as one character at its first half), or -1 when all fit.
qsizetype firstUnencodable(const QString& text);

// The text as code page 1252 bytes; a character the page cannot hold
// becomes '?' (callers that store data check firstUnencodable first).
std::string encode(const QString& text);

}  // namespace qly::cp1252
