// Two processes on one shared table: appends, key changes and the index.
// The second writer is a forked child using the engine on its own opens.

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <set>
#include <string>
#include <thread>

#include "EngineTestUtil.h"
#include "engine/Engine.h"
#include "engine/IndexSet.h"
#include "engine/WorkArea.h"

namespace {

using namespace enginetest;

class SharingTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngine();
        std::string tmpl = (fs::temp_directory_path() / "qly-sharing-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        m_dir = tmpl;
        m_table = (m_dir / "ITEMS.DBF").string();
        ASSERT_EQ(
            xb_Create(m_table, {{"NAME", 'C', 20, 0}, {"CODE", 'C', 8, 0}},
                      {{"NAME", "NAME", "", false, false}, {"CODE", "CODE", "", false, false}}),
            -1)
            << xb_LastError();
    }
    void TearDown() override {
        resetEngine();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    // Runs body in a child process; returns its pid. The child exits 0 when
    // body returns true.
    template <class Body>
    pid_t spawn(Body body) {
        const pid_t pid = ::fork();
        if (pid == 0) {
            xb_SetLockTimeout(10);
            const bool ok = body();
            xb_CloseAll();
            std::fflush(stdout);
            ::_exit(ok ? 0 : 1);
        }
        return pid;
    }
    static int waitFor(pid_t pid) {
        int status = 0;
        ::waitpid(pid, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 100;
    }

    // Each writer appends n records named "<who>-<i>" with a commit after
    // each, and renames every third of its own records afterwards.
    bool writer(char who, int n) {
        if (xb_Use(m_table, "", kXbModeShared, kXbDriverFox) == 0)
            return false;
        std::vector<long> mine;
        for (int i = 0; i < n; ++i) {
            if (xb_AppendEx() != kXbAppendOk)
                return std::fprintf(stderr, "append: %s\n", xb_LastError().c_str()), false;
            mine.push_back(xb_RecNo());
            const std::string name = std::string(1, who) + "-" + std::to_string(i);
            if (xb_Replace("NAME", kXbReplaceText, name) != -1 ||
                xb_Replace("CODE", kXbReplaceText, std::to_string(i % 97)) != -1 ||
                xb_Commit() != -1 || xb_Unlock(0) != -1)
                return std::fprintf(stderr, "replace: %s\n", xb_LastError().c_str()), false;
        }
        for (size_t i = 0; i < mine.size(); i += 3) {
            const std::string name = std::string(1, who) + "-" + std::to_string(i) + "x";
            if (xb_Go(mine[i]) != -1 || xb_Replace("NAME", kXbReplaceText, name) != -1 ||
                xb_Commit() != -1 || xb_Unlock(0) != -1)
                return std::fprintf(stderr, "rename: %s\n", xb_LastError().c_str()), false;
        }
        return true;
    }

    fs::path m_dir;
    std::string m_table;
};

TEST_F(SharingTest, TwoWritersKeepEveryRecordAndEveryTag) {
    constexpr int kEach = 2000;
    const pid_t a = spawn([&] { return writer('A', kEach); });
    const pid_t b = spawn([&] { return writer('B', kEach); });
    ASSERT_EQ(waitFor(a), 0);
    ASSERT_EQ(waitFor(b), 0);

    const int number = xb_Use(m_table, "", kXbModeExclusive, kXbDriverFox);
    ASSERT_NE(number, 0) << xb_LastError();
    ASSERT_EQ(xb_RecCount(), 2 * kEach);
    std::set<std::string> names;
    for (xb_GoTop(); xb_Eof() == 0; xb_Skip(1))
        names.insert(xb_GetTrimString("NAME"));
    EXPECT_EQ(names.size(), static_cast<size_t>(2 * kEach));
    for (char who : {'A', 'B'})
        for (int i : {0, 1, 3, kEach - 1})
            EXPECT_EQ(names.count(std::string(1, who) + "-" + std::to_string(i) +
                                  (i % 3 == 0 ? "x" : "")),
                      1u)
                << who << i;
    std::string error;
    EXPECT_TRUE(qly::engine::Engine::instance().area(number)->indexes().verify(error)) << error;
}

TEST_F(SharingTest, OpenTableSeesAnotherProcesssAppendsAndRenamesThroughItsIndex) {
    // Twenty records, then the reader holds the table open in NAME order.
    ASSERT_TRUE(writer('R', 20));
    xb_CloseAll();
    ASSERT_NE(xb_Use(m_table, "", kXbModeShared, kXbDriverFox), 0);
    ASSERT_EQ(xb_SetOrder(1), -1);
    ASSERT_EQ(xb_Seek("R-1"), -1);
    ASSERT_EQ(xb_Seek("N-5"), 0);

    const pid_t child = spawn([&] {
        if (xb_Use(m_table, "", kXbModeShared, kXbDriverFox) == 0)
            return false;
        for (int i = 0; i < 100; ++i)
            if (xb_AppendEx() != kXbAppendOk ||
                xb_Replace("NAME", kXbReplaceText, "N-" + std::to_string(i)) != -1)
                return false;
        return xb_SetOrder(1) == -1 && xb_Seek("R-1") == -1 &&
               xb_Replace("NAME", kXbReplaceText, "Renamed") == -1 && xb_Commit() == -1;
    });
    ASSERT_EQ(waitFor(child), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(120));

    EXPECT_EQ(xb_Seek("N-5"), -1);
    EXPECT_EQ(xb_Seek("N-99"), -1);
    EXPECT_EQ(xb_Seek("Renamed"), -1);
    EXPECT_EQ(xb_Seek("R-1 "), 0);
    long walked = 0;
    for (xb_GoTop(); xb_Eof() == 0; xb_Skip(1))
        ++walked;
    EXPECT_EQ(walked, 120);
}

// Another program's file lock: a write lock over the record lock bytes below
// the header byte, held by a second process.
TEST_F(SharingTest, AppendWaitsForAndIsRefusedByAnotherProgramsFileLock) {
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    auto holdFileLock = [&](int milliseconds) {
        return spawn([&, milliseconds] {
            const int fd = ::open(m_table.c_str(), O_RDWR);
            struct flock fl {};
            fl.l_type = F_WRLCK;
            fl.l_whence = SEEK_SET;
            fl.l_start = 0x7FFFFFFE - 0x3FFFFFFF;
            fl.l_len = 0x3FFFFFFF;
            const bool locked = fd >= 0 && ::fcntl(fd, F_SETLK, &fl) == 0;
            char c = locked ? '1' : '0';
            (void)!::write(ready[1], &c, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
            return locked;
        });
    };
    ASSERT_NE(xb_Use(m_table, "", kXbModeShared, kXbDriverFox), 0);

    // Held longer than our timeout: the append is refused and adds nothing.
    pid_t holder = holdFileLock(2500);
    char c = 0;
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    ASSERT_EQ(c, '1');
    xb_SetLockTimeout(1);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(xb_AppendEx(), kXbAppendLockFailed);
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(900));
    EXPECT_EQ(xb_RecCount(), 0);
    EXPECT_EQ(waitFor(holder), 0);

    // Released within our timeout: the append waits and then succeeds.
    holder = holdFileLock(600);
    ASSERT_EQ(::read(ready[0], &c, 1), 1);
    xb_SetLockTimeout(5);
    t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(xb_AppendEx(), kXbAppendOk) << xb_LastError();
    EXPECT_GE(std::chrono::steady_clock::now() - t0, std::chrono::milliseconds(300));
    EXPECT_EQ(xb_RecCount(), 1);
    EXPECT_EQ(waitFor(holder), 0);
    ::close(ready[0]);
    ::close(ready[1]);
}

}  // namespace
