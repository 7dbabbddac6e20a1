#include "settings/SettingsStore.h"

#include "settings/RegistryText.h"

#include <unistd.h>

#include <pwd.h>
#include <algorithm>
#include <cstdlib>

namespace qly {

namespace {

using registry::Document;
using registry::emptyDocument;
using registry::serialize;

FileSystem* g_fileSystem = nullptr;

enum class LoadState { Ok, Missing, Damaged, Failed };

struct Loaded {
    LoadState state = LoadState::Ok;
    Document doc;
    // Failed: the failure with path and cause; Damaged: the cause alone.
    std::string error;
    std::vector<std::size_t> badLines;
};

// The bytes of a regular file of at most kMaxSettingsFileSize.
Loaded readBytes(FileSystem& fs, const std::string& path, std::string* bytes) {
    Loaded out;
    ResultOr<std::unique_ptr<FileHandle>> file = fs.open(path, OpenMode::Read, Links::Follow);
    if (!file) {
        const Result& r = file.result();
        if (r.code() == ErrorCode::NotFound) {
            out.state = LoadState::Missing;
        } else if (r.code() == ErrorCode::Invalid) {
            ResultOr<FileInfo> what = fs.info(path);
            if (what && what.value().type == FileType::Folder) {
                out.state = LoadState::Failed;
                out.error = "Cannot read " + path + ": it is a folder";
            } else {
                out.state = LoadState::Damaged;
                out.error = "it is not a regular file";
            }
        } else {
            out.state = LoadState::Failed;
            out.error = r.message();
        }
        return out;
    }
    FileHandle& handle = *file.value();
    ResultOr<uint64_t> size = handle.size();
    if (!size) {
        out.state = LoadState::Failed;
        out.error = size.result().message();
        return out;
    }
    const std::string tooLarge = "it is larger than 1 MiB";
    if (size.value() > kMaxSettingsFileSize) {
        out.state = LoadState::Damaged;
        out.error = tooLarge;
        return out;
    }
    // Read to the end, but no further than the limit, even if it grows.
    bytes->clear();
    char chunk[65536];
    while (bytes->size() <= kMaxSettingsFileSize) {
        ResultOr<size_t> got = handle.readAt(bytes->size(), chunk, sizeof chunk);
        if (!got) {
            out.state = LoadState::Failed;
            out.error = got.result().message();
            return out;
        }
        if (got.value() == 0)
            return out;
        bytes->append(chunk, got.value());
    }
    out.state = LoadState::Damaged;
    out.error = tooLarge;
    return out;
}

// Loads the file; a missing file gives the key alone, a damaged one what
// could be taken from it.
Loaded loadDocument(FileSystem& fs, const std::string& path) {
    std::string bytes;
    Loaded out = readBytes(fs, path, &bytes);
    if (out.state == LoadState::Failed)
        return out;
    if (out.state != LoadState::Ok) {
        out.doc = emptyDocument(kSettingsKeyName);
        return out;
    }
    std::string text;
    if (!registry::decodeText(bytes, &text, &out.error)) {
        out.state = LoadState::Damaged;
        out.doc = emptyDocument(kSettingsKeyName);
        return out;
    }
    registry::ParseNotes notes;
    out.doc = registry::parseDocument(text, kSettingsKeyName, &notes);
    out.badLines = std::move(notes.badLines);
    if (notes.noHeader) {
        out.state = LoadState::Damaged;
        out.error = "it is not a registry export (its first line is no REGEDIT4 header)";
    }
    return out;
}

std::string lineList(const std::vector<std::size_t>& lines) {
    std::string out = lines.size() == 1 ? "line " : "lines ";
    const std::size_t shown = std::min<std::size_t>(lines.size(), 10);
    for (std::size_t i = 0; i < shown; ++i)
        out += (i ? ", " : "") + std::to_string(lines[i]);
    if (shown < lines.size())
        out += " and " + std::to_string(lines.size() - shown) + " more";
    return out;
}

// Makes the folder and any missing parents (a link to a folder counts as
// one).
bool makeFolders(FileSystem& fs, const std::string& folder, std::string* error) {
    ResultOr<FileInfo> what = fs.info(folder);
    if (what) {
        if (what.value().type == FileType::Folder || what.value().type == FileType::Symlink)
            return true;
        *error = "Cannot make the folder " + folder + ": a file of that name is in the way";
        return false;
    }
    if (what.result().code() != ErrorCode::NotFound) {
        *error = what.result().message();
        return false;
    }
    const std::string parent = folderOfPath(folder);
    if (parent != folder && !makeFolders(fs, parent, error))
        return false;
    Result made = fs.makeFolder(folder);
    if (!made && !fs.exists(folder)) {
        *error = made.message();
        return false;
    }
    return true;
}

// Replaces the file by content in one step. A damaged file is first moved
// aside to damagedPath (put back when the new file cannot take its place).
bool replaceFile(FileSystem& fs, const std::string& path, const std::string& content,
                 const std::string& damagedPath, std::string* error) {
    AtomicFile file(fs, path);
    file.keepTargetPermissions();
    Result r = file.open();
    if (r)
        r = file.write(content);
    if (!r) {
        *error = r.message();
        return false;
    }
    if (!damagedPath.empty()) {
        Result moved = fs.rename(path, damagedPath);
        if (!moved) {
            *error = moved.message();
            return false;
        }
    }
    r = file.commit();
    if (!r) {
        *error = r.message();
        if (!damagedPath.empty() && !fs.exists(path))
            (void)fs.rename(damagedPath, path);
        return false;
    }
    return true;
}

}  // namespace

FileSystem& settingsFileSystem() {
    return g_fileSystem ? *g_fileSystem : FileSystem::posix();
}

FileSystem* setSettingsFileSystem(FileSystem* fs) {
    FileSystem* old = g_fileSystem;
    g_fileSystem = fs;
    return old;
}

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

SettingsStore::SettingsStore(std::string filePath, FileSystem& fs)
    : m_filePath(std::move(filePath)), m_fs(&fs) {}

bool SettingsStore::open() {
    return open(false);
}

bool SettingsStore::openForWriting() {
    return open(true);
}

bool SettingsStore::open(bool forWriting) {
    close();
    m_damaged = false;
    if (m_useDefaultPath)
        m_filePath = defaultSettingsFilePath();
    m_errorText.clear();
    m_problem.clear();
    const std::string file = "The settings file " + m_filePath;
    Loaded loaded = loadDocument(fs(), m_filePath);
    switch (loaded.state) {
        case LoadState::Failed:
            m_errorText = loaded.error;
            m_problem = "The settings cannot be read. " + loaded.error;
            return false;
        case LoadState::Missing:
            if (!makeFolders(fs(), folderOfPath(m_filePath), &m_errorText) ||
                !replaceFile(fs(), m_filePath, serialize(loaded.doc.entries), "", &m_errorText)) {
                m_problem = file + " cannot be created. " + m_errorText;
                return false;
            }
            break;
        case LoadState::Damaged:
            m_damaged = true;
            m_problem = file + " cannot be read: " + loaded.error +
                        ". Saving the preferences moves it aside as " +
                        nameOfPath(damagedFilePath()) + ".";
            if (!forWriting) {
                m_errorText = m_filePath + ": " + loaded.error;
                return false;
            }
            break;
        case LoadState::Ok:
            if (!loaded.badLines.empty())
                m_problem = file + " has lines that could not be read (" +
                            lineList(loaded.badLines) + "); they are kept as they are.";
            break;
    }
    m_entries = std::move(loaded.doc.entries);
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
    Loaded loaded = loadDocument(fs(), m_filePath);
    if (loaded.state == LoadState::Failed) {
        m_errorText = loaded.error;
        return failed;
    }
    if (loaded.state == LoadState::Missing &&
        !makeFolders(fs(), folderOfPath(m_filePath), &m_errorText))
        return failed;

    Document& doc = loaded.doc;
    registry::putValue(doc, std::move(entry));
    const std::string content = serialize(doc.entries);
    const std::string aside = loaded.state == LoadState::Damaged ? damagedFilePath() : "";
    if (!replaceFile(fs(), m_filePath, content, aside, &m_errorText))
        return failed;
    registry::ParseNotes notes;
    m_entries = registry::parseDocument(content, kSettingsKeyName, &notes).entries;
    return SettingsStatus::success();
}

}  // namespace qly
