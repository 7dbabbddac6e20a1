#pragma once

#include <QChar>
#include <QDate>
#include <QString>

// The program-wide short date format and date separator: the format with
// which every date is shown and parsed. Formats use the letters d, dd, m,
// mm, yy and yyyy (either case); any other character stands for itself.
//
// The state starts as the system's short date format (QLocale::system(),
// translated to these letters) and is changed by the start-up widening and
// by the engine environment (TXBaseEnv). Only the user-interface thread uses
// it.

namespace qly::dates {

QString shortDateFormat();
void setShortDateFormat(const QString& format);
QChar dateSeparator();
void setDateSeparator(QChar separator);

// The system's short date format in the program's letters ("m/d/yy" when
// the locale gives none) and its separator (the first non-letter, "/" if
// none).
QString systemShortDateFormat();
QChar systemDateSeparator();
// Translates a Qt date format ("M/d/yy", "dd.MM.yyyy") to the program's letters.
QString fromQtFormat(const QString& qtFormat);

// The start-up widening: a format holding "yyyy" stays; otherwise the first
// "yy" gets "yy" inserted after its first letter; without "yy" it stays.
QString widenToFourDigitYear(const QString& format);
// Applies widenToFourDigitYear to the program-wide format.
void widenShortDateFormat();

// Century rewrite: with century on, the first "yy" of a format without
// "yyyy" becomes "yyyy"; with century off the first "yyyy" becomes "yy".
QString applyCentury(const QString& format, bool century);

// Formats a date; an invalid (empty) date gives "".
QString formatDate(const QDate& date, const QString& format);
QString formatDate(const QDate& date);  // program-wide format

// Parses text in the given format; day, month and year are read in the
// format's order, between any non-digit characters. A year of one or two
// digits is read through the window 1950 to 2049. Blank text gives an
// invalid date with *ok true; anything unreadable or impossible gives an
// invalid date with *ok false.
QDate parseDate(const QString& text, const QString& format, bool* ok = nullptr);
QDate parseDate(const QString& text, bool* ok = nullptr);  // program-wide format

// The window for two-digit years: 0..49 -> 2000..2049, 50..99 -> 1950..1999.
int expandTwoDigitYear(int year);

}  // namespace qly::dates
