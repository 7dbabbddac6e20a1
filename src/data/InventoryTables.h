#pragma once

#include "engine/xbase.h"

#include <string>
#include <vector>

namespace qly::inventory {

// One table an installation starts with: its file name, fields and tags.
struct TableDef {
    const char* file;
    std::vector<XbFieldDef> fields;
    std::vector<XbTagDef> tags;
};

// The three inventory tables (items, manufacturers, locations), field for
// field, and the lookup boxes' scratch table.
std::vector<TableDef> inventoryTables();
TableDef lookupTable();

// The first file of the tables (.dbf, .cdx or .fpt) that exists in folder,
// or "" when none does.
std::string firstExisting(const std::string& folder, const std::vector<TableDef>& tables);

// Creates the tables, empty, in folder (which must end with '/' and exist);
// a table without tags (the scratch table) gets its one blank record.
// Nothing is overwritten: when one of the files exists already nothing is
// made. Each file made is added to *created. False with the path and the
// cause in error.
bool createTables(const std::string& folder, const std::vector<TableDef>& tables,
                  std::string& error, std::vector<std::string>* created = nullptr);

}  // namespace qly::inventory
