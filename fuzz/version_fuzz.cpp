// version_fuzz: the version record reader under libFuzzer. The input is
// taken as an executable file (the record found in it as ELF or PE, and the
// texts a version label reads from it) and as a record by itself (every
// query and the whole read-back).

#include <cstddef>
#include <cstdint>
#include <span>

#include "version/Executable.h"
#include "version/VersionRecord.h"
#include "version/VersionText.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace qly::version;
    const std::span<const std::uint8_t> bytes(data, size);

    MemorySource file(bytes);
    for (const char* key : {"CompanyName", "Comments"}) {
        EntryQuery query{false, key, kFirstLangCharset};
        (void)entryText(file, query);
        (void)entryText(file, query);  // with the block resolved
    }
    EntryQuery flags{true, "Flags", kFirstLangCharset};
    (void)entryText(file, flags);

    (void)parseRecord(bytes);
    for (const char* path :
         {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\080904E4\\CompanyName"}) {
        const auto value = queryValue(bytes, path);
        if (value)
            (void)textOf(value.value());
    }
    return 0;
}
