#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/FileAccess.h"
#include "archive/Messages.h"

// TArchiver backs up a list of file patterns into a compressed archive
// (.bkp, possibly spanning several volume files) and restores an archive into
// a folder. It runs on the caller's thread: after every block it calls
// ProcessEvents and reports progress, so a user interface stays usable.
//
// Outcomes of Backup and Restore:
//  - true: the whole archive was written / read to its end without error;
//  - false with errorCode() != 0: a numbered error was recorded and reported
//    at the end through OnError, or through MessageBoxHook when OnError is
//    not set;
//  - false with errorCode() == 0 and raisedError() empty: cancelled (from
//    OnProgress or the disk prompt), or a restore of a missing archive file;
//  - false with raisedError() not empty: the operation ended at once with that
//    message ("Cannot read archive", "Stream read error", "Invalid archive
//    type", "Unable to create directory", "Cannot open file <path>", "Stream
//    write error"); nothing is reported through OnError. A user interface
//    shows it as an error.
namespace qly::archive {

enum TBackupMode : int { bmAll = 0, bmIncremental = 1 };
enum TCompressionLevel : int { clFastest = 0, clNone = 1, clDefault = 2, clMax = 3 };
enum TRestoreMode : int {
    rmAll = 0,
    rmNoOverwrite = 1,
    rmNewer = 2,
    rmExisting = 3,
    rmExistingNewer = 4
};

class TArchiver;

// Progress: Percent 0 to 100; set Continue to false to stop the operation.
using TProgressEvent = std::function<void(TArchiver& sender, const std::string& filename,
                                          int percent, bool& continueFlag)>;
// Next volume wanted; set Continue to false to give up.
using TNeedDiskEvent =
    std::function<void(TArchiver& sender, std::uint16_t diskId, bool& continueFlag)>;
// Per member of a restore: may change the target path and the decision.
using TRestoreFileEvent =
    std::function<void(TArchiver& sender, std::string& filename, std::int32_t fa, bool& doRestore)>;
// Replaces the built-in error box.
using TBackupErrorEvent =
    std::function<void(TArchiver& sender, int error, const std::string& errString)>;

// The built-in boxes: an information box with OK and Cancel (returns true for
// OK) or an error box with OK (return value ignored). Without a hook, the
// prompt answers Cancel and errors are not shown.
enum class MessageBoxKind { InformationOkCancel, ErrorOk };
using MessageBoxHook = std::function<bool(MessageBoxKind kind, const std::string& text)>;

class TArchiver {
public:
    TArchiver();
    ~TArchiver();
    TArchiver(const TArchiver&) = delete;
    TArchiver& operator=(const TArchiver&) = delete;

    // --- properties (stored with a form) ---
    std::string Version() const { return "3.00"; }
    void setVersion(const std::string&) {}  // ignored: the version is fixed

    const std::string& BackupTitle() const { return m_backupTitle; }
    void setBackupTitle(const std::string& title) { m_backupTitle = title; }

    TBackupMode BackupMode() const { return m_backupMode; }
    // Switching to bmIncremental also sets SetArchiveFlag.
    void setBackupMode(TBackupMode mode);

    TCompressionLevel CompressionLevel() const { return m_compressionLevel; }
    void setCompressionLevel(TCompressionLevel level) { m_compressionLevel = level; }

    TRestoreMode RestoreMode() const { return m_restoreMode; }
    void setRestoreMode(TRestoreMode mode) { m_restoreMode = mode; }

    std::int32_t MaxSize() const { return m_maxSize; }
    void setMaxSize(std::int32_t size) { m_maxSize = size; }

    bool SetArchiveFlag() const { return m_setArchiveFlag; }
    void setSetArchiveFlag(bool on) { m_setArchiveFlag = on; }

    bool RestoreFullPath() const { return m_restoreFullPath; }
    void setRestoreFullPath(bool on) { m_restoreFullPath = on; }

    bool SaveFileID() const { return m_saveFileId; }
    void setSaveFileID(bool on) { m_saveFileId = on; }

    // --- events and hooks ---
    TProgressEvent OnProgress;
    TNeedDiskEvent OnNeedDisk;
    TRestoreFileEvent OnRestoreFile;
    TBackupErrorEvent OnError;
    MessageBoxHook MessageBox;
    std::function<void()> ProcessEvents;  // after every block; no-op when empty

    // --- run-time state ---
    int FileCount() const { return m_fileCount; }
    int ProcessedFiles() const { return m_processedFiles; }
    bool Busy() const { return m_busy; }
    // Used instead of a file when the archive name is ":STREAM"; never owned.
    ByteStream* BackupStream = nullptr;
    ByteStream* RestoreStream = nullptr;

    // The error code of the last operation (0 for none) and the message of
    // an error raised by it (empty for none).
    int errorCode() const { return m_errorCode; }
    const std::string& raisedError() const { return m_raisedError; }

    // The file access used for archives, sources and targets (tests inject
    // failures here). Defaults to the real file system; not owned.
    void setFileSystem(FileSystem* fs) { m_fs = fs != nullptr ? fs : &FileSystem::posix(); }

    // --- operations ---
    bool Backup(const std::vector<std::string>& fileList, const std::string& archiveName);
    bool Restore(const std::string& archiveName, const std::string& targetFolder);
    int CompressionRate() const;

private:
    class BackupRun;
    class RestoreRun;
    friend class BackupRun;
    friend class RestoreRun;

    void recordError(int code);
    // Records an error with what it concerns ("<path>: <cause>"), shown after
    // the error's message; `stop` ends the operation as recordError does.
    void recordError(int code, const std::string& detail, bool stop = true);
    void reportProgress(const std::string& filename, std::int64_t done);
    void reportError();
    bool askForDisk(int volume);

    std::string m_backupTitle;
    TBackupMode m_backupMode = bmAll;
    TCompressionLevel m_compressionLevel = clFastest;
    TRestoreMode m_restoreMode = rmAll;
    std::int32_t m_maxSize = 0;
    bool m_setArchiveFlag = false;
    bool m_restoreFullPath = false;
    bool m_saveFileId = false;

    int m_fileCount = 0;
    int m_processedFiles = 0;
    bool m_busy = false;
    FileSystem* m_fs;

    std::int64_t m_totalSize = 0;
    std::int64_t m_bytesDone = 0;
    std::int64_t m_bytesWritten = 0;
    bool m_continue = true;
    int m_errorCode = 0;
    std::string m_errorDetail;
    std::string m_raisedError;
};

}  // namespace qly::archive
