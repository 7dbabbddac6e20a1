// archive_fuzz: the archive reader under libFuzzer. The input is taken as an
// archive (the reader, the restore's record parsing with every member passed
// over) and as a legacy block.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ArchiveScan.h"
#include "archive/Archiver.h"
#include "archive/Format.h"
#include "archive/Lzrw1kh.h"

namespace {

using namespace qly::archive;

// Serves the input as the archive's first volume; other names do not exist.
class InputFileSystem : public FileSystem {
public:
    InputFileSystem(const std::uint8_t* data, std::size_t size) : m_bytes(data, data + size) {}
    std::unique_ptr<ByteStream> openRead(const std::string& path) override {
        if (path != "fuzz.bkp") {
            return nullptr;
        }
        return std::make_unique<MemoryStream>(m_bytes);
    }
    std::unique_ptr<ByteStream> create(const std::string&) override { return nullptr; }
    std::unique_ptr<ByteStream> openAppend(const std::string&) override { return nullptr; }

private:
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    InputFileSystem fs(data, size);
    (void)scanArchive("fuzz.bkp", fs);

    MemoryStream stream(std::vector<std::uint8_t>(data, data + size));
    TArchiver archiver;
    archiver.setFileSystem(&fs);
    archiver.RestoreStream = &stream;
    archiver.OnRestoreFile = [](TArchiver&, std::string&, std::int32_t, bool& doRestore) {
        doRestore = false;
    };
    archiver.OnNeedDisk = [](TArchiver&, std::uint16_t, bool& cont) { cont = false; };
    (void)archiver.Restore(":STREAM", "/nonexistent-fuzz-target");

    static std::vector<std::uint8_t> out(kLegacyMaxBlock);
    (void)lzrw1khDecode(data, size, out.data(), out.size());
    return 0;
}
