// TArchiver: what a backup writes, what a restore does with it, and how both
// behave when files, volumes or the user get in the way.

#include <gtest/gtest.h>
#include <sys/xattr.h>

#include <cstdlib>
#include <filesystem>

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

// An archive volume taken apart (current encoding only).
struct Parsed {
    std::string title;
    std::int32_t total = 0;
    std::int32_t count = 0;
    struct Member {
        std::string name;
        std::int32_t stamp = 0;
        std::vector<std::int32_t> blocks;
        Bytes data;  // stored blocks only
    };
    std::vector<Member> members;
    std::string volumeChange;  // "NEXT:DISK..." when the volume ends with one
    bool endRecord = false;
    bool ok = false;
};

Parsed parse(const Bytes& b, bool withHeader = true) {
    Parsed p;
    std::size_t pos = 0;
    auto int32 = [&](std::int32_t& v) {
        if (pos + 4 > b.size())
            return false;
        v = getInt32(b.data() + pos);
        pos += 4;
        return true;
    };
    auto str = [&](std::string& s, std::int32_t n) {
        if (n < 0 || pos + static_cast<std::size_t>(n) > b.size())
            return false;
        s.assign(reinterpret_cast<const char*>(b.data()) + pos, static_cast<std::size_t>(n));
        pos += static_cast<std::size_t>(n);
        return true;
    };
    auto blocks = [&](Parsed::Member& m) {
        std::string magic;
        if (!str(magic, 4) || magic != std::string("EC2\0", 4))
            return false;
        for (;;) {
            std::int32_t len = 0;
            if (!int32(len))
                return false;
            if (len == 0)
                return true;
            m.blocks.push_back(len);
            const std::size_t n = static_cast<std::size_t>(len < 0 ? -len : len);
            if (pos + n > b.size())
                return false;
            if (len < 0)
                m.data.insert(m.data.end(), b.begin() + static_cast<long>(pos),
                              b.begin() + static_cast<long>(pos + n));
            pos += n;
        }
    };
    std::int32_t n = 0;
    if (withHeader) {
        if (!int32(n) || !str(p.title, n) || !int32(p.total) || !int32(p.count))
            return p;
    } else {
        Parsed::Member continuation;
        continuation.name = "(continuation)";
        if (!blocks(continuation))
            return p;
        p.members.push_back(continuation);
    }
    for (;;) {
        if (!int32(n))
            return p;
        if (n == 0) {
            p.endRecord = true;
            break;
        }
        std::string name;
        if (!str(name, n))
            return p;
        if (name.rfind("NEXT:DISK", 0) == 0) {
            p.volumeChange = name;
            break;
        }
        Parsed::Member m;
        m.name = name;
        if (!int32(m.stamp) || !blocks(m)) {
            p.members.push_back(m);
            return p;
        }
        p.members.push_back(m);
    }
    p.ok = pos == b.size();
    return p;
}

// Records what the archiver reports.
struct Recorder {
    std::vector<std::pair<std::string, int>> progress;
    std::vector<int> disks;
    std::vector<std::string> boxes;
    std::vector<std::pair<int, std::string>> errors;
    std::vector<std::string> restoreFiles;

    void attach(TArchiver& a) {
        a.OnProgress = [this](TArchiver&, const std::string& f, int p, bool&) {
            progress.emplace_back(f, p);
        };
        a.OnError = [this](TArchiver&, int code, const std::string& text) {
            errors.emplace_back(code, text);
        };
        a.MessageBox = [this](MessageBoxKind, const std::string& text) {
            boxes.push_back(text);
            return true;
        };
    }
};

class ArchiverTest : public ::testing::Test {
protected:
    TempDir dir;
    std::string src() const { return dir / "src"; }
    std::string out() const { return dir / "out"; }
    std::string bkp() const { return dir / "backup.bkp"; }

    // Restoring with RestoreFullPath rebuilds the absolute path below `out`.
    std::string restoredPath(const std::string& original) const { return out() + original; }
};

TEST_F(ArchiverTest, PropertiesStartAtTheirDefaults) {
    TArchiver a;
    EXPECT_EQ(a.Version(), "3.00");
    a.setVersion("9.99");
    EXPECT_EQ(a.Version(), "3.00");
    EXPECT_EQ(a.BackupTitle(), "");
    EXPECT_EQ(a.BackupMode(), bmAll);
    EXPECT_EQ(a.CompressionLevel(), clFastest);
    EXPECT_EQ(a.RestoreMode(), rmAll);
    EXPECT_EQ(a.MaxSize(), 0);
    EXPECT_FALSE(a.SetArchiveFlag());
    EXPECT_FALSE(a.RestoreFullPath());
    EXPECT_FALSE(a.SaveFileID());
    EXPECT_FALSE(a.Busy());

    // Incremental switches the archive flag on; going back leaves it alone.
    a.setBackupMode(bmIncremental);
    EXPECT_TRUE(a.SetArchiveFlag());
    a.setBackupMode(bmAll);
    EXPECT_TRUE(a.SetArchiveFlag());
    a.setSetArchiveFlag(false);
    a.setBackupMode(bmAll);
    EXPECT_FALSE(a.SetArchiveFlag());
}

TEST_F(ArchiverTest, AnEmptyFileGivesTheFortyByteLayout) {
    // Name length 8, as for c:\a.txt: a file "/a.t" below a short folder is
    // not available everywhere, so the layout is checked with this name's
    // length and the bytes compared field by field.
    const std::string file = dir / "a.txt";
    writeText(file, "");
    MemoryStream stream;
    TArchiver a;
    a.BackupStream = &stream;
    ASSERT_TRUE(a.Backup({file}, ":STREAM"));
    const Bytes& b = stream.bytes();
    ASSERT_EQ(b.size(), 32 + file.size());
    ArchiveBuilder expected;
    expected.header("", 0, 1).string(file).int32(fileDosStamp(file)).magic().int32(0).end();
    EXPECT_EQ(b, expected.bytes());
    EXPECT_EQ(a.CompressionRate(), 0);
    EXPECT_EQ(a.FileCount(), 1);
    EXPECT_EQ(a.ProcessedFiles(), 1);

    // The 40-byte archive of a file written on Windows restores its name part.
    ArchiveBuilder forty;
    forty.header("", 0, 1).string("c:\\a.txt").int32(0x5A2C6000).magic().int32(0).end();
    ASSERT_EQ(forty.bytes().size(), 40u);
    forty.save(bkp());
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_TRUE(test::exists(out() + "/a.txt"));
    EXPECT_EQ(readFile(out() + "/a.txt").size(), 0u);
    EXPECT_EQ(fileDosStamp(out() + "/a.txt"), 0x5A2C6000);
}

TEST_F(ArchiverTest, CutsFilesIntoBlocksOfAtMost16384Bytes) {
    struct Case {
        std::size_t size;
        bool compressible;
        TCompressionLevel level;
        std::vector<std::int32_t> stored;  // expected stored block lengths, 0 = compressed
    };
    const Case cases[] = {
        {16384, true, clFastest, {0}},
        {16385, true, clFastest, {0, 0}},
        {16384, false, clFastest, {-16384}},
        {16385, false, clMax, {-16384, 0}},              // one byte compresses into a small stream
        {40000, false, clDefault, {-16384, -16384, 0}},  // a short last piece fits
        {16384, true, clNone, {-16384}},                 // level 0 never fits a full piece
        {100, true, clNone, {0}},                        // but a small one fits
    };
    for (const Case& c : cases) {
        const std::string file = src() + "/f.bin";
        writeFile(file, makeBytes(c.size, 7, c.compressible));
        MemoryStream stream;
        TArchiver a;
        a.setCompressionLevel(c.level);
        a.BackupStream = &stream;
        ASSERT_TRUE(a.Backup({file}, ":STREAM"));
        const Parsed p = parse(stream.bytes());
        ASSERT_TRUE(p.ok);
        ASSERT_EQ(p.members.size(), 1u);
        const auto& blocks = p.members[0].blocks;
        ASSERT_EQ(blocks.size(), c.stored.size()) << c.size;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (c.stored[i] == 0) {
                EXPECT_GT(blocks[i], 0) << c.size << " block " << i;
                EXPECT_LE(blocks[i], 16384);
            } else {
                EXPECT_EQ(blocks[i], c.stored[i]) << c.size << " block " << i;
            }
        }
        EXPECT_EQ(p.total, static_cast<std::int32_t>(c.size));
    }
}

TEST_F(ArchiverTest, RoundTripsRandomFilesAtEveryLevelWithAndWithoutSpanning) {
    const std::size_t sizes[] = {0, 1, 2, 100, 4095, 16383, 16384, 16385, 32768, 50001, 130000};
    std::vector<std::string> files;
    std::vector<Bytes> contents;
    std::uint32_t seed = 1;
    for (std::size_t size : sizes) {
        for (bool compressible : {true, false}) {
            const std::string file =
                src() + "/sub" + std::to_string(seed % 3) + "/F" + std::to_string(seed) + ".dat";
            contents.push_back(makeBytes(size, seed, compressible));
            writeFile(file, contents.back());
            files.push_back(file);
            ++seed;
        }
    }
    for (TCompressionLevel level : {clFastest, clNone, clDefault, clMax}) {
        for (std::int32_t maxSize : {0, 40000}) {
            std::filesystem::remove_all(out());
            TArchiver a;
            Recorder r;
            r.attach(a);
            a.setCompressionLevel(level);
            a.setMaxSize(maxSize);
            a.setRestoreFullPath(true);
            ASSERT_TRUE(a.Backup({src() + "/*.* /s"}, bkp())) << level << " " << maxSize;
            EXPECT_EQ(a.FileCount(), static_cast<int>(files.size()));
            EXPECT_EQ(a.ProcessedFiles(), static_cast<int>(files.size()));
            if (maxSize > 0) {
                EXPECT_TRUE(test::exists(dir / "backup.002"));
                EXPECT_LE(static_cast<std::int64_t>(readFile(bkp()).size()), maxSize + 4096);
            }
            ASSERT_TRUE(a.Restore(bkp(), out())) << level << " " << maxSize;
            EXPECT_EQ(a.ProcessedFiles(), static_cast<int>(files.size()));
            EXPECT_TRUE(r.errors.empty());
            for (std::size_t i = 0; i < files.size(); ++i) {
                ASSERT_EQ(readFile(restoredPath(files[i])), contents[i]) << files[i];
                EXPECT_EQ(fileDosStamp(restoredPath(files[i])), fileDosStamp(files[i]));
            }
            for (int v = 2; v < 100; ++v) {
                std::filesystem::remove(volumeFileName(bkp(), volumeDigits(v)));
            }
        }
    }
}

TEST_F(ArchiverTest, ProgressRunsFromZeroToHundredWithBlockSteps) {
    writeFile(src() + "/a.dat", makeBytes(40000, 3, false));
    writeFile(src() + "/b.dat", makeBytes(10000, 4, false));
    TArchiver a;
    Recorder r;
    r.attach(a);
    int events = 0;
    a.ProcessEvents = [&] {
        ++events;
        EXPECT_TRUE(a.Busy());
    };
    ASSERT_TRUE(a.Backup({src() + "/*.dat"}, bkp()));
    const std::vector<std::pair<std::string, int>> expected = {{"", 0},
                                                               {src() + "/a.dat", 32},
                                                               {src() + "/a.dat", 65},
                                                               {src() + "/a.dat", 80},
                                                               {src() + "/b.dat", 100},
                                                               {"", 100}};
    EXPECT_EQ(r.progress, expected);
    EXPECT_EQ(events, 4);
    // Stored blocks: each adds 4 to its payload, each member 4 for its magic.
    EXPECT_EQ(a.CompressionRate(), static_cast<int>(100 - (50000 + 4 * 4 + 2 * 4) * 100 / 50000));

    r.progress.clear();
    a.setRestoreFullPath(true);
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(r.progress.front().second, 32);
    EXPECT_EQ(r.progress.front().first, restoredPath(src() + "/a.dat"));
    EXPECT_EQ(r.progress.back(), std::make_pair(std::string(), 100));
    EXPECT_EQ(r.progress.size(), 5u);
}

TEST_F(ArchiverTest, SelectsByWildcardsAndSubfoldersOnceAndNeverTheArchiveItself) {
    for (const char* name : {"MAIN.DBF", "main.cdx", "Notes.txt", "x.dbf/inner.dbf",
                             "x.dbf/skip.txt", "plain/deep.dbf"}) {
        writeText(src() + "/" + name, name);
    }
    const std::string archive = src() + "/Backup.BKP";
    TArchiver a;
    MemoryStream unused;
    (void)unused;
    std::string upper = archive;
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));

    // The archive named in other letter case, inside the folder backed up;
    // *.dbf /s descends only into folders matching *.dbf; a file named twice
    // is taken once.
    ASSERT_TRUE(a.Backup({src() + "/*.DBF /S", src() + "/main.dbf", src() + "/*.bkp"}, archive))
        << a.raisedError();
    Parsed p = parse(readFile(archive));
    ASSERT_TRUE(p.ok);
    std::vector<std::string> names;
    for (const auto& m : p.members)
        names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{src() + "/MAIN.DBF", src() + "/x.dbf/inner.dbf"}));

    // Named in upper case, the archive of the previous run is still left out.
    writeText(archive, "old");
    ASSERT_TRUE(a.Backup({src() + "/*.*"}, archive));
    p = parse(readFile(archive));
    names.clear();
    for (const auto& m : p.members)
        names.push_back(m.name);
    EXPECT_EQ(names, (std::vector<std::string>{src() + "/MAIN.DBF", src() + "/Notes.txt",
                                               src() + "/main.cdx"}));
    EXPECT_EQ(p.count, 3);
}

TEST_F(ArchiverTest, NoExistingFilesGiveHeaderAndEndRecord) {
    TArchiver a;
    a.setBackupTitle("Nightly");
    ASSERT_TRUE(a.Backup({dir / "missing/*.dbf", dir / "nofile.dbf"}, bkp()));
    EXPECT_EQ(readFile(bkp()), ArchiveBuilder().header("Nightly", 0, 0).end().bytes());
    EXPECT_EQ(a.CompressionRate(), 0);
}

TEST_F(ArchiverTest, FileIdentityListComesFirstAndIsNeverRestored) {
    writeText(src() + "/a.dbf", "alpha");
    writeText(src() + "/b.dbf", "bravo!");
    TArchiver a;
    a.setSaveFileID(true);
    ASSERT_TRUE(a.Backup({src() + "/*.dbf"}, bkp()));
    const Parsed p = parse(readFile(bkp()));
    ASSERT_TRUE(p.ok);
    ASSERT_EQ(p.members.size(), 3u);
    EXPECT_EQ(p.members[0].name, "FILE:LIST");
    const std::string list = src() + "/a.dbf\t" + std::to_string(fileDosStamp(src() + "/a.dbf")) +
                             "=5\r\n" + src() + "/b.dbf\t" +
                             std::to_string(fileDosStamp(src() + "/b.dbf")) + "=6\r\n";
    EXPECT_EQ(p.count, 2);
    EXPECT_EQ(p.total, static_cast<std::int32_t>(11 + list.size()));
    EXPECT_EQ(a.FileCount(), 2);
    EXPECT_EQ(a.ProcessedFiles(), 2);

    // Its text, read back through a restore that sees every member.
    std::vector<std::string> offered;
    a.OnRestoreFile = [&](TArchiver&, std::string& f, std::int32_t, bool&) {
        offered.push_back(f);
    };
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(offered, (std::vector<std::string>{out() + "/a.dbf", out() + "/b.dbf"}));
    EXPECT_FALSE(test::exists(out() + "/FILE:LIST"));
    EXPECT_FALSE(test::exists(out() + "/LIST"));
    EXPECT_EQ(a.ProcessedFiles(), 2);

    // The temporary list is gone; a temporary folder that cannot be used is
    // error 7, with only the header written.
    const char* oldTmp = std::getenv("TMPDIR");
    const std::string saved = oldTmp ? oldTmp : "";
    ::setenv("TMPDIR", (dir / "no/such/folder").c_str(), 1);
    Recorder r;
    r.attach(a);
    EXPECT_FALSE(a.Backup({src() + "/*.dbf"}, bkp()));
    if (oldTmp)
        ::setenv("TMPDIR", saved.c_str(), 1);
    else
        ::unsetenv("TMPDIR");
    EXPECT_EQ(a.errorCode(), kErrTempFile);
    ASSERT_EQ(r.errors.size(), 1u);
    EXPECT_EQ(r.errors[0].second, "Cannot create temporary file to save the file IDs");
    const Parsed header = parse(readFile(bkp()));
    EXPECT_TRUE(header.members.empty());
    EXPECT_FALSE(header.endRecord);
    EXPECT_EQ(header.total, 11);
}

TEST_F(ArchiverTest, SpansVolumesNineToTenAndPromptsForEach) {
    writeFile(src() + "/big.dat", makeBytes(12 * 16384, 5, false));
    TArchiver a;
    Recorder r;
    r.attach(a);
    a.setMaxSize(kVolumeReserve + 1);  // every block starts a new volume
    ASSERT_TRUE(a.Backup({src() + "/big.dat"}, bkp()));
    EXPECT_EQ(r.boxes.size(), 12u);
    EXPECT_EQ(r.boxes[8], "Please insert disk 10 and click OK to continue.");
    const Parsed nine = parse(readFile(dir / "backup.009"), false);
    EXPECT_EQ(nine.volumeChange, "NEXT:DISK010");
    EXPECT_TRUE(test::exists(dir / "backup.010"));
    EXPECT_TRUE(test::exists(dir / "backup.013"));
    // The first volume: header, member, end mark before its first block.
    const Parsed first = parse(readFile(bkp()));
    ASSERT_EQ(first.members.size(), 1u);
    EXPECT_TRUE(first.members[0].blocks.empty());
    EXPECT_EQ(first.volumeChange, "NEXT:DISK002");
    const Parsed last = parse(readFile(dir / "backup.013"), false);
    EXPECT_TRUE(last.ok);
    EXPECT_TRUE(last.endRecord);

    // A restore from the hard disk still asks once for every volume.
    r.boxes.clear();
    std::vector<int> disks;
    a.OnNeedDisk = [&](TArchiver&, std::uint16_t id, bool&) { disks.push_back(id); };
    a.setRestoreFullPath(true);
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(disks, (std::vector<int>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13}));
    EXPECT_EQ(readFile(restoredPath(src() + "/big.dat")), readFile(src() + "/big.dat"));
}

TEST_F(ArchiverTest, MemberEndingAtTheLimitLeavesAnEmptyFirstPart) {
    // Blocks of incompressible data are 16388 bytes on disk; two files
    // fill the first volume past MaxSize - 16484 exactly at a member's end.
    writeFile(src() + "/a.dat", makeBytes(16384, 1, false));
    writeFile(src() + "/b.dat", makeBytes(100, 2, false));
    TArchiver a;
    a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool&) {};
    const std::int32_t afterFirst =
        12 + 4 + static_cast<std::int32_t>((src() + "/a.dat").size()) + 4 + 4 + 16388 + 4;
    a.setMaxSize(afterFirst + kVolumeReserve);
    ASSERT_TRUE(a.Backup({src() + "/*.dat"}, bkp()));
    const Parsed first = parse(readFile(bkp()));
    ASSERT_EQ(first.members.size(), 2u);
    EXPECT_EQ(first.members[0].blocks.size(), 1u);
    EXPECT_TRUE(first.members[1].blocks.empty());
    EXPECT_EQ(first.volumeChange, "NEXT:DISK002");
    const Parsed second = parse(readFile(dir / "backup.002"), false);
    ASSERT_TRUE(second.ok);
    EXPECT_EQ(second.members[0].blocks.size(), 1u);
}

TEST_F(ArchiverTest, CancellingEndsTheMemberAndLeavesNoEndRecord) {
    writeFile(src() + "/a.dat", makeBytes(16384, 1, false));
    writeFile(src() + "/b.dat", makeBytes(50000, 2, false));
    writeFile(src() + "/c.dat", makeBytes(10, 3, false));
    TArchiver a;
    Recorder r;
    r.attach(a);
    a.setSetArchiveFlag(true);
    a.OnProgress = [&](TArchiver&, const std::string& f, int, bool& cont) {
        if (f == src() + "/b.dat")
            cont = false;  // after b's first block
    };
    EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp()));
    EXPECT_EQ(a.errorCode(), 0);
    EXPECT_TRUE(r.errors.empty());
    EXPECT_TRUE(r.boxes.empty());
    const Parsed p = parse(readFile(bkp()));
    ASSERT_EQ(p.members.size(), 2u);
    EXPECT_EQ(p.members[1].blocks.size(), 1u);  // closed with its end mark
    EXPECT_FALSE(p.endRecord);
    EXPECT_TRUE(p.volumeChange.empty());
    EXPECT_EQ(a.ProcessedFiles(), 1);

    // Restoring it writes the complete member, then meets the missing end:
    // b.dat was never archived whole, so it is not restored in part (it used
    // to be kept at 16384 bytes, stamped as if it were whole).
    a.OnProgress = nullptr;
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(a.raisedError(), "Stream read error");
    EXPECT_EQ(readFile(out() + "/a.dat"), readFile(src() + "/a.dat"));
    EXPECT_FALSE(test::exists(out() + "/b.dat"));
    EXPECT_EQ(a.ProcessedFiles(), 1);
    EXPECT_FALSE(a.Busy());

    // Cancelling a restore from its progress event.
    std::filesystem::remove_all(out());
    a.OnProgress = [](TArchiver&, const std::string& f, int, bool& cont) {
        if (!f.empty())
            cont = false;
    };
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(a.errorCode(), 0);
    EXPECT_TRUE(a.raisedError().empty());
    // The member cancelled in its first block leaves nothing behind.
    EXPECT_FALSE(test::exists(out() + "/a.dat"));
    EXPECT_FALSE(test::exists(out() + "/b.dat"));
    EXPECT_TRUE(std::filesystem::is_empty(out()));
    EXPECT_EQ(a.ProcessedFiles(), 0);
}

TEST_F(ArchiverTest, CancellingTheDiskPromptStopsQuietlyInBothOperations) {
    writeFile(src() + "/a.dat", makeBytes(40000, 1, false));
    for (bool useEvent : {false, true}) {
        TArchiver a;
        Recorder r;
        r.attach(a);
        if (useEvent) {
            a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool& cont) { cont = false; };
        } else {
            a.MessageBox = [&](MessageBoxKind kind, const std::string& text) {
                r.boxes.push_back(text);
                return kind != MessageBoxKind::InformationOkCancel;
            };
        }
        a.setMaxSize(kVolumeReserve + 20000);
        EXPECT_FALSE(a.Backup({src() + "/a.dat"}, bkp()));
        EXPECT_EQ(a.errorCode(), 0);
        EXPECT_TRUE(r.errors.empty());
        EXPECT_EQ(r.boxes.size(), useEvent ? 0u : 1u);
        const Parsed p = parse(readFile(bkp()));
        EXPECT_EQ(p.volumeChange, "NEXT:DISK002");
        EXPECT_FALSE(test::exists(dir / "backup.002"));
    }
    // A full two-volume archive, and a restore whose prompt is cancelled.
    TArchiver a;
    a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool&) {};
    a.setMaxSize(kVolumeReserve + 20000);
    ASSERT_TRUE(a.Backup({src() + "/a.dat"}, bkp()));
    Recorder r;
    r.attach(a);
    a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool& cont) { cont = false; };
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(a.errorCode(), 0);
    EXPECT_TRUE(a.raisedError().empty());
    EXPECT_TRUE(r.errors.empty());

    // A missing volume is asked for again until it turns up.
    std::filesystem::rename(dir / "backup.002", dir / "elsewhere");
    int asked = 0;
    a.OnNeedDisk = [&](TArchiver&, std::uint16_t id, bool&) {
        EXPECT_EQ(id, 2);
        if (++asked == 3)
            std::filesystem::rename(dir / "elsewhere", dir / "backup.002");
    };
    EXPECT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(readFile(out() + "/a.dat"), readFile(src() + "/a.dat"));
}

TEST_F(ArchiverTest, RestoreModesDecideFromExistenceAndStamps) {
    const std::int32_t memberStamp = 0x5A2C6000;
    const std::int32_t older = memberStamp - 0x10000;  // a day before
    const std::int32_t newer = memberStamp + 0x10000;
    ArchiveBuilder b;
    b.header("", 3, 1).member("c:\\data\\t.dbf", memberStamp, {'n', 'e', 'w'}).end();
    b.save(bkp());
    struct Case {
        TRestoreMode mode;
        int target;  // 0 missing, else the target's stamp
        bool written;
    };
    const Case cases[] = {
        {rmAll, 0, true},
        {rmAll, newer, true},
        {rmNoOverwrite, 0, true},
        {rmNoOverwrite, older, false},
        {rmNewer, 0, true},
        {rmNewer, older, true},
        {rmNewer, memberStamp, false},
        {rmNewer, newer, false},
        {rmExisting, 0, false},
        {rmExisting, newer, true},
        {rmExistingNewer, 0, false},
        {rmExistingNewer, older, true},
        {rmExistingNewer, memberStamp, false},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(out());
        std::filesystem::create_directories(out());
        const std::string target = out() + "/T.DBF";  // found without regard to case
        if (c.target != 0) {
            writeText(target, "old");
            ASSERT_TRUE(setFileDosStamp(target, c.target));
        }
        TArchiver a;
        a.setRestoreMode(c.mode);
        bool decided = false;
        a.OnRestoreFile = [&](TArchiver&, std::string& f, std::int32_t fa, bool& doRestore) {
            EXPECT_EQ(f, c.target != 0 ? target : out() + "/t.dbf");
            EXPECT_EQ(fa, memberStamp);
            decided = doRestore;
        };
        ASSERT_TRUE(a.Restore(bkp(), out()));
        EXPECT_EQ(decided, c.written) << c.mode << " " << c.target;
        const std::string written = c.target != 0 ? target : out() + "/t.dbf";
        if (c.written) {
            EXPECT_EQ(readFile(written), (Bytes{'n', 'e', 'w'})) << c.mode << " " << c.target;
            EXPECT_EQ(fileDosStamp(written), memberStamp);
        } else if (c.target != 0) {
            EXPECT_EQ(readFile(written), (Bytes{'o', 'l', 'd'})) << c.mode << " " << c.target;
        } else {
            EXPECT_FALSE(test::exists(written));
        }
        EXPECT_EQ(a.ProcessedFiles(), c.written ? 1 : 0);
    }
}

TEST_F(ArchiverTest, OnRestoreFileMayRenameOrVeto) {
    ArchiveBuilder b;
    b.header("", 2, 2).member("c:\\a.txt", -1, {'a'}).member("c:\\b.txt", -1, {'b'}).end();
    b.save(bkp());
    TArchiver a;
    a.OnRestoreFile = [&](TArchiver&, std::string& f, std::int32_t, bool& doRestore) {
        if (f.ends_with("a.txt"))
            f = out() + "/renamed/x.txt";
        else
            doRestore = false;
    };
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(readFile(out() + "/renamed/x.txt"), Bytes{'a'});
    EXPECT_FALSE(test::exists(out() + "/b.txt"));
    EXPECT_EQ(a.FileCount(), 2);
}

TEST_F(ArchiverTest, FullPathRestoreRebuildsFoldersBelowTheTarget) {
    ArchiveBuilder b;
    b.header("", 6, 2)
        .member("c:\\data\\main.dbf", -1, {'m', 'a', 'i', 'n'})
        .member("/home/ann/x.dbf", -1, {'x', 'x'})
        .end();
    b.save(bkp());
    TArchiver a;
    a.setRestoreFullPath(true);
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(readFile(out() + "/data/main.dbf"), (Bytes{'m', 'a', 'i', 'n'}));
    EXPECT_EQ(readFile(out() + "/home/ann/x.dbf"), (Bytes{'x', 'x'}));

    a.setRestoreFullPath(false);
    ASSERT_TRUE(a.Restore(bkp(), out() + "/flat/"));
    EXPECT_EQ(readFile(out() + "/flat/main.dbf"), (Bytes{'m', 'a', 'i', 'n'}));
    EXPECT_EQ(readFile(out() + "/flat/x.dbf"), (Bytes{'x', 'x'}));

    // With an empty target folder the stored path itself is the target.
    const std::string abs = out() + "/abs/y.dbf";
    ArchiveBuilder c;
    c.header("", 1, 1).member(abs, -1, {'y'}).end();
    c.save(bkp());
    ASSERT_TRUE(a.Restore(bkp(), ""));
    EXPECT_EQ(readFile(abs), Bytes{'y'});

    // A target without a folder part cannot have its folder made.
    ArchiveBuilder d;
    d.header("", 1, 1).member("bare.txt", -1, {'z'}).end();
    d.save(bkp());
    EXPECT_FALSE(a.Restore(bkp(), ""));
    EXPECT_EQ(a.raisedError(), "Unable to create directory");
}

TEST_F(ArchiverTest, UnsafeNamesNeverWriteOutsideTheTargetFolder) {
    const std::string target = out() + "/inside";
    std::filesystem::create_directories(target);
    const std::vector<std::string> unsafe = {
        "c:\\data\\..\\..\\evil1.txt",
        "/../evil2.txt",
        "/a/../../evil3.txt",
        "c:\\..",
        "//evil4.txt",
        "c:\\\\evil5.txt",
        "c:\\dir\\",
        "..",
    };
    for (bool fullPath : {true, false}) {
        ArchiveBuilder b;
        b.header("", 10, 10);
        for (const std::string& name : unsafe)
            b.member(name, -1, {'e'});
        b.member("c:\\data\\good.txt", -1, {'g'}).end();
        b.save(bkp());
        TArchiver a;
        Recorder r;
        r.attach(a);
        a.setRestoreFullPath(fullPath);
        std::vector<std::string> offered;
        a.OnRestoreFile = [&](TArchiver&, std::string& f, std::int32_t, bool&) {
            offered.push_back(f);
        };
        EXPECT_FALSE(a.Restore(bkp(), target));
        EXPECT_EQ(a.errorCode(), kErrCannotReadFile);
        ASSERT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors[0].first, 1);
        EXPECT_EQ(r.errors[0].second.rfind("Cannot read file: ", 0), 0u) << r.errors[0].second;
        EXPECT_NE(r.errors[0].second.find("\"..\""), std::string::npos) << r.errors[0].second;
        const std::string good = fullPath ? target + "/data/good.txt" : target + "/good.txt";
        EXPECT_EQ(readFile(good), Bytes{'g'});
        // Only safe names reach the handler, and nothing lands beside the target.
        for (const std::string& f : offered) {
            EXPECT_EQ(f.rfind(target + "/", 0), 0u) << f;
            EXPECT_EQ(f.find(".."), std::string::npos) << f;
        }
        for (const auto& entry : std::filesystem::recursive_directory_iterator(dir.path())) {
            const std::string path = entry.path().string();
            if (path.rfind(target + "/", 0) != 0) {
                EXPECT_EQ(entry.path().filename().string().find("evil"), std::string::npos) << path;
            }
        }
        std::filesystem::remove_all(target);
    }
}

TEST_F(ArchiverTest, DamagedArchivesFailThroughTheirPaths) {
    const Bytes data = makeBytes(30000, 9, false);
    writeFile(src() + "/a.dat", data);
    writeFile(src() + "/b.dat", makeBytes(20, 9, false));
    TArchiver a;
    ASSERT_TRUE(a.Backup({src() + "/*.dat"}, bkp()));
    const Bytes good = readFile(bkp());
    const std::size_t firstMember = 12 + 4 + (src() + "/a.dat").size() + 4;

    struct Case {
        const char* what;
        std::size_t keep;  // bytes kept (truncation), or 0
        std::size_t patchAt;
        std::int32_t patch;
        std::string raised;
        int code;
        std::size_t restoredA;  // bytes of a.dat written (npos: not created)
    };
    const std::size_t none = std::string::npos;
    const Case cases[] = {
        {"header cut short", 7, 0, 0, "Cannot read archive", 0, none},
        {"empty file", 0, 0, 0, "Cannot read archive", 0, none},
        // A damaged member is not restored at all: it used to be written as
        // far as it went and stamped, so a later "newer" restore skipped it.
        {"cut inside the first block", firstMember + 4 + 4 + 100, 0, 0, "", 1, none},
        {"cut after the first block", firstMember + 4 + 4 + 16384, 0, 0, "", 1, none},
        {"block length out of range", 0, firstMember + 4, -16385, "", 1, none},
        {"bad magic", 0, firstMember, 0x12345678, "Invalid archive type", 0, none},
        {"huge name length", 0, 12, 0x7FFFFFF0, "Stream read error", 0, none},
        {"negative name length", 0, 12, -5, "Stream read error", 0, none},
    };
    for (const Case& c : cases) {
        Bytes bytes = good;
        if (c.keep != 0 || std::string(c.what) == "empty file")
            bytes.resize(c.keep);
        if (c.patchAt != 0)
            putInt32(bytes.data() + c.patchAt, c.patch);
        writeFile(bkp(), bytes);
        std::filesystem::remove_all(out());
        TArchiver r;
        Recorder rec;
        rec.attach(r);
        EXPECT_FALSE(r.Restore(bkp(), out())) << c.what;
        EXPECT_EQ(r.raisedError(), c.raised) << c.what;
        EXPECT_EQ(r.errorCode(), c.code) << c.what;
        EXPECT_EQ(rec.errors.size(), c.code != 0 ? 1u : 0u) << c.what;
        EXPECT_FALSE(r.Busy());
        if (c.restoredA == none) {
            EXPECT_FALSE(test::exists(out() + "/a.dat")) << c.what;
        } else {
            const Bytes got = readFile(out() + "/a.dat");
            ASSERT_EQ(got.size(), c.restoredA) << c.what;
            EXPECT_TRUE(std::equal(got.begin(), got.end(), data.begin())) << c.what;
            EXPECT_EQ(fileDosStamp(out() + "/a.dat"), fileDosStamp(src() + "/a.dat")) << c.what;
        }
    }

    // Damage in a member that is passed over is raised.
    writeFile(bkp(), Bytes(good.begin(), good.begin() + static_cast<long>(firstMember + 200)));
    a.setRestoreMode(rmExisting);
    std::filesystem::remove_all(out());
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(a.raisedError(), "Stream read error");

    // A missing archive: false, nothing reported.
    Recorder rec;
    rec.attach(a);
    EXPECT_FALSE(a.Restore(dir / "none.bkp", out()));
    EXPECT_TRUE(a.raisedError().empty());
    EXPECT_TRUE(rec.progress.empty());
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(ArchiverTest, LegacyMembersRestore) {
    ArchiveBuilder b;
    b.header("old", 9, 1).string("c:\\data\\old.dbf").int32(-1).raw({'E', 'C', 'S', 0});
    b.int32(4 + 4 + 4 + 6)
        .int32(4)
        .raw({0x80, 'a', 'b', 'c'})
        .int32(6)
        .raw({0x00, 0x40, 0x00, 'A', 0x00, 0x12});
    b.end().save(bkp());
    TArchiver a;
    ASSERT_TRUE(a.Restore(bkp(), out()));
    EXPECT_EQ(readFile(out() + "/old.dbf"), (Bytes{'a', 'b', 'c', 'A', 'A', 'A', 'A', 'A', 'A'}));
}

TEST_F(ArchiverTest, FailuresOfFilesAreRecordedNotLooped) {
    writeFile(src() + "/a.dat", makeBytes(50000, 1, false));
    writeFile(src() + "/b.dat", makeBytes(100, 2, false));
    qly::FaultyFileSystem fs(FileSystem::posix());
    TArchiver a;
    Recorder r;
    r.attach(a);
    a.setFileSystem(&fs);

    // A source that shrinks (or fails) while it is read ends its member.
    for (bool fails : {false, true}) {
        fs.endReadsAfter(20000, src() + "/a.dat", fails);
        r.errors.clear();
        EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp()));
        EXPECT_EQ(a.errorCode(), kErrCannotReadFile);
        const Parsed p = parse(readFile(bkp()));
        ASSERT_EQ(p.members.size(), 1u);
        ASSERT_EQ(p.members[0].blocks.size(), 2u);
        EXPECT_EQ(p.members[0].blocks[0], -16384);
        EXPECT_FALSE(p.endRecord);
        EXPECT_EQ(r.errors, (std::vector<std::pair<int, std::string>>{{1, "Cannot read file"}}));
    }
    fs.endReadsAfter(-1, "");

    // A write to the archive that fails after N bytes.
    for (std::int64_t limit : {5, 100, 20000}) {
        fs.failWritesAfter(limit, test::tempBeside(bkp()));
        r.errors.clear();
        EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp())) << limit;
        EXPECT_EQ(a.errorCode(), kErrCannotWriteArchive) << limit;
        EXPECT_EQ(r.errors.size(), 1u);
        EXPECT_EQ(r.errors.back().second, "Cannot write to archive");
    }
    // A member name that cannot be written is raised (the limit cuts the
    // header and half of the first name length).
    fs.failWritesAfter(14, test::tempBeside(bkp()));
    EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp()));
    EXPECT_EQ(a.raisedError(), "Stream write error");
    EXPECT_EQ(a.errorCode(), 0);

    // ... or to a later volume.
    fs.failWritesAfter(10, "backup.002");
    a.OnNeedDisk = [](TArchiver&, std::uint16_t, bool&) {};
    a.setMaxSize(kVolumeReserve + 20000);
    EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp()));
    EXPECT_EQ(a.errorCode(), kErrCannotWriteArchive);
    a.setMaxSize(0);
    fs.failWritesAfter(-1);

    // A target write that fails during a restore: error 2.
    ASSERT_TRUE(a.Backup({src() + "/*.dat"}, bkp()));
    fs.failWritesAfter(1000, test::tempBeside(out() + "/a.dat"));
    r.errors.clear();
    EXPECT_FALSE(a.Restore(bkp(), out()));
    EXPECT_EQ(a.errorCode(), kErrOverwriteFailed);
    EXPECT_EQ(r.errors,
              (std::vector<std::pair<int, std::string>>{
                  {2, "Overwriting file failed: " + out() + "/a.dat: No space left on device"}}));
    EXPECT_FALSE(test::exists(out() + "/a.dat"));
    EXPECT_FALSE(test::exists(out() + "/b.dat"));
    fs.failWritesAfter(-1);

    // A target folder that cannot be made: error 1.
    writeText(dir / "plainfile", "x");
    r.errors.clear();
    EXPECT_FALSE(a.Restore(bkp(), dir / "plainfile/sub"));
    EXPECT_EQ(r.errors,
              (std::vector<std::pair<int, std::string>>{
                  {1, "Cannot read file: " + dir / "plainfile/sub" + ": cannot make the folder"}}));

    // A file that cannot be opened while the sizes are taken is raised.
    fs.failOpens(src() + "/b.dat");
    EXPECT_FALSE(a.Backup({src() + "/*.dat"}, bkp()));
    EXPECT_EQ(a.raisedError(), "Cannot open file " + src() + "/b.dat");
    EXPECT_FALSE(a.Busy());
}

TEST_F(ArchiverTest, StreamsServeAsArchives) {
    writeFile(src() + "/a.dat", makeBytes(20000, 1, true));
    MemoryStream stream;
    stream.write("prefix", 6);
    TArchiver a;
    a.BackupStream = &stream;
    ASSERT_TRUE(a.Backup({src() + "/a.dat"}, ":STREAM"));
    stream.setPosition(6);
    a.RestoreStream = &stream;
    ASSERT_TRUE(a.Restore(":STREAM", out()));
    EXPECT_EQ(readFile(out() + "/a.dat"), readFile(src() + "/a.dat"));
}

bool userXattrsWork(const std::string& path) {
    return ::setxattr(path.c_str(), "user.qly.probe", "1", 1, 0) == 0;
}

TEST_F(ArchiverTest, IncrementalBackupTakesFilesWithTheArchiveAttributeSet) {
    writeText(src() + "/a.dbf", "a");
    writeText(src() + "/b.dbf", "b");
    if (!userXattrsWork(src() + "/a.dbf")) {
        GTEST_SKIP() << "no user extended attributes on this file system";
    }
    ::chmod((src() + "/b.dbf").c_str(), 0640);
    TArchiver a;
    a.setBackupMode(bmIncremental);
    ASSERT_TRUE(a.Backup({src() + "/*.dbf"}, bkp()));
    EXPECT_EQ(a.ProcessedFiles(), 2);
    EXPECT_FALSE(archiveAttributeSet(src() + "/a.dbf"));
    EXPECT_FALSE(archiveAttributeSet(src() + "/b.dbf"));
    struct stat st {};
    ::stat((src() + "/b.dbf").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    // Nothing changed: nothing taken. A change sets the attribute again.
    ASSERT_TRUE(a.Backup({src() + "/*.dbf"}, bkp()));
    EXPECT_EQ(a.FileCount(), 0);
    writeText(src() + "/b.dbf", "b2");
    ASSERT_TRUE(a.Backup({src() + "/*.dbf"}, bkp()));
    EXPECT_EQ(a.FileCount(), 1);
    EXPECT_EQ(parse(readFile(bkp())).members.at(0).name, src() + "/b.dbf");
}

}  // namespace
}  // namespace qly::archive
