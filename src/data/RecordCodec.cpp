#include "data/RecordCodec.h"

#include "data/CodePage.h"
#include "data/DateFormat.h"
#include "data/Error.h"
#include "engine/xbase.h"

#include <QLocale>

#include <cmath>
#include <limits>

namespace qly::record {

namespace {

[[noreturn]] void fail(const QString& message) {
    throw QlyError(message.toStdString());
}

std::string bytes(const QString& text) {
    return qly::cp1252::encode(text);
}

// Refuses a text holding a character the table's code page cannot hold.
void requireEncodable(const QString& text, const QString& fieldName) {
    const qsizetype at = qly::cp1252::firstUnencodable(text);
    if (at < 0)
        return;
    const bool pair =
        text.at(at).isHighSurrogate() && at + 1 < text.size() && text.at(at + 1).isLowSurrogate();
    const char32_t code =
        pair ? QChar::surrogateToUcs4(text.at(at), text.at(at + 1)) : text.at(at).unicode();
    const QString hex =
        QStringLiteral("%1").arg(static_cast<uint>(code), 4, 16, QLatin1Char('0')).toUpper();
    fail(QStringLiteral("The character '%1' (U+%2) cannot be stored in field '%3': the table "
                        "holds Windows code page 1252 text")
             .arg(text.mid(at, pair ? 2 : 1), hex, fieldName));
}

}  // namespace

QVariant valueFromImage(const TField& field, const std::string& image) {
    const std::size_t offset = static_cast<std::size_t>(field.offset());
    const std::size_t width = static_cast<std::size_t>(field.size());
    if (offset + width > image.size())
        return {};
    const QString raw = qly::cp1252::decode(image.data() + offset, static_cast<qsizetype>(width));
    switch (field.dataType()) {
        case TFieldType::ftString: {
            int end = static_cast<int>(raw.size());
            while (end > 0 && (raw.at(end - 1) == u' ' || raw.at(end - 1) == QChar(0)))
                --end;
            return QVariant(raw.left(end));
        }
        case TFieldType::ftSmallint:
        case TFieldType::ftFloat: {
            const QString t = raw.trimmed();
            if (t.isEmpty())
                return {};
            bool ok = false;
            const double d = t.toDouble(&ok);
            if (!ok)
                return {};
            if (field.dataType() == TFieldType::ftSmallint)
                return QVariant(static_cast<int>(d));
            return QVariant(d);
        }
        case TFieldType::ftDate: {
            const QString t = raw.trimmed();
            if (t.isEmpty())
                return {};
            const QDate d = QDate::fromString(t, QStringLiteral("yyyyMMdd"));
            return d.isValid() ? QVariant(d) : QVariant();
        }
        case TFieldType::ftBoolean: {
            const QChar c = raw.isEmpty() ? QChar(u' ') : raw.at(0).toUpper();
            if (c == u'T' || c == u'Y')
                return QVariant(true);
            if (c == u'F' || c == u'N')
                return QVariant(false);
            return {};
        }
        default: {
            // memo and blob fields: the block reference only
            const QString t = raw.trimmed();
            bool ok = false;
            const long block = t.toLong(&ok);
            return ok && block > 0 ? QVariant(static_cast<qlonglong>(block)) : QVariant();
        }
    }
}

QString displayTextFromImage(const TField& field, const std::string& image) {
    const QVariant v = valueFromImage(field, image);
    if (field.isBlob()) {
        const QString kind = field.dataType() == TFieldType::ftMemo  ? QStringLiteral("memo")
                             : field.dataType() == TFieldType::ftOle ? QStringLiteral("ole")
                                                                     : QStringLiteral("blob");
        return QStringLiteral("(%1)").arg(v.isValid() ? kind.toUpper() : kind);
    }
    if (!v.isValid())
        return {};
    switch (field.dataType()) {
        case TFieldType::ftDate:
            return qly::dates::formatDate(v.toDate());
        case TFieldType::ftBoolean:
            return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case TFieldType::ftFloat:
            if (field.decimals() > 0)
                return QString::number(v.toDouble(), 'f', field.decimals());
            return QString::number(v.toDouble(), 'f', 0);
        default:
            return v.toString();
    }
}

QVariant blankValue(TFieldType type) {
    return type == TFieldType::ftString || type == TFieldType::ftMemo ? QVariant(QString())
                                                                      : QVariant();
}

QVariant fromInput(const TField& field, const QVariant& value) {
    const bool isText = value.typeId() == QMetaType::QString;
    const QString text = isText ? value.toString().trimmed() : QString();
    if (!value.isValid() || (isText && text.isEmpty() && field.dataType() != TFieldType::ftString &&
                             field.dataType() != TFieldType::ftMemo))
        return blankValue(field.dataType());
    QVariant converted;
    switch (field.dataType()) {
        case TFieldType::ftString:
        case TFieldType::ftMemo:
            converted = QVariant(value.toString());
            break;
        case TFieldType::ftSmallint: {
            bool ok = false;
            const qlonglong n = isText ? text.toLongLong(&ok) : value.toLongLong(&ok);
            if (!ok || (!isText && value.typeId() == QMetaType::Double &&
                        std::floor(value.toDouble()) != value.toDouble()))
                fail(QStringLiteral("'%1' is not a valid integer value for field '%2'")
                         .arg(value.toString(), field.fieldName()));
            converted = QVariant(n);
            break;
        }
        case TFieldType::ftFloat: {
            bool ok = false;
            const double d = isText ? QLocale::c().toDouble(text, &ok) : value.toDouble(&ok);
            if (!ok || !std::isfinite(d))
                fail(QStringLiteral("'%1' is not a valid floating point value for field '%2'")
                         .arg(value.toString(), field.fieldName()));
            converted = QVariant(d);
            break;
        }
        case TFieldType::ftDate: {
            QDate d;
            if (isText) {
                bool ok = false;
                d = qly::dates::parseDate(text, &ok);
                if (!ok)
                    fail(QStringLiteral("'%1' is not a valid date for field '%2'")
                             .arg(text, field.fieldName()));
            } else {
                d = value.toDate();
            }
            converted = d.isValid() ? QVariant(d) : QVariant();
            if (!d.isValid() && !isText && value.isValid() && !value.toDate().isNull())
                fail(QStringLiteral("Invalid date for field '%1'").arg(field.fieldName()));
            break;
        }
        case TFieldType::ftBoolean:
            if (isText) {
                const QString t = text.toUpper();
                if (t == u"TRUE" || t == u"T" || t == u"Y" || t == u"YES" || t == u".T.")
                    converted = QVariant(true);
                else if (t == u"FALSE" || t == u"F" || t == u"N" || t == u"NO" || t == u".F.")
                    converted = QVariant(false);
                else
                    fail(QStringLiteral("'%1' is not a valid boolean value for field '%2'")
                             .arg(text, field.fieldName()));
            } else {
                converted = QVariant(value.toBool());
            }
            break;
        default:
            converted =
                QVariant(value.typeId() == QMetaType::QByteArray ? value.toByteArray()
                                                                 : value.toString().toLatin1());
            break;
    }
    return converted;
}

void validate(const TField& f, const QVariant& v) {
    if (!v.isValid())
        return;
    const QString name = f.fieldName();
    switch (f.dataType()) {
        case TFieldType::ftString: {
            const QString s = v.toString();
            requireEncodable(s, name);
            if (s.size() > f.size())
                fail(QStringLiteral(
                         "The text for field '%1' is %2 characters long; the field holds %3")
                         .arg(name)
                         .arg(s.size())
                         .arg(f.size()));
            break;
        }
        case TFieldType::ftMemo:
            requireEncodable(v.toString(), name);
            break;
        case TFieldType::ftSmallint: {
            const qlonglong n = v.toLongLong();
            const QString text = QString::number(n);
            if (n < std::numeric_limits<qint16>::min() || n > std::numeric_limits<qint16>::max() ||
                text.size() > f.size()) {
                qlonglong hi = 1;
                for (int k = 0; k < f.size(); ++k)
                    hi *= 10;
                const qlonglong lo = -(hi / 10 - 1);
                hi = std::min<qlonglong>(hi - 1, std::numeric_limits<qint16>::max());
                fail(QStringLiteral(
                         "%1 is not a valid value for field '%2'. The allowed range is %3 to %4")
                         .arg(n)
                         .arg(name)
                         .arg(lo)
                         .arg(hi));
            }
            break;
        }
        case TFieldType::ftFloat: {
            const double d = v.toDouble();
            const QString text = QString::number(d, 'f', f.decimals());
            if (!std::isfinite(d) || text.size() > f.size())
                fail(QStringLiteral("%1 does not fit field '%2' (%3 characters, %4 decimals)")
                         .arg(QString::number(d, 'g', 17), name)
                         .arg(f.size())
                         .arg(f.decimals()));
            break;
        }
        case TFieldType::ftDate: {
            const QDate d = v.toDate();
            if (!d.isValid() || d.year() < 1 || d.year() > 9999)
                fail(QStringLiteral("Invalid date for field '%1'").arg(name));
            break;
        }
        default:
            break;
    }
}

bool store(const TField& f, const QVariant& v) {
    const std::string name = f.fieldName().toStdString();
    int ok = 0;
    switch (f.dataType()) {
        case TFieldType::ftString:
            ok = xb_Replace(name, kXbReplaceText, bytes(v.toString()));
            break;
        case TFieldType::ftSmallint:
        case TFieldType::ftFloat:
            ok = v.isValid() ? xb_Replace(name, kXbReplaceDouble, v.toDouble())
                             : xb_Replace(name, kXbReplaceText, std::string());
            break;
        case TFieldType::ftDate:
            ok = xb_Replace(name, kXbReplaceDateText,
                            v.isValid()
                                ? v.toDate().toString(QStringLiteral("MM/dd/yyyy")).toStdString()
                                : std::string());
            break;
        case TFieldType::ftBoolean:
            ok = xb_Replace(name, kXbReplaceLogical, std::string(v.toBool() ? "T" : "F"));
            break;
        case TFieldType::ftMemo:
            ok = xb_PutMemo(name, bytes(v.toString()));
            break;
        default:
            ok = xb_PutBlob(name, v.toByteArray().toStdString());
            break;
    }
    return ok != 0;
}

}  // namespace qly::record
