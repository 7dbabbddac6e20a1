// qlyctl version: every entry of an executable file's version record, the
// program's own when no file is named.

#include <algorithm>
#include <cstdio>
#include <string>

#include "cli/Commands.h"
#include "version/Executable.h"
#include "version/VersionRecord.h"
#include "version/VersionText.h"

namespace qlyctl {

namespace {

void line(const std::string& name, const std::string& value, std::size_t width) {
    if (value.empty())
        std::printf("  %s\n", name.c_str());
    else
        std::printf("  %-*s  %s\n", static_cast<int>(width), name.c_str(), value.c_str());
}

std::string hex(std::uint32_t value) {
    char text[11];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

void printRecord(const std::string& file, const qly::version::VersionRecord& record) {
    using namespace qly::version;
    std::printf("%s\n", file.c_str());
    if (record.hasFixed) {
        const FixedInfo& f = record.fixed;
        std::string flags = hex(f.flags) + " of mask " + hex(f.flagsMask);
        if (const std::string words = flagsText(f.flags); !words.empty())
            flags += " (" + words + ")";
        std::printf("Fixed part\n");
        const std::size_t width = 15;
        line("File version", formatVersionNumber(f.fileVersionMS, f.fileVersionLS), width);
        line("Product version", formatVersionNumber(f.productVersionMS, f.productVersionLS), width);
        line("Flags", flags, width);
        line("OS", hex(f.os), width);
        line("Type", hex(f.type), width);
        line("Subtype", hex(f.subtype), width);
        line("Date", hex(f.dateMS) + " " + hex(f.dateLS), width);
    } else {
        std::printf("Fixed part: none\n");
    }
    std::string translations;
    for (const Translation& t : record.translations)
        translations += " " + langCharsetText(t);
    std::printf("Translation:%s\n", translations.empty() ? " none" : translations.c_str());
    for (const StringTable& table : record.stringTables) {
        std::printf("StringFileInfo %s\n", table.langCharset.c_str());
        std::size_t width = 0;
        for (const StringEntry& e : table.entries)
            width = std::max(width, e.key.size());
        for (const StringEntry& e : table.entries)
            line(e.key, e.value, width);
    }
}

}  // namespace

int cmdVersion(const Args& args) {
    if (args.size() > 1 || (!args.empty() && args[0].rfind("--", 0) == 0)) {
        std::fprintf(stderr, "usage: qlyctl version [FILE]\n");
        return kExitUsage;
    }
    const std::string file = args.empty() ? qly::version::programFile() : args[0];
    if (qly::version::versionInfoSize(file) == 0) {
        std::fprintf(stderr, "qlyctl version: %s: no version record\n", file.c_str());
        return kExitFailure;
    }
    const auto bytes = qly::version::readVersionInfo(file);
    if (!bytes) {
        std::fprintf(stderr, "qlyctl version: %s\n", bytes.result().message().c_str());
        return kExitFailure;
    }
    const auto record = qly::version::parseRecord(bytes.value());
    if (!record) {
        std::fprintf(stderr, "qlyctl version: %s: %s\n", file.c_str(),
                     record.result().message().c_str());
        return kExitFailure;
    }
    printRecord(file, record.value());
    return kExitOk;
}

}  // namespace qlyctl
