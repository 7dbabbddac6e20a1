// qlyctl deleted and recall: the records a deletion marked (their bytes stay
// in the table, which is never packed) and bringing them back
// (data/CsvTransfer does the work; the program's Deleted Records window
// shares it).

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "cli/Commands.h"
#include "data/CsvTransfer.h"

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

}  // namespace

int cmdDeleted(const Args& args) {
    const char* synopsis = "deleted TABLE";
    if (args.size() != 1 || args[0].empty() || args[0][0] == '-')
        return usage(synopsis);
    std::vector<qly::csv::DeletedRecord> records;
    std::string path, error;
    if (!qly::csv::listDeleted(args[0], records, path, error))
        return failure("deleted", error);
    for (const qly::csv::DeletedRecord& d : records) {
        std::printf("%u", d.recno);
        for (const auto& [name, value] : d.keys)
            std::printf("\t%s: %s", name.c_str(), value.c_str());
        std::printf("\n");
    }
    std::printf("%zu deleted records in %s\n", records.size(), path.c_str());
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
    const qly::csv::RecallResult r = qly::csv::recallRecords(args[0], recnos);
    if (!r.faults.empty()) {
        for (const std::string& f : r.faults)
            std::fprintf(stderr, "qlyctl recall: %s: %s\n", r.tablePath.c_str(), f.c_str());
        std::fprintf(stderr, "qlyctl recall: nothing was recalled\n");
        return kExitFailure;
    }
    for (uint32_t recno : r.recalled)
        std::printf("recalled record %u\n", recno);
    if (!r.ok)
        return failure("recall", r.error + " (" + std::to_string(r.recalled.size()) + " of " +
                                     std::to_string(recnos.size()) + " recalled)");
    return kExitOk;
}

}  // namespace qlyctl
