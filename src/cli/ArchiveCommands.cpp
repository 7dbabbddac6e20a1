// qlyctl backup, restore, list and verify: the archive engine from the
// command line, for scheduled and unattended backups.

#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <iostream>
#include <string>

#include "archive/ArchiveScan.h"
#include "archive/Archiver.h"
#include "archive/FileInfo.h"
#include "archive/Format.h"
#include "cli/Commands.h"

namespace qlyctl {

namespace {

using qly::archive::TArchiver;

// A progress line on a terminal; nothing when stderr is not one.
class ProgressLine {
public:
    ProgressLine() : m_enabled(::isatty(STDERR_FILENO) == 1) {}
    ~ProgressLine() { finish(); }
    void show(const std::string& file, int percent) {
        if (!m_enabled) {
            return;
        }
        std::string name = file;
        if (name.size() > 60) {
            name = "..." + name.substr(name.size() - 57);
        }
        std::fprintf(stderr, "\r%3d%% %-60s", percent, name.c_str());
        std::fflush(stderr);
        m_shown = true;
    }
    void showBytes(const std::string& file, std::int64_t bytes) {
        if (!m_enabled) {
            return;
        }
        std::fprintf(
            stderr, "\r%10lld bytes read  %-45s", static_cast<long long>(bytes),
            file.size() > 45 ? ("..." + file.substr(file.size() - 42)).c_str() : file.c_str());
        std::fflush(stderr);
        m_shown = true;
    }
    void finish() {
        if (m_shown) {
            std::fprintf(stderr, "\r%*s\r", 66, "");
            std::fflush(stderr);
            m_shown = false;
        }
    }

private:
    bool m_enabled;
    bool m_shown = false;
};

// Asks on standard input. An empty line, "y", "yes" or "ok" goes on; any
// other answer gives up; the end of input gives `atEnd`.
bool askOnStdin(const std::string& question, bool atEnd) {
    std::fprintf(stderr, "%s [Enter = OK, c = cancel] ", question.c_str());
    std::fflush(stderr);
    std::string line;
    if (!std::getline(std::cin, line)) {
        std::fprintf(stderr, "\n");
        return atEnd;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) {
        line.pop_back();
    }
    line = qly::archive::lowerAscii(line);
    return line.empty() || line == "y" || line == "yes" || line == "ok";
}

std::string insertDiskText(int volume) {
    std::string text = qly::archive::kMsgInsertDisk;
    text.replace(text.find("%s"), 2, std::to_string(volume));
    return text;
}

std::string absolutePath(const std::string& path) {
    std::error_code ec;
    const auto abs = std::filesystem::absolute(path, ec);
    return ec ? path : abs.lexically_normal().string();
}

std::string stampText(std::int32_t stamp) {
    std::time_t t = 0;
    if (!qly::archive::fromDosStamp(stamp, t)) {
        return "(no date)          ";
    }
    struct tm local {};
    localtime_r(&t, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

bool parseInt32(const std::string& text, std::int32_t& value) {
    errno = 0;
    char* end = nullptr;
    const long long v = std::strtoll(text.c_str(), &end, 10);
    if (errno != 0 || end == text.c_str() || *end != '\0' || v < 0 || v > 0x7FFFFFFF) {
        return false;
    }
    value = static_cast<std::int32_t>(v);
    return true;
}

int usage(const char* command, const char* synopsis) {
    std::fprintf(stderr, "usage: qlyctl %s %s\n", command, synopsis);
    return kExitUsage;
}

// Reports the outcome of an operation and turns it into an exit code.
int outcome(const char* command, TArchiver& a, bool ok) {
    if (ok) {
        return kExitOk;
    }
    if (!a.raisedError().empty()) {
        std::fprintf(stderr, "qlyctl %s: %s\n", command, a.raisedError().c_str());
        return kExitFailure;
    }
    if (a.errorCode() != 0) {
        return kExitFailure;  // reported through OnError
    }
    std::fprintf(stderr, "qlyctl %s: cancelled\n", command);
    return kExitCancelled;
}

void attachCommon(const char* command, TArchiver& a, ProgressLine& progress) {
    a.OnProgress = [&progress](TArchiver&, const std::string& file, int percent, bool&) {
        progress.show(file, percent);
    };
    a.OnError = [command, &progress](TArchiver&, int code, const std::string& text) {
        progress.finish();
        std::fprintf(stderr, "qlyctl %s: error %d: %s\n", command, code, text.c_str());
    };
}

const char* kBackupSynopsis =
    "ARCHIVE FILESPEC... [--level fastest|none|default|max] [--volume-size BYTES] "
    "[--title TEXT] [--file-ids] [--incremental]";
const char* kRestoreSynopsis =
    "ARCHIVE FOLDER [--mode all|no-overwrite|newer|existing|existing-newer] [--full-path]";

}  // namespace

int cmdBackup(const Args& args) {
    TArchiver a;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--level" && hasValue) {
            const std::string level = args[++i];
            if (level == "fastest")
                a.setCompressionLevel(qly::archive::clFastest);
            else if (level == "none")
                a.setCompressionLevel(qly::archive::clNone);
            else if (level == "default")
                a.setCompressionLevel(qly::archive::clDefault);
            else if (level == "max")
                a.setCompressionLevel(qly::archive::clMax);
            else
                return usage("backup", kBackupSynopsis);
        } else if (arg == "--volume-size" && hasValue) {
            std::int32_t size = 0;
            if (!parseInt32(args[++i], size)) {
                return usage("backup", kBackupSynopsis);
            }
            a.setMaxSize(size);
        } else if (arg == "--title" && hasValue) {
            a.setBackupTitle(args[++i]);
        } else if (arg == "--file-ids") {
            a.setSaveFileID(true);
        } else if (arg == "--incremental") {
            a.setBackupMode(qly::archive::bmIncremental);
        } else if (arg.rfind("--", 0) == 0) {
            return usage("backup", kBackupSynopsis);
        } else if (qly::archive::lowerAscii(arg) == "/s" && positional.size() > 1) {
            positional.back() += " /s";  // "dir/*.dbf" "/s" as two words
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() < 2) {
        return usage("backup", kBackupSynopsis);
    }
    // The full path lets the archive leave itself out of the selection.
    const std::string archive = absolutePath(positional[0]);
    const std::vector<std::string> fileSpecs(positional.begin() + 1, positional.end());

    ProgressLine progress;
    attachCommon("backup", a, progress);
    // Volumes are files here: without an answer (end of input) the backup
    // goes on, so that unattended runs can span volumes.
    a.OnNeedDisk = [&progress](TArchiver&, std::uint16_t disk, bool& cont) {
        progress.finish();
        cont = askOnStdin(insertDiskText(disk), true);
    };
    const bool ok = a.Backup(fileSpecs, archive);
    progress.finish();
    if (ok) {
        std::printf("%s: %d of %d files, compression %d%%\n", archive.c_str(), a.ProcessedFiles(),
                    a.FileCount(), a.CompressionRate());
    }
    return outcome("backup", a, ok);
}

int cmdRestore(const Args& args) {
    TArchiver a;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--mode" && i + 1 < args.size()) {
            const std::string mode = args[++i];
            if (mode == "all")
                a.setRestoreMode(qly::archive::rmAll);
            else if (mode == "no-overwrite")
                a.setRestoreMode(qly::archive::rmNoOverwrite);
            else if (mode == "newer")
                a.setRestoreMode(qly::archive::rmNewer);
            else if (mode == "existing")
                a.setRestoreMode(qly::archive::rmExisting);
            else if (mode == "existing-newer")
                a.setRestoreMode(qly::archive::rmExistingNewer);
            else
                return usage("restore", kRestoreSynopsis);
        } else if (arg == "--full-path") {
            a.setRestoreFullPath(true);
        } else if (arg.rfind("--", 0) == 0) {
            return usage("restore", kRestoreSynopsis);
        } else {
            positional.push_back(arg);
        }
    }
    if (positional.size() != 2 || positional[1].empty()) {
        return usage("restore", kRestoreSynopsis);
    }
    const std::string archive = positional[0];
    if (!qly::archive::fileExists(archive)) {
        std::fprintf(stderr, "qlyctl restore: %s: no such archive\n", archive.c_str());
        return kExitFailure;
    }
    ProgressLine progress;
    attachCommon("restore", a, progress);
    // A volume already beside the first one is taken without asking.
    a.OnNeedDisk = [&progress, &archive](TArchiver&, std::uint16_t disk, bool& cont) {
        const std::string next =
            qly::archive::volumeFileName(archive, qly::archive::volumeDigits(disk));
        if (qly::archive::fileExists(next)) {
            return;
        }
        progress.finish();
        cont = askOnStdin(insertDiskText(disk) + " (" + next + ")", false);
    };
    const bool ok = a.Restore(archive, positional[1]);
    progress.finish();
    if (ok || a.errorCode() != 0) {
        std::printf("%s: %d files restored\n", archive.c_str(), a.ProcessedFiles());
    }
    return outcome("restore", a, ok);
}

namespace {

int scanCommand(const char* command, const Args& args, bool list) {
    if (args.size() != 1 || args[0].rfind("--", 0) == 0) {
        return usage(command, "ARCHIVE");
    }
    const std::string archive = args[0];
    ProgressLine progress;
    const qly::archive::ScanResult scan =
        qly::archive::scanArchive(archive, qly::archive::FileSystem::posix(),
                                  [&progress](const std::string& file, std::int64_t bytes) {
                                      progress.showBytes(file, bytes);
                                  });
    progress.finish();
    if (list && scan.readable) {
        std::printf("Title: %s\n", scan.title.c_str());
        std::printf("Files: %d  Total size: %d bytes  Volumes: %d\n", scan.fileCount,
                    scan.totalSize, scan.volumes);
        for (const auto& m : scan.members) {
            std::string volumes = std::to_string(m.firstVolume);
            if (m.lastVolume != m.firstVolume) {
                volumes += "-" + std::to_string(m.lastVolume);
            }
            std::printf("%s %12lld  vol %-5s %s\n", stampText(m.stamp).c_str(),
                        static_cast<long long>(m.size), volumes.c_str(), m.name.c_str());
        }
    }
    if (!scan.complete) {
        std::fprintf(stderr, "qlyctl %s: %s: damaged: %s (at offset %lld)\n", command,
                     scan.errorFile.c_str(), scan.error.c_str(),
                     static_cast<long long>(scan.errorOffset));
        return kExitFailure;
    }
    if (!list) {
        std::int64_t bytes = 0;
        for (const auto& m : scan.members) {
            bytes += m.size;
        }
        std::printf("%s: OK, %zu members, %lld bytes, %d volume%s\n", archive.c_str(),
                    scan.members.size(), static_cast<long long>(bytes), scan.volumes,
                    scan.volumes == 1 ? "" : "s");
    }
    return kExitOk;
}

}  // namespace

int cmdList(const Args& args) {
    return scanCommand("list", args, true);
}
int cmdVerify(const Args& args) {
    // A table (.dbf) has its indexes checked; anything else is an archive.
    if (args.size() == 1 && args[0].size() > 4) {
        std::string ext = args[0].substr(args[0].size() - 4);
        for (char& c : ext)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        if (ext == ".dbf")
            return cmdVerifyTable(args);
    }
    return scanCommand("verify", args, false);
}

}  // namespace qlyctl
