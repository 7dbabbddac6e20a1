#pragma once

#include "base/FileSystem.h"
#include "settings/RegistryText.h"

#include <cstdint>
#include <string>
#include <vector>

// The settings store: the key SOFTWARE\KVR\QLY32 of the current user, kept as
// one text file in the format of a Windows registry export (REGEDIT4; the
// text is read and written by settings/RegistryText.h). Value names compare
// without regard to case; lines that are no value of the key are kept as
// they are. A Windows export in UTF-16 reads too.
//
// Only a regular file of at most 1 MiB is read; a FIFO, a device or a link to
// one is refused without waiting on it. A file that cannot be read as an
// export (no such file type, too large, NUL bytes, no export header) is
// damaged: to readers the key cannot be opened, problem() names the file and
// the cause, and the first write (after openForWriting) moves the file aside
// as <name>.damaged (replacing an older one) before a new file, with what
// could be taken from the damaged one, takes its place.
//
// Every write replaces the file atomically (qly::AtomicFile: a temporary file
// in the same folder is written, synced and renamed over the old one), on the
// file system the store was given.
//
// No exception leaves this class; failures come back as a SettingsStatus
// whose message is the text the user sees.

namespace qly {

// The value names of the store.
inline constexpr const char* kValuePath = "PATH";
inline constexpr const char* kValueDateFormat = "DATEFORMAT";
inline constexpr const char* kValueCentury = "CENTURY";
inline constexpr const char* kValueHints = "Hints";

// Message texts; %s stands for the value's name.
inline constexpr const char* kMsgGetDataFailed = "Failed to get data for '%s'";
inline constexpr const char* kMsgInvalidDataType = "Invalid data type for '%s'";
inline constexpr const char* kMsgSetDataFailed = "Failed to set data for '%s'";

// The key's name inside the file.
inline constexpr const char* kSettingsKeyName = "HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32";

// Puts name in place of the %s of a message text.
std::string formatSettingsMessage(const char* text, const std::string& name);

// The result of a store operation: ok, or the message of the failure.
class SettingsStatus {
public:
    SettingsStatus() = default;
    static SettingsStatus success() { return {}; }
    static SettingsStatus failure(std::string message) {
        return SettingsStatus(std::move(message));
    }

    bool ok() const { return !m_failed; }
    const std::string& message() const { return m_message; }

private:
    explicit SettingsStatus(std::string message) : m_failed(true), m_message(std::move(message)) {}

    bool m_failed = false;
    std::string m_message;
};

// The file system of stores made without one: the real one, unless a test
// has put another in its place (nullptr puts the real one back). Returns the
// one it replaces.
FileSystem& settingsFileSystem();
FileSystem* setSettingsFileSystem(FileSystem* fs);

// The largest settings file that is read.
inline constexpr std::uint64_t kMaxSettingsFileSize = 1024 * 1024;

// $XDG_CONFIG_HOME/KVR/QLY32.reg, with ~/.config when XDG_CONFIG_HOME is
// unset, empty or not absolute.
std::string defaultSettingsFilePath();

class SettingsStore {
public:
    using ValueType = registry::ValueType;
    using Entry = registry::Entry;

    // The store of the current user (defaultSettingsFilePath, looked up when
    // the store is opened).
    SettingsStore();
    // A store kept in the given file, on the given file system
    // (settingsFileSystem() when none).
    explicit SettingsStore(std::string filePath);
    SettingsStore(std::string filePath, FileSystem& fs);

    SettingsStore(const SettingsStore&) = delete;
    SettingsStore& operator=(const SettingsStore&) = delete;

    // Opens the key, creating the folder and a file holding only the key when
    // the file is missing. False when the file or its folder cannot be
    // created or read (a folder in its place, no permission) or the file is
    // damaged; errorText() and problem() say why.
    bool open();
    // As open(), but a damaged file opens too, with what could be taken from
    // it, so that a write can put a sound file in its place.
    bool openForWriting();
    // The file the last open met was damaged.
    bool damaged() const { return m_damaged; }
    void close();
    bool isOpen() const { return m_open; }

    // A missing string reads as empty. An integer where a string is expected
    // gives "Invalid data type for '%s'".
    SettingsStatus readString(const std::string& name, std::string* value) const;
    // A missing integer gives "Failed to get data for '%s'", a value of
    // another type "Invalid data type for '%s'".
    SettingsStatus readInteger(const std::string& name, std::int32_t* value) const;
    // Both give "Failed to set data for '%s'" when the file cannot be
    // replaced; the file then keeps its old contents.
    SettingsStatus writeString(const std::string& name, const std::string& value);
    SettingsStatus writeInteger(const std::string& name, std::int32_t value);

    bool valueExists(const std::string& name) const;
    // The value names of the key, in file order.
    std::vector<std::string> valueNames() const;

    const std::string& filePath() const { return m_filePath; }
    // Why the last open() or write failed, with the path and the cause.
    const std::string& errorText() const { return m_errorText; }
    // What the user is told about the file the last open() met, naming it
    // and the cause: a file that cannot be read, a damaged one that the next
    // write moves aside, lines that could not be read. Empty when the file
    // was sound.
    const std::string& problem() const { return m_problem; }
    // The name a damaged file is moved to.
    std::string damagedFilePath() const { return m_filePath + ".damaged"; }

private:
    bool open(bool forWriting);
    SettingsStatus write(const std::string& name, Entry entry);
    const Entry* find(const std::string& name) const;
    FileSystem& fs() const { return m_fs ? *m_fs : settingsFileSystem(); }

    std::string m_filePath;
    bool m_useDefaultPath = false;
    FileSystem* m_fs = nullptr;
    bool m_open = false;
    bool m_damaged = false;
    std::string m_problem;
    std::string m_errorText;
    std::vector<Entry> m_entries;
};

}  // namespace qly
