#include "data/InventoryTables.h"

#include "engine/Engine.h"
#include "engine/Table.h"

#include <memory>

namespace qly::inventory {

namespace {

using engine::Field;
using engine::TagDef;

Field character(const char* name, int width) {
    return Field{name, 'C', width, 0, 0};
}
Field numeric(const char* name, int width, int decimals) {
    return Field{name, 'N', width, decimals, 0};
}
Field date(const char* name) {
    return Field{name, 'D', 8, 0, 0};
}
Field logical(const char* name) {
    return Field{name, 'L', 1, 0, 0};
}
Field memo(const char* name) {
    return Field{name, 'M', 10, 0, 0};
}

}  // namespace

std::vector<TableDef> inventoryTables() {
    return {
        {"MAIN.DBF",
         {character("NAME", 40),
          character("CATAGORY", 40),
          character("SERIALNUM", 50),
          character("PARTNUM", 50),
          character("MODELNUM", 40),
          character("MANUFACT", 40),
          character("LOCATION", 40),
          numeric("QUANTITY", 4, 0),
          character("SERVCONTR", 40),
          character("SERVCONTAC", 50),
          character("SERVPNUM", 20),
          character("SERVCOMPAN", 40),
          numeric("PURCHPRICE", 12, 2),
          date("PURCHDATE"),
          character("PURCHPLACE", 50),
          logical("DISPOSED"),
          date("DISPDATE"),
          character("DISPMETHOD", 50),
          character("UNIT_ID", 20),
          character("USER1", 50),
          character("USER2", 50),
          character("USER3", 50),
          character("USER4", 50),
          date("DATE1"),
          date("DATE2"),
          memo("DESCRIPT")},
         {TagDef{"NAME", "NAME", "", false, false}}},
        {"MANUFACT.DBF",
         {character("COMPANY", 50), memo("ADDRESS"), character("CITY", 50),
          character("STATEPROV", 50), character("PHONE", 20), character("FAX", 20),
          character("CONTACT", 50), character("EMAIL", 60), character("WEBSITE", 60),
          character("USER1", 50), character("USER2", 50), character("USER3", 50),
          character("USER4", 50), date("DATE1"), date("DATE2")},
         {TagDef{"COMPANY", "COMPANY", "", false, false}}},
        {"Location.dbf",
         {character("NAME_ID", 50), memo("ADDRESS"), character("DIVISION", 50),
          character("COST_CENTR", 50), numeric("WSNUM", 4, 0), numeric("EMPLNUM", 4, 0),
          character("MANAGERNAM", 50), character("PHONE", 20), character("FAX", 20),
          character("DEPARTMENT", 40), character("EMAIL", 60), character("WEBSITE", 60),
          character("USER1", 50), character("USER2", 50), character("USER3", 50),
          character("USER4", 50)},
         {TagDef{"NAME_ID", "NAME_ID", "", false, false}}},
    };
}

TableDef lookupTable() {
    return {"LOOKUP.DBF", {character("COMPANY", 50), character("LOCATION", 50)}, {}};
}

void registerInventoryTags() {
    for (const TableDef& t : inventoryTables())
        engine::setKnownTags(t.file, t.tags);
}

std::string firstExisting(const std::string& folder, const std::vector<TableDef>& tables) {
    for (const TableDef& t : tables) {
        for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
            const std::string path =
                engine::resolveFileName(engine::withExtension(folder + t.file, ext));
            if (engine::fileExists(path))
                return path;
        }
    }
    return std::string();
}

bool createTables(const std::string& folder, const std::vector<TableDef>& tables,
                  std::string& error, std::vector<std::string>* created) {
    if (const std::string existing = firstExisting(folder, tables); !existing.empty()) {
        error = existing + ": exists already; nothing was created";
        return false;
    }
    engine::Settings settings;
    for (const TableDef& t : tables) {
        const std::string path = folder + t.file;
        if (!engine::createTable(path, t.fields, t.tags, settings, error))
            return false;
        if (created) {
            created->push_back(path);
            for (const char* ext : {".cdx", ".fpt"}) {
                const std::string companion = engine::withExtension(path, ext);
                if (engine::fileExists(companion))
                    created->push_back(companion);
            }
        }
        if (t.tags.empty()) {
            // The scratch table holds one blank record.
            std::unique_ptr<engine::Table> table =
                engine::Table::open(path, engine::Table::Mode::Exclusive, error);
            if (!table)
                return false;
            std::vector<char> blank(static_cast<size_t>(table->recordLength()));
            uint32_t recno = 0;
            table->blankRecord(blank.data());
            if (table->appendRecord(blank.data(), 1, recno, error) != engine::Table::kAppendOk ||
                !table->commit(error))
                return false;
        }
    }
    return true;
}

}  // namespace qly::inventory
