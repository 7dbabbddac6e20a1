// qlyctl's table commands: init (the installation's empty tables), dump
// (structure and records in a stable text form) and reindex.

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "data/InventoryTables.h"
#include "engine/xbase.h"

namespace qlyctl {

namespace {

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

// The current record's value of field n as dump shows it; false with the
// cause in error when its memo cannot be read.
bool fieldText(int n, std::string& out, std::string& error) {
    const std::string name = xb_FieldName(n);
    const char type = xb_FieldType(n);
    switch (type) {
        case 'C':
            out = escaped(trimRight(xb_GetString(name)));
            return true;
        case 'N':
        case 'F':
        case 'L':
            out = trimBoth(xb_GetString(name));
            return true;
        case 'D': {
            const std::string t = trimBoth(xb_GetString(name));
            out = t.size() == 8 ? t.substr(0, 4) + "-" + t.substr(4, 2) + "-" + t.substr(6, 2) : t;
            return true;
        }
        default: {
            // Memo-file fields give their stored bytes, the others their field bytes.
            xb_ClearError();
            const std::string bytes = xb_GetBlob(name);
            if (xb_LastErrorCode() != 0) {
                error = xb_LastError();
                return false;
            }
            out = escaped(bytes);
            return true;
        }
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
    xb_SetDeleted(withDeleted ? 0 : -1);
    if (xb_Use(path, "", kXbModeReadOnly, kXbDriverFox) == 0)
        return failure("dump", xb_LastError());
    XbTableInfo table;
    if (xb_TableInfo(table) == 0) {
        const std::string message = xb_LastError();
        xb_Close();
        return failure("dump", message);
    }
    if (!tag.empty()) {
        const int order = xb_TagArea(tag);
        if (order == 0 || xb_SetOrder(order) == 0) {
            const std::string message =
                order == 0 ? table.path + ": has no index tag " + tag : xb_LastError();
            xb_Close();
            return failure("dump", message);
        }
    }
    std::printf("table %s\n", table.path.c_str());
    std::printf("version 0x%02X, %ld records of %d bytes, flags 0x%02X\n", table.version,
                table.recordCount, table.recordLength, table.flags);
    const int fields = xb_FieldCount();
    for (int n = 1; n <= fields; ++n)
        std::printf("field %-10s %c %3d %d\n", xb_FieldName(n).c_str(), xb_FieldType(n),
                    xb_FieldWidth(n), xb_FieldDecimals(n));
    XbTagInfo info;
    for (int o = 1; o <= table.orderCount; ++o) {
        if (xb_TagInfo(o, info) == 0)
            continue;
        std::printf("tag %-10s key %s%s%s%s%s\n", info.name.c_str(), info.keyExpression.c_str(),
                    info.forExpression.empty() ? "" : " for ", info.forExpression.c_str(),
                    info.unique ? " unique" : "", info.descending ? " descending" : "");
    }
    std::printf("order %s\n", tag.empty() ? "record number" : xb_TagName(xb_IndexOrd()).c_str());
    std::string error;
    bool ok = xb_GoTop() != 0;
    if (!ok)
        error = xb_LastError();
    std::string text;
    while (ok && xb_Eof() == 0) {
        std::printf("record %ld%s\n", xb_RecNo(), xb_Deleted() != 0 ? " deleted" : "");
        for (int n = 1; n <= fields; ++n) {
            if (!fieldText(n, text, error)) {
                ok = false;
                break;
            }
            std::printf("  %s: %s\n", xb_FieldName(n).c_str(), text.c_str());
        }
        if (ok && xb_Skip(1) == 0) {
            ok = false;
            error = xb_LastError();
        }
    }
    xb_Close();
    if (!ok)
        return failure("dump", error);
    return kExitOk;
}

int cmdReindex(const Args& args) {
    const char* synopsis = "reindex TABLE";
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    if (xb_Use(args[0], "", kXbModeExclusive, kXbDriverFox) == 0)
        return failure("reindex", xb_LastError());
    XbTableInfo table;
    if (xb_TableInfo(table) == 0) {
        const std::string message = xb_LastError();
        xb_Close();
        return failure("reindex", message);
    }
    if (table.orderCount == 0) {
        xb_Close();
        std::printf("%s has no index; nothing to rebuild\n", table.path.c_str());
        return kExitOk;
    }
    bool ok = xb_Reindex() != 0 && xb_Verify() != 0;
    const std::string error = ok ? std::string() : xb_LastError();
    XbTagInfo info;
    for (int o = 1; ok && o <= table.orderCount; ++o) {
        if (xb_TagInfo(o, info, true) != 0)
            std::printf("rebuilt %s tag %s: %llu keys\n", info.file.c_str(), info.name.c_str(),
                        info.keys);
    }
    xb_Close();
    if (!ok)
        return failure("reindex", error);
    return kExitOk;
}

}  // namespace qlyctl
