#include "settings/DataPath.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <vector>

namespace qly {

bool isInstalledProgramFolder(const std::string& executableFolder) {
    const std::string marker = appendPathSeparator(executableFolder) +
                               "../../share/metainfo/org.quillory.Quillory.metainfo.xml";
    return access(marker.c_str(), F_OK) == 0;
}

std::string installedDataFolder(const char* xdgDataHome, const char* home) {
    std::string base;
    if (xdgDataHome != nullptr && xdgDataHome[0] == '/')
        base = xdgDataHome;
    else
        base = appendPathSeparator(home != nullptr && home[0] != '\0' ? home : "/tmp") +
               ".local/share";
    return appendPathSeparator(base) + "Quillory/data/";
}

std::string programFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length > 0) {
        std::string exe(buffer.data(), static_cast<std::size_t>(length));
        const auto slash = exe.rfind('/');
        if (slash != std::string::npos) {
            const std::string folder = exe.substr(0, slash + 1);
            if (isInstalledProgramFolder(folder))
                return installedDataFolder(std::getenv("XDG_DATA_HOME"), std::getenv("HOME"));
            return folder;
        }
    }
    if (getcwd(buffer.data(), buffer.size()) != nullptr)
        return appendPathSeparator(buffer.data());
    return "./";
}

std::string appendPathSeparator(std::string path) {
    if (!path.empty() && path.back() != '/')
        path += '/';
    return path;
}

std::string applyDataPathRule(std::string path, const std::string& programFolder) {
    if (path.empty())
        path = programFolder;
    return appendPathSeparator(std::move(path));
}

}  // namespace qly
