#include "settings/DataPath.h"

#include <unistd.h>

#include <climits>
#include <vector>

namespace qly {

std::string programFolder() {
    std::vector<char> buffer(PATH_MAX + 1);
    const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length > 0) {
        std::string exe(buffer.data(), static_cast<std::size_t>(length));
        const auto slash = exe.rfind('/');
        if (slash != std::string::npos)
            return exe.substr(0, slash + 1);
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
