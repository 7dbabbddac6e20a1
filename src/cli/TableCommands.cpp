// qlyctl's table commands: init (the installation's empty tables), dump
// (structure and records in a stable text form), reindex and verify of a
// table's indexes.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "data/InventoryTables.h"
#include "engine/Dates.h"
#include "engine/Engine.h"
#include "engine/IndexSet.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"

namespace qlyctl {

namespace {

using qly::engine::Engine;
using qly::engine::Field;
using qly::engine::IndexSet;
using qly::engine::Table;
using qly::engine::WorkArea;

int usage(const char* synopsis) {
    std::fprintf(stderr, "usage: qlyctl %s\n", synopsis);
    return kExitUsage;
}

int failure(const char* command, const std::string& message) {
    std::fprintf(stderr, "qlyctl %s: %s\n", command, message.c_str());
    return kExitFailure;
}

// A field's value as dump shows it: text without trailing blanks, dates as
// YYYY-MM-DD, memos with control characters escaped.
std::string escaped(const std::string& text) {
    std::string out;
    for (unsigned char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (c < 0x20 || c == 0x7F) {
                    char hex[8];
                    std::snprintf(hex, sizeof hex, "\\x%02X", c);
                    out += hex;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out;
}

std::string trimRight(std::string s) {
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

std::string trimBoth(std::string s) {
    s = trimRight(std::move(s));
    size_t b = 0;
    while (b < s.size() && s[b] == ' ')
        ++b;
    return s.substr(b);
}

bool fieldText(const Table& table, const char* record, const Field& f, std::string& out,
               std::string& error) {
    const std::string raw(record + f.offset, static_cast<size_t>(f.width));
    switch (f.type) {
        case 'C':
            out = escaped(trimRight(raw));
            return true;
        case 'N':
        case 'F':
            out = trimBoth(raw);
            return true;
        case 'D': {
            const std::string t = trimBoth(raw);
            out = t.size() == 8 ? t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) : t;
            return true;
        }
        case 'L':
            out = trimBoth(raw);
            return true;
        default:
            if (f.isMemoRef()) {
                std::string memoText;
                if (!table.readMemo(record, f, memoText, error))
                    return false;
                out = escaped(memoText);
                return true;
            }
            out = escaped(raw);
            return true;
    }
}

}  // namespace

int cmdInit(const Args& args) {
    const char* synopsis = "init FOLDER";
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    std::string folder = args[0];
    if (folder.back() != '/')
        folder += '/';
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        return failure("init", folder + ": cannot create the folder: " + ec.message());
    std::vector<qly::inventory::TableDef> tables = qly::inventory::inventoryTables();
    tables.push_back(qly::inventory::lookupTable());
    // Nothing is overwritten: stop before making anything when one file is there.
    std::string error;
    std::vector<std::string> created;
    const bool ok = qly::inventory::createTables(folder, tables, error, &created);
    for (const std::string& path : created)
        std::printf("created %s\n", path.c_str());
    if (!ok)
        return failure("init", error);
    return kExitOk;
}

int cmdDump(const Args& args) {
    const char* synopsis = "dump TABLE [--order TAG] [--deleted]";
    std::string path, tag;
    bool withDeleted = false;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--deleted") {
            withDeleted = true;
        } else if (args[i] == "--order") {
            if (i + 1 >= args.size())
                return usage(synopsis);
            tag = args[++i];
        } else if (!args[i].empty() && args[i][0] == '-') {
            return usage(synopsis);
        } else if (path.empty()) {
            path = args[i];
        } else {
            return usage(synopsis);
        }
    }
    if (path.empty())
        return usage(synopsis);
    Engine& engine = Engine::instance();
    engine.settings().deleted = !withDeleted;
    const int number = engine.use(path, "", Table::Mode::ReadOnly);
    if (number == 0)
        return failure("dump", engine.lastError());
    WorkArea& area = *engine.area(number);
    Table& table = area.table();
    std::string error;
    IndexSet& indexes = area.indexes();
    if (!tag.empty()) {
        const int order = indexes.orderOf(tag);
        if (order == 0) {
            const std::string message = table.path() + ": has no index tag " + tag;
            engine.close(number);
            return failure("dump", message);
        }
        indexes.setOrder(order, error);
        area.setOrder(indexes.order());
    }
    std::printf("table %s\n", table.path().c_str());
    std::printf("version 0x%02X, %u records of %d bytes, flags 0x%02X\n", table.version(),
                table.recordCount(), table.recordLength(), table.flags());
    for (const Field& f : table.fields())
        std::printf("field %-10s %c %3d %d\n", f.name.c_str(), f.type, f.width, f.decimals);
    for (int o = 1; o <= indexes.orderCount(); ++o) {
        const qly::engine::TagInfo info = indexes.tagInfo(o);
        std::printf("tag %-10s key %s%s%s%s%s\n", info.name.c_str(), info.keyExpression.c_str(),
                    info.forExpression.empty() ? "" : " for ", info.forExpression.c_str(),
                    info.unique ? " unique" : "", info.descending ? " descending" : "");
    }
    std::printf("order %s\n",
                tag.empty() ? "record number" : indexes.tagName(indexes.currentOrder()).c_str());
    bool ok = area.goTop(error);
    std::string text;
    while (ok && !area.eof()) {
        std::printf("record %u%s\n", area.recno(), area.isDeleted() ? " deleted" : "");
        for (const Field& f : table.fields()) {
            if (!fieldText(table, area.record(), f, text, error)) {
                ok = false;
                break;
            }
            std::printf("  %s: %s\n", f.name.c_str(), text.c_str());
        }
        if (ok)
            ok = area.skip(1, error);
    }
    engine.close(number);
    if (!ok)
        return failure("dump", error);
    return kExitOk;
}

int cmdReindex(const Args& args) {
    const char* synopsis = "reindex TABLE";
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    Engine& engine = Engine::instance();
    // The inventory tables are rebuilt with their own tags when their index
    // cannot be read or has lost one.
    qly::inventory::registerInventoryTags();
    int number = engine.use(args[0], "", Table::Mode::Exclusive);
    if (number == 0) {
        // The table may be sound while its index is not: rebuild it from the table.
        const std::string why = engine.lastError();
        bool rebuilt = false;
        std::string report, error;
        if (!engine.repairIndex(args[0], false, rebuilt, report, error))
            return failure("reindex", why + (error.empty() || error == why ? "" : "; " + error));
        if (!rebuilt)
            return failure("reindex", why);
        std::printf("%s\n", report.c_str());
        number = engine.use(args[0], "", Table::Mode::Exclusive);
        if (number == 0)
            return failure("reindex", engine.lastError());
    }
    WorkArea& area = *engine.area(number);
    IndexSet& indexes = area.indexes();
    std::string error;
    const std::string path = area.table().path();
    if (!indexes.canReindex()) {
        engine.close(number);
        std::printf("%s has no index; nothing to rebuild\n", path.c_str());
        return kExitOk;
    }
    bool ok = indexes.reindex(error) && indexes.flush(true, error) && indexes.verify(error);
    if (ok) {
        for (int o = 1; o <= indexes.orderCount(); ++o) {
            const qly::engine::TagInfo info = indexes.tagInfo(o, true);
            std::printf("rebuilt %s tag %s: %llu keys\n", info.file.c_str(), info.name.c_str(),
                        static_cast<unsigned long long>(info.keys));
        }
    }
    engine.close(number);
    if (!ok)
        return failure("reindex", error);
    return kExitOk;
}

int cmdVerifyTable(const Args& args) {
    const char* synopsis = "verify TABLE.dbf";
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    Engine& engine = Engine::instance();
    qly::inventory::registerInventoryTags();
    const int number = engine.use(args[0], "", Table::Mode::ReadOnly);
    if (number == 0)
        return failure("verify", engine.lastError());
    WorkArea& area = *engine.area(number);
    IndexSet& indexes = area.indexes();
    const std::string path = area.table().path();
    std::string error;
    const bool ok = indexes.verify(error);
    if (ok) {
        if (indexes.orderCount() == 0)
            std::printf("%s: OK, no index\n", path.c_str());
        for (int o = 1; o <= indexes.orderCount(); ++o) {
            const qly::engine::TagInfo info = indexes.tagInfo(o, true);
            std::printf("%s: OK, tag %s: %llu keys\n", info.file.c_str(), info.name.c_str(),
                        static_cast<unsigned long long>(info.keys));
        }
    }
    engine.close(number);
    if (!ok)
        return failure("verify", error);
    return kExitOk;
}

}  // namespace qlyctl
