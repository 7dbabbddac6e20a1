#pragma once

#include <QString>
#include <QTime>

class QObject;
class TBandReport;
class TDataSource;

// The program's three list reports, one per table, each printing the
// records of the table behind its data source in the table's order:
//
//   Report2  the items,         "Main Table",          time text TimeLabel2
//   Report3  the locations,     "Location Report",     time text TimeLabel3
//   Report1  the manufacturers, "Manufacturer Report", time text TimeLabel1
//
// Each page starts with the title over its shadow, the report date and the
// time text at the top right, four column headings over their shadows and a
// rule, and ends with the page number. The time text is set by the program
// before each run (longTimeText).
namespace qly::reports {

TBandReport* makeItemsReport(TDataSource* source, QObject* parent = nullptr);
TBandReport* makeLocationsReport(TDataSource* source, QObject* parent = nullptr);
TBandReport* makeManufacturersReport(TDataSource* source, QObject* parent = nullptr);

// A time of day in the system's long time format (hours, minutes and
// seconds), as the reports print it.
QString longTimeText(const QTime& time);

}  // namespace qly::reports
