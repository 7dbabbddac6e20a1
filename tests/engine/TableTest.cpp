// Tables through the xb_ surface: the fixture tables, movement, writing,
// memo files, read-only and exclusive opens, damaged files.

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <vector>

#include "EngineTestUtil.h"
#include "engine/Engine.h"
#include "engine/File.h"
#include "engine/IndexSet.h"
#include "engine/Table.h"
#include "engine/WorkArea.h"
#include "engine/xbase.h"

using namespace enginetest;

namespace {

uint32_t le32(const std::string& s, size_t at) {
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24);
}
uint32_t be32(const std::string& s, size_t at) {
    return (static_cast<uint32_t>(static_cast<unsigned char>(s[at])) << 24) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 16) |
           (static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 8) |
           static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3]));
}
uint16_t le16(const std::string& s, size_t at) {
    return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                                 (static_cast<unsigned char>(s[at + 1]) << 8));
}

// Header count, data and end mark agree.
void expectConsistentDbf(const std::string& bytes) {
    ASSERT_GE(bytes.size(), 32u);
    uint64_t expected =
        le16(bytes, 8) + static_cast<uint64_t>(le32(bytes, 4)) * le16(bytes, 10) + 1;
    EXPECT_EQ(bytes.size(), expected);
    EXPECT_EQ(bytes.back(), '\x1A');
}

class Tables : public EngineTest {};

TEST_F(Tables, ReadsTheItemsFixtureWithItsValues) {
    fixtures("sample");
    int area = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    ASSERT_GT(area, 0) << xb_LastError();
    EXPECT_EQ(xb_Alias(), "MAIN");
    EXPECT_EQ(xb_RecCount(), 40);
    EXPECT_EQ(xb_RecSize(), 830);
    ASSERT_EQ(xb_FieldCount(), 26);
    EXPECT_EQ(xb_FieldName(8), "QUANTITY");
    EXPECT_EQ(xb_FieldType(8), 'N');
    EXPECT_EQ(xb_FieldWidth(13), 12);
    EXPECT_EQ(xb_FieldDecimals(13), 2);
    EXPECT_EQ(xb_FieldType(26), 'M');
    EXPECT_EQ(xb_FieldOffset(26), 820);
    EXPECT_EQ(xb_FieldNum("descript"), 26);

    ASSERT_EQ(xb_GoTop(), -1);
    EXPECT_EQ(xb_RecNo(), 1);
    EXPECT_EQ(xb_GetTrimString("NAME"), "Laser printer #1");
    EXPECT_EQ(xb_GetString("CATAGORY"), std::string("Buildings") + std::string(31, ' '));
    EXPECT_EQ(xb_GetTrimString("QUANTITY"), "-1");
    EXPECT_EQ(xb_GetDouble("QUANTITY"), -1);
    EXPECT_DOUBLE_EQ(xb_GetDouble("PURCHPRICE"), 1234.57);
    EXPECT_EQ(xb_GetDateString("PURCHDATE"), "02/07/98");
    EXPECT_EQ(xb_GetDateString("DISPDATE"), "");
    EXPECT_EQ(xb_Empty("DISPDATE"), -1);
    EXPECT_EQ(xb_GetLogical("DISPOSED"), 0);
    EXPECT_EQ(xb_GetTrimString("DISPMETHOD"), "Sold");
    std::string memo = xb_GetMemo("DESCRIPT");
    EXPECT_EQ(memo.size(), 288u);
    EXPECT_EQ(memo.rfind("{\\rtf1", 0), 0u);
    EXPECT_EQ(memo.substr(memo.size() - 3), std::string("\r\n\0", 3));
    EXPECT_EQ(xb_GetBlobLength("DESCRIPT"), 288);
    EXPECT_EQ(xb_Empty("DESCRIPT"), 0);

    ASSERT_EQ(xb_Go(9), -1);
    EXPECT_EQ(xb_GetLogical("DISPOSED"), -1);
    EXPECT_EQ(xb_GetDateString("DISPDATE"), "06/24/04");
    EXPECT_EQ(xb_GetTrimString("DISPMETHOD"), "Destoyed");
    ASSERT_EQ(xb_Go(4), -1);
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), "");
    EXPECT_EQ(xb_Empty("DESCRIPT"), -1);
    ASSERT_EQ(xb_Go(11), -1);
    EXPECT_EQ(xb_Empty("MANUFACT"), -1);
    ASSERT_EQ(xb_Go(13), -1);
    EXPECT_EQ(xb_GetTrimString("MANUFACT"), "Nobody Makes This");

    std::vector<long> deleted;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
        if (xb_Deleted())
            deleted.push_back(xb_RecNo());
    }
    EXPECT_EQ(deleted, (std::vector<long>{7, 17, 27, 37}));
}

TEST_F(Tables, ReadsTheOtherFixtureTables) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MANUFACT.DBF"), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
    EXPECT_EQ(xb_RecCount(), 12);
    xb_GoTop();
    EXPECT_EQ(xb_GetTrimString("COMPANY"), "Acme");
    EXPECT_EQ(xb_GetTrimString("PHONE"), "0001  00037");
    EXPECT_EQ(xb_GetMemo("ADDRESS").rfind("{\\rtf1", 0), 0u);
    xb_Go(3);
    EXPECT_EQ(xb_Empty("ADDRESS"), -1);
    xb_Go(5);
    EXPECT_EQ(xb_Deleted(), -1);
    xb_Go(10);
    EXPECT_EQ(xb_Deleted(), -1);
    EXPECT_EQ(xb_GetTrimString("COMPANY"), "Jupiter");

    ASSERT_GT(xb_Use(path("Location.dbf"), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
    EXPECT_EQ(xb_RecCount(), 8);
    xb_GoTop();
    EXPECT_EQ(xb_GetTrimString("NAME_ID"), "HQ Floor 1");
    EXPECT_EQ(xb_GetDouble("WSNUM"), 2);
    EXPECT_EQ(xb_GetTrimString("EMPLNUM"), "4");
    xb_Go(6);
    EXPECT_EQ(xb_Deleted(), -1);

    ASSERT_GT(xb_Use(path("LOOKUP.DBF"), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
    EXPECT_EQ(xb_RecCount(), 1);
    EXPECT_GT(xb_FieldNum("COMPANY"), 0);
    EXPECT_GT(xb_FieldNum("LOCATION"), 0);
    xb_GoTop();
    EXPECT_EQ(xb_GetTrimString("COMPANY"), "");
    EXPECT_EQ(xb_WorkArea("MANUFACT"), 1);
    EXPECT_EQ(xb_WorkArea("location"), 2);
    EXPECT_EQ(xb_WorkArea(), 3);
}

TEST_F(Tables, EmptyTablesOpenAtBofAndEof) {
    fixtures("empty");
    for (const char* name : {"MAIN.DBF", "MANUFACT.DBF", "Location.dbf"}) {
        SCOPED_TRACE(name);
        ASSERT_GT(xb_Use(path(name), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
        EXPECT_EQ(xb_RecCount(), 0);
        EXPECT_EQ(xb_GoTop(), -1);
        EXPECT_EQ(xb_Bof(), -1);
        EXPECT_EQ(xb_Eof(), -1);
        EXPECT_EQ(xb_RecNo(), 1);
        EXPECT_EQ(xb_Count(), 0);
        EXPECT_EQ(xb_Close(), -1);
    }
}

TEST_F(Tables, FindsFilesWithoutRegardToLetterCase) {
    fixtures("sample");
    for (const char* name : {"main.dbf", "Main.Dbf", "MAIN", "location.DBF", "Manufact.dbf"}) {
        SCOPED_TRACE(name);
        int area = xb_Use(path(name), "", kXbModeShared, kXbDriverFox);
        ASSERT_GT(area, 0) << xb_LastError();
        xb_Go(2);
        EXPECT_FALSE(xb_GetMemo(xb_FieldNum("DESCRIPT") ? "DESCRIPT" : "ADDRESS").empty())
            << xb_LastError();
        xb_Close();
    }
    EXPECT_EQ(xb_Use(path("nosuch.dbf"), "", kXbModeShared, kXbDriverFox), 0);
    EXPECT_FALSE(xb_LastError().empty());
}

TEST_F(Tables, AliasesAreUniqueAndSelectReturnsThePreviousArea) {
    fixtures("sample");
    int a = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    int b = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    EXPECT_NE(a, b);
    EXPECT_NE(xb_Alias(), "MAIN");
    EXPECT_EQ(xb_Use(path("MANUFACT.DBF"), "MAIN", kXbModeShared, kXbDriverFox), 0);
    EXPECT_NE(xb_LastError().find("Alias"), std::string::npos);
    EXPECT_EQ(xb_Select(a), b);
    EXPECT_EQ(xb_WorkArea(), a);
    EXPECT_EQ(xb_Alias(), "MAIN");
    EXPECT_EQ(xb_Close(), -1);
    EXPECT_EQ(xb_WorkArea("MAIN"), 0);
    EXPECT_EQ(xb_GoTop(), 0);  // nothing open in this area
    EXPECT_FALSE(xb_LastError().empty());
}

TEST_F(Tables, MovesWithBofEofAndHidesDeletedRecords) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_GoTop();
    EXPECT_EQ(xb_Bof(), 0);
    EXPECT_EQ(xb_Skip(-1), -1);
    EXPECT_EQ(xb_Bof(), -1);
    EXPECT_EQ(xb_RecNo(), 1);
    EXPECT_EQ(xb_GoBottom(), -1);
    EXPECT_EQ(xb_RecNo(), 40);
    EXPECT_EQ(xb_Skip(1), -1);
    EXPECT_EQ(xb_Eof(), -1);
    EXPECT_EQ(xb_RecNo(), 41);
    EXPECT_EQ(xb_GetTrimString("NAME"), "");
    EXPECT_EQ(xb_Skip(-1), -1);
    EXPECT_EQ(xb_RecNo(), 40);
    EXPECT_EQ(xb_Eof(), 0);

    xb_SetDeleted(-1);
    EXPECT_EQ(xb_Count(), 36);
    EXPECT_EQ(xb_RecCount(), 40);
    xb_Go(6);
    xb_Skip(1);
    EXPECT_EQ(xb_RecNo(), 8);
    xb_Skip(-1);
    EXPECT_EQ(xb_RecNo(), 6);
    xb_Skip(3);
    EXPECT_EQ(xb_RecNo(), 10);
    // Going to a record by number ignores the deleted setting.
    EXPECT_EQ(xb_Go(7), -1);
    EXPECT_EQ(xb_Deleted(), -1);
    long visited = 0;
    for (xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
        EXPECT_EQ(xb_Deleted(), 0);
        ++visited;
    }
    EXPECT_EQ(visited, 36);
    EXPECT_EQ(xb_Go(41), 0);
    EXPECT_FALSE(xb_LastError().empty());
    EXPECT_EQ(xb_Eof(), -1);
}

TEST_F(Tables, CreatedTableReadsBackWhatWasWritten) {
    std::vector<XbFieldDef> fields = {
        {"NAME", 'C', 20, 0}, {"QTY", 'N', 4, 0},   {"PRICE", 'N', 10, 2}, {"BOUGHT", 'D', 0, 0},
        {"DONE", 'L', 0, 0},  {"NOTES", 'M', 0, 0}, {"RATE", 'F', 8, 3},
    };
    ASSERT_EQ(xb_Create(path("Items.dbf"), fields), -1) << xb_LastError();
    EXPECT_EQ(xb_Create(path("Items.dbf"), fields), 0);  // never overwrites
    std::string fpt = readFile(m_dir / "Items.fpt");
    ASSERT_EQ(fpt.size(), 512u);
    EXPECT_EQ(be32(fpt, 0), 8u);
    EXPECT_EQ(fpt.substr(4, 4), std::string("\0\0\0\x40", 4));

    ASSERT_GT(xb_Use(path("ITEMS.DBF"), "", kXbModeExclusive, kXbDriverFox), 0) << xb_LastError();
    ASSERT_EQ(xb_AppendEx(), kXbAppendOk);
    EXPECT_EQ(xb_RecNo(), 1);
    EXPECT_EQ(xb_Empty("NAME"), -1);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Stapler"), -1) << xb_LastError();
    EXPECT_EQ(xb_Replace("QTY", kXbReplaceDouble, -12.0), -1) << xb_LastError();
    EXPECT_EQ(xb_Replace("PRICE", kXbReplaceDouble, 1234.565), -1) << xb_LastError();
    EXPECT_EQ(xb_Replace("BOUGHT", kXbReplaceDateText, "12/31/99"), -1) << xb_LastError();
    EXPECT_EQ(xb_Replace("DONE", kXbReplaceLogical, 1.0), -1) << xb_LastError();
    EXPECT_EQ(xb_Replace("RATE", kXbReplaceText, "2.5"), -1) << xb_LastError();
    EXPECT_EQ(xb_PutMemo("NOTES", std::string("line one\r\nline two\0", 19)), -1) << xb_LastError();
    ASSERT_EQ(xb_AppendEx(), kXbAppendOk);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Second"), -1);
    EXPECT_EQ(xb_Replace("BOUGHT", kXbReplaceText, "20240229"), -1) << xb_LastError();
    EXPECT_EQ(xb_Commit(), -1);
    EXPECT_EQ(xb_Close(), -1);
    expectConsistentDbf(readFile(m_dir / "Items.dbf"));

    ASSERT_GT(xb_Use(path("items"), "", kXbModeReadOnly, kXbDriverFox), 0) << xb_LastError();
    EXPECT_EQ(xb_RecCount(), 2);
    xb_GoTop();
    EXPECT_EQ(xb_GetString("NAME"), "Stapler             ");
    EXPECT_EQ(xb_GetString("QTY"), " -12");
    EXPECT_EQ(xb_GetString("PRICE"), "   1234.57");
    EXPECT_EQ(xb_GetString("BOUGHT"), "19991231");
    EXPECT_EQ(xb_GetLogical("DONE"), -1);
    EXPECT_EQ(xb_GetString("RATE"), "   2.500");
    EXPECT_EQ(xb_GetMemo("NOTES"), std::string("line one\r\nline two\0", 19));
    xb_Skip(1);
    EXPECT_EQ(xb_GetTrimString("NAME"), "Second");
    EXPECT_EQ(xb_GetDateString("BOUGHT"), "02/29/24");
    EXPECT_EQ(xb_Empty("NOTES"), -1);
    EXPECT_EQ(xb_Empty("QTY"), -1);
    EXPECT_EQ(xb_GetLogical("DONE"), 0);
}

TEST_F(Tables, RefusesValuesThatDoNotFitAndWritesNothing) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_Go(2);
    std::string before = readFile(m_dir / "MAIN.DBF");
    struct Case {
        const char* field;
        int kind;
        std::string value;
    } cases[] = {
        {"NAME", kXbReplaceText, std::string(41, 'x')},
        {"QUANTITY", kXbReplaceText, "12345"},
        {"QUANTITY", kXbReplaceText, "abc"},
        {"PURCHPRICE", kXbReplaceText, "12345678901.5"},
        {"PURCHDATE", kXbReplaceDateText, "13/01/99"},
        {"PURCHDATE", kXbReplaceDateText, "02/30/99"},
        {"DISPOSED", kXbReplaceText, "maybe"},
        {"NOSUCH", kXbReplaceText, "x"},
        {"NAME", 4711, "x"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.field) + " <- " + c.value);
        EXPECT_EQ(xb_Replace(c.field, c.kind, c.value), 0);
        EXPECT_FALSE(xb_LastError().empty());
    }
    EXPECT_EQ(xb_Replace("QUANTITY", kXbReplaceDouble, 99999.0), 0);
    EXPECT_EQ(readFile(m_dir / "MAIN.DBF"), before);
    // Trailing blanks beyond the width are not data.
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Chair" + std::string(60, ' ')), -1)
        << xb_LastError();
}

TEST_F(Tables, DeleteAndRecallKeepTheRecordBytes) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    std::string before = readFile(m_dir / "MAIN.DBF");
    xb_Go(3);
    ASSERT_EQ(xb_Delete(), -1) << xb_LastError();
    EXPECT_EQ(xb_Deleted(), -1);
    std::string after = readFile(m_dir / "MAIN.DBF");
    ASSERT_EQ(after.size(), before.size());
    size_t rec3 = 866 + 2 * 830;
    EXPECT_EQ(after[rec3], '*');
    EXPECT_EQ(after.substr(rec3 + 1, 829), before.substr(rec3 + 1, 829));
    xb_SetDeleted(-1);
    EXPECT_EQ(xb_Count(), 35);
    xb_Go(3);
    ASSERT_EQ(xb_Recall(), -1);
    EXPECT_EQ(xb_Count(), 36);
    EXPECT_EQ(readFile(m_dir / "MAIN.DBF").substr(rec3), before.substr(rec3));
}

TEST_F(Tables, AppendKeepsCountDataAndEndMarkConsistent) {
    fixtures("sample");
    int a = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    int b = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    ASSERT_GT(a, 0);
    ASSERT_GT(b, 0);
    xb_Select(a);
    for (int i = 0; i < 3; ++i) {
        ASSERT_EQ(xb_AppendEx(), kXbAppendOk) << xb_LastError();
        EXPECT_EQ(xb_RecNo(), 41 + i);
        EXPECT_EQ(xb_Eof(), 0);
        expectConsistentDbf(readFile(m_dir / "MAIN.DBF"));
    }
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Appended"), -1);
    // The other area of the same file sees the new records.
    xb_Select(b);
    EXPECT_EQ(xb_RecCount(), 43);
    xb_GoBottom();
    EXPECT_EQ(xb_RecNo(), 43);
    EXPECT_EQ(xb_GetTrimString("NAME"), "Appended");
    std::string bytes = readFile(m_dir / "MAIN.DBF");
    EXPECT_EQ(le32(bytes, 4), 43u);
    EXPECT_EQ(static_cast<unsigned char>(bytes[1]) >= 100, true);  // year - 1900
}

TEST_F(Tables, ReadAheadSeesWritesMadeThroughAnotherArea) {
    fixtures("sample");
    int a = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    int b = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    xb_Select(a);
    xb_GoTop();  // reads ahead
    xb_Select(b);
    xb_Go(2);
    ASSERT_EQ(xb_Replace("NAME", kXbReplaceText, "Changed elsewhere"), -1);
    xb_Select(a);
    xb_Skip(1);
    EXPECT_EQ(xb_RecNo(), 2);
    EXPECT_EQ(xb_GetTrimString("NAME"), "Changed elsewhere");
}

TEST_F(Tables, SharedReadAheadSeesWritesOfOtherProgramsAfterAMoment) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_GoTop();
    ::usleep(30000);
    {
        // Another program writes record 2 behind the engine's back.
        std::fstream f(path("MAIN.DBF"), std::ios::in | std::ios::out | std::ios::binary);
        f.seekp(866 + 830 + 1);
        f.write("Written by another program", 26);
    }
    ::usleep(80000);
    xb_Skip(1);
    EXPECT_EQ(xb_GetString("NAME").substr(0, 26), "Written by another program");
}

TEST_F(Tables, ChangedMemoNeverOverwritesAnotherRecordsMemo) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_Go(1);
    std::string memo1 = xb_GetMemo("DESCRIPT");
    std::string image = xb_GetRecord();
    // Record 2 now shares record 1's memo block.
    xb_Go(2);
    ASSERT_EQ(xb_PutRecord(image), -1) << xb_LastError();
    ASSERT_EQ(xb_PutMemo("DESCRIPT", "short"), -1) << xb_LastError();
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), "short");
    xb_Go(1);
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), memo1);
    ASSERT_EQ(xb_PutMemo("DESCRIPT", std::string(5000, 'x')), -1);
    ASSERT_EQ(xb_PutMemo("DESCRIPT", ""), -1);
    EXPECT_EQ(xb_Empty("DESCRIPT"), -1);
    xb_Go(2);
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), "short");
    xb_Close();

    std::string fpt = readFile(m_dir / "MAIN.fpt");
    uint32_t blockSize = static_cast<uint32_t>((static_cast<unsigned char>(fpt[6]) << 8) |
                                               static_cast<unsigned char>(fpt[7]));
    EXPECT_GE(static_cast<uint64_t>(be32(fpt, 0)) * blockSize, fpt.size());
}

TEST_F(Tables, ReadOnlyOpenNeverWritesTheFiles) {
    fixtures("sample");
    std::string dbf = readFile(m_dir / "MAIN.DBF");
    std::string fpt = readFile(m_dir / "MAIN.fpt");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeReadOnly, kXbDriverFox), 0);
    xb_Go(1);
    EXPECT_EQ(xb_AppendEx(), kXbAppendReadOnly);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "x"), 0);
    EXPECT_EQ(xb_PutMemo("DESCRIPT", "x"), 0);
    EXPECT_EQ(xb_Delete(), 0);
    EXPECT_EQ(xb_PutRecord(xb_GetRecord()), 0);
    EXPECT_FALSE(xb_LastError().empty());
    EXPECT_EQ(xb_Commit(), -1);
    xb_CloseAll();
    EXPECT_EQ(readFile(m_dir / "MAIN.DBF"), dbf);
    EXPECT_EQ(readFile(m_dir / "MAIN.fpt"), fpt);
}

TEST_F(Tables, ExclusiveOpenFailsWhileTheTableIsOpenElsewhere) {
    fixtures("sample");
    // In this process.
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    EXPECT_EQ(xb_Use(path("Main.dbf"), "", kXbModeExclusive, kXbDriverFox), 0);
    EXPECT_NE(xb_LastError().find("exclusively"), std::string::npos) << xb_LastError();
    xb_CloseAll();
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeExclusive, kXbDriverFox), 0);
    EXPECT_EQ(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    EXPECT_EQ(xb_Use(path("MAIN.DBF"), "", kXbModeReadOnly, kXbDriverFox), 0);
    EXPECT_FALSE(xb_LastError().empty());
    xb_CloseAll();

    // In another process holding the table exclusively.
    int toParent[2], toChild[2];
    ASSERT_EQ(::pipe(toParent), 0);
    ASSERT_EQ(::pipe(toChild), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        int fd = ::open(path("MAIN.DBF").c_str(), O_RDWR);
        char c = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? 'y' : 'n';
        (void)!::write(toParent[1], &c, 1);
        (void)!::read(toChild[0], &c, 1);
        ::_exit(0);
    }
    char c = 0;
    ASSERT_EQ(::read(toParent[0], &c, 1), 1);
    ASSERT_EQ(c, 'y');
    EXPECT_EQ(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    EXPECT_NE(xb_LastError().find("exclusively"), std::string::npos) << xb_LastError();
    (void)!::write(toChild[1], "x", 1);
    int status = 0;
    ::waitpid(pid, &status, 0);
    EXPECT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeExclusive, kXbDriverFox), 0) << xb_LastError();
    for (int fd : {toParent[0], toParent[1], toChild[0], toChild[1]})
        ::close(fd);
}

TEST_F(Tables, RecordLocksExcludeOtherOpens) {
    fixtures("sample");
    int a = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    int b = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    xb_Select(a);
    EXPECT_EQ(xb_Rlock(5), -1);
    xb_Select(b);
    EXPECT_EQ(xb_Rlock(5), 0);
    xb_Go(5);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Other"), 0);
    EXPECT_NE(xb_LastError().find("locked"), std::string::npos);
    xb_Select(a);
    EXPECT_EQ(xb_Unlock(0), -1);
    xb_Select(b);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Other"), -1) << xb_LastError();
    // Locking the current record shows what another area wrote meanwhile.
    xb_Select(a);
    xb_SetTurboRead(-1);
    xb_Go(5);
    xb_Select(b);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "Newer"), -1);
    xb_Select(a);
    EXPECT_EQ(xb_Rlock(5), -1);
    EXPECT_EQ(xb_GetTrimString("NAME"), "Newer");
}

std::string header(unsigned char version, uint32_t count, uint16_t headerLength,
                   uint16_t recordLength) {
    std::string h(32, '\0');
    h[0] = static_cast<char>(version);
    h[1] = 126;
    h[2] = 1;
    h[3] = 1;
    for (int i = 0; i < 4; ++i)
        h[4 + static_cast<size_t>(i)] = static_cast<char>((count >> (8 * i)) & 0xFF);
    h[8] = static_cast<char>(headerLength & 0xFF);
    h[9] = static_cast<char>(headerLength >> 8);
    h[10] = static_cast<char>(recordLength & 0xFF);
    h[11] = static_cast<char>(recordLength >> 8);
    return h;
}

std::string descriptor(const char* name, char type, int width) {
    std::string d(32, '\0');
    std::memcpy(d.data(), name, std::strlen(name));
    d[11] = type;
    d[16] = static_cast<char>(width);
    return d;
}

TEST_F(Tables, ReadsVisualFoxProAndDbaseMemoTablesWithoutWritingThem) {
    // Visual FoxPro: 263-byte backlink, 4-byte binary memo references.
    std::string vfp = header(0x30, 2, 32 + 64 + 1 + 263, 10) + descriptor("NAME", 'C', 5) +
                      descriptor("NOTE", 'M', 4) + "\x0D" + std::string(263, '\0');
    vfp += std::string(" alpha") + std::string("\x08\0\0\0", 4);
    vfp += std::string(" beta ") + std::string(4, '\0');
    vfp += "\x1A";
    writeFile(m_dir / "vfp.dbf", vfp);
    std::string fpt(512, '\0');
    fpt[3] = 9;
    fpt[7] = 64;
    fpt += std::string("\0\0\0\x01\0\0\0\x05hello", 13) + std::string(51, '\0');
    writeFile(m_dir / "VFP.FPT", fpt);
    ASSERT_GT(xb_Use(path("vfp.dbf"), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
    xb_GoTop();
    EXPECT_EQ(xb_GetTrimString("NAME"), "alpha");
    EXPECT_EQ(xb_GetMemo("NOTE"), "hello");
    xb_Skip(1);
    EXPECT_EQ(xb_GetMemo("NOTE"), "");
    EXPECT_EQ(xb_AppendEx(), kXbAppendReadOnly);
    EXPECT_EQ(xb_Replace("NAME", kXbReplaceText, "x"), 0);

    // dBASE III with a .dbt memo file.
    std::string d3 = header(0x83, 1, 32 + 64 + 1, 16) + descriptor("NAME", 'C', 5) +
                     descriptor("NOTE", 'M', 10) + "\x0D" + " gamma         1" + "\x1A";
    writeFile(m_dir / "d3.dbf", d3);
    std::string dbt(512, '\0');
    dbt[0] = 2;
    dbt += std::string("dbt text\x1A\x1A") + std::string(502, '\0');
    writeFile(m_dir / "d3.dbt", dbt);
    ASSERT_GT(xb_Use(path("D3"), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
    xb_GoTop();
    EXPECT_EQ(xb_GetTrimString("NAME"), "gamma");
    EXPECT_EQ(xb_GetMemo("NOTE"), "dbt text");
    EXPECT_EQ(xb_PutMemo("NOTE", "x"), 0);
    xb_CloseAll();
    EXPECT_EQ(readFile(m_dir / "vfp.dbf"), vfp);
    EXPECT_EQ(readFile(m_dir / "d3.dbf"), d3);
}

TEST_F(Tables, BlobFieldsAndLargerMemoBlocks) {
    xb_SetMemoBlockSize(1);  // 512 bytes
    ASSERT_EQ(
        xb_Create(path("blobs.dbf"), {{"PIC", 'G', 0, 0}, {"RAW", 'B', 0, 0}, {"TXT", 'M', 0, 0}}),
        -1)
        << xb_LastError();
    std::string fpt = readFile(m_dir / "blobs.fpt");
    EXPECT_EQ(fpt.substr(0, 8), std::string("\0\0\0\x01\0\0\x02\0", 8));
    ASSERT_GT(xb_Use(path("blobs.dbf"), "", kXbModeShared, kXbDriverFox), 0);
    ASSERT_EQ(xb_AppendEx(), 0);
    std::string bytes;
    for (int i = 0; i < 1500; ++i)
        bytes += static_cast<char>(i % 256);
    ASSERT_EQ(xb_PutBlob("PIC", bytes), -1) << xb_LastError();
    ASSERT_EQ(xb_PutBlob("RAW", std::string("\0\x01\x02", 3)), -1);
    ASSERT_EQ(xb_PutMemo("TXT", "t"), -1);
    xb_CloseAll();
    ASSERT_GT(xb_Use(path("blobs.dbf"), "", kXbModeReadOnly, kXbDriverFox), 0);
    xb_GoTop();
    EXPECT_EQ(xb_GetBlob("PIC"), bytes);
    EXPECT_EQ(xb_GetBlobLength("PIC"), 1500);
    EXPECT_EQ(xb_GetBlob("RAW"), std::string("\0\x01\x02", 3));
    EXPECT_EQ(xb_GetMemo("TXT"), "t");
    fpt = readFile(m_dir / "blobs.fpt");
    EXPECT_EQ(fpt.size() % 512, 0u);
    EXPECT_EQ(be32(fpt, 0) * 512u, fpt.size());
    // The object block is typed 2, the text block 1.
    EXPECT_EQ(be32(fpt, 512), 2u);
    EXPECT_EQ(be32(fpt, fpt.size() - 512), 1u);
}

// Damaged files: each gives an error, never a crash or a read out of bounds.
struct Damage {
    const char* name;
    void (*apply)(std::string& dbf, std::string& fpt);
    bool failsOnOpen;  // else the memo read of record 1 fails
    const char* expected;
};

void setLe32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

const Damage kDamages[] = {
    {"truncated header", [](std::string& d, std::string&) { d.resize(20); }, true, "truncated"},
    {"truncated records", [](std::string& d, std::string&) { d.resize(d.size() - 900); }, true,
     "shorter"},
    {"count past the end", [](std::string& d, std::string&) { setLe32(d, 4, 100000); }, true,
     "shorter"},
    {"header length past the end",
     [](std::string& d, std::string&) {
         d[8] = '\xFF';
         d[9] = '\xFF';
     },
     true, "damaged"},
    {"bad field type", [](std::string& d, std::string&) { d[32 + 11] = 'X'; }, true,
     "Invalid Field Type X"},
    {"no field terminator", [](std::string& d, std::string&) { d[32 + 26 * 32] = 'A'; }, true,
     "damaged"},
    {"fields longer than the record", [](std::string& d, std::string&) { d[32 + 16] = '\xFE'; },
     true, "damaged"},
    {"unknown version", [](std::string& d, std::string&) { d[0] = '\x42'; }, true, "Not a table"},
    {"missing memo file", [](std::string&, std::string& f) { f.clear(); }, true, "Memo file"},
    {"memo reference past the end",
     [](std::string& d, std::string&) { std::memcpy(&d[866 + 820], "    999999", 10); }, false,
     "past the end"},
    {"memo length past the end", [](std::string&, std::string& f) { f[16 * 64 + 4] = '\x7F'; },
     false, "past the end"},
    {"memo reference not a number",
     [](std::string& d, std::string&) { std::memcpy(&d[866 + 820], "     1x234", 10); }, false,
     "Bad memo"},
};

class DamagedTables : public EngineTest, public ::testing::WithParamInterface<Damage> {};

TEST_P(DamagedTables, GiveAnErrorNotACrash) {
    const Damage& dmg = GetParam();
    fixtures("sample");
    std::string dbf = readFile(m_dir / "MAIN.DBF");
    std::string fpt = readFile(m_dir / "MAIN.fpt");
    dmg.apply(dbf, fpt);
    writeFile(m_dir / "MAIN.DBF", dbf);
    if (fpt.empty())
        fs::remove(m_dir / "MAIN.fpt");
    else
        writeFile(m_dir / "MAIN.fpt", fpt);
    int area = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    if (dmg.failsOnOpen) {
        EXPECT_EQ(area, 0);
    } else {
        ASSERT_GT(area, 0) << xb_LastError();
        xb_Go(1);
        EXPECT_EQ(xb_GetMemo("DESCRIPT"), "");
        EXPECT_EQ(xb_GetBlobLength("DESCRIPT"), 0);
        // Writing a new memo still works and lands past everything in the file.
        EXPECT_EQ(xb_PutMemo("DESCRIPT", "repaired"), -1) << xb_LastError();
        EXPECT_EQ(xb_GetMemo("DESCRIPT"), "repaired");
        xb_Go(2);
        xb_GetMemo("DESCRIPT");
        xb_Go(1);
        EXPECT_EQ(xb_GetMemo("DESCRIPT"), "repaired");
        xb_CloseAll();
        EXPECT_EQ(readFile(m_dir / "MAIN.DBF").size(), dbf.size());
        return;
    }
    EXPECT_NE(xb_LastError().find(dmg.expected), std::string::npos) << xb_LastError();
}

INSTANTIATE_TEST_SUITE_P(Files, DamagedTables, ::testing::ValuesIn(kDamages),
                         [](const ::testing::TestParamInfo<Damage>& info) {
                             std::string n = info.param.name;
                             for (char& c : n)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return n;
                         });

// Random damage to the header, the field list and the memo file: opening and
// reading everything either works or reports an error.
TEST_F(Tables, RandomDamageNeverCrashes) {
    fixtures("sample");
    const std::string dbf = readFile(m_dir / "MAIN.DBF");
    const std::string fpt = readFile(m_dir / "MAIN.fpt");
    uint32_t seed = 12345;
    auto next = [&seed]() {
        seed = seed * 1103515245u + 12345u;
        return (seed >> 8) & 0xFFFFFF;
    };
    for (int round = 0; round < 150; ++round) {
        std::string d = dbf, f = fpt;
        for (int k = 0; k < 4; ++k) {
            d[next() % 900] = static_cast<char>(next() & 0xFF);
            f[next() % f.size()] = static_cast<char>(next() & 0xFF);
        }
        if (round % 10 == 0)
            d.resize(next() % d.size());
        writeFile(m_dir / "MAIN.DBF", d);
        writeFile(m_dir / "MAIN.fpt", f);
        if (xb_Use(path("MAIN.DBF"), "", kXbModeReadOnly, kXbDriverFox) == 0) {
            EXPECT_FALSE(xb_LastError().empty());
            continue;
        }
        xb_Query("CATAGORY=\"Desk\" .OR. QUANTITY>3 .OR. EMPTY(PURCHDATE)");
        for (xb_Query(""), xb_GoTop(); !xb_Eof(); xb_Skip(1)) {
            for (int i = 1; i <= xb_FieldCount(); ++i) {
                std::string name = xb_FieldName(i);
                xb_GetString(name);
                xb_GetTrimString(name);
                xb_Empty(name);
                if (xb_FieldType(i) == 'D')
                    xb_GetDateString(name);
                if (xb_FieldType(i) == 'L')
                    xb_GetLogical(name);
                if (xb_FieldType(i) == 'M')
                    xb_GetBlobLength(name);
            }
        }
        xb_Count();
        xb_CloseAll();
    }
}

// Failed writes (a full disk) leave the table and its memos as they were.
class FailedWrites : public EngineTest {
protected:
    // Writes to file at offset (any offset: -1) fail after `allowed` bytes:
    // that write only (once), or every write from then on.
    void failWrites(const char* file, int64_t offset, int64_t allowed, bool once = false) {
        m_faulty.failWritesAfter(allowed, file, offset, once);
    }
    void healDisk() { m_faulty.failWritesAfter(-1); }

    qly::FaultyFileSystem m_faulty{qly::FileSystem::posix()};
    qly::engine::ScopedFileSystem m_using{m_faulty};
};

TEST_F(FailedWrites, AppendThatCannotWriteTheRecordAddsNothing) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    std::string before = readFile(m_dir / "MAIN.DBF");
    failWrites("MAIN.DBF", 866 + 40 * 830, 100, true);  // the record, cut short
    EXPECT_EQ(xb_AppendEx(), kXbAppendWriteFailed);
    EXPECT_FALSE(xb_LastError().empty());
    healDisk();
    EXPECT_EQ(xb_RecCount(), 40);
    std::string after = readFile(m_dir / "MAIN.DBF");
    EXPECT_EQ(after.substr(0, before.size()), before);
    // The next append takes the same place and leaves a consistent file.
    ASSERT_EQ(xb_AppendEx(), kXbAppendOk) << xb_LastError();
    EXPECT_EQ(xb_RecNo(), 41);
    xb_CloseAll();
    expectConsistentDbf(readFile(m_dir / "MAIN.DBF"));
}

TEST_F(FailedWrites, AppendThatCannotWriteTheCountKeepsTheOldCount) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    failWrites("MAIN.DBF", 0, 0);  // the header
    EXPECT_EQ(xb_AppendEx(), kXbAppendWriteFailed);
    healDisk();
    std::string bytes = readFile(m_dir / "MAIN.DBF");
    EXPECT_EQ(le32(bytes, 4), 40u);
    EXPECT_EQ(xb_RecCount(), 40);
    xb_CloseAll();
    // Another engine reading the file sees the 40 records it had.
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
    EXPECT_EQ(xb_RecCount(), 40);
}

// A post whose record or keys cannot be written leaves the record and every
// tag as they were, in memory and in the files, and says which file and why.
TEST_F(FailedWrites, APostWhoseRecordOrKeysFailLeavesTheRecordAndItsKeys) {
    constexpr int64_t kTheRecord = -2;
    struct Case {
        const char* what;
        const char* file;
        int64_t offset;  // -1: any
        int64_t allowed;
        bool once;
        const char* damage;  // what the message adds when the disk stays full
    };
    const Case cases[] = {
        {"index write refused", "MANUFACT.cdx", -1, 0, true, nullptr},
        {"index page torn", "MANUFACT.cdx", -1, 100, true, nullptr},
        {"index page torn, disk stays full", "MANUFACT.cdx", -1, 100, false, "may disagree"},
        {"record torn", "MANUFACT.DBF", kTheRecord, 20, true, nullptr},
        {"record torn, disk stays full", "MANUFACT.DBF", kTheRecord, 20, false, "may be damaged"},
    };
    const uint32_t header = 514, length = 587, recno = 3;
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = m_dir / std::to_string(++n);
        ASSERT_EQ(qly::test::copyFixtureSet("sample", folder), "");
        const std::string dbf = (folder / "MANUFACT.DBF").string();
        ASSERT_GT(xb_Use(dbf, "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
        ASSERT_EQ(xb_SetOrder(xb_TagArea("COMPANY")), -1);
        ASSERT_EQ(xb_Go(recno), -1);
        const std::string record = xb_GetRecord();
        const std::string company = xb_GetTrimString("COMPANY");
        ASSERT_EQ(xb_BeginRecord(), -1);
        ASSERT_EQ(xb_Replace("COMPANY", kXbReplaceText, std::string("Zzz Renamed Ltd")), -1);
        failWrites(c.file, c.offset == kTheRecord ? header + (recno - 1) * length : c.offset,
                   c.allowed, c.once);
        EXPECT_EQ(xb_PostRecord(), 0);
        const std::string error = xb_LastError();
        EXPECT_NE(error.find(c.file), std::string::npos) << error;
        EXPECT_NE(error.find("No space left on device"), std::string::npos) << error;
        if (c.damage) {
            EXPECT_NE(error.find(c.damage), std::string::npos) << error;
        }
        healDisk();
        if (c.damage) {
            // Nothing can be put back while the disk refuses every write.
            xb_CloseAll();
            continue;
        }
        EXPECT_EQ(readFile(folder / "MANUFACT.DBF").substr(header + (recno - 1) * length, length),
                  record);
        EXPECT_EQ(xb_Verify(), -1) << xb_LastError();
        EXPECT_EQ(xb_Seek("Zzz"), 0);
        EXPECT_EQ(xb_Seek(company), -1);
        EXPECT_EQ(xb_RecNo(), recno);
        EXPECT_EQ(xb_GetRecord(), record);
        xb_CloseAll();
        // and the files agree when read afresh
        ASSERT_GT(xb_Use(dbf, "", kXbModeShared, kXbDriverFox), 0) << xb_LastError();
        EXPECT_EQ(xb_Verify(), -1) << xb_LastError();
        ASSERT_EQ(xb_SetOrder(xb_TagArea("COMPANY")), -1);
        EXPECT_EQ(xb_Seek(company), -1);
        EXPECT_EQ(xb_RecNo(), recno);
        xb_CloseAll();
    }
}

TEST_F(FailedWrites, MemoThatCannotBeWrittenLeavesTheOldOne) {
    fixtures("sample");
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_Go(1);
    std::string memo = xb_GetMemo("DESCRIPT");
    std::string record = xb_GetRecord();
    failWrites("MAIN.fpt", -1, 0);  // the memo and its next-free pointer
    EXPECT_EQ(xb_PutMemo("DESCRIPT", "new text"), 0);
    healDisk();
    EXPECT_EQ(xb_Skip(0), -1);  // read the record again from the file
    EXPECT_EQ(xb_GetRecord(), record);
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), memo);
    xb_Go(2);
    EXPECT_EQ(xb_GetMemo("DESCRIPT").rfind("{\\rtf1", 0), 0u);
    // And the next memo write works.
    xb_Go(1);
    ASSERT_EQ(xb_PutMemo("DESCRIPT", "new text"), -1) << xb_LastError();
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), "new text");
}

TEST_F(Tables, DamagedMemoReportsTheErrorText) {
    fixtures("sample");
    std::string dbf = readFile(m_dir / "MAIN.DBF");
    std::memcpy(&dbf[866 + 820], "    999999", 10);
    writeFile(m_dir / "MAIN.DBF", dbf);
    ASSERT_GT(xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox), 0);
    xb_Go(1);
    EXPECT_EQ(xb_GetMemo("DESCRIPT"), "");
    EXPECT_NE(xb_LastError().find("past the end"), std::string::npos) << xb_LastError();
}

}  // namespace

namespace {

// Each kind of failure has its own code, and its text names the file (or
// field, tag, expression) and the cause.
TEST_F(FailedWrites, EachFailureHasItsOwnCodeAndNamesWhatFailed) {
    fixtures("sample");
    const std::string main = path("MAIN.DBF");
    auto openMain = [&](int mode) {
        xb_CloseAll();
        return xb_Use(main, "", mode, kXbDriverFox) > 0;
    };
    struct Case {
        const char* what;
        std::function<void()> act;  // fails, leaving the error of the failure
        int code;
        std::string named;  // a part of the text
    };
    const Case cases[] = {
        {"no table", [] { xb_CloseAll(), xb_GoTop(); }, kXbErrNoTable, "No table"},
        {"table not opened", [&] { xb_CloseAll(), xb_Use(path("NONE.DBF"), "", 0, 2); }, kXbErrOpen,
         path("NONE.DBF") + ": No such file"},
        {"no field", [&] { openMain(kXbModeShared), xb_GetString("NOSUCH"); }, kXbErrNoField,
         "NOSUCH"},
        {"alias in use",
         [&] { openMain(kXbModeShared), xb_Use(main, "MAIN", kXbModeShared, kXbDriverFox); },
         kXbErrAliasInUse, "MAIN"},
        {"bad open mode", [&] { xb_CloseAll(), xb_Use(main, "", 7, kXbDriverFox); }, kXbErrArgument,
         "mode 7"},
        {"bad expression", [&] { openMain(kXbModeShared), xb_Query("QUANTITY +"); },
         kXbErrExpression, "QUANTITY"},
        {"no such tag", [&] { openMain(kXbModeShared), xb_IndexOpen("NONE"); }, kXbErrIndex,
         "NONE"},
        {"structural index missing",
         [&] {
             xb_CloseAll();
             fs::rename(m_dir / "MAIN.cdx", m_dir / "MAIN.cdx.away");
             xb_Use(main, "", kXbModeShared, kXbDriverFox);
             fs::rename(m_dir / "MAIN.cdx.away", m_dir / "MAIN.cdx");
         },
         kXbErrIndex, path("MAIN.cdx")},
        {"read-only table",
         [&] {
             openMain(kXbModeReadOnly), xb_Go(1);
             xb_Replace("CATAGORY", kXbReplaceText, std::string("Desk"));
         },
         kXbErrReadOnly, main},
        {"value too long",
         [&] {
             openMain(kXbModeShared), xb_Go(1);
             xb_Replace("CATAGORY", kXbReplaceText, std::string(300, 'x'));
         },
         kXbErrValue, "CATAGORY"},
        {"no current record",
         [&] {
             openMain(kXbModeShared), xb_GoBottom(), xb_Skip(1);
             xb_Replace("CATAGORY", kXbReplaceText, std::string("Desk"));
         },
         kXbErrNoRecord, "No current record"},
        {"record locked",
         [&] {
             openMain(kXbModeShared), xb_Go(1);
             m_faulty.refuseLocks(true);
             xb_Replace("CATAGORY", kXbReplaceText, std::string("Desk"));
             m_faulty.refuseLocks(false);
         },
         kXbErrLocked, main},
        {"disk full",
         [&] {
             openMain(kXbModeShared), xb_Go(1);
             failWrites("MAIN.DBF", -1, 0);
             xb_Replace("CATAGORY", kXbReplaceText, std::string("Desk"));
             healDisk();
         },
         kXbErrWrite, main + ": No space left on device"},
        {"table exists",
         [&] {
             xb_CloseAll(), xb_Create(main, {{"NAME", 'C', 10, 0}});
         },
         kXbErrCreate, main},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.act();
        EXPECT_EQ(xb_LastErrorCode(), c.code) << xb_LastError();
        EXPECT_NE(xb_LastError().find(c.named), std::string::npos) << xb_LastError();
    }
}

}  // namespace

// A batch append (the CSV import's) writes its memos and records whole or
// not at all, and keeps the index in step.
TEST_F(FailedWrites, BatchAppendWritesEveryRecordOrNone) {
    fixtures("sample");
    const int n = xb_Use(path("MAIN.DBF"), "", kXbModeShared, kXbDriverFox);
    ASSERT_GT(n, 0);
    qly::engine::WorkArea& area = *qly::engine::Engine::instance().area(n);
    qly::engine::Table& table = area.table();
    const size_t length = static_cast<size_t>(table.recordLength());
    const qly::engine::Field& name = table.fields()[static_cast<size_t>(table.fieldIndex("NAME"))];
    const qly::engine::Field& descript =
        table.fields()[static_cast<size_t>(table.fieldIndex("DESCRIPT"))];
    std::string images(3 * length, ' ');
    const std::vector<std::string> memos = {"first", std::string(3000, 'm'), "third"};
    std::vector<qly::engine::Table::MemoWrite> writes;
    for (size_t k = 0; k < 3; ++k) {
        char* image = images.data() + k * length;
        table.blankRecord(image);
        const std::string text = "Batch " + std::to_string(k);
        std::memcpy(image + name.offset, text.data(), text.size());
        writes.push_back({image, &descript, &memos[k]});
    }
    std::string error;
    ASSERT_TRUE(table.writeMemos(writes, 0, error)) << error;

    const std::string before = readFile(m_dir / "MAIN.DBF");
    failWrites("MAIN.DBF", 866 + 40 * 830, 100, true);  // the records, cut short
    uint32_t first = 0;
    EXPECT_EQ(table.appendRecords(images.data(), 3, 0, first, error),
              qly::engine::Table::kAppendWriteFailed);
    healDisk();
    EXPECT_EQ(xb_RecCount(), 40);
    EXPECT_EQ(readFile(m_dir / "MAIN.DBF").substr(0, before.size()), before);

    ASSERT_EQ(table.appendRecords(images.data(), 3, 0, first, error), qly::engine::Table::kAppendOk)
        << error;
    EXPECT_EQ(first, 41u);
    EXPECT_EQ(xb_RecCount(), 43);
    for (int k = 0; k < 3; ++k) {
        xb_Go(41 + k);
        EXPECT_EQ(xb_GetTrimString("NAME"), "Batch " + std::to_string(k));
        EXPECT_EQ(xb_GetMemo("DESCRIPT"), memos[static_cast<size_t>(k)]);
    }
    EXPECT_TRUE(area.indexes().verify(error)) << error;
    xb_CloseAll();
    expectConsistentDbf(readFile(m_dir / "MAIN.DBF"));
}
