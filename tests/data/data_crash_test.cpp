// A table whose writer was killed is found out at the next open: its index
// is checked and rebuilt when wrong, with one message for the user.
#include "DataTestSupport.h"
#include "data/InventoryTables.h"

#include <QDir>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <csignal>

namespace {

constexpr long kHeader = 514;  // MANUFACT.DBF
constexpr long kRecord = 587;

class TDataCrash : public DataTest {
protected:
    std::unique_ptr<TDbTable> manufacturers(const FixtureFolder& folder) {
        auto t = std::make_unique<TDbTable>();
        t->setDatabaseName(folder.path());
        t->setTableName(QStringLiteral("MANUFACT.DBF"));
        t->setIndexName(QStringLiteral("COMPANY"));
        t->open();
        return t;
    }
    QStringList markers(const FixtureFolder& folder) {
        return QDir(folder.path()).entryList({QStringLiteral("*.qly-open.*")}, QDir::Files);
    }
};

TEST_F(TDataCrash, AWriterKilledMidPostLeavesAnIndexThatIsRebuiltAtTheNextOpen) {
    FixtureFolder folder;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // the child opens the table, writes a record image whose keys never
        // follow (as a kill between the record and its keys does), and dies
        auto t = manufacturers(folder);
        const int fd =
            ::open(QFile::encodeName(folder.file(QStringLiteral("MANUFACT.DBF"))), O_RDWR);
        const char name[] = "Killed Mid Post";
        if (fd < 0 || ::pwrite(fd, name, sizeof name - 1, kHeader + 1) != sizeof name - 1)
            ::_exit(2);
        ::raise(SIGKILL);
        ::_exit(3);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status)) << "exit " << WEXITSTATUS(status);
    EXPECT_EQ(markers(folder).size(), 1) << "the killed writer's marker stays";

    QStringList messages;
    auto t = std::make_unique<TDbTable>();
    QObject::connect(t.get(), &TDbTable::indexRepaired, [&](const QString& m) { messages << m; });
    t->setDatabaseName(folder.path());
    t->setTableName(QStringLiteral("MANUFACT.DBF"));
    t->setIndexName(QStringLiteral("COMPANY"));
    t->open();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("rebuilt"))) << messages[0].toStdString();
    EXPECT_TRUE(t->findNearest(QStringLiteral("Killed Mid Post")));
    EXPECT_EQ(t->recNo(), 1);
    EXPECT_EQ(markers(folder).size(), 1) << "only our own marker now";
    t->close();
    EXPECT_TRUE(markers(folder).isEmpty()) << "a clean close removes it";

    // a clean close leaves nothing to repair
    t->open();
    EXPECT_TRUE(t->repairMessage().isEmpty());
}

TEST_F(TDataCrash, AnIndexThatCannotBeReadIsRebuiltAtOpenWithItsTags) {
    FixtureFolder folder;
    qly::inventory::registerInventoryTags();
    const QString cdx = folder.file(QStringLiteral("MANUFACT.cdx"));
    QFile f(cdx);
    ASSERT_TRUE(f.open(QIODevice::ReadWrite));
    ASSERT_TRUE(f.seek(14));
    ASSERT_EQ(f.write("\0", 1), 1);  // no longer a compact compound index
    f.close();

    // open read-only, nothing is repaired
    auto reader = std::make_unique<TDbTable>();
    reader->setDatabaseName(folder.path());
    reader->setTableName(QStringLiteral("MANUFACT.DBF"));
    reader->setReadOnly(true);
    EXPECT_THROW(reader->open(), QlyError);

    QStringList messages;
    auto t = std::make_unique<TDbTable>();
    QObject::connect(t.get(), &TDbTable::indexRepaired, [&](const QString& m) { messages << m; });
    t->setDatabaseName(folder.path());
    t->setTableName(QStringLiteral("MANUFACT.DBF"));
    t->setIndexName(QStringLiteral("COMPANY"));
    t->open();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("rebuilt"))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].contains(cdx, Qt::CaseInsensitive)) << messages[0].toStdString();
    EXPECT_TRUE(t->findNearest(QStringLiteral("A")));
    t->close();
    t->open();
    EXPECT_TRUE(t->repairMessage().isEmpty());
}

}  // namespace
