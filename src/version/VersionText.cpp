#include "version/VersionText.h"

#include "base/ByteOrder.h"
#include "version/VersionRecord.h"

namespace qly::version {

namespace {

std::string recordText(std::span<const std::uint8_t> record, EntryQuery& query) {
    if (query.flags) {
        const ResultOr<Value> fixed = queryValue(record, "\\");
        if (!fixed)
            return kErrorFixedInfo;
        const std::span<const std::uint8_t> part = fixed.value().bytes;
        if (part.size() < 2)
            return {};
        // Only a whole fixed part is read; a shorter one holds no flags.
        if (part.size() < kFixedPartSize || readLe32(part.data()) != kFixedSignature)
            return kErrorFixedInfo;
        return flagsText(readLe32(part.data() + kFixedFlagsOffset));
    }
    if (query.langCharset == kFirstLangCharset) {
        const ResultOr<Value> list = queryValue(record, "\\VarFileInfo\\Translation");
        if (!list || list.value().bytes.size() < 4)
            return kErrorTranslation;
        const std::uint8_t* first = list.value().bytes.data();
        query.langCharset = langCharsetText({readLe16(first), readLe16(first + 2)});
    }
    const ResultOr<Value> entry =
        queryValue(record, "\\StringFileInfo\\" + query.langCharset + "\\" + query.key);
    if (!entry)
        return kErrorStringInfo;
    // A text value counts UTF-16 units; a binary one found there, bytes.
    const std::size_t characters =
        entry.value().text ? entry.value().length : entry.value().length / 2;
    if (characters < 2)
        return kNoVersionInfo;
    return textOf(entry.value());
}

}  // namespace

std::string flagsText(std::uint32_t flags) {
    static const char* const kWords[] = {"Debug Build",   "Pre-Release Build", "Patched Build",
                                         "Private Build", "InfoInferred",      "Special Build"};
    std::string text;
    for (std::size_t bit = 0; bit < std::size(kWords); ++bit) {
        if ((flags & (1u << bit)) != 0)
            text += std::string(", ") + kWords[bit];
    }
    if (text.rfind(", ", 0) == 0)
        text.erase(0, 2);
    return text;
}

std::string entryText(ByteSource& file, EntryQuery& query) {
    if (versionInfoSize(file) == 0)
        return kNoDataAvailable;
    const ResultOr<std::vector<std::uint8_t>> record = readVersionInfo(file);
    if (!record)
        return kErrorVersionInfo;
    return recordText(record.value(), query);
}

std::string entryText(const std::string& path, EntryQuery& query) {
    FileSource file(path);
    return entryText(file, query);
}

}  // namespace qly::version
