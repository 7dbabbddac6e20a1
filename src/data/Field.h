#pragma once

#include <QByteArray>
#include <QDate>
#include <QString>
#include <QVariant>

class TDbTable;

// How the table layer presents an xBase field.
enum class TFieldType {
    ftUnknown,
    ftString,    // C: text, as wide as the field
    ftSmallint,  // N without decimals, width 1 to 4: 16-bit signed integer
    ftFloat,     // N with decimals, or width 5 or more (F likewise)
    ftDate,      // D
    ftBoolean,   // L
    ftMemo,      // M: text of any length in the memo file
    ftOle,       // G: OLE object blob
    ftBlob       // B, P: binary blob
};

// A field a table declares (or, without a declared list, one found in the
// file). size is the width in characters for ftString (0: take the file's).
struct TFieldDef {
    QString name;
    TFieldType type = TFieldType::ftString;
    int size = 0;
    QString displayLabel;  // empty: the field name serves
    int displayWidth = 0;  // characters; 0: the field's own width
    bool visible = true;   // shown by grids by default
    QString editMask;
    bool currency = false;  // shown as a currency amount (floating point only)
};

// The presentation of an xBase type letter, width and decimals;
// ftUnknown for a letter the table layer refuses.
TFieldType presentedType(char xbaseType, int width, int decimals);
QString fieldTypeName(TFieldType type);

// One field of an open table: its definition, its place in the record and
// the value of the current record (or of the edit buffer while the table is
// in edit or insert state). Owned by its table; valid while it is open.
class TField {
public:
    TField(TDbTable* table, const TFieldDef& def, int fieldNo, char xbaseType, int width,
           int decimals, int offset);

    TDbTable* dataSet() const { return m_table; }
    const QString& fieldName() const { return m_def.name; }
    TFieldType dataType() const { return m_def.type; }
    QString displayLabel() const {
        return m_def.displayLabel.isEmpty() ? m_def.name : m_def.displayLabel;
    }
    int displayWidth() const { return m_def.displayWidth > 0 ? m_def.displayWidth : m_width; }
    bool visible() const { return m_def.visible; }
    const QString& editMask() const { return m_def.editMask; }
    int fieldNo() const { return m_fieldNo; }  // 1-based, in the file
    char xbaseType() const { return m_xbaseType; }
    int size() const { return m_width; }  // width in the file
    int decimals() const { return m_decimals; }
    int offset() const { return m_offset; }  // in the record image
    bool isBlob() const;                     // memo, OLE or blob

    // The value of the current record: QString (string, memo), int
    // (smallint), double (float), QDate (date), bool (boolean), QByteArray
    // (OLE, blob); an invalid QVariant when the field is blank.
    QVariant value() const;
    bool isNull() const { return !value().isValid(); }
    QString asString() const;  // text as a user reads it (dates in the program-wide format)
    int asInteger() const;
    double asFloat() const;
    QDate asDate() const;
    bool asBoolean() const;
    QByteArray asBytes() const;   // memo/blob bytes as stored
    QString displayText() const;  // what a grid cell shows

    // Writes the edit buffer; the table must be in edit or insert state
    // (throws QlyError "Dataset not in edit or insert mode" otherwise).
    // Values are checked when the record is posted. A QString is read as the
    // user typed it (dates in the program-wide format, numbers in C locale).
    void setValue(const QVariant& value);
    void setAsString(const QString& text) { setValue(text); }
    void setAsInteger(int value) { setValue(value); }
    void setAsFloat(double value) { setValue(value); }
    void setAsDate(const QDate& value) { setValue(value); }
    void setAsBoolean(bool value) { setValue(value); }
    void clear() { setValue(QVariant()); }

private:
    TDbTable* m_table;
    TFieldDef m_def;
    int m_fieldNo;
    char m_xbaseType;
    int m_width;
    int m_decimals;
    int m_offset;
};
