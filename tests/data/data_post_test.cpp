// A post is all or nothing: a write that fails at any step (memo, record,
// key, commit) leaves the stored record and its keys as they were, raises
// the engine's message and keeps the edit open.
#include "DataTestSupport.h"

#include "engine/File.h"

#include <QDir>

namespace {

// Fails writes to one file (name matched ignoring case) that touch
// [from, to), after writing `allowed` bytes of them.
struct WriteFault {
    static inline std::string file;
    static inline uint64_t from = 0;
    static inline uint64_t to = UINT64_MAX;
    static inline long allowed = 0;
    static long hook(const std::string& path, uint64_t at, size_t size) {
        const QString name = QFileInfo(QString::fromStdString(path)).fileName();
        if (name.compare(QString::fromStdString(file), Qt::CaseInsensitive) != 0)
            return -1;
        if (at + size <= from || at >= to)
            return -1;
        return allowed;
    }
    static void arm(const char* f, uint64_t lo, uint64_t hi, long n) {
        file = f;
        from = lo;
        to = hi;
        allowed = n;
        qly::engine::setWriteFault(&hook);
    }
    static void disarm() { qly::engine::setWriteFault(nullptr); }
};

constexpr uint64_t kHeader = 514;  // MANUFACT.DBF
constexpr uint64_t kRecord = 587;

class TDataPost : public DataTest {
protected:
    void TearDown() override {
        WriteFault::disarm();
        DataTest::TearDown();
    }
    std::unique_ptr<TDbTable> manufacturers(const FixtureFolder& folder) {
        auto t = std::make_unique<TDbTable>();
        t->setDatabaseName(folder.path());
        t->setTableName(QStringLiteral("MANUFACT.DBF"));
        t->setIndexName(QStringLiteral("COMPANY"));
        t->open();
        return t;
    }
};

struct FaultCase {
    const char* what;
    const char* file;
    uint64_t from, to;
    long allowed;
};

TEST_F(TDataPost, AFailedWriteAtAnyStepLeavesTheRecordAndItsKeysAsTheyWere) {
    const FaultCase cases[] = {
        {"memo write", "MANUFACT.FPT", 0, UINT64_MAX, 0},
        {"torn record", "MANUFACT.DBF", kHeader, UINT64_MAX, 20},
        {"commit (record count and date)", "MANUFACT.DBF", 0, 8, 0},
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
            WriteFault::arm(c.file, c.from, c.to, c.allowed);
            const std::string error = QLY_ERROR_OF(t->post());
            WriteFault::disarm();
            EXPECT_NE(error.find("Cannot"), std::string::npos) << error;
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
    FixtureFolder folder;
    auto t = manufacturers(folder);
    const long count = t->recordCount();
    t->append();
    t->fieldByName("COMPANY")->setAsString(QStringLiteral("New Company"));
    t->fieldByName("ADDRESS")->setAsString(QStringLiteral("somewhere"));
    WriteFault::arm("MANUFACT.FPT", 0, UINT64_MAX, 0);
    EXPECT_NE(QLY_ERROR_OF(t->post()), "");
    WriteFault::disarm();
    EXPECT_EQ(t->state(), TDataSetState::dsInsert);
    t->cancel();
    EXPECT_EQ(t->recordCount(), count);
    EXPECT_FALSE(t->findNearest(QStringLiteral("New Company")));
}

TEST_F(TDataPost, ADeleteWhoseCommitFailsKeepsTheRecord) {
    FixtureFolder folder;
    auto t = manufacturers(folder);
    const long recno = t->recNo();
    const long count = t->recordCount();
    WriteFault::arm("MANUFACT.DBF", 0, 8, 0);
    EXPECT_NE(QLY_ERROR_OF(t->deleteRecord()).find("Cannot delete"), std::string::npos);
    WriteFault::disarm();
    EXPECT_EQ(t->recordCount(), count);
    EXPECT_TRUE(t->gotoRecord(recno)) << "the record is not marked deleted";
}

}  // namespace
