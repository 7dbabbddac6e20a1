#include "base/FileSystem.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "support/FixtureFolder.h"
#include "support/ResultMatchers.h"

using qly::AtomicFile;
using qly::ErrorCode;
using qly::FaultyFileSystem;
using qly::FileHandle;
using qly::FileSystem;
using qly::FileType;
using qly::Links;
using qly::MemoryFileSystem;
using qly::OpenMode;
using qly::test::FailsWith;
using qly::test::IsOk;

namespace {

// The same behaviour is asked of the real file system (in a fresh folder)
// and of the one in memory.
class FileSystems : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) {
            ASSERT_EQ(m_disk.error(), "");
            m_dir = m_disk.file("work");
            m_fs = &FileSystem::posix();
        } else {
            m_dir = "/work";
            m_fs = &m_memory;
        }
        ASSERT_THAT(m_fs->makeFolder(m_dir), IsOk());
    }
    std::string at(const std::string& name) const { return m_dir + "/" + name; }

    std::unique_ptr<FileHandle> open(const std::string& name, OpenMode mode) {
        auto file = m_fs->open(at(name), mode);
        EXPECT_THAT(file, IsOk());
        return file ? std::move(file.value()) : nullptr;
    }
    std::string contents(const std::string& name) {
        auto file = m_fs->open(at(name), OpenMode::Read);
        if (!file)
            return "<" + file.result().message() + ">";
        std::string text(1024, '\0');
        auto got = file.value()->readAt(0, text.data(), text.size());
        text.resize(got ? got.value() : 0);
        return text;
    }
    void write(const std::string& name, const std::string& text) {
        auto file = open(name, OpenMode::CreateOrTruncate);
        ASSERT_TRUE(file);
        ASSERT_THAT(file->writeAt(0, text.data(), text.size()), IsOk());
    }
    std::vector<std::string> names() {
        auto list = m_fs->listFolder(m_dir);
        EXPECT_THAT(list, IsOk());
        std::vector<std::string> v = list ? list.value() : std::vector<std::string>{};
        std::sort(v.begin(), v.end());
        return v;
    }

    qly::test::FixtureFolder m_disk{"empty"};
    MemoryFileSystem m_memory;
    FileSystem* m_fs = nullptr;
    std::string m_dir;
};

INSTANTIATE_TEST_SUITE_P(Both, FileSystems, testing::Bool(),
                         [](const auto& info) { return info.param ? "Posix" : "Memory"; });

TEST_P(FileSystems, PositionedReadsAndWritesSizeAndTruncate) {
    auto file = open("a.bin", OpenMode::CreateNew);
    ASSERT_TRUE(file);
    ASSERT_THAT(file->writeAt(0, "hello world", 11), IsOk());
    ASSERT_THAT(file->writeAt(6, "there", 5), IsOk());
    ASSERT_THAT(file->writeAt(20, "!", 1), IsOk());  // past the end: a gap of zeros
    EXPECT_EQ(file->size().value(), 21u);
    char buf[32] = {};
    auto got = file->readAt(6, buf, sizeof buf);
    ASSERT_THAT(got, IsOk());
    EXPECT_EQ(got.value(), 15u);  // short only at the end
    EXPECT_EQ(std::string(buf, 5), "there");
    EXPECT_EQ(buf[10], '\0');
    EXPECT_THAT(file->readExactly(18, buf, 4), FailsWith(ErrorCode::Corrupt));
    ASSERT_THAT(file->truncate(5), IsOk());
    EXPECT_EQ(file->size().value(), 5u);
    EXPECT_THAT(file->sync(), IsOk());
    EXPECT_EQ(contents("a.bin"), "hello");
}

TEST_P(FileSystems, OpenModesAndTheirFailuresNameThePath) {
    EXPECT_THAT(m_fs->open(at("missing"), OpenMode::Read), FailsWith(ErrorCode::NotFound));
    EXPECT_THAT(m_fs->open(at("missing"), OpenMode::ReadWrite), FailsWith(ErrorCode::NotFound));
    write("a", "old");
    auto again = m_fs->open(at("a"), OpenMode::CreateNew);
    ASSERT_FALSE(again.isOk());
    EXPECT_NE(again.result().message().find(at("a")), std::string::npos)
        << again.result().message();
    EXPECT_EQ(contents("a"), "old");  // a refused create leaves the file alone
    auto folder = m_fs->open(m_dir, OpenMode::Read);
    EXPECT_FALSE(folder.isOk());
    EXPECT_THAT(m_fs->open(at("no/such"), OpenMode::CreateNew), FailsWith(ErrorCode::NotFound));
    write("a", "new");
    EXPECT_EQ(contents("a"), "new");
    auto reader = open("a", OpenMode::Read);
    ASSERT_TRUE(reader);
    EXPECT_FALSE(reader->writeAt(0, "x", 1).isOk());
}

TEST_P(FileSystems, RenameRemoveInfoAndListing) {
    write("a", "one");
    write("b", "two");
    ASSERT_THAT(m_fs->makeFolder(at("sub")), IsOk());
    EXPECT_EQ(names(), (std::vector<std::string>{"a", "b", "sub"}));
    ASSERT_THAT(m_fs->rename(at("a"), at("b")), IsOk());  // replaces b
    EXPECT_EQ(contents("b"), "one");
    EXPECT_FALSE(m_fs->exists(at("a")));
    auto info = m_fs->info(at("b"));
    ASSERT_THAT(info, IsOk());
    EXPECT_EQ(info.value().type, FileType::Regular);
    EXPECT_EQ(info.value().size, 3u);
    EXPECT_EQ(m_fs->info(at("sub")).value().type, FileType::Folder);
    EXPECT_THAT(m_fs->info(at("a")), FailsWith(ErrorCode::NotFound));
    EXPECT_THAT(m_fs->rename(at("a"), at("c")), FailsWith(ErrorCode::NotFound));
    ASSERT_THAT(m_fs->remove(at("b")), IsOk());
    EXPECT_THAT(m_fs->remove(at("b")), FailsWith(ErrorCode::NotFound));
    EXPECT_EQ(names(), (std::vector<std::string>{"sub"}));
    EXPECT_THAT(m_fs->syncFolder(m_dir), IsOk());
    EXPECT_THAT(m_fs->listFolder(at("none")), FailsWith(ErrorCode::NotFound));
}

TEST_P(FileSystems, SymlinksAreSeenAndCanBeRefused) {
    write("real", "data");
    if (GetParam())
        ASSERT_EQ(::symlink(at("real").c_str(), at("link").c_str()), 0);
    else
        m_memory.addSymlink(at("link"), at("real"));
    EXPECT_EQ(m_fs->info(at("link")).value().type, FileType::Symlink);
    EXPECT_THAT(m_fs->open(at("link"), OpenMode::Read, Links::Refuse),
                FailsWith(ErrorCode::Invalid));
    EXPECT_THAT(m_fs->open(at("link"), OpenMode::CreateOrTruncate, Links::Refuse),
                FailsWith(ErrorCode::Invalid));
    EXPECT_EQ(contents("real"), "data");  // the refused truncate did nothing
    EXPECT_THAT(m_fs->open(at("link"), OpenMode::Read, Links::Follow), IsOk());
}

TEST_P(FileSystems, LocksExcludeOtherHandles) {
    write("t", "x");
    auto a = open("t", OpenMode::ReadWrite);
    auto b = open("t", OpenMode::ReadWrite);
    ASSERT_TRUE(a && b);
    ASSERT_THAT(a->lockFile(false), IsOk());
    ASSERT_THAT(b->lockFile(false), IsOk());
    EXPECT_THAT(b->lockFile(true), FailsWith(ErrorCode::Locked));
    ASSERT_THAT(a->lockRange(100, 1), IsOk());
    EXPECT_THAT(b->lockRange(100, 1), FailsWith(ErrorCode::Locked));
    EXPECT_THAT(b->lockRange(101, 1), IsOk());
    a->unlockRange(100, 1);
    EXPECT_THAT(b->lockRange(100, 1), IsOk());
    b.reset();  // closing releases what it held
    EXPECT_THAT(a->lockRange(100, 1), IsOk());
    EXPECT_THAT(a->lockFile(true), IsOk());
}

TEST_P(FileSystems, AtomicFileReplacesTheTargetOnlyOnCommit) {
    write("target", "old");
    {
        AtomicFile file(*m_fs, at("target"));
        ASSERT_THAT(file.open(), IsOk());
        ASSERT_THAT(file.write("new "), IsOk());
        ASSERT_THAT(file.write("text"), IsOk());
        EXPECT_EQ(contents("target"), "old");
        EXPECT_EQ(qly::folderOfPath(file.tempPath()), m_dir);
        ASSERT_THAT(file.commit(), IsOk());
    }
    EXPECT_EQ(contents("target"), "new text");
    {
        AtomicFile abandoned(*m_fs, at("target"));
        ASSERT_THAT(abandoned.open(), IsOk());
        ASSERT_THAT(abandoned.write("half"), IsOk());
    }
    EXPECT_EQ(contents("target"), "new text");
    EXPECT_EQ(names(), (std::vector<std::string>{"target"}));  // no temporary left
    AtomicFile fresh(*m_fs, at("created"));
    ASSERT_THAT(fresh.open(), IsOk());
    ASSERT_THAT(fresh.commit(), IsOk());
    EXPECT_EQ(contents("created"), "");
}

// Each failure on the way to a replaced file leaves the old one and no
// temporary file, and reports what failed.
TEST(AtomicFile, EveryFailureKeepsTheTargetAndRemovesTheTemporary) {
    struct Case {
        const char* name;
        void (*arm)(FaultyFileSystem&);
        ErrorCode code;
        const char* text;
    };
    const Case cases[] = {
        {"full disk", [](FaultyFileSystem& f) { f.failWritesAfter(3); }, ErrorCode::NoSpace,
         "No space left on device"},
        {"failed sync", [](FaultyFileSystem& f) { f.failSync(1); }, ErrorCode::IoError, "sync"},
        {"failed rename", [](FaultyFileSystem& f) { f.failRename(1); }, ErrorCode::IoError,
         "rename"},
        {"failed create", [](FaultyFileSystem& f) { f.failOpens(".target"); }, ErrorCode::IoError,
         ".target"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryFileSystem memory;
        ASSERT_THAT(memory.makeFolder("/d"), IsOk());
        std::string old = "old contents";
        memory.bytes("/d/target").assign(old.begin(), old.end());
        FaultyFileSystem faulty(memory);
        c.arm(faulty);
        AtomicFile file(faulty, "/d/target");
        qly::Result r = file.open();
        if (r)
            r = file.write("new contents");
        if (r)
            r = file.commit();
        ASSERT_FALSE(r.isOk());
        EXPECT_EQ(r.code(), c.code);
        EXPECT_NE(r.message().find(c.text), std::string::npos) << r.message();
        EXPECT_EQ(std::string(memory.bytes("/d/target").begin(), memory.bytes("/d/target").end()),
                  old);
        EXPECT_EQ(memory.listFolder("/d").value(), std::vector<std::string>{"target"});
    }
}

TEST(AtomicFile, FailingFolderSyncIsReportedAfterTheReplace) {
    MemoryFileSystem memory;
    ASSERT_THAT(memory.makeFolder("/d"), IsOk());
    FaultyFileSystem faulty(memory);
    faulty.failSync(2);  // the file's sync passes, the folder's fails
    AtomicFile file(faulty, "/d/target");
    ASSERT_THAT(file.open(), IsOk());
    ASSERT_THAT(file.write("x"), IsOk());
    EXPECT_THAT(file.commit(), FailsWith(ErrorCode::IoError));
    EXPECT_EQ(memory.bytes("/d/target"), std::vector<uint8_t>{'x'});
}

TEST(AtomicFile, TemporaryNameThatIsALinkIsNotWrittenThrough) {
    qly::test::FixtureFolder disk("empty");
    ASSERT_EQ(disk.error(), "");
    // Whatever name the temporary file gets, it is made fresh: an existing
    // file of that name (or a link planted there) is never opened.
    FileSystem& fs = FileSystem::posix();
    AtomicFile file(fs, disk.file("target"));
    ASSERT_THAT(file.open(), IsOk());
    const std::string temp = file.tempPath();
    file.discard();
    ASSERT_EQ(::symlink(disk.file("victim").c_str(), temp.c_str()), 0);
    AtomicFile second(fs, disk.file("target"));
    ASSERT_THAT(second.open(), IsOk());
    EXPECT_NE(second.tempPath(), temp);
    ASSERT_THAT(second.write("x"), IsOk());
    ASSERT_THAT(second.commit(), IsOk());
    EXPECT_FALSE(fs.exists(disk.file("victim")));
}

TEST(FaultyFileSystem, WritesFailAfterTheBudgetOnMatchingFilesOnly) {
    MemoryFileSystem memory;
    FaultyFileSystem faulty(memory);
    faulty.failWritesAfter(4, "data", 8);
    auto data = faulty.open("data.bin", OpenMode::CreateNew).value();
    auto other = faulty.open("other.bin", OpenMode::CreateNew).value();
    EXPECT_THAT(other->writeAt(8, "0123456789", 10), IsOk());
    EXPECT_THAT(data->writeAt(0, "01234567", 8), IsOk());  // another offset
    qly::Result r = data->writeAt(8, "abcdef", 6);
    EXPECT_EQ(r.code(), ErrorCode::NoSpace);
    EXPECT_NE(r.message().find("data.bin"), std::string::npos);
    EXPECT_EQ(memory.bytes("data.bin").size(), 12u);  // the first 4 bytes went through
    EXPECT_THAT(data->writeAt(8, "x", 1), FailsWith(ErrorCode::NoSpace));
    faulty.failWritesAfter(-1);
    EXPECT_THAT(data->writeAt(8, "x", 1), IsOk());
}

TEST(FaultyFileSystem, AFaultOnceTearsOneWriteAndLetsTheNextThrough) {
    MemoryFileSystem memory;
    FaultyFileSystem faulty(memory);
    faulty.failWritesAfter(2, "data", 4, true);
    auto data = faulty.open("data.bin", OpenMode::CreateNew).value();
    EXPECT_THAT(data->writeAt(0, "wxyz", 4), IsOk());  // another offset
    EXPECT_THAT(data->writeAt(4, "abcd", 4), FailsWith(ErrorCode::NoSpace));
    EXPECT_EQ(std::string(memory.bytes("data.bin").begin(), memory.bytes("data.bin").end()),
              "wxyzab");
    EXPECT_THAT(data->writeAt(4, "abcd", 4), IsOk());
}

TEST(FileHandle, ALockWaitsItsTimeOutAndIsTakenOnceFree) {
    MemoryFileSystem memory;
    memory.bytes("f").assign(4, 'a');
    auto holder = memory.open("f", OpenMode::ReadWrite).value();
    auto waiter = memory.open("f", OpenMode::ReadWrite).value();
    ASSERT_THAT(holder->lockRange(100, 1), IsOk());
    EXPECT_THAT(lockRangeWaiting(*waiter, 100, 1, 0, 1), FailsWith(ErrorCode::Locked));
    EXPECT_THAT(lockRangeWaiting(*waiter, 101, 1, 0, 1), IsOk());  // another byte
    holder->unlockRange(100, 1);
    EXPECT_THAT(lockRangeWaiting(*waiter, 100, 1, 1, 1), IsOk());
}

TEST(FaultyFileSystem, ShortReadsAndNthSyncAndRefusedLocks) {
    MemoryFileSystem memory;
    memory.bytes("f").assign(10, 'a');
    FaultyFileSystem faulty(memory);
    faulty.shortReads(3);
    auto f = faulty.open("f", OpenMode::ReadWrite).value();
    char buf[10];
    EXPECT_EQ(f->readAt(0, buf, 10).value(), 3u);
    EXPECT_THAT(f->readExactly(0, buf, 10), IsOk());  // gathers the short reads
    faulty.failSync(2);
    EXPECT_THAT(f->sync(), IsOk());
    EXPECT_THAT(f->sync(), FailsWith(ErrorCode::IoError));
    EXPECT_THAT(f->sync(), IsOk());
    faulty.refuseLocks(true);
    EXPECT_THAT(f->lockRange(0, 1), FailsWith(ErrorCode::Locked));
    EXPECT_THAT(f->lockFile(false), FailsWith(ErrorCode::Locked));
}

TEST(FaultyFileSystem, ReadsEndOrFailPartWayOnMatchingFilesOnly) {
    MemoryFileSystem memory;
    memory.bytes("data.bin").assign(10, 'a');
    memory.bytes("other.bin").assign(10, 'b');
    FaultyFileSystem faulty(memory);
    auto data = faulty.open("data.bin", OpenMode::Read).value();
    auto other = faulty.open("other.bin", OpenMode::Read).value();
    char buf[10];
    faulty.endReadsAfter(4, "data");
    EXPECT_EQ(data->readAt(0, buf, 10).value(), 4u);
    EXPECT_EQ(data->readAt(4, buf, 10).value(), 0u);
    EXPECT_EQ(other->readAt(0, buf, 10).value(), 10u);
    faulty.endReadsAfter(4, "data", true);
    EXPECT_EQ(data->readAt(2, buf, 10).value(), 2u);
    auto failed = data->readAt(4, buf, 10);
    EXPECT_THAT(failed, FailsWith(ErrorCode::IoError));
    EXPECT_NE(failed.result().message().find("data.bin"), std::string::npos);
    faulty.endReadsAfter(-1, "");
    EXPECT_EQ(data->readAt(0, buf, 10).value(), 10u);
}

}  // namespace

namespace {

// Only a regular file opens; a FIFO (which would wait for a writer) and a
// device behind a link are refused at once.
TEST(PosixFileSystem, OpensOnlyRegularFilesWithoutWaiting) {
    qly::test::FixtureFolder disk("empty");
    ASSERT_EQ(disk.error(), "");
    ASSERT_EQ(::mkfifo(disk.file("fifo").c_str(), 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", disk.file("zero").c_str()), 0);
    ::alarm(20);  // a blocked open ends the test instead of hanging it
    FileSystem& fs = FileSystem::posix();
    for (const char* name : {"fifo", "zero"}) {
        for (OpenMode mode : {OpenMode::Read, OpenMode::ReadWrite}) {
            auto file = fs.open(disk.file(name), mode);
            EXPECT_THAT(file, FailsWith(ErrorCode::Invalid)) << name;
            EXPECT_NE(file.result().message().find(disk.file(name)), std::string::npos);
        }
    }
    ::alarm(0);
    EXPECT_EQ(fs.info(disk.file("zero")).value().type, FileType::Symlink);
}

mode_t umaskNow() {
    const mode_t mask = ::umask(022);
    ::umask(mask);
    return mask;
}

TEST(AtomicFile, KeepsThePermissionsOfTheTargetWhenAsked) {
    qly::test::FixtureFolder disk("empty");
    ASSERT_EQ(disk.error(), "");
    FileSystem& fs = FileSystem::posix();
    const std::string target = disk.file("target");
    {
        auto file = fs.open(target, OpenMode::CreateNew);
        ASSERT_THAT(file, IsOk());
        ASSERT_THAT(file.value()->setPermissions(0600), IsOk());
    }
    for (bool keep : {true, false}) {
        AtomicFile file(fs, target);
        if (keep)
            file.keepTargetPermissions();
        ASSERT_THAT(file.open(), IsOk());
        ASSERT_THAT(file.write("x"), IsOk());
        ASSERT_THAT(file.commit(), IsOk());
        const uint32_t permissions = fs.info(target).value().permissions;
        if (keep)
            EXPECT_EQ(permissions, 0600u);
        else
            EXPECT_EQ(permissions, 0644u & ~static_cast<uint32_t>(umaskNow()))
                << "a fresh file gets the default";
    }
}

}  // namespace
