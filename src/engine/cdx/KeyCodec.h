#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Index keys are compared as unsigned bytes over the full key length, so
// every key type is written in a form whose byte order is its value order:
// - character: the text, cut or padded with blanks to the key length;
// - numeric: the IEEE-754 double, big-endian, with the sign bit set for
//   positive values and every bit inverted for negative ones (-0 counts as 0);
// - date: the Julian day number (2000-01-01 = 2451545) as a numeric key,
//   a blank date as day 0;
// - logical: one byte 'T' or 'F'.
namespace cdx {

enum class KeyType { Character, Numeric, Date, Logical };

constexpr size_t kNumericKeyLength = 8;
constexpr size_t kMaxKeyLength = 240;

// The byte that pads keys of a type and that the leaf compression strips.
inline uint8_t fillByteFor(KeyType type) {
    return type == KeyType::Character ? 0x20 : 0x00;
}

// Writes `text` cut or blank-padded to `length` bytes.
void encodeCharacter(std::string_view text, uint8_t* out, size_t length);
std::string characterKey(std::string_view text, size_t length);

void encodeNumeric(double value, uint8_t out[8]);
double decodeNumeric(const uint8_t in[8]);
std::string numericKey(double value);

// Julian day number of a proleptic Gregorian date.
int64_t julianDay(int year, int month, int day);
void encodeDate(int64_t julianDayNumber, uint8_t out[8]);
std::string dateKey(int year, int month, int day);  // year 0 = blank date

inline uint8_t logicalKey(bool value) {
    return value ? 'T' : 'F';
}

}  // namespace cdx
