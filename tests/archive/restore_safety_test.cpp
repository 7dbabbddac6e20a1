// What a restore or a backup leaves on disk when it fails: the files it would
// have replaced stay as they were, nothing is written through a link or
// outside the target folder, and damaged archives are reported.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>

#include "archive/ArchiveScan.h"
#include "archive/ArchiveTestUtil.h"
#include "archive/Archiver.h"
#include "archive/FileInfo.h"
#include "archive/Format.h"
#include "base/FileSystem.h"

namespace qly::archive {
namespace {

using test::ArchiveBuilder;
using test::Bytes;
using test::makeBytes;
using test::readFile;
using test::TempDir;
using test::writeFile;
using test::writeText;

// Names of files left in a folder (temporary files included).
std::vector<std::string> listing(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Errors {
    std::vector<std::pair<int, std::string>> list;
    void attach(TArchiver& a) {
        a.OnError = [this](TArchiver&, int code, const std::string& text) {
            list.emplace_back(code, text);
        };
    }
    std::string text() const { return list.empty() ? std::string() : list.back().second; }
};

class RestoreSafetyTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string src() const { return dir / "src"; }
    std::string out() const { return dir / "out"; }
    std::string bkp() const { return dir / "backup.bkp"; }
};

TEST_F(RestoreSafetyTest, AFailedMemberLeavesTheOldFileByteForByte) {
    // The archive holds a new MAIN.DBF and a small second file; the target
    // folder holds a larger good MAIN.DBF.
    writeFile(src() + "/MAIN.DBF", makeBytes(40000, 1, false));
    writeFile(src() + "/second.txt", makeBytes(100, 2, false));
    {
        TArchiver a;
        a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool&) {};
        a.setMaxSize(kVolumeReserve + 20000);  // MAIN.DBF spans two volumes
        ASSERT_TRUE(a.Backup({src() + "/MAIN.DBF", src() + "/second.txt"}, bkp()));
    }
    const Bytes goodArchive = readFile(bkp());
    const Bytes old = makeBytes(45000, 3, false);
    const std::int32_t oldStamp = 0x4A2C6000;

    enum Failure { CutShort, FullDisk, CancelledPrompt, CancelledProgress, DamagedBlock };
    for (Failure f : {CutShort, FullDisk, CancelledPrompt, CancelledProgress, DamagedBlock}) {
        std::filesystem::remove_all(out());
        writeFile(out() + "/MAIN.DBF", old);
        ASSERT_TRUE(setFileDosStamp(out() + "/MAIN.DBF", oldStamp));
        writeFile(bkp(), goodArchive);
        qly::FaultyFileSystem fs(FileSystem::posix());
        TArchiver a;
        Errors errors;
        errors.attach(a);
        a.setFileSystem(&fs);
        a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool&) {};
        const std::size_t headerAndName = 12 + 4 + (src() + "/MAIN.DBF").size() + 4 + 4;
        switch (f) {
            case CutShort:
                writeFile(bkp(),
                          Bytes(goodArchive.begin(),
                                goodArchive.begin() + static_cast<long>(headerAndName + 9000)));
                break;
            case FullDisk:
                fs.failWritesAfter(20000, test::tempBeside(out() + "/MAIN.DBF"));
                break;
            case CancelledPrompt:
                a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool& cont) { cont = false; };
                break;
            case CancelledProgress:
                a.OnProgress = [](TArchiver&, const std::string& file, int, bool& cont) {
                    if (file.ends_with("MAIN.DBF"))
                        cont = false;
                };
                break;
            case DamagedBlock: {
                Bytes bytes = goodArchive;
                putInt32(bytes.data() + headerAndName, 20000);  // beyond one block
                writeFile(bkp(), bytes);
                break;
            }
        }
        EXPECT_FALSE(a.Restore(bkp(), out())) << f;
        EXPECT_EQ(readFile(out() + "/MAIN.DBF"), old) << f;
        EXPECT_EQ(fileDosStamp(out() + "/MAIN.DBF"), oldStamp) << f;
        EXPECT_EQ(listing(out()), std::vector<std::string>{"MAIN.DBF"}) << f;
        EXPECT_EQ(a.ProcessedFiles(), 0) << f;
        if (f == FullDisk) {
            EXPECT_EQ(errors.text(),
                      "Overwriting file failed: " + out() + "/MAIN.DBF: No space left on device");
        }
        // The file was never stamped as restored: "newer" still takes it.
        TArchiver again;
        again.setRestoreMode(rmNewer);
        again.OnNeedDisk = [](TArchiver&, std::uint16_t, bool&) {};
        writeFile(bkp(), goodArchive);
        ASSERT_TRUE(again.Restore(bkp(), out())) << f;
        EXPECT_EQ(readFile(out() + "/MAIN.DBF"), readFile(src() + "/MAIN.DBF")) << f;
        EXPECT_EQ(again.ProcessedFiles(), 2) << f;
    }
}

TEST_F(RestoreSafetyTest, LinksPipesAndDevicesAreRefusedByNameAndNothingLandsOutside) {
    writeText(src() + "/a.dat", "new a");
    writeText(src() + "/b.dat", "new b");
    writeText(src() + "/c.dat", "new c");
    writeText(src() + "/d.dat", "new d");
    writeText(src() + "/good.dat", "good");
    TArchiver backup;
    ASSERT_TRUE(backup.Backup({src() + "/*.dat"}, bkp()));

    const std::string outside = dir / "outside";
    std::filesystem::create_directories(outside);
    writeText(outside + "/victim", "victim");
    std::filesystem::create_directories(out());
    std::filesystem::create_symlink(outside + "/victim", out() + "/A.DAT");  // other case
    std::filesystem::create_symlink(outside + "/dangling", out() + "/b.dat");
    ASSERT_EQ(::mkfifo((out() + "/c.dat").c_str(), 0644), 0);
    std::filesystem::create_symlink("/dev/zero", out() + "/d.dat");

    TArchiver a;
    Errors errors;
    errors.attach(a);
    EXPECT_FALSE(a.Restore(bkp(), out()));  // must not block on the pipe
    EXPECT_EQ(a.errorCode(), kErrOverwriteFailed);
    EXPECT_EQ(readFile(out() + "/good.dat"), (Bytes{'g', 'o', 'o', 'd'}));
    EXPECT_EQ(a.ProcessedFiles(), 1);
    EXPECT_EQ(readFile(outside + "/victim"), (Bytes{'v', 'i', 'c', 't', 'i', 'm'}));
    EXPECT_EQ(listing(outside), std::vector<std::string>{"victim"});
    EXPECT_TRUE(std::filesystem::is_symlink(out() + "/A.DAT"));
    EXPECT_TRUE(std::filesystem::is_symlink(out() + "/b.dat"));
    EXPECT_TRUE(std::filesystem::is_fifo(out() + "/c.dat"));
    for (const char* name : {"/A.DAT", "/b.dat", "/c.dat", "/d.dat"}) {
        EXPECT_NE(errors.text().find(out() + name + ": not a regular file"), std::string::npos)
            << errors.text();
    }

    // A linked folder below the target is never walked into.
    std::filesystem::remove_all(out());
    std::filesystem::create_directories(out());
    a.setRestoreFullPath(true);
    const std::string firstFolder = src().substr(1, src().find('/', 1) - 1);
    std::filesystem::create_symlink(outside, out() + "/" + firstFolder);
    errors.list.clear();
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(listing(outside), std::vector<std::string>{"victim"});
    EXPECT_NE(errors.text().find(out() + "/" + firstFolder), std::string::npos) << errors.text();
}

TEST_F(RestoreSafetyTest, ATableHeldOpenElsewhereIsRefusedWhileTheRestRestores) {
    writeFile(src() + "/main.dbf", makeBytes(3000, 1, false));
    writeText(src() + "/other.dbf", "other");
    TArchiver backup;
    ASSERT_TRUE(backup.Backup({src() + "/*.dbf"}, bkp()));
    const Bytes held = makeBytes(5000, 2, false);
    writeFile(out() + "/main.dbf", held);

    // Another user of the table holds the shared lock a table open takes.
    const int fd = ::open((out() + "/main.dbf").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH | LOCK_NB), 0);
    TArchiver a;
    Errors errors;
    errors.attach(a);
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(errors.text(),
              "Overwriting file failed: " + out() + "/main.dbf: in use by another program");
    EXPECT_EQ(readFile(out() + "/main.dbf"), held);
    EXPECT_EQ(readFile(out() + "/other.dbf"), (Bytes{'o', 't', 'h', 'e', 'r'}));
    EXPECT_EQ(a.ProcessedFiles(), 1);
    ::close(fd);

    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(readFile(out() + "/main.dbf"), readFile(src() + "/main.dbf"));
}

Bytes zlibStream(const Bytes& data) {
    uLongf length = compressBound(static_cast<uLong>(data.size()));
    Bytes packed(length);
    compress(packed.data(), &length, data.data(), static_cast<uLong>(data.size()));
    packed.resize(length);
    return packed;
}

TEST_F(RestoreSafetyTest, DamagedArchivesAreReportedNotLoopedOrPassed) {
    const Bytes abc = zlibStream({'a', 'b', 'c'});
    Bytes twoStreams = abc;
    twoStreams.insert(twoStreams.end(), abc.begin(), abc.end());
    const Bytes empty = zlibStream({});
    auto memberWithBlock = [](ArchiveBuilder& b, const Bytes& block) {
        b.string("c:\\x.dat").int32(-1).magic().int32(static_cast<std::int32_t>(block.size()));
        b.raw(block).int32(0);
    };

    struct Case {
        const char* what;
        std::function<void(const std::string& bkp)> build;
        bool raised;  // else an error for the member
    };
    const Case cases[] = {
        {"two zlib streams in a block",
         [&](const std::string& path) {
             ArchiveBuilder b;
             b.header("", 6, 1);
             memberWithBlock(b, twoStreams);
             b.end().save(path);
         },
         false},
        {"a block expanding to nothing",
         [&](const std::string& path) {
             ArchiveBuilder b;
             b.header("", 0, 1);
             memberWithBlock(b, empty);
             b.end().save(path);
         },
         false},
        {"a continuation with no member",
         [&](const std::string& path) {
             ArchiveBuilder b;
             b.header("", 3, 0).string("NEXT:DISK002").save(path);
             ArchiveBuilder v2;
             v2.magic().storedBlock({'a', 'b', 'c'}).int32(0).end();
             v2.save(path.substr(0, path.size() - 3) + "002");
         },
         true},
        {"a volume naming itself",
         [&](const std::string& path) {
             ArchiveBuilder b;
             b.header("", 3, 1).member("c:\\x.dat", -1, {'a'}).string("NEXT:DISK001").save(path);
         },
         true},
        {"volumes 2, 1, 2",
         [&](const std::string& path) {
             ArchiveBuilder b;
             b.header("", 3, 1).member("c:\\x.dat", -1, {'a'}).string("NEXT:DISK002").save(path);
             ArchiveBuilder v2;
             v2.magic().int32(0).string("NEXT:DISK001");
             v2.save(path.substr(0, path.size() - 3) + "002");
         },
         true},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(out());
        std::filesystem::remove(dir / "backup.002");
        c.build(bkp());
        TArchiver a;
        Errors errors;
        errors.attach(a);
        int prompts = 0;
        a.OnNeedDisk = [&](TArchiver&, std::uint16_t, bool& cont) { cont = ++prompts < 5; };
        EXPECT_FALSE(a.Restore(bkp(), out())) << c.what;
        if (c.raised) {
            EXPECT_EQ(a.raisedError(), "Stream read error") << c.what;
        } else {
            EXPECT_EQ(a.errorCode(), kErrCannotReadFile) << c.what;
            EXPECT_NE(errors.text().find("x.dat: damaged archive"), std::string::npos)
                << c.what << ": " << errors.text();
        }
        EXPECT_LE(prompts, 1) << c.what;
        EXPECT_FALSE(test::exists(out() + "/x.dat")) << c.what;
        // list and verify see the same damage, and end.
        const ScanResult scan = scanArchive(bkp(), FileSystem::posix(), {});
        EXPECT_FALSE(scan.complete) << c.what;
        EXPECT_FALSE(scan.error.empty()) << c.what;
    }
}

TEST_F(RestoreSafetyTest, AFailedBackupKeepsThePreviousArchive) {
    writeFile(src() + "/a.dat", makeBytes(50000, 1, false));
    TArchiver a;
    ASSERT_TRUE(a.Backup({src() + "/a.dat"}, bkp()));
    const Bytes previous = readFile(bkp());
    qly::FaultyFileSystem fs(FileSystem::posix());
    a.setFileSystem(&fs);
    for (std::int64_t limit : {5, 8192, 40000}) {
        fs.failWritesAfter(limit, test::tempBeside(bkp()));
        EXPECT_FALSE(a.Backup({src() + "/a.dat"}, bkp())) << limit;
        EXPECT_EQ(a.errorCode(), kErrCannotWriteArchive) << limit;
        EXPECT_EQ(readFile(bkp()), previous) << limit;
        EXPECT_EQ(listing(dir.path()), (std::vector<std::string>{"backup.bkp", "src"})) << limit;
    }
}

bool userXattrsWork(const std::string& path) {
    return ::setxattr(path.c_str(), "user.qly.probe", "1", 1, 0) == 0;
}

TEST_F(RestoreSafetyTest, OnlyMembersArchivedWholeAndUnchangedAreMarked) {
    writeFile(src() + "/a.dat", makeBytes(40000, 1, false));
    writeFile(src() + "/b.dat", makeBytes(40000, 2, false));
    if (!userXattrsWork(src() + "/a.dat")) {
        GTEST_SKIP() << "no user extended attributes on this file system";
    }
    // b.dat is cancelled after its first block: it stays marked.
    TArchiver a;
    a.setBackupMode(bmIncremental);
    a.OnProgress = [&](TArchiver&, const std::string& f, int, bool& cont) {
        if (f == src() + "/b.dat")
            cont = false;
    };
    EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp()));
    EXPECT_FALSE(archiveAttributeSet(src() + "/a.dat"));
    EXPECT_TRUE(archiveAttributeSet(src() + "/b.dat"));

    // b.dat is appended to while it is read: the edit is not marked archived.
    bool appended = false;
    a.OnProgress = [&](TArchiver&, const std::string& f, int, bool&) {
        if (f == src() + "/b.dat" && !appended) {
            appended = true;
            ::usleep(20000);  // a later modification time
            std::ofstream(src() + "/b.dat", std::ios::app) << "posted meanwhile";
        }
    };
    EXPECT_TRUE(a.Backup({src() + "/*.dat"}, bkp()));
    EXPECT_TRUE(appended);
    EXPECT_TRUE(archiveAttributeSet(src() + "/b.dat"));
}

}  // namespace
}  // namespace qly::archive
