#include "settings/SettingsStore.h"

#include "settings/RegistryText.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <pwd.h>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

namespace qly {

namespace {

using registry::Document;
using registry::emptyDocument;
using registry::serialize;

std::string systemError(const std::string& what, int error) {
    return what + ": " + std::strerror(error);
}

bool parseDocument(const std::string& content, Document* doc, std::string* error) {
    return registry::parseDocument(content, kSettingsKeyName, doc, error);
}

enum class ReadResult { Ok, Missing, Failed };

ReadResult readFile(const std::string& path, std::string* content, std::string* error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        *error = systemError("cannot read " + path, errno);
        return ReadResult::Failed;
    }
    content->clear();
    char buffer[8192];
    while (true) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            *error = systemError("cannot read " + path, errno);
            ::close(fd);
            return ReadResult::Failed;
        }
        if (n == 0)
            break;
        content->append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadResult::Ok;
}

std::string folderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

bool makeFolders(const std::string& folder, std::string* error) {
    struct stat st {};
    if (::stat(folder.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode))
            return true;
        *error = folder + " is not a folder";
        return false;
    }
    const std::string parent = folderOf(folder);
    if (parent != folder && !makeFolders(parent, error))
        return false;
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        *error = systemError("cannot create " + folder, errno);
        return false;
    }
    return true;
}

mode_t currentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0)
            return static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
    }
    return 022;
}

bool writeAll(int fd, const std::string& content) {
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Writes a temporary file beside path, syncs it and renames it over path, so
// that path holds either the old or the new contents, never a part.
bool replaceFileAtomically(const std::string& path, const std::string& content,
                           std::string* error) {
    const std::string folder = folderOf(path);
    const auto slash = path.rfind('/');
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        *error = systemError("cannot create a temporary file in " + folder, errno);
        return false;
    }
    auto fail = [&](const std::string& what) {
        *error = systemError(what, errno);
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    };
    struct stat st {};
    const mode_t mode =
        ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : (0666 & ~currentUmask());
    if (::fchmod(fd, mode) != 0)
        return fail("cannot set the mode of " + temp);
    if (!writeAll(fd, content))
        return fail("cannot write " + temp);
    if (::fsync(fd) != 0)
        return fail("cannot sync " + temp);
    if (::close(fd) != 0) {
        *error = systemError("cannot close " + temp, errno);
        ::unlink(temp.c_str());
        return false;
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        *error = systemError("cannot replace " + path, errno);
        ::unlink(temp.c_str());
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return true;
}

// Loads the file; a missing file gives the key alone.
bool loadDocument(const std::string& path, Document* doc, bool* missing, std::string* error) {
    std::string content;
    switch (readFile(path, &content, error)) {
        case ReadResult::Failed:
            return false;
        case ReadResult::Missing:
            *missing = true;
            *doc = emptyDocument(kSettingsKeyName);
            return true;
        case ReadResult::Ok:
            break;
    }
    *missing = false;
    if (!parseDocument(content, doc, error)) {
        *error = path + ": " + *error;
        return false;
    }
    return true;
}

}  // namespace

std::string formatSettingsMessage(const char* text, const std::string& name) {
    std::string out = text;
    const auto pos = out.find("%s");
    if (pos != std::string::npos)
        out.replace(pos, 2, name);
    return out;
}

std::string defaultSettingsFilePath() {
    std::string base;
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        std::string homeDir;
        if (home != nullptr && home[0] != '\0') {
            homeDir = home;
        } else if (const passwd* pw = ::getpwuid(::getuid());
                   pw != nullptr && pw->pw_dir != nullptr) {
            homeDir = pw->pw_dir;
        }
        base = homeDir + "/.config";
    }
    while (base.size() > 1 && base.back() == '/')
        base.pop_back();
    return base + "/KVR/QLY32.reg";
}

SettingsStore::SettingsStore() : m_useDefaultPath(true) {}

SettingsStore::SettingsStore(std::string filePath) : m_filePath(std::move(filePath)) {}

bool SettingsStore::open() {
    close();
    if (m_useDefaultPath)
        m_filePath = defaultSettingsFilePath();
    m_errorText.clear();
    Document doc;
    bool missing = false;
    if (!loadDocument(m_filePath, &doc, &missing, &m_errorText))
        return false;
    if (missing) {
        if (!makeFolders(folderOf(m_filePath), &m_errorText))
            return false;
        if (!replaceFileAtomically(m_filePath, serialize(doc.entries), &m_errorText))
            return false;
    }
    m_entries = std::move(doc.entries);
    m_open = true;
    return true;
}

void SettingsStore::close() {
    m_open = false;
    m_entries.clear();
}

const SettingsStore::Entry* SettingsStore::find(const std::string& name) const {
    return registry::findValue(m_entries, name);
}

bool SettingsStore::valueExists(const std::string& name) const {
    return m_open && find(name) != nullptr;
}

std::vector<std::string> SettingsStore::valueNames() const {
    std::vector<std::string> names;
    for (const auto& entry : m_entries) {
        if (entry.isValue)
            names.push_back(entry.name);
    }
    return names;
}

SettingsStatus SettingsStore::readString(const std::string& name, std::string* value) const {
    value->clear();
    if (!m_open)
        return SettingsStatus::failure(formatSettingsMessage(kMsgGetDataFailed, name));
    const Entry* entry = find(name);
    if (entry == nullptr)
        return SettingsStatus::success();
    if (entry->type != ValueType::String && entry->type != ValueType::ExpandString)
        return SettingsStatus::failure(formatSettingsMessage(kMsgInvalidDataType, name));
    *value = entry->text;
    return SettingsStatus::success();
}

SettingsStatus SettingsStore::readInteger(const std::string& name, std::int32_t* value) const {
    if (!m_open)
        return SettingsStatus::failure(formatSettingsMessage(kMsgGetDataFailed, name));
    const Entry* entry = find(name);
    if (entry == nullptr)
        return SettingsStatus::failure(formatSettingsMessage(kMsgGetDataFailed, name));
    if (entry->type != ValueType::Integer)
        return SettingsStatus::failure(formatSettingsMessage(kMsgInvalidDataType, name));
    *value = static_cast<std::int32_t>(entry->number);
    return SettingsStatus::success();
}

SettingsStatus SettingsStore::writeString(const std::string& name, const std::string& value) {
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        m_errorText = "a value of the settings file cannot hold line breaks or NUL characters";
        return SettingsStatus::failure(formatSettingsMessage(kMsgSetDataFailed, name));
    }
    return write(name, registry::stringValue(name, value));
}

SettingsStatus SettingsStore::writeInteger(const std::string& name, std::int32_t value) {
    return write(name, registry::integerValue(name, static_cast<std::uint32_t>(value)));
}

SettingsStatus SettingsStore::write(const std::string& name, Entry entry) {
    const SettingsStatus failed =
        SettingsStatus::failure(formatSettingsMessage(kMsgSetDataFailed, name));
    if (!m_open) {
        m_errorText = "the settings key is not open";
        return failed;
    }
    if (name.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        m_errorText = "a value name cannot hold line breaks or NUL characters";
        return failed;
    }
    // Start from the file as it is now, so that a write made meanwhile by
    // another dialog is kept.
    Document doc;
    bool missing = false;
    if (!loadDocument(m_filePath, &doc, &missing, &m_errorText))
        return failed;
    if (missing && !makeFolders(folderOf(m_filePath), &m_errorText))
        return failed;

    registry::putValue(doc, std::move(entry));
    if (!replaceFileAtomically(m_filePath, serialize(doc.entries), &m_errorText))
        return failed;
    Document fresh;
    std::string error;
    if (parseDocument(serialize(doc.entries), &fresh, &error)) {
        m_entries = std::move(fresh.entries);
    }
    return SettingsStatus::success();
}

}  // namespace qly
