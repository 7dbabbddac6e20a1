#include "engine/Dates.h"

#include <langinfo.h>
#include <locale.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>

namespace qly::engine {

int32_t julianFromYmd(int year, int month, int day) {
    // Gregorian calendar to Julian day number (Fliegel and Van Flandern).
    int a = (14 - month) / 12;
    int y = year + 4800 - a;
    int m = month + 12 * a - 3;
    return day + (153 * m + 2) / 5 + 365 * y + y / 4 - y / 100 + y / 400 - 32045;
}

void ymdFromJulian(int32_t julian, int& year, int& month, int& day) {
    int a = julian + 32044;
    int b = (4 * a + 3) / 146097;
    int c = a - 146097 * b / 4;
    int d = (4 * c + 3) / 1461;
    int e = c - 1461 * d / 4;
    int m = (5 * e + 2) / 153;
    day = e - (153 * m + 2) / 5 + 1;
    month = m + 3 - 12 * (m / 10);
    year = 100 * b + d - 4800 + m / 10;
}

bool validYmd(int year, int month, int day) {
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int limit = kDays[month - 1];
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (month == 2 && leap)
        limit = 29;
    return day <= limit;
}

bool julianFromStored(const char* text, int32_t& julian) {
    bool blank = true;
    for (int i = 0; i < 8; ++i) {
        if (text[i] != ' ' && text[i] != '\0')
            blank = false;
    }
    if (blank) {
        julian = 0;
        return true;
    }
    int v[8];
    for (int i = 0; i < 8; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        v[i] = text[i] - '0';
    }
    int year = v[0] * 1000 + v[1] * 100 + v[2] * 10 + v[3];
    int month = v[4] * 10 + v[5];
    int day = v[6] * 10 + v[7];
    if (!validYmd(year, month, day))
        return false;
    julian = julianFromYmd(year, month, day);
    return true;
}

void storedFromJulian(int32_t julian, char* out) {
    if (julian <= 0) {
        for (int i = 0; i < 8; ++i)
            out[i] = ' ';
        return;
    }
    int y, m, d;
    ymdFromJulian(julian, y, m, d);
    char buf[16];
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m, d);
    for (int i = 0; i < 8; ++i)
        out[i] = buf[i];
}

std::string formatDate(int32_t julian, const std::string& pattern) {
    if (julian <= 0)
        return {};
    int y, m, d;
    ymdFromJulian(julian, y, m, d);
    std::string out;
    char buf[16];
    for (size_t i = 0; i < pattern.size();) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        size_t run = 1;
        while (i + run < pattern.size() &&
               std::tolower(static_cast<unsigned char>(pattern[i + run])) == c)
            ++run;
        if (c == 'd') {
            std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", d);
            out += buf;
        } else if (c == 'm') {
            std::snprintf(buf, sizeof buf, run >= 2 ? "%02d" : "%d", m);
            out += buf;
        } else if (c == 'y') {
            if (run >= 4) {
                std::snprintf(buf, sizeof buf, "%04d", y);
            } else {
                std::snprintf(buf, sizeof buf, "%02d", y % 100);
            }
            out += buf;
        } else {
            out.append(run, pattern[i]);
        }
        i += run;
    }
    return out;
}

bool parseDate(std::string_view text, const std::string& pattern, int epoch, int32_t& julian) {
    bool blank = true;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            blank = false;
    }
    if (blank) {
        // Only separators and blanks (such as "  /  /  "): the empty date.
        for (char c : text) {
            if (std::isalpha(static_cast<unsigned char>(c)))
                return false;
        }
        julian = 0;
        return true;
    }
    // Order of the parts as the pattern gives it.
    char order[3];
    int parts = 0;
    for (size_t i = 0; i < pattern.size() && parts < 3; ++i) {
        char c = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
        if (c != 'd' && c != 'm' && c != 'y')
            continue;
        bool seen = false;
        for (int k = 0; k < parts; ++k)
            seen = seen || order[k] == c;
        if (!seen)
            order[parts++] = c;
    }
    if (parts != 3)
        return false;
    int values[3] = {0, 0, 0};
    int digits[3] = {0, 0, 0};
    int group = -1;
    bool inDigits = false;
    for (char c : text) {
        if (std::isdigit(static_cast<unsigned char>(c))) {
            if (!inDigits) {
                ++group;
                if (group >= 3)
                    return false;
                inDigits = true;
            }
            if (++digits[group] > 4)
                return false;
            values[group] = values[group] * 10 + (c - '0');
        } else if (std::isalpha(static_cast<unsigned char>(c))) {
            return false;
        } else {
            inDigits = false;
        }
    }
    if (group != 2)
        return false;
    int year = 0, month = 0, day = 0;
    for (int k = 0; k < 3; ++k) {
        if (order[k] == 'd')
            day = values[k];
        if (order[k] == 'm')
            month = values[k];
        if (order[k] == 'y') {
            year = values[k];
            if (digits[k] <= 2) {
                int base = (epoch / 100) * 100;
                year += base;
                if (year < epoch)
                    year += 100;
            }
        }
    }
    if (!validYmd(year, month, day))
        return false;
    julian = julianFromYmd(year, month, day);
    return true;
}

std::string patternForFormat(int format, const std::string& systemPattern) {
    switch (format) {
        case 0:
            return "mm/dd/yy";
        case 1:
            return "yy.mm.dd";
        case 2:
        case 3:
            return "dd/mm/yy";
        case 4:
            return "dd.mm.yy";
        case 5:
        case 6:
            return "dd-mm-yy";
        default:
            return systemPattern.empty() ? std::string("m/d/yy") : systemPattern;
    }
}

std::string applyCentury(const std::string& pattern, bool century) {
    std::string out = pattern;
    auto four = out.find("yyyy");
    if (century) {
        if (four == std::string::npos) {
            auto two = out.find("yy");
            if (two != std::string::npos)
                out.replace(two, 2, "yyyy");
        }
    } else if (four != std::string::npos) {
        out.replace(four, 4, "yy");
    }
    return out;
}

std::string environmentDatePattern() {
    const char* names[] = {"LC_ALL", "LC_TIME", "LANG"};
    const char* name = nullptr;
    for (const char* n : names) {
        const char* v = std::getenv(n);
        if (v && *v) {
            name = v;
            break;
        }
    }
    std::string kDefault = "m/d/yy";
    if (!name)
        return kDefault;
    std::string loc = name;
    if (loc == "C" || loc == "POSIX" || loc.rfind("C.", 0) == 0)
        return kDefault;
    locale_t l = ::newlocale(LC_TIME_MASK, loc.c_str(), static_cast<locale_t>(nullptr));
    if (!l)
        return kDefault;
    std::string fmt = ::nl_langinfo_l(D_FMT, l);
    ::freelocale(l);
    std::string out;
    for (size_t i = 0; i < fmt.size(); ++i) {
        if (fmt[i] != '%' || i + 1 >= fmt.size()) {
            out += fmt[i];
            continue;
        }
        char c = fmt[++i];
        if (c == 'd' || c == 'e')
            out += "dd";
        else if (c == 'm')
            out += "mm";
        else if (c == 'y')
            out += "yy";
        else if (c == 'Y')
            out += "yyyy";
        else if (c == 'D')
            out += "mm/dd/yy";
        else if (c == 'F')
            out += "yyyy-mm-dd";
        else
            return kDefault;
    }
    return out.empty() ? kDefault : out;
}

}  // namespace qly::engine
