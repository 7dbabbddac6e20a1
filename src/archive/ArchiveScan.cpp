#include "archive/ArchiveScan.h"

#include <algorithm>
#include <memory>
#include <set>

#include "archive/FileInfo.h"
#include "archive/Format.h"

namespace qly::archive {

namespace {

const char* describe(BlockStreamReader::Status status) {
    using S = BlockStreamReader::Status;
    switch (status) {
        case S::Truncated:
            return "the archive ends inside a member's data";
        case S::BadMagic:
            return "a member's data has an unknown encoding";
        case S::Damaged:
            return "a block is damaged (length out of range)";
        case S::DecompressError:
            return "a compressed block is damaged";
        default:
            return "unexpected stop";
    }
}

}  // namespace

ScanResult scanArchive(const std::string& path, FileSystem& fs,
                       const std::function<void(const std::string&, std::int64_t)>& progress) {
    ScanResult result;
    std::string volumePath = path;
    std::unique_ptr<ByteStream> file = openRead(fs, path);
    if (file == nullptr) {
        result.error = "cannot open the archive";
        result.errorFile = path;
        return result;
    }
    auto input = std::make_unique<ArchiveInput>(*file);
    auto fail = [&](const std::string& what) {
        result.error = what;
        result.errorFile = volumePath;
        result.errorOffset = input ? input->position() : 0;
        return result;
    };

    std::int32_t titleLength = 0;
    if (!input->readInt32(titleLength) || titleLength < 0 || titleLength > kMaxNameLength) {
        return fail("the header cannot be read");
    }
    result.title.resize(static_cast<std::size_t>(titleLength));
    if (!input->read(result.title.data(), result.title.size()) ||
        !input->readInt32(result.totalSize) || !input->readInt32(result.fileCount)) {
        return fail("the header cannot be read");
    }
    result.readable = true;

    BlockStreamReader reader;
    std::set<int> volumesSeen{1};
    std::int64_t expanded = 0;
    ScannedMember* current = nullptr;
    auto readStream = [&](ScannedMember* member) {
        return reader.read(*input, true, [&](const std::uint8_t*, std::size_t n) {
            if (member != nullptr) {
                member->size += static_cast<std::int64_t>(n);
            }
            expanded += static_cast<std::int64_t>(n);
            if (progress) {
                progress(volumePath, expanded);
            }
            return true;
        });
    };

    for (;;) {
        std::int32_t nameLength = 0;
        if (!input->readInt32(nameLength)) {
            return fail("the archive ends without its end record");
        }
        if (nameLength == 0) {
            break;
        }
        if (nameLength < 0 || nameLength > kMaxNameLength) {
            return fail("a record's name length is damaged");
        }
        std::string name(static_cast<std::size_t>(nameLength), '\0');
        if (!input->read(name.data(), name.size())) {
            return fail("the archive ends inside a record's name");
        }
        if (name.compare(0, 9, kVolumeChangePrefix) == 0) {
            const std::string digits =
                name.size() >= kVolumeChangeNameLength ? name.substr(9, 3) : "";
            if (digits.size() != 3 || !std::all_of(digits.begin(), digits.end(),
                                                   [](char c) { return c >= '0' && c <= '9'; })) {
                return fail("a volume change record is damaged");
            }
            // A continuation belongs to a member; a volume named twice
            // would be read forever.
            if (current == nullptr) {
                return fail("a volume continues no member");
            }
            if (!volumesSeen.insert(std::stoi(digits)).second) {
                return fail("volume " + digits + " is named again (a volume loop)");
            }
            const std::string next = volumeFileName(path, digits);
            input.reset();
            file = openRead(fs, next);
            volumePath = next;
            ++result.volumes;
            if (file == nullptr) {
                result.error = "volume " + std::to_string(result.volumes) + " is missing";
                result.errorFile = next;
                return result;
            }
            input = std::make_unique<ArchiveInput>(*file);
            if (current != nullptr) {
                current->lastVolume = result.volumes;
            }
            const BlockStreamReader::Status status = readStream(current);
            if (status != BlockStreamReader::Status::Ok) {
                return fail(describe(status));
            }
            continue;
        }
        ScannedMember member;
        member.name = name;
        member.firstVolume = member.lastVolume = result.volumes;
        if (!input->readInt32(member.stamp)) {
            return fail("the archive ends inside a record's date stamp");
        }
        result.members.push_back(member);
        current = &result.members.back();
        const BlockStreamReader::Status status = readStream(current);
        if (status != BlockStreamReader::Status::Ok) {
            return fail(describe(status));
        }
    }
    result.complete = true;
    return result;
}

}  // namespace qly::archive
