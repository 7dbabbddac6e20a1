// qlyctl deleted and recall: the records a deletion marked (their bytes stay
// in the table, which is never packed) and bringing them back.

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "engine/Engine.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"

namespace qlyctl {

namespace {

using qly::engine::Engine;
using qly::engine::Field;
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

// The fields that tell a record of the table apart, as a user knows it.
std::vector<int> keyFields(const Table& table) {
    static const std::vector<std::vector<const char*>> kKeys = {
        {"NAME_ID", "DIVISION"},
        {"COMPANY", "CITY"},
        {"NAME", "CATAGORY", "SERIALNUM"},
    };
    for (const auto& names : kKeys) {
        if (table.fieldIndex(names[0]) < 0)
            continue;
        std::vector<int> out;
        for (const char* n : names) {
            if (table.fieldIndex(n) >= 0)
                out.push_back(table.fieldIndex(n));
        }
        return out;
    }
    return {0};
}

std::string shown(const char* record, const Field& f) {
    std::string s(record + f.offset, static_cast<size_t>(f.width));
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return s;
}

}  // namespace

int cmdDeleted(const Args& args) {
    const char* synopsis = "deleted TABLE";
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    Engine& engine = Engine::instance();
    engine.settings().deleted = false;
    const int number = engine.use(args[0], "", Table::Mode::ReadOnly);
    if (number == 0)
        return failure("deleted", engine.lastError());
    WorkArea& area = *engine.area(number);
    const Table& table = area.table();
    const std::vector<int> keys = keyFields(table);
    std::string error;
    unsigned count = 0;
    bool ok = area.goTop(error);
    while (ok && !area.eof()) {
        if (area.isDeleted()) {
            std::printf("%u", area.recno());
            for (int k : keys) {
                const Field& f = table.fields()[static_cast<size_t>(k)];
                std::printf("\t%s: %s", f.name.c_str(), shown(area.record(), f).c_str());
            }
            std::printf("\n");
            ++count;
        }
        ok = area.skip(1, error);
    }
    const std::string path = table.path();
    engine.close(number);
    if (!ok)
        return failure("deleted", path + ": " + error);
    std::printf("%u deleted records in %s\n", count, path.c_str());
    return kExitOk;
}

int cmdRecall(const Args& args) {
    const char* synopsis = "recall TABLE RECNO...";
    if (args.size() < 2 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    std::vector<uint32_t> recnos;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        bool digits = !a.empty() && a.size() <= 10;
        for (char c : a)
            digits = digits && std::isdigit(static_cast<unsigned char>(c));
        const unsigned long long v = digits ? std::strtoull(a.c_str(), nullptr, 10) : 0;
        if (v == 0 || v > 0xFFFFFFFFull) {
            std::fprintf(stderr, "qlyctl recall: '%s' is not a record number\n", a.c_str());
            return usage(synopsis);
        }
        recnos.push_back(static_cast<uint32_t>(v));
    }
    Engine& engine = Engine::instance();
    engine.settings().deleted = false;
    const int number = engine.use(args[0], "", Table::Mode::Shared);
    if (number == 0)
        return failure("recall", engine.lastError());
    WorkArea& area = *engine.area(number);
    const Table& table = area.table();
    const std::string path = table.path();
    std::string error;
    // Every number is checked before any record changes.
    std::vector<std::string> faults;
    for (uint32_t r : recnos) {
        if (r > table.recordCount()) {
            faults.push_back("record " + std::to_string(r) + " does not exist (the table has " +
                             std::to_string(table.recordCount()) + " records)");
        } else if (!area.go(r, error)) {
            engine.close(number);
            return failure("recall", path + ": " + error);
        } else if (!area.isDeleted()) {
            faults.push_back("record " + std::to_string(r) + " is not deleted");
        }
    }
    if (!faults.empty()) {
        engine.close(number);
        for (const std::string& f : faults)
            std::fprintf(stderr, "qlyctl recall: %s: %s\n", path.c_str(), f.c_str());
        std::fprintf(stderr, "qlyctl recall: nothing was recalled\n");
        return kExitFailure;
    }
    size_t done = 0;
    bool ok = true;
    for (uint32_t r : recnos) {
        ok = area.go(r, error) && (!area.isDeleted() || area.setDeletedFlag(false, error));
        if (!ok)
            break;
        ++done;
        std::printf("recalled record %u\n", r);
    }
    if (ok)
        ok = area.table().commit(error);
    engine.close(number);
    if (!ok)
        return failure("recall", path + ": " + error + " (" + std::to_string(done) + " of " +
                                     std::to_string(recnos.size()) + " recalled)");
    return kExitOk;
}

}  // namespace qlyctl
