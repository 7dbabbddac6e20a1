#pragma once

// Calendar helpers of the engine: astronomical Julian day numbers (the form
// dates take inside expressions and index keys; 0 stands for the empty date),
// the stored form YYYYMMDD, and the short date patterns of the date formats,
// written with the letters d dd m mm yy yyyy and one separator.

#include <cstdint>
#include <string>
#include <string_view>

namespace qly::engine {

int32_t julianFromYmd(int year, int month, int day);
void ymdFromJulian(int32_t julian, int& year, int& month, int& day);
bool validYmd(int year, int month, int day);

// Stored form (8 bytes). Blank -> 0 and true; malformed -> false.
bool julianFromStored(const char* text, int32_t& julian);
// Writes 8 bytes: YYYYMMDD, or 8 blanks for 0.
void storedFromJulian(int32_t julian, char* out);

// Formats a date with a pattern ("" for the empty date).
std::string formatDate(int32_t julian, const std::string& pattern);
// Parses a date written in a pattern's order of day, month and year; any
// non-digit separates. Two-digit years fall in the hundred years from epoch.
// Blank text gives 0 and true; anything else that is not a valid date false.
bool parseDate(std::string_view text, const std::string& pattern, int epoch, int32_t& julian);

// The pattern of a date format (0..6; 99 = systemPattern), before the century rule.
std::string patternForFormat(int format, const std::string& systemPattern);
// Century rule: on turns the first "yy" into "yyyy" when there is no "yyyy";
// off turns the first "yyyy" into "yy".
std::string applyCentury(const std::string& pattern, bool century);
// The short date pattern of the environment's locale (LC_ALL, LC_TIME, LANG),
// "m/d/yy" when it names none.
std::string environmentDatePattern();

}  // namespace qly::engine
