#include "engine/cdx/KeyCodec.h"

#include <algorithm>
#include <cstring>

namespace cdx {

void encodeCharacter(std::string_view text, uint8_t* out, size_t length) {
    const size_t n = std::min(text.size(), length);
    std::memcpy(out, text.data(), n);
    std::memset(out + n, 0x20, length - n);
}

std::string characterKey(std::string_view text, size_t length) {
    std::string key(length, ' ');
    encodeCharacter(text, reinterpret_cast<uint8_t*>(key.data()), length);
    return key;
}

void encodeNumeric(double value, uint8_t out[8]) {
    if (value == 0.0)
        value = 0.0;  // -0 sorts with 0
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    if (bits & (uint64_t{1} << 63))
        bits = ~bits;
    else
        bits |= uint64_t{1} << 63;
    for (int i = 0; i < 8; ++i)
        out[i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
}

double decodeNumeric(const uint8_t in[8]) {
    uint64_t bits = 0;
    for (int i = 0; i < 8; ++i)
        bits = (bits << 8) | in[i];
    if (bits & (uint64_t{1} << 63))
        bits &= ~(uint64_t{1} << 63);
    else
        bits = ~bits;
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string numericKey(double value) {
    std::string key(8, '\0');
    encodeNumeric(value, reinterpret_cast<uint8_t*>(key.data()));
    return key;
}

int64_t julianDay(int year, int month, int day) {
    // Fliegel and Van Flandern's conversion, valid for the Gregorian calendar.
    const int64_t a = (14 - month) / 12;
    const int64_t y = int64_t{year} + 4800 - a;
    const int64_t m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void encodeDate(int64_t julianDayNumber, uint8_t out[8]) {
    encodeNumeric(static_cast<double>(julianDayNumber), out);
}

std::string dateKey(int year, int month, int day) {
    std::string key(8, '\0');
    encodeDate(year == 0 ? 0 : julianDay(year, month, day), reinterpret_cast<uint8_t*>(key.data()));
    return key;
}

}  // namespace cdx
