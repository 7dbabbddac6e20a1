#include "data/Field.h"

#include "data/CodePage.h"
#include "data/DateFormat.h"
#include "data/DbTable.h"

#include <QLocale>

TFieldType presentedType(char xbaseType, int width, int decimals) {
    switch (xbaseType) {
        case 'C':
            return TFieldType::ftString;
        case 'N':
        case 'F':
            if (decimals > 0)
                return TFieldType::ftFloat;
            return width >= 1 && width <= 4 ? TFieldType::ftSmallint : TFieldType::ftFloat;
        case 'D':
            return TFieldType::ftDate;
        case 'L':
            return TFieldType::ftBoolean;
        case 'M':
            return TFieldType::ftMemo;
        case 'G':
            return TFieldType::ftOle;
        case 'B':
        case 'P':
            return TFieldType::ftBlob;
        default:
            return TFieldType::ftUnknown;
    }
}

QString fieldTypeName(TFieldType type) {
    switch (type) {
        case TFieldType::ftString:
            return QStringLiteral("String");
        case TFieldType::ftSmallint:
            return QStringLiteral("SmallInt");
        case TFieldType::ftFloat:
            return QStringLiteral("Float");
        case TFieldType::ftDate:
            return QStringLiteral("Date");
        case TFieldType::ftBoolean:
            return QStringLiteral("Boolean");
        case TFieldType::ftMemo:
            return QStringLiteral("Memo");
        case TFieldType::ftOle:
            return QStringLiteral("OLE");
        case TFieldType::ftBlob:
            return QStringLiteral("Blob");
        case TFieldType::ftUnknown:
            break;
    }
    return QStringLiteral("Unknown");
}

TField::TField(TDbTable* table, const TFieldDef& def, int fieldNo, char xbaseType, int width,
               int decimals, int offset)
    : m_table(table),
      m_def(def),
      m_fieldNo(fieldNo),
      m_xbaseType(xbaseType),
      m_width(width),
      m_decimals(decimals),
      m_offset(offset) {}

bool TField::isBlob() const {
    return m_def.type == TFieldType::ftMemo || m_def.type == TFieldType::ftOle ||
           m_def.type == TFieldType::ftBlob;
}

QVariant TField::value() const {
    return m_table->fieldValue(*this);
}

QString TField::asString() const {
    const QVariant v = value();
    if (!v.isValid())
        return {};
    switch (m_def.type) {
        case TFieldType::ftDate:
            return qly::dates::formatDate(v.toDate());
        case TFieldType::ftBoolean:
            return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
        case TFieldType::ftFloat:
            return m_decimals > 0 ? QString::number(v.toDouble(), 'f', m_decimals)
                                  : QString::number(v.toDouble(), 'g', 15);
        case TFieldType::ftOle:
        case TFieldType::ftBlob:
            return QString::fromLatin1(v.toByteArray());
        default:
            return v.toString();
    }
}

int TField::asInteger() const {
    return value().toInt();
}
double TField::asFloat() const {
    return value().toDouble();
}
QDate TField::asDate() const {
    return value().toDate();
}
bool TField::asBoolean() const {
    return value().toBool();
}

QByteArray TField::asBytes() const {
    const QVariant v = value();
    if (v.typeId() == QMetaType::QByteArray)
        return v.toByteArray();
    return QByteArray::fromStdString(qly::cp1252::encode(v.toString()));
}

QString TField::displayText() const {
    if (isBlob()) {
        const bool empty = value().toString().isEmpty() && value().toByteArray().isEmpty();
        const QString kind = m_def.type == TFieldType::ftMemo  ? QStringLiteral("memo")
                             : m_def.type == TFieldType::ftOle ? QStringLiteral("ole")
                                                               : QStringLiteral("blob");
        return QStringLiteral("(%1)").arg(empty ? kind : kind.toUpper());
    }
    if (m_def.currency && m_def.type == TFieldType::ftFloat) {
        const QVariant v = value();
        return v.isValid() ? QLocale::system().toCurrencyString(v.toDouble()) : QString();
    }
    return asString();
}

void TField::setValue(const QVariant& value) {
    m_table->setFieldValue(*this, value);
}
