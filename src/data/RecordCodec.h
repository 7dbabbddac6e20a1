#pragma once

#include "data/Field.h"

#include <QString>
#include <QVariant>

#include <string>

// The values of one field of a record, between the record as the engine
// keeps it and the typed values of the table layer: read from a record
// image, taken from what a user or a control hands over, checked before the
// record is written, and written into the engine's current record.
//
// Typed values: QString (string, memo), int (smallint) or qlonglong (while
// edited), double (float), QDate (date), bool (boolean), QByteArray (OLE,
// blob); an invalid QVariant is a blank field. Failures throw QlyError with
// the message the user sees.
namespace qly::record {

// The value of a field in a record image; memo and blob fields give their
// block reference (see TField::displayText). Invalid when blank or
// unreadable, or when the image is too short.
QVariant valueFromImage(const TField& field, const std::string& image);
// The text a grid shows for the field of a record image.
QString displayTextFromImage(const TField& field, const std::string& image);

// The value a field of a new record starts with: an empty text for string
// and memo fields, blank for the others.
QVariant blankValue(TFieldType type);
// The value the field takes from what was handed over: a QString as the
// user typed it (trimmed; dates in the program-wide format, numbers in the
// C locale, booleans as T/F/Y/N/TRUE/FALSE/YES/NO/.T./.F.), or a typed
// value. Throws when the field cannot read it.
QVariant fromInput(const TField& field, const QVariant& value);
// Throws when a value (as fromInput made it) does not fit the field's
// column: a character code page 1252 cannot hold (data/CodePage.h), a text longer than the field, a
// number out of range or too wide, a date outside the years 1 to 9999.
void validate(const TField& field, const QVariant& value);
// Writes the value into the field of the engine's current record. False
// when the engine refused (xb_LastError says why).
bool store(const TField& field, const QVariant& value);

}  // namespace qly::record
