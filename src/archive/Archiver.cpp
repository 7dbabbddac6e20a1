#include "archive/Archiver.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <unordered_map>

#include "archive/ByteOrder.h"
#include "archive/FileInfo.h"
#include "archive/FileSelection.h"
#include "archive/Format.h"

namespace qly::archive {

const char* errorMessage(int code) {
    switch (code) {
        case kErrCannotReadFile:
            return kMsgCannotReadFile;
        case kErrOverwriteFailed:
            return kMsgOverwriteFailed;
        case kErrCannotReadArchive:
            return kMsgCannotReadArchive;
        case kErrCannotWriteArchive:
            return kMsgCannotWriteArchive;
        case kErrInvalidArchiveType:
            return kMsgInvalidArchiveType;
        case kErrCompression:
            return kMsgCompression;
        case kErrTempFile:
            return kMsgTempFile;
        default:
            return "";
    }
}

namespace {

constexpr const char* kStreamName = ":STREAM";

int zlibLevel(TCompressionLevel level) {
    switch (level) {
        case clNone:
            return 0;
        case clDefault:
            return -1;
        case clMax:
            return 9;
        case clFastest:
        default:
            return 1;
    }
}

std::string replaceParameter(const char* pattern, const std::string& value) {
    std::string text = pattern;
    const std::size_t pos = text.find("%s");
    if (pos != std::string::npos) {
        text.replace(pos, 2, value);
    }
    return text;
}

// Creates the temporary file-identity list; returns its path or an empty
// text on failure.
std::string writeIdentityFile(const std::string& text) {
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp != nullptr && *tmp != '\0' ? tmp : "/tmp";
    if (folder.back() != '/') {
        folder += '/';
    }
    std::string path = folder + "FIDXXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        return std::string();
    }
    const char* data = text.data();
    std::size_t left = text.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n <= 0) {
            ok = false;
            break;
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        ok = false;
    }
    if (!ok) {
        ::unlink(path.c_str());
        return std::string();
    }
    return path;
}

bool hasDotDotComponent(const std::string& path) {
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = path.find_first_of("/\\", start);
        const std::string part =
            path.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (part == "..") {
            return true;
        }
        if (end == std::string::npos) {
            return false;
        }
        start = end + 1;
    }
}

bool isDriveRoot(const std::string& name) {
    return name.size() >= 3 &&
           ((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) &&
           name[1] == ':' && (name[2] == '\\' || name[2] == '/');
}

}  // namespace

// ---------------------------------------------------------------------------

TArchiver::TArchiver() : m_fs(&FileSystem::posix()) {}

TArchiver::~TArchiver() = default;

void TArchiver::setBackupMode(TBackupMode mode) {
    if (mode == bmIncremental && m_backupMode != bmIncremental) {
        m_setArchiveFlag = true;
    }
    m_backupMode = mode;
}

int TArchiver::CompressionRate() const {
    if (m_totalSize <= 0) {
        return 0;
    }
    return static_cast<int>(100 - m_bytesWritten * 100 / m_totalSize);
}

void TArchiver::recordError(int code) {
    m_errorCode = code;
    m_errorDetail.clear();
    m_continue = false;
}

void TArchiver::recordError(int code, const std::string& detail, bool stop) {
    m_errorCode = code;
    // Every member that failed is named, in the order met.
    if (!m_errorDetail.empty()) {
        m_errorDetail += "; ";
    }
    m_errorDetail += detail;
    if (stop) {
        m_continue = false;
    }
}

void TArchiver::reportProgress(const std::string& filename, std::int64_t done) {
    int percent = 0;
    if (m_totalSize > 0) {
        percent = static_cast<int>(std::clamp<std::int64_t>(done * 100 / m_totalSize, 0, 100));
    }
    if (OnProgress) {
        bool cont = m_continue;
        OnProgress(*this, filename, percent, cont);
        m_continue = cont;
    }
}

void TArchiver::reportError() {
    if (m_errorCode == kErrNone) {
        return;
    }
    std::string text = errorMessage(m_errorCode);
    if (!m_errorDetail.empty()) {
        text += ": " + m_errorDetail;
    }
    if (OnError) {
        OnError(*this, m_errorCode, text);
    } else if (MessageBox) {
        MessageBox(MessageBoxKind::ErrorOk, text);
    }
}

bool TArchiver::askForDisk(int volume) {
    bool cont = true;
    if (OnNeedDisk) {
        OnNeedDisk(*this, static_cast<std::uint16_t>(volume), cont);
    } else {
        cont = MessageBox ? MessageBox(MessageBoxKind::InformationOkCancel,
                                       replaceParameter(kMsgInsertDisk, std::to_string(volume)))
                          : false;
    }
    m_continue = cont;
    return cont;
}

// ---------------------------------------------------------------------------
// Backup

class TArchiver::BackupRun {
public:
    BackupRun(TArchiver& a, const std::string& archiveName)
        : m_a(a),
          m_archiveName(archiveName),
          m_piece(new std::uint8_t[kBlockSize]),
          m_packed(new std::uint8_t[kBlockSize]) {}

    bool run(const std::vector<std::string>& fileList);

private:
    // Writes to the current volume; false on failure.
    bool put(const void* data, std::size_t size) {
        if (m_out == nullptr || !m_out->write(data, static_cast<std::int64_t>(size))) {
            return false;
        }
        m_volumeSize += static_cast<std::int64_t>(size);
        return true;
    }
    bool putInt32(std::int32_t value) {
        std::uint8_t bytes[4];
        ::qly::archive::putInt32(bytes, value);
        return put(bytes, 4);
    }
    bool putString(const std::string& text) {
        return putInt32(static_cast<std::int32_t>(text.size())) && put(text.data(), text.size());
    }
    bool putMagic() {
        m_a.m_bytesWritten += 4;
        return put(kMagicCurrent, 4);
    }
    // Writes a volume to a temporary file beside it: an archive of the same
    // name stays as it was until the new volume is complete.
    bool createVolume(const std::string& path) {
        m_volumePath = path;
        m_fileOut = createBeside(*m_a.m_fs, path, m_tempPath);
        m_out = m_fileOut.get();
        return m_out != nullptr;
    }
    // Ends the current volume: kept, it replaces the file of its name;
    // otherwise its temporary file is removed.
    bool closeVolume(bool keep) {
        bool ok = m_out == nullptr || (m_fileOut ? m_out->sync() : m_out->flush());
        m_fileOut.reset();
        m_out = nullptr;
        if (!m_tempPath.empty()) {
            if (keep && ok && m_a.m_fs->rename(m_tempPath, m_volumePath)) {
                m_tempPath.clear();
                return true;
            }
            (void)m_a.m_fs->remove(m_tempPath);
            m_tempPath.clear();
            return false;
        }
        return ok;
    }

    bool writeMember(const std::string& path, const std::string& name, bool isIdentityList);
    bool nextVolume(bool& streamOpen);

    TArchiver& m_a;
    std::string m_archiveName;
    std::unique_ptr<ByteStream> m_fileOut;
    ByteStream* m_out = nullptr;
    std::int64_t m_volumeSize = 0;
    int m_volume = 1;
    bool m_toStream = false;
    BlockCompressor m_compressor;
    bool m_compressorReady = false;
    std::unique_ptr<std::uint8_t[]> m_piece;
    std::unique_ptr<std::uint8_t[]> m_packed;
    bool m_raised = false;
    std::string m_volumePath;
    std::string m_tempPath;
    // Members written whole, with their modification time before reading.
    std::vector<std::pair<std::string, std::int64_t>> m_archived;

public:
    ~BackupRun() { closeVolume(false); }
};

bool TArchiver::BackupRun::run(const std::vector<std::string>& fileList) {
    TArchiver& a = m_a;
    FileSelection selection(m_archiveName);
    for (const std::string& entry : fileList) {
        selection.addEntry(entry, a.m_backupMode == bmIncremental);
    }
    std::vector<std::string> files = selection.files();

    a.m_continue = true;
    a.m_totalSize = 0;
    a.reportProgress(std::string(), 0);
    a.m_processedFiles = 0;
    a.m_bytesDone = 0;
    a.m_bytesWritten = 0;

    // Size pass.
    std::string identities;
    for (const std::string& path : files) {
        if (!fileExists(path)) {
            continue;
        }
        std::unique_ptr<ByteStream> in = openRead(*a.m_fs, path);
        if (in == nullptr) {
            a.m_raisedError = replaceParameter(kMsgCannotOpenFile, path);
            return false;
        }
        const std::int64_t size = std::max<std::int64_t>(in->size(), 0);
        a.m_totalSize += size;
        if (a.m_saveFileId) {
            identities += path + "\t" + std::to_string(fileDosStamp(path)) + "=" +
                          std::to_string(size) + "\r\n";
        }
    }

    std::string identityFile;
    if (a.m_saveFileId) {
        identityFile = writeIdentityFile(identities);
        if (identityFile.empty()) {
            a.recordError(kErrTempFile);
        } else {
            files.insert(files.begin(), identityFile);
            a.m_totalSize += static_cast<std::int64_t>(identities.size());
        }
    }

    // The archive and its header.
    m_toStream = m_archiveName == kStreamName;
    if (m_toStream) {
        m_out = a.BackupStream;
    } else {
        createVolume(m_archiveName);
    }
    m_volume = 1;
    m_volumeSize = 0;
    a.m_fileCount = static_cast<int>(files.size()) - (identityFile.empty() ? 0 : 1);
    if (m_out == nullptr) {
        a.recordError(kErrCannotWriteArchive);
    } else if (!putString(a.m_backupTitle) ||
               !putInt32(
                   static_cast<std::int32_t>(std::min<std::int64_t>(a.m_totalSize, 0x7FFFFFFF))) ||
               !putInt32(a.m_fileCount)) {
        a.recordError(kErrCannotWriteArchive);
    }
    a.m_bytesDone = 0;
    a.m_bytesWritten = 0;

    for (std::size_t i = 0; i < files.size() && a.m_continue; ++i) {
        const bool isIdentityList = !identityFile.empty() && i == 0;
        const std::string& path = files[i];
        if (!fileExists(path)) {
            continue;
        }
        if (!writeMember(path, isIdentityList ? kFileListName : path, isIdentityList)) {
            break;  // an error was raised
        }
    }

    if (!m_raised && a.m_continue) {
        if (!putInt32(kEndMark)) {
            a.recordError(kErrCannotWriteArchive);
        }
    }
    // An archive that could not be written is dropped whole; one cut short
    // by a cancel or an unreadable source keeps what it holds.
    const bool keep = !m_raised && a.m_errorCode != kErrCannotWriteArchive;
    if (!closeVolume(keep) && keep) {
        a.recordError(kErrCannotWriteArchive, m_volumePath);
    }
    const bool ok = !m_raised && a.m_continue && a.m_errorCode == kErrNone;
    if (!m_raised && a.m_errorCode != kErrCannotWriteArchive) {
        for (const auto& [file, mtime] : m_archived) {
            clearArchiveAttributeAsOf(file, mtime);
        }
    }
    if (!identityFile.empty()) {
        ::unlink(identityFile.c_str());
    }
    if (m_raised) {
        return false;
    }
    if (a.OnProgress) {
        bool cont = a.m_continue;
        a.OnProgress(a, std::string(), 100, cont);
        a.m_continue = cont;
    }
    return ok;
}

bool TArchiver::BackupRun::writeMember(const std::string& path, const std::string& name,
                                       bool isIdentityList) {
    TArchiver& a = m_a;
    if (!putString(name)) {
        a.m_raisedError = kMsgStreamWrite;
        m_raised = true;
        return false;
    }
    // Taken before the first byte is read: a change made while the member is
    // read leaves the file marked for the next backup.
    const std::int64_t mtimeBefore = fileModificationNs(path);
    std::unique_ptr<ByteStream> in = openRead(*a.m_fs, path);
    if (in == nullptr || !putInt32(fileDosStamp(path))) {
        a.recordError(kErrCannotReadFile);
        return true;
    }

    bool streamOpen = putMagic();
    if (!streamOpen) {
        a.recordError(kErrCannotWriteArchive);
    }
    if (!m_compressorReady && streamOpen) {
        m_compressorReady = m_compressor.init(zlibLevel(a.m_compressionLevel));
        if (!m_compressorReady) {
            a.recordError(kErrCompression);
        }
    }

    // The size taken now bounds what is read: a file that grows meanwhile
    // is archived as it was, one that shrinks or fails ends its member.
    std::int64_t remaining = std::max<std::int64_t>(in->size(), 0);
    bool complete = true;
    while (remaining > 0 && a.m_continue && streamOpen) {
        const auto want = static_cast<std::size_t>(
            std::min<std::int64_t>(remaining, static_cast<std::int64_t>(kBlockSize)));
        std::size_t got = 0;
        while (got < want) {
            const std::int64_t n =
                in->read(m_piece.get() + got, static_cast<std::int64_t>(want - got));
            if (n <= 0) {
                break;
            }
            got += static_cast<std::size_t>(n);
        }
        const bool shortRead = got < want;
        remaining -= static_cast<std::int64_t>(got);

        if (got > 0) {
            if (!m_toStream && a.m_maxSize > 0 &&
                m_volumeSize >= static_cast<std::int64_t>(a.m_maxSize) - kVolumeReserve) {
                if (!nextVolume(streamOpen)) {
                    complete = false;
                    break;
                }
            }
            std::size_t packedLength = 0;
            const BlockCompressor::Result result =
                m_compressor.compress(m_piece.get(), got, m_packed.get(), packedLength);
            bool written = false;
            std::size_t payload = got;
            if (result == BlockCompressor::Result::Compressed) {
                payload = packedLength;
                written = putInt32(static_cast<std::int32_t>(packedLength)) &&
                          put(m_packed.get(), packedLength);
            } else if (result == BlockCompressor::Result::Stored) {
                written = putInt32(-static_cast<std::int32_t>(got)) && put(m_piece.get(), got);
            } else {
                a.recordError(kErrCompression);
                complete = false;
                break;
            }
            if (!written) {
                a.recordError(kErrCannotWriteArchive);
                complete = false;
                break;
            }
            a.m_bytesDone += static_cast<std::int64_t>(got);
            a.m_bytesWritten += 4 + static_cast<std::int64_t>(payload);
            if (a.ProcessEvents) {
                a.ProcessEvents();
            }
            a.reportProgress(name, a.m_bytesDone);
        }
        if (shortRead) {
            a.recordError(kErrCannotReadFile);
            complete = false;
            break;
        }
    }
    if (remaining > 0) {
        complete = false;
    }
    if (streamOpen && !putInt32(kEndMark)) {
        a.recordError(kErrCannotWriteArchive);
        complete = false;
    }
    in.reset();
    if (complete && !isIdentityList) {
        ++a.m_processedFiles;
    }
    if (a.m_setArchiveFlag && !isIdentityList && complete) {
        m_archived.emplace_back(path, mtimeBefore);
    }
    return true;
}

bool TArchiver::BackupRun::nextVolume(bool& streamOpen) {
    TArchiver& a = m_a;
    ++m_volume;
    const std::string digits = volumeDigits(m_volume);
    const bool written = putInt32(kEndMark) && putString(std::string(kVolumeChangePrefix) + digits);
    streamOpen = false;
    if (!written || !closeVolume(true)) {
        a.recordError(kErrCannotWriteArchive, m_volumePath);
        return false;
    }
    if (!a.askForDisk(m_volume)) {
        return false;
    }
    const bool created = createVolume(volumeFileName(m_archiveName, digits));
    m_volumeSize = 0;
    if (!created || !putMagic()) {
        a.recordError(kErrCannotWriteArchive);
        return false;
    }
    streamOpen = true;
    return true;
}

bool TArchiver::Backup(const std::vector<std::string>& fileList, const std::string& archiveName) {
    m_errorCode = kErrNone;
    m_errorDetail.clear();
    m_raisedError.clear();
    m_busy = true;
    bool ok = false;
    {
        BackupRun run(*this, archiveName);
        ok = run.run(fileList);
    }
    m_busy = false;
    if (m_raisedError.empty()) {
        reportError();
    }
    return ok;
}

// ---------------------------------------------------------------------------
// Restore

class TArchiver::RestoreRun {
public:
    RestoreRun(TArchiver& a, const std::string& archiveName, const std::string& targetFolder)
        : m_a(a), m_archiveName(archiveName), m_targetFolder(targetFolder) {}
    ~RestoreRun() { discard(); }
    RestoreRun(const RestoreRun&) = delete;
    RestoreRun& operator=(const RestoreRun&) = delete;

    bool run();

private:
    // Ends the operation with a raised error.
    bool raise(const std::string& message) {
        m_a.m_raisedError = message;
        return false;
    }
    bool raiseFor(BlockStreamReader::Status status) {
        return raise(status == BlockStreamReader::Status::BadMagic ? kMsgInvalidArchiveType
                                                                   : kMsgStreamRead);
    }
    bool openVolume(const std::string& path);
    // Forms the target path of a member; false when the name is unsafe.
    bool targetFor(const std::string& name, std::string& target) const;
    bool decide(const std::string& target, std::int32_t stamp) const;
    // The target with its last component matched without regard to case;
    // each folder is read once and kept up to date as files are restored.
    std::string resolve(const std::string& target);
    // Starts a member: checks and locks its target and creates the temporary
    // file it expands into. False when the member is refused (recorded).
    bool begin(const std::string& target, std::int32_t stamp);
    // Expands a block stream into the member's temporary file. Returns false
    // when an error was raised.
    bool expand();
    // A member whose stream ended whole replaces its target; a member that
    // failed or was cancelled leaves the target as it was and no temporary
    // file.
    void commit();
    void discard();

    struct Member {
        bool active = false;
        std::string target;
        std::string temp;
        std::int32_t stamp = kNoDateStamp;
        std::unique_ptr<FileStream> out;
        // Holds the exclusive lock on the file the member replaces.
        std::unique_ptr<FileHandle> lock;
        bool existed = false;
        std::uint32_t mode = 0644;
    };

    TArchiver& m_a;
    std::string m_archiveName;
    std::string m_targetFolder;
    std::unique_ptr<ByteStream> m_fileIn;
    std::unique_ptr<ArchiveInput> m_input;
    BlockStreamReader m_reader;
    Member m_member;
    // Per folder: lower-cased name -> the name on disk ("" when ambiguous).
    std::unordered_map<std::string, std::unordered_map<std::string, std::string>> m_folders;
};

bool TArchiver::RestoreRun::openVolume(const std::string& path) {
    m_input.reset();
    m_fileIn = openRead(*m_a.m_fs, path);
    if (m_fileIn == nullptr) {
        return false;
    }
    m_input = std::make_unique<ArchiveInput>(*m_fileIn);
    return true;
}

bool TArchiver::RestoreRun::targetFor(const std::string& name, std::string& target) const {
    if (m_targetFolder.empty()) {
        target = name;
        return !name.empty() && !hasDotDotComponent(name);
    }
    std::string relative;
    if (m_a.m_restoreFullPath) {
        // Remove the root: "x:\" of a name written on Windows, or "/".
        if (isDriveRoot(name)) {
            relative = name.substr(3);
        } else if (!name.empty() && (name[0] == '/' || name[0] == '\\')) {
            relative = name.substr(1);
        } else {
            relative = name;
        }
        std::replace(relative.begin(), relative.end(), '\\', '/');
        // Still absolute after its root was removed: refused.
        if (relative.empty() || relative[0] == '/' || isDriveRoot(relative) ||
            relative.back() == '/') {
            return false;
        }
    } else {
        const std::size_t sep = name.find_last_of("/\\");
        relative = sep == std::string::npos ? name : name.substr(sep + 1);
        if (relative.empty() || relative == ".") {
            return false;
        }
    }
    if (hasDotDotComponent(relative)) {
        return false;
    }
    target = m_targetFolder + relative;
    return true;
}

bool TArchiver::RestoreRun::decide(const std::string& target, std::int32_t stamp) const {
    const bool exists = fileExists(target);
    const bool older = exists && fileDosStamp(target) < stamp;
    switch (m_a.m_restoreMode) {
        case rmNoOverwrite:
            return !exists;
        case rmNewer:
            return !exists || older;
        case rmExisting:
            return exists;
        case rmExistingNewer:
            return exists && older;
        case rmAll:
        default:
            return true;
    }
}

std::string TArchiver::RestoreRun::resolve(const std::string& target) {
    if (m_a.m_fs->exists(target)) {
        return target;
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder =
        slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    auto it = m_folders.find(folder);
    if (it == m_folders.end()) {
        std::unordered_map<std::string, std::string> names;
        ResultOr<std::vector<std::string>> entries =
            m_a.m_fs->listFolder(folder.empty() ? std::string(".") : folder);
        if (entries) {
            for (const std::string& entry : entries.value()) {
                auto [pos, inserted] = names.emplace(lowerAscii(entry), entry);
                if (!inserted) {
                    pos->second.clear();  // two names differ only in case
                }
            }
        }
        it = m_folders.emplace(folder, std::move(names)).first;
    }
    const auto found = it->second.find(lowerAscii(name));
    if (found == it->second.end() || found->second.empty()) {
        return target;
    }
    return folder + found->second;
}

static std::string causeText(const std::string& cause) {
    return !cause.empty() ? cause : "write failed";
}

bool TArchiver::RestoreRun::begin(const std::string& target, std::int32_t stamp) {
    TArchiver& a = m_a;
    discard();
    Member& m = m_member;
    ResultOr<FileInfo> existing = a.m_fs->info(target);
    if (existing) {
        // A link, a folder, a pipe or a device is never written through.
        if (existing.value().type != FileType::Regular) {
            a.recordError(kErrOverwriteFailed, target + ": not a regular file", false);
            return false;
        }
        // The exclusive lock a table's user holds shared, taken without
        // waiting and without following a link.
        ResultOr<std::unique_ptr<FileHandle>> lock =
            a.m_fs->open(target, OpenMode::Read, Links::Refuse);
        Result locked = lock ? lock.value()->lockFile(true) : lock.result();
        if (!locked) {
            a.recordError(
                kErrOverwriteFailed,
                target + (locked.code() == ErrorCode::Locked ? ": in use by another program"
                                                             : ": " + causeOf(locked)),
                false);
            return false;
        }
        m.lock = std::move(lock.value());
        m.existed = true;
        m.mode = existing.value().permissions;
    }
    std::string cause;
    m.out = createBeside(*a.m_fs, target, m.temp, &cause);
    if (m.out == nullptr) {
        a.recordError(kErrOverwriteFailed, target + ": " + cause);
        discard();
        return false;
    }
    m.active = true;
    m.target = target;
    m.stamp = stamp;
    return true;
}

bool TArchiver::RestoreRun::expand() {
    TArchiver& a = m_a;
    ByteStream& out = *m_member.out;
    bool writeFailed = false;
    const BlockStreamReader::Status status =
        m_reader.read(*m_input, true, [&](const std::uint8_t* data, std::size_t size) {
            if (!out.write(data, static_cast<std::int64_t>(size))) {
                writeFailed = true;
                return false;
            }
            a.m_bytesDone += static_cast<std::int64_t>(size);
            if (a.ProcessEvents) {
                a.ProcessEvents();
            }
            a.reportProgress(m_member.target, a.m_bytesDone);
            return a.m_continue;
        });

    using S = BlockStreamReader::Status;
    if (writeFailed) {
        a.recordError(kErrOverwriteFailed, m_member.target + ": " + causeText(out.errorText()));
        discard();
        return true;
    }
    switch (status) {
        case S::Ok:
            return true;
        case S::Stopped:
            discard();
            return true;
        case S::BadMagic:
            discard();
            return raiseFor(status);
        case S::DecompressError:
            a.recordError(kErrCompression, m_member.target + ": damaged compressed data");
            discard();
            return true;
        case S::Truncated:
        case S::Damaged:
        default:
            a.recordError(kErrCannotReadFile,
                          m_member.target + (status == S::Truncated ? ": archive ends early"
                                                                    : ": damaged archive"));
            discard();
            return true;
    }
}

void TArchiver::RestoreRun::commit() {
    if (!m_member.active) {
        return;
    }
    TArchiver& a = m_a;
    Member& m = m_member;
    // A file that replaces an older one is made durable before the rename,
    // so that a crash leaves the old or the new one whole. A new file puts
    // nothing at risk and is only flushed (a sync per file would make a
    // restore of many small files take minutes).
    if (!(m.existed ? m.out->sync() : m.out->flush())) {
        a.recordError(kErrOverwriteFailed, m.target + ": " + causeText(m.out->errorText()));
        discard();
        return;
    }
    if (m.existed && !m.out->setPermissions(m.mode)) {
        a.recordError(kErrOverwriteFailed, m.target + ": " + causeText(m.out->errorText()));
        discard();
        return;
    }
    m.out.reset();
    setFileDosStamp(m.temp, m.stamp);
    if (Result moved = a.m_fs->rename(m.temp, m.target); !moved) {
        a.recordError(kErrOverwriteFailed, m.target + ": " + causeOf(moved));
        discard();
        return;
    }
    const std::size_t slash = m.target.rfind('/');
    const auto folder =
        m_folders.find(slash == std::string::npos ? std::string() : m.target.substr(0, slash + 1));
    if (folder != m_folders.end()) {
        const std::string name = slash == std::string::npos ? m.target : m.target.substr(slash + 1);
        folder->second.emplace(lowerAscii(name), name);
    }
    m.temp.clear();
    ++a.m_processedFiles;
    discard();
}

void TArchiver::RestoreRun::discard() {
    Member& m = m_member;
    m.out.reset();
    if (!m.temp.empty()) {
        (void)m_a.m_fs->remove(m.temp);
        m.temp.clear();
    }
    m.lock.reset();
    m.active = false;
    m.existed = false;
}

bool TArchiver::RestoreRun::run() {
    TArchiver& a = m_a;
    if (!m_targetFolder.empty() && m_targetFolder.back() != '/') {
        m_targetFolder += '/';
    }
    a.m_processedFiles = 0;
    a.m_continue = true;

    if (m_archiveName == kStreamName) {
        if (a.RestoreStream == nullptr) {
            return raise(kMsgCannotReadArchive);
        }
        m_input = std::make_unique<ArchiveInput>(*a.RestoreStream);
    } else {
        if (!fileExists(m_archiveName)) {
            return false;
        }
        if (!openVolume(m_archiveName)) {
            return raise(kMsgCannotReadArchive);
        }
    }

    a.m_busy = true;
    std::int32_t titleLength = 0;
    std::int32_t totalSize = 0;
    std::int32_t fileCount = 0;
    if (!m_input->readInt32(titleLength) || titleLength < 0) {
        return raise(kMsgCannotReadArchive);
    }
    // The title is not used: pass over it without keeping it.
    std::uint8_t skip[256];
    for (std::int32_t left = titleLength; left > 0;) {
        const auto n = static_cast<std::size_t>(std::min<std::int32_t>(left, sizeof skip));
        if (!m_input->read(skip, n)) {
            return raise(kMsgCannotReadArchive);
        }
        left -= static_cast<std::int32_t>(n);
    }
    if (!m_input->readInt32(totalSize) || !m_input->readInt32(fileCount)) {
        return raise(kMsgCannotReadArchive);
    }
    a.m_totalSize = totalSize;
    a.m_fileCount = fileCount;
    a.m_bytesDone = 0;

    // Volumes already read: one named again would loop forever.
    std::set<int> volumesRead{1};
    bool memberSeen = false;

    for (;;) {
        std::int32_t nameLength = 0;
        if (!m_input->readInt32(nameLength)) {
            return raise(kMsgStreamRead);
        }
        if (nameLength == 0) {
            commit();
            break;
        }
        if (nameLength < 0 || nameLength > kMaxNameLength) {
            return raise(kMsgStreamRead);
        }
        std::string name(static_cast<std::size_t>(nameLength), '\0');
        if (!m_input->read(name.data(), name.size())) {
            return raise(kMsgStreamRead);
        }

        if (name.compare(0, 9, kVolumeChangePrefix) == 0) {
            if (name.size() < kVolumeChangeNameLength) {
                return raise(kMsgStreamRead);
            }
            const std::string digits = name.substr(9, 3);
            if (!std::all_of(digits.begin(), digits.end(),
                             [](char c) { return c >= '0' && c <= '9'; })) {
                return raise(kMsgStreamRead);
            }
            const int volume = std::stoi(digits);
            // A continuation belongs to a member; a volume named twice loops.
            if (!memberSeen || !volumesRead.insert(volume).second) {
                return raise(kMsgStreamRead);
            }
            m_input.reset();
            m_fileIn.reset();
            const std::string path = volumeFileName(
                m_archiveName == kStreamName ? std::string(kStreamName) : m_archiveName, digits);
            do {
                a.askForDisk(volume);
            } while (a.m_continue && !fileExists(path));
            if (!a.m_continue) {
                break;
            }
            if (!openVolume(path)) {
                return raise(kMsgCannotReadArchive);
            }
            if (m_member.active) {
                if (!expand()) {
                    return false;
                }
            } else {
                const BlockStreamReader::Status status = m_reader.read(*m_input, false, {});
                if (status != BlockStreamReader::Status::Ok) {
                    return raiseFor(status);
                }
            }
        } else {
            // The member before ended whole: it replaces its target now.
            commit();
            memberSeen = true;
            std::int32_t stamp = 0;
            if (!m_input->readInt32(stamp)) {
                return raise(kMsgStreamRead);
            }
            bool doRestore = false;
            std::string target;
            if (name != kFileListName) {
                if (!targetFor(name, target)) {
                    // Never written outside the target folder; the rest of
                    // the archive still restores.
                    a.recordError(
                        kErrCannotReadFile,
                        name + ": refused, a name with \"..\" or leading outside the folder",
                        false);
                } else {
                    target = resolve(target);
                    doRestore = decide(target, stamp);
                    if (a.OnRestoreFile) {
                        a.OnRestoreFile(a, target, stamp, doRestore);
                    }
                }
            }
            if (doRestore) {
                const std::size_t slash = target.rfind('/');
                if (slash == std::string::npos) {
                    return raise(kMsgCannotCreateDirectory);
                }
                const std::string folder = slash == 0 ? std::string("/") : target.substr(0, slash);
                std::string refused;
                bool madeFolder = false;
                if (!m_targetFolder.empty() &&
                    target.compare(0, m_targetFolder.size(), m_targetFolder) == 0) {
                    // Folders below the target are never links.
                    madeFolder = makeDirectories(m_targetFolder) &&
                                 makeDirectoriesBelow(m_targetFolder,
                                                      folder.size() > m_targetFolder.size()
                                                          ? folder.substr(m_targetFolder.size())
                                                          : std::string(),
                                                      refused);
                    if (!madeFolder && refused.empty()) {
                        refused = m_targetFolder.substr(0, m_targetFolder.size() - 1);
                    }
                } else {
                    madeFolder = makeDirectories(folder);
                    refused = folder;
                }
                if (!madeFolder) {
                    a.recordError(kErrCannotReadFile, refused + ": cannot make the folder");
                    break;
                }
                doRestore = begin(target, stamp);
            }
            if (doRestore) {
                if (!expand()) {
                    return false;
                }
            } else {
                const BlockStreamReader::Status status = m_reader.read(*m_input, false, {});
                if (status != BlockStreamReader::Status::Ok) {
                    return raiseFor(status);
                }
            }
        }
        if (!a.m_continue) {
            break;
        }
    }
    discard();
    return a.m_continue && a.m_errorCode == kErrNone;
}

bool TArchiver::Restore(const std::string& archiveName, const std::string& targetFolder) {
    m_errorCode = kErrNone;
    m_errorDetail.clear();
    m_raisedError.clear();
    bool ok = false;
    bool started = false;
    {
        RestoreRun run(*this, archiveName, targetFolder);
        ok = run.run();
        started = m_busy;
    }
    if (!m_raisedError.empty()) {
        m_busy = false;
        return false;
    }
    if (started) {
        if (OnProgress) {
            bool cont = m_continue;
            OnProgress(*this, std::string(), 100, cont);
            m_continue = cont;
        }
        m_busy = false;
        reportError();
    }
    return ok;
}

}  // namespace qly::archive
