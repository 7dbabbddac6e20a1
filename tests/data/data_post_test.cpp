// A post is all or nothing: a write that fails at any step (memo, record,
// key, commit) leaves the stored record and its keys as they were, raises
// the engine's message and keeps the edit open.
#include "DataTestSupport.h"

#include "base/FileSystem.h"
#include "engine/File.h"

namespace {

constexpr uint64_t kHeader = 514;  // MANUFACT.DBF
constexpr uint64_t kRecord = 587;

// The engine's files go through a file system that fails where a test asks.
class TDataPost : public DataTest {
protected:
    void TearDown() override {
        DataTest::TearDown();  // closes the tables before their file system goes
    }
    // Writes to the file named by part at offset (-1: any) fail after
    // `allowed` bytes: that write only (once), or every write from then on.
    void failWrites(const char* part, int64_t offset, int64_t allowed, bool once = false) {
        m_faulty.failWritesAfter(allowed, part, offset, once);
    }
    void healDisk() { m_faulty.failWritesAfter(-1); }

    std::unique_ptr<TDbTable> manufacturers(const FixtureFolder& folder) {
        auto t = std::make_unique<TDbTable>();
        t->setDatabaseName(folder.path());
        t->setTableName(QStringLiteral("MANUFACT.DBF"));
        t->setIndexName(QStringLiteral("COMPANY"));
        t->open();
        return t;
    }

    qly::FaultyFileSystem m_faulty{qly::FileSystem::posix()};
    qly::engine::ScopedFileSystem m_using{m_faulty};
};

constexpr int64_t kTheRecord = -2;  // the offset of the edited record

struct FaultCase {
    const char* what;
    const char* file;
    int64_t offset;  // -1: any
    int64_t allowed;
    bool once;
};

TEST_F(TDataPost, AFailedWriteAtAnyStepLeavesTheRecordAndItsKeysAsTheyWere) {
    const FaultCase cases[] = {
        {"memo write", "MANUFACT.fpt", -1, 0, false},
        {"torn record", "MANUFACT.DBF", kTheRecord, 20, true},
        {"key write", "MANUFACT.cdx", -1, 0, true},
        {"torn index page", "MANUFACT.cdx", -1, 100, true},
        {"commit (record count and date)", "MANUFACT.DBF", 0, 0, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        FixtureFolder folder;
        const QByteArray before = folder.contents(QStringLiteral("MANUFACT.DBF"));
        QString company, address;
        long recno = 0;
        {
            auto t = manufacturers(folder);
            recno = t->recNo();
            company = t->fieldByName("COMPANY")->asString();
            address = t->fieldByName("ADDRESS")->asString();
            t->edit();
            t->fieldByName("COMPANY")->setAsString(QStringLiteral("Zzz Renamed Ltd"));
            t->fieldByName("ADDRESS")->setAsString(QStringLiteral("1 New Street"));
            const int64_t at = static_cast<int64_t>(kHeader + (recno - 1) * kRecord);
            failWrites(c.file, c.offset == kTheRecord ? at : c.offset, c.allowed, c.once);
            const std::string error = QLY_ERROR_OF(t->post());
            healDisk();
            EXPECT_NE(error.find("Cannot write " +
                                 folder.file(QString::fromLatin1(c.file)).toStdString() +
                                 ": No space left on device"),
                      std::string::npos)
                << error << " -- " << folder.file(QString::fromLatin1(c.file)).toStdString();
            EXPECT_EQ(t->state(), TDataSetState::dsEdit) << "the typed values are kept";
            t->cancel();
        }
        const QByteArray after = folder.contents(QStringLiteral("MANUFACT.DBF"));
        const qsizetype at = static_cast<qsizetype>(kHeader + (recno - 1) * kRecord);
        EXPECT_EQ(after.mid(at, kRecord), before.mid(at, kRecord)) << "the record image";

        auto t = manufacturers(folder);
        ASSERT_TRUE(t->findNearest(company));
        EXPECT_EQ(t->recNo(), recno);
        EXPECT_EQ(t->fieldByName("ADDRESS")->asString(), address);
        EXPECT_FALSE(t->findNearest(QStringLiteral("Zzz Renamed")));
        // and the table takes the same edit once the disk is sound again
        t->gotoBookmark(recno);
        t->edit();
        t->fieldByName("COMPANY")->setAsString(QStringLiteral("Zzz Renamed Ltd"));
        t->post();
        EXPECT_TRUE(t->findNearest(QStringLiteral("Zzz Renamed")));
        EXPECT_EQ(t->recNo(), recno);
    }
}

TEST_F(TDataPost, AFailedInsertLeavesNoRecordBehind) {
    const FaultCase cases[] = {
        {"memo write", "MANUFACT.fpt", -1, 0, false},
        {"key write", "MANUFACT.cdx", -1, 0, true},
        {"torn index page, disk stays full", "MANUFACT.cdx", -1, 100, false},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.what);
        FixtureFolder folder;
        auto t = manufacturers(folder);
        const long count = t->recordCount();
        t->append();
        t->fieldByName("COMPANY")->setAsString(QStringLiteral("New Company"));
        t->fieldByName("ADDRESS")->setAsString(QStringLiteral("somewhere"));
        failWrites(c.file, c.offset, c.allowed, c.once);
        const std::string error = QLY_ERROR_OF(t->post());
        EXPECT_NE(error.find(folder.file(QString::fromLatin1(c.file)).toStdString()),
                  std::string::npos)
            << error;
        healDisk();
        EXPECT_EQ(t->state(), TDataSetState::dsInsert);
        t->cancel();
        EXPECT_EQ(t->recordCount(), count);
        EXPECT_FALSE(t->findNearest(QStringLiteral("New Company")));
        EXPECT_EQ(xb_Verify(), -1) << xb_LastError();
    }
}

TEST_F(TDataPost, ADeleteWhoseCommitFailsKeepsTheRecord) {
    FixtureFolder folder;
    auto t = manufacturers(folder);
    const long recno = t->recNo();
    const long count = t->recordCount();
    failWrites("MANUFACT.DBF", 0, 0);
    EXPECT_NE(QLY_ERROR_OF(t->deleteRecord()).find("Cannot delete"), std::string::npos);
    healDisk();
    EXPECT_EQ(t->recordCount(), count);
    EXPECT_TRUE(t->gotoRecord(recno)) << "the record is not marked deleted";
}

}  // namespace
