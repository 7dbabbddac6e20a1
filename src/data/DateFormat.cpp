#include "data/DateFormat.h"

#include <QLocale>

#include <vector>

namespace qly::dates {

namespace {

struct State {
    QString format;
    QChar separator;
};

State& state() {
    static State s{systemShortDateFormat(), systemDateSeparator()};
    return s;
}

// The format's elements: letter runs and literals.
enum class Part { Day, Month, Year, Literal };

struct Token {
    Part part;
    int length;  // letters in the run
    QString literal;
};

std::vector<Token> tokenize(const QString& format) {
    std::vector<Token> tokens;
    for (int i = 0; i < format.size();) {
        const QChar c = format.at(i).toLower();
        if (c == u'd' || c == u'm' || c == u'y') {
            int j = i;
            while (j < format.size() && format.at(j).toLower() == c)
                ++j;
            const Part part = c == u'd' ? Part::Day : (c == u'm' ? Part::Month : Part::Year);
            tokens.push_back({part, j - i, {}});
            i = j;
        } else {
            tokens.push_back({Part::Literal, 0, QString(format.at(i))});
            ++i;
        }
    }
    return tokens;
}

}  // namespace

QString shortDateFormat() {
    return state().format;
}
void setShortDateFormat(const QString& format) {
    state().format = format;
}
QChar dateSeparator() {
    return state().separator;
}
void setDateSeparator(QChar separator) {
    state().separator = separator;
}

QString fromQtFormat(const QString& qtFormat) {
    QString out;
    bool quoted = false;
    for (int i = 0; i < qtFormat.size();) {
        const QChar c = qtFormat.at(i);
        if (c == u'\'') {
            quoted = !quoted;
            ++i;
            continue;
        }
        if (quoted) {
            out += c;
            ++i;
            continue;
        }
        int j = i;
        while (j < qtFormat.size() && qtFormat.at(j) == c)
            ++j;
        const int run = j - i;
        if (c == u'd') {
            if (run <= 2)
                out += QString(run, u'd');
            // day names (ddd, dddd) have no letter here: left out
        } else if (c == u'M') {
            out += run == 1 ? QStringLiteral("m") : QStringLiteral("mm");  // names read as numbers
        } else if (c == u'y') {
            out += run >= 3 ? QStringLiteral("yyyy") : QStringLiteral("yy");
        } else if (!c.isLetter()) {
            out += QString(run, c);
        }
        i = j;
    }
    // a day name followed by a separator leaves a leading literal: drop it
    while (!out.isEmpty() && !out.at(0).isLetter())
        out.remove(0, 1);
    return out;
}

QString systemShortDateFormat() {
    const QString translated = fromQtFormat(QLocale::system().dateFormat(QLocale::ShortFormat));
    const bool hasAll = translated.contains(u'd', Qt::CaseInsensitive) &&
                        translated.contains(u'm', Qt::CaseInsensitive) &&
                        translated.contains(u'y', Qt::CaseInsensitive);
    return hasAll ? translated : QStringLiteral("m/d/yy");
}

QChar systemDateSeparator() {
    for (QChar c : systemShortDateFormat())
        if (!c.isLetter())
            return c;
    return u'/';
}

QString widenToFourDigitYear(const QString& format) {
    if (format.contains(QStringLiteral("yyyy"), Qt::CaseInsensitive))
        return format;
    const int at = format.indexOf(QStringLiteral("yy"), 0, Qt::CaseInsensitive);
    if (at < 0)
        return format;
    QString out = format;
    out.insert(at + 1, format.mid(at, 2));
    return out;
}

void widenShortDateFormat() {
    setShortDateFormat(widenToFourDigitYear(shortDateFormat()));
}

QString applyCentury(const QString& format, bool century) {
    QString out = format;
    const int four = out.indexOf(QStringLiteral("yyyy"), 0, Qt::CaseInsensitive);
    if (century) {
        if (four < 0) {
            const int two = out.indexOf(QStringLiteral("yy"), 0, Qt::CaseInsensitive);
            if (two >= 0)
                out.insert(two, out.mid(two, 2));
        }
    } else if (four >= 0) {
        out.remove(four, 2);
    }
    return out;
}

QString formatDate(const QDate& date, const QString& format) {
    if (!date.isValid())
        return {};
    QString out;
    for (const Token& t : tokenize(format)) {
        switch (t.part) {
            case Part::Literal:
                out += t.literal;
                break;
            case Part::Day:
                out += t.length >= 2 ? QStringLiteral("%1").arg(date.day(), 2, 10, QLatin1Char('0'))
                                     : QString::number(date.day());
                break;
            case Part::Month:
                out += t.length >= 2
                           ? QStringLiteral("%1").arg(date.month(), 2, 10, QLatin1Char('0'))
                           : QString::number(date.month());
                break;
            case Part::Year:
                if (t.length >= 3)
                    out += QStringLiteral("%1").arg(date.year(), 4, 10, QLatin1Char('0'));
                else
                    out += QStringLiteral("%1").arg(date.year() % 100, 2, 10, QLatin1Char('0'));
                break;
        }
    }
    return out;
}

QString formatDate(const QDate& date) {
    return formatDate(date, shortDateFormat());
}

int expandTwoDigitYear(int year) {
    return year < 50 ? 2000 + year : 1900 + year;
}

QDate parseDate(const QString& text, const QString& format, bool* ok) {
    auto result = [ok](bool good, QDate d = QDate()) {
        if (ok)
            *ok = good;
        return d;
    };
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return result(true);
    // numbers of the text, split at anything that is not a digit
    std::vector<QString> numbers;
    QString current;
    for (QChar c : trimmed) {
        if (c.isDigit()) {
            current += c;
        } else if (c.isSpace() || c.isPunct() || c.isSymbol()) {
            if (!current.isEmpty())
                numbers.push_back(current);
            current.clear();
        } else {
            return result(false);
        }
    }
    if (!current.isEmpty())
        numbers.push_back(current);

    std::vector<Part> order;
    for (const Token& t : tokenize(format))
        if (t.part != Part::Literal)
            order.push_back(t.part);
    if (order.size() != 3)
        order = {Part::Month, Part::Day, Part::Year};
    if (numbers.size() != 3)
        return result(false);

    int day = 0, month = 0, year = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const QString& n = numbers[i];
        if (n.size() > (order[i] == Part::Year ? 4 : 2))
            return result(false);
        const int v = n.toInt();
        switch (order[i]) {
            case Part::Day:
                day = v;
                break;
            case Part::Month:
                month = v;
                break;
            case Part::Year:
                year = n.size() <= 2 ? expandTwoDigitYear(v) : v;
                break;
            case Part::Literal:
                break;
        }
    }
    const QDate d(year, month, day);
    if (!d.isValid() || year < 1)
        return result(false);
    return result(true, d);
}

QDate parseDate(const QString& text, bool* ok) {
    return parseDate(text, shortDateFormat(), ok);
}

}  // namespace qly::dates
