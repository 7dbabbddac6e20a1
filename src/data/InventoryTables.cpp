#include "data/InventoryTables.h"

#include <cctype>
#include <filesystem>
#include <system_error>

namespace qly::inventory {

namespace {

constexpr int kMemoBlockSize = 64;

using Field = XbFieldDef;
using TagDef = XbTagDef;

Field character(const char* name, int width) {
    return Field{name, 'C', width, 0};
}
Field numeric(const char* name, int width, int decimals) {
    return Field{name, 'N', width, decimals};
}
Field date(const char* name) {
    return Field{name, 'D', 8, 0};
}
Field logical(const char* name) {
    return Field{name, 'L', 1, 0};
}
Field memo(const char* name) {
    return Field{name, 'M', 10, 0};
}

// The file name with its extension replaced by ext (".cdx").
std::string withExtension(const std::string& path, const char* ext) {
    const size_t slash = path.rfind('/');
    const size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return path + ext;
    return path.substr(0, dot) + ext;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// The file of the folder whose name matches name without regard to letter
// case (the exact name first), or "" when there is none.
std::string existingFile(const std::string& folder, const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::exists(fs::path(folder) / name, ec))
        return folder + name;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string entry = it->path().filename().string();
        if (sameIgnoringCase(entry, name))
            return folder + entry;
    }
    return std::string();
}

// Gives a new table without tags its one blank record; false with the cause
// in error. The current work area stays current.
bool appendBlankRecord(const std::string& path, std::string& error) {
    const int previous = xb_WorkArea();
    const int area = xb_Use(path, "", kXbModeExclusive, kXbDriverFox);
    if (area == 0) {
        error = xb_LastError();
        return false;
    }
    const bool ok = xb_AppendEx() == kXbAppendOk && xb_Commit() != 0;
    if (!ok)
        error = path + ": " + xb_LastError();
    xb_Close();
    if (previous != 0)
        xb_Select(previous);
    return ok;
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
        xb_SetKnownTags(t.file, t.tags);
}

std::string firstExisting(const std::string& folder, const std::vector<TableDef>& tables) {
    for (const TableDef& t : tables) {
        for (const char* ext : {".dbf", ".cdx", ".fpt"}) {
            const std::string path = existingFile(folder, withExtension(t.file, ext));
            if (!path.empty())
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
    // New memo files get the engine's default block size of 64 bytes,
    // whatever the program set for its own work.
    const int previousBlockSize = xb_SetMemoBlockSize(kMemoBlockSize);
    bool ok = true;
    for (const TableDef& t : tables) {
        const std::string path = folder + t.file;
        if (xb_Create(path, t.fields, t.tags) == 0) {
            error = xb_LastError();
            ok = false;
            break;
        }
        if (created) {
            created->push_back(path);
            for (const char* ext : {".cdx", ".fpt"}) {
                const std::string companion = withExtension(path, ext);
                std::error_code ec;
                if (std::filesystem::exists(companion, ec))
                    created->push_back(companion);
            }
        }
        // The scratch table holds one blank record.
        if (t.tags.empty() && !appendBlankRecord(path, error)) {
            ok = false;
            break;
        }
    }
    xb_SetMemoBlockSize(previousBlockSize == 1 ? 0 : previousBlockSize);
    return ok;
}

}  // namespace qly::inventory
