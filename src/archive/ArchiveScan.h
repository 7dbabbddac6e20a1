#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "archive/FileAccess.h"

// Reads a whole archive, every block of every volume, without writing
// anything: what the archive holds and where it is damaged. Later volumes are
// opened by their names beside the first one; nobody is asked for them.
namespace qly::archive {

struct ScannedMember {
    std::string name;
    std::int32_t stamp = 0;
    std::int64_t size = 0;  // expanded bytes
    int firstVolume = 1;
    int lastVolume = 1;
};

struct ScanResult {
    bool readable = false;  // the header could be read
    bool complete = false;  // read to the end-of-archive record without damage
    std::string title;
    std::int32_t totalSize = 0;
    std::int32_t fileCount = 0;
    int volumes = 1;
    std::vector<ScannedMember> members;
    // The first damage found: a description, the volume's file and the
    // offset in it where reading stopped.
    std::string error;
    std::string errorFile;
    std::int64_t errorOffset = 0;
};

// `progress` is called after every block with the volume's file name and the
// bytes expanded so far.
ScanResult scanArchive(const std::string& path, FileSystem& fs = FileSystem::posix(),
                       const std::function<void(const std::string&, std::int64_t)>& progress = {});

}  // namespace qly::archive
