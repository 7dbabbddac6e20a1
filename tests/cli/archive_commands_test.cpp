// qlyctl backup, restore, list and verify, run as a user runs them.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "archive/ArchiveTestUtil.h"
#include "cli/ShellCommand.h"

namespace {

using qly::archive::test::Bytes;
using qly::archive::test::makeBytes;
using qly::archive::test::readFile;
using qly::archive::test::TempDir;
using qly::archive::test::writeFile;

using qlytest::Outcome;

// Runs qlyctl in `folder` with `input` on its standard input.
Outcome qlyctl(const std::string& folder, const std::string& args, const std::string& input = "") {
    TempDir scratch;
    const std::string inputFile = scratch / "stdin";
    qly::archive::test::writeText(inputFile, input);
    const std::string command =
        "cd '" + folder + "' && '" QLYCTL_PATH "' " + args + " <'" + inputFile + "' 2>&1";
    return qlytest::runShell(command);
}

class QlyctlArchive : public ::testing::Test {
protected:
    TempDir dir;
    void SetUp() override {
        writeFile(dir / "data/MAIN.DBF", makeBytes(70000, 1, true));
        writeFile(dir / "data/MAIN.fpt", makeBytes(30000, 2, false));
        writeFile(dir / "data/sub/Location.dbf", makeBytes(5000, 3, true));
    }
};

TEST_F(QlyctlArchive, BacksUpListsVerifiesAndRestores) {
    Outcome r =
        qlyctl(dir.path(),
               "backup nightly.bkp 'data/*.* /s' --title 'Nightly run' --file-ids --level max");
    ASSERT_EQ(r.exitCode, 0) << r.out;

    r = qlyctl(dir.path(), "list nightly.bkp");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("Title: Nightly run"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Files: 3  Total size: "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("FILE:LIST"), std::string::npos);
    EXPECT_NE(r.out.find("70000  vol 1     " + dir.path() + "/data/MAIN.DBF"), std::string::npos)
        << r.out;

    r = qlyctl(dir.path(), "verify nightly.bkp");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("OK, 4 members, "), std::string::npos) << r.out;

    r = qlyctl(dir.path(), "restore nightly.bkp flat");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(readFile(dir / "flat/MAIN.DBF"), readFile(dir / "data/MAIN.DBF"));
    EXPECT_EQ(readFile(dir / "flat/Location.dbf"), readFile(dir / "data/sub/Location.dbf"));

    r = qlyctl(dir.path(), "restore nightly.bkp deep --full-path");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(readFile(dir / "deep" + dir.path() + "/data/sub/Location.dbf"),
              readFile(dir / "data/sub/Location.dbf"));

    // Modes: nothing newer in the archive than what was just restored.
    writeFile(dir / "flat/MAIN.DBF", Bytes{'x'});
    r = qlyctl(dir.path(), "restore nightly.bkp flat --mode no-overwrite");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(readFile(dir / "flat/MAIN.DBF"), Bytes{'x'});
}

TEST_F(QlyctlArchive, SpansVolumesUnattendedAndAsksWhenOneIsMissing) {
    Outcome r =
        qlyctl(dir.path(), "backup span.bkp data/MAIN.fpt data/MAIN.DBF --volume-size 30000");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    ASSERT_TRUE(std::filesystem::exists(dir / "span.003"));

    r = qlyctl(dir.path(), "list span.bkp");
    EXPECT_NE(r.out.find("vol 1-2"), std::string::npos) << r.out;

    // The volumes beside the first are taken without asking.
    r = qlyctl(dir.path(), "restore span.bkp out");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(r.out.find("Please insert disk"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir / "out/MAIN.fpt"), readFile(dir / "data/MAIN.fpt"));

    // A missing volume is asked for; "c" cancels (exit code 3).
    std::filesystem::rename(dir / "span.002", dir / "away.002");
    r = qlyctl(dir.path(), "restore span.bkp out2", "c\n");
    EXPECT_EQ(r.exitCode, 3) << r.out;
    EXPECT_NE(r.out.find("Please insert disk 2 and click OK to continue."), std::string::npos);
    r = qlyctl(dir.path(), "verify span.bkp");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("volume 2 is missing"), std::string::npos) << r.out;

    // Cancelling the disk prompt of a backup.
    r = qlyctl(dir.path(), "backup again.bkp data/MAIN.fpt --volume-size 20000", "no\n");
    EXPECT_EQ(r.exitCode, 3) << r.out;
}

TEST_F(QlyctlArchive, ReportsDamageAndBadUsage) {
    ASSERT_EQ(qlyctl(dir.path(), "backup a.bkp data/MAIN.DBF").exitCode, 0);
    Bytes bytes = readFile(dir / "a.bkp");
    Bytes cut(bytes.begin(), bytes.end() - 10);
    writeFile(dir / "cut.bkp", cut);
    bytes[bytes.size() / 2] ^= 0xFF;
    bytes[bytes.size() / 2 + 7] ^= 0xFF;
    writeFile(dir / "bad.bkp", bytes);

    Outcome r = qlyctl(dir.path(), "verify bad.bkp");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("damaged"), std::string::npos) << r.out;
    r = qlyctl(dir.path(), "restore bad.bkp out");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("error 6: Compression error"), std::string::npos) << r.out;
    r = qlyctl(dir.path(), "verify cut.bkp");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    r = qlyctl(dir.path(), "restore cut.bkp out");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("error 1: Cannot read file"), std::string::npos) << r.out;
    r = qlyctl(dir.path(), "restore missing.bkp out");
    EXPECT_EQ(r.exitCode, 1) << r.out;

    for (const char* args : {"backup a.bkp", "backup a.bkp x --level fast", "restore a.bkp",
                             "restore a.bkp out --mode sometimes", "list", "verify a b",
                             "backup a.bkp x --volume-size -5"}) {
        EXPECT_EQ(qlyctl(dir.path(), args).exitCode, 2) << args;
    }
}

}  // namespace

namespace {

// A restore over the program's tables: a table another program holds open is
// refused by name, a cut-short archive leaves the good table as it was, and
// the summary counts only what was restored.
TEST_F(QlyctlArchive, RestoreNeverReplacesAHeldOrGoodTableWithLess) {
    ASSERT_EQ(qlyctl(dir.path(), "backup a.bkp data/MAIN.DBF data/MAIN.fpt").exitCode, 0);
    const Bytes goodDbf = makeBytes(90000, 7, true);
    writeFile(dir / "out/MAIN.DBF", goodDbf);

    const int fd = ::open((dir / "out/MAIN.DBF").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_SH), 0);  // as the running program holds it
    Outcome r = qlyctl(dir.path(), "restore a.bkp out");
    ::close(fd);
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("out/MAIN.DBF: in use by another program"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("1 files restored"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir / "out/MAIN.DBF"), goodDbf);
    EXPECT_EQ(readFile(dir / "out/MAIN.fpt"), readFile(dir / "data/MAIN.fpt"));

    // Cut inside MAIN.DBF's blocks.
    const Bytes archive = readFile(dir / "a.bkp");
    writeFile(dir / "cut.bkp", Bytes(archive.begin(), archive.begin() + 9000));
    r = qlyctl(dir.path(), "restore cut.bkp out");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(readFile(dir / "out/MAIN.DBF"), goodDbf);
    EXPECT_EQ(r.out.find("1 files restored"), std::string::npos) << r.out;
}

}  // namespace
