// qlyctl export, import, deleted and recall, run as a user runs them.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "cli/ShellCommand.h"
#include "support/FixtureFolder.h"

namespace {

namespace fs = std::filesystem;

using qlytest::Outcome;

Outcome qlyctl(const std::string& args) {
    return qlytest::runShell("'" QLYCTL_PATH "' " + args + " </dev/null 2>&1");
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& p, const std::string& data) {
    std::ofstream out(p, std::ios::binary);
    out << data;
}

std::vector<fs::path> archivesIn(const fs::path& folder) {
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(folder)) {
        if (e.path().extension() == ".bkp")
            out.push_back(e.path());
    }
    return out;
}

class QlyctlCsv : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "qly-csv-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        ASSERT_EQ(qly::test::copyFixtureSet("sample", dir / "data"), "");
        ASSERT_EQ(qly::test::copyFixtureSet("empty", dir / "empty"), "");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    std::string at(const std::string& name) const { return "'" + (dir / name).string() + "'"; }
    // The three files of an empty items table, to see that nothing changed.
    std::string emptyItems() const {
        return readFile(dir / "empty/MAIN.DBF") + readFile(dir / "empty/MAIN.cdx") +
               readFile(dir / "empty/MAIN.fpt");
    }
    fs::path dir;
};

TEST_F(QlyctlCsv, ExportReimportsIntoAnEmptyTableToTheSameValues) {
    for (const char* table : {"MAIN.DBF", "MANUFACT.DBF", "Location.dbf"}) {
        SCOPED_TRACE(table);
        const std::string name = table;
        Outcome r = qlyctl("export " + at("data/" + name) + " " + at("a.csv"));
        ASSERT_EQ(r.exitCode, 0) << r.out;
        r = qlyctl("import " + at("empty/" + name) + " " + at("a.csv"));
        ASSERT_EQ(r.exitCode, 0) << r.out;
        r = qlyctl("export " + at("empty/" + name) + " " + at("b.csv"));
        ASSERT_EQ(r.exitCode, 0) << r.out;
        const std::string a = readFile(dir / "a.csv");
        EXPECT_EQ(a, readFile(dir / "b.csv"));
        EXPECT_NE(a.find("\r\n"), std::string::npos);
    }
    // Only live records go out: the sample's deleted items are not there.
    Outcome r = qlyctl("export " + at("data/MAIN.DBF") + " " + at("items.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::string csv = readFile(dir / "items.csv");
    EXPECT_EQ(csv.find("Laptop #7,"), std::string::npos);
    EXPECT_NE(csv.find("Laser printer #1,Buildings,"), std::string::npos);
    // Values in their exchange forms; the rich-text description as plain text.
    EXPECT_NE(csv.find(",1234.57,1998-02-07,Shop 1.00,false,,Sold,"), std::string::npos) << csv;
    EXPECT_EQ(csv.find("{\\rtf"), std::string::npos);
    r = qlyctl("export " + at("data/MAIN.DBF") + " " + at("rtf.csv") + " --rtf");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(readFile(dir / "rtf.csv").find("{\\rtf"), std::string::npos);
}

TEST_F(QlyctlCsv, ImportKeepsTheIndexInStepAndBacksTheTableUpFirst) {
    writeFile(dir / "in.csv",
              "company,City,ADDRESS\r\n"
              "Zeta Works,Zürich,\"Line 1, \"\"main\"\" door\r\nLine 2 €\"\r\n"
              "Alpha,Oslo,\r\n");
    Outcome r = qlyctl("import " + at("empty/MANUFACT.DBF") + " " + at("in.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const std::vector<fs::path> archives = archivesIn(dir / "empty");
    ASSERT_EQ(archives.size(), 1u) << r.out;
    EXPECT_NE(r.out.find(archives[0].string()), std::string::npos) << r.out;
    // The archive holds the table as it was: restored, it has no records.
    r = qlyctl("restore '" + archives[0].string() + "' " + at("before"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = qlyctl("dump " + at("before/MANUFACT.DBF"));
    EXPECT_NE(r.out.find("0 records"), std::string::npos) << r.out;

    r = qlyctl("dump " + at("empty/MANUFACT.DBF") + " --order COMPANY");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    const size_t alpha = r.out.find("COMPANY: Alpha");
    const size_t zeta = r.out.find("COMPANY: Zeta Works");
    ASSERT_NE(alpha, std::string::npos) << r.out;
    ASSERT_NE(zeta, std::string::npos) << r.out;
    EXPECT_LT(alpha, zeta);
    // Stored in the table's code page; a quoted value keeps its comma, quotes and line break.
    const std::string dbf = readFile(dir / "empty/MANUFACT.DBF");
    EXPECT_NE(dbf.find("Z\xFCrich"), std::string::npos);
    EXPECT_NE(readFile(dir / "empty/MANUFACT.fpt").find("Line 1, \"main\" door\r\nLine 2 \x80"),
              std::string::npos);
    r = qlyctl("reindex " + at("empty/MANUFACT.DBF"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("2 keys"), std::string::npos) << r.out;
}

TEST_F(QlyctlCsv, EveryFaultIsListedWithItsLineAndColumnAndNothingIsWritten) {
    const std::string before = emptyItems();
    writeFile(dir / "bad.csv",
              "NAME,QUANTITY,PURCHPRICE,PURCHDATE,DISPOSED,COLOUR\r\n"
              "Ok row,1,2.50,2001-02-03,true,\r\n"
              "Quantity word,ten,,,,\r\n"
              "Too many digits,12345,,,,\r\n"
              "Price decimals,1,2.505,,,\r\n"
              "Feb 30,1,,2001-02-30,,\r\n"
              "Other date form,1,,03/02/2001,,\r\n"
              "Maybe,1,,,maybe,\r\n"
              "Greek \xCE\xA9,1,,,,\r\n"
              "Short row,1\r\n"
              "\"" +
                  std::string(41, 'x') + "\",1,,,,\r\n");
    Outcome r = qlyctl("import " + at("empty/MAIN.DBF") + " " + at("bad.csv"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    const std::string file = (dir / "bad.csv").string();
    for (const char* where : {":1:6:", ":3:2:", ":4:2:", ":5:3:", ":6:4:", ":7:4:", ":8:5:",
                              ":9:1:", ":10:", ":11:1:"}) {
        EXPECT_NE(r.out.find(file + where), std::string::npos) << where << "\n" << r.out;
    }
    EXPECT_EQ(r.out.find(file + ":2:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("U+03A9"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("nothing was written"), std::string::npos) << r.out;
    EXPECT_EQ(emptyItems(), before);
    EXPECT_TRUE(archivesIn(dir / "empty").empty());

    // A faultless file in a dry run: checked, counted, not written.
    writeFile(dir / "good.csv", "NAME,QUANTITY\r\nOne,1\r\nTwo,2\r\n");
    r = qlyctl("import " + at("empty/MAIN.DBF") + " " + at("good.csv") + " --dry-run");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("2 rows"), std::string::npos) << r.out;
    EXPECT_EQ(emptyItems(), before);
    EXPECT_TRUE(archivesIn(dir / "empty").empty());
}

TEST_F(QlyctlCsv, MapRenamesOrSkipsColumns) {
    writeFile(dir / "sheet.csv", "Item,Count,Notes\nPrinter,3,ignore me\n");
    Outcome r = qlyctl("import " + at("empty/MAIN.DBF") + " " + at("sheet.csv"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find(":1:1:"), std::string::npos) << r.out;
    r = qlyctl("import " + at("empty/MAIN.DBF") + " " + at("sheet.csv") +
               " --map Item=NAME --map Count=QUANTITY --map Notes=");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = qlyctl("dump " + at("empty/MAIN.DBF"));
    EXPECT_NE(r.out.find("NAME: Printer\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("QUANTITY: 3\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("ignore me"), std::string::npos) << r.out;
    // A mapping to a field the table lacks is a fault, not a silent drop.
    r = qlyctl("import " + at("empty/MAIN.DBF") + " " + at("sheet.csv") +
               " --map Item=NAME --map Count=HOWMANY --map Notes=");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find(":1:2:"), std::string::npos) << r.out;
}

TEST_F(QlyctlCsv, ExportReplacesTheOutputWholeOrLeavesIt) {
    writeFile(dir / "out.csv", "old");
    Outcome r = qlyctl("export " + at("data/Location.dbf") + " " + at("out.csv"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_EQ(readFile(dir / "out.csv").rfind("NAME_ID,ADDRESS,", 0), 0u);
    // A table that cannot be opened leaves the old file as it was.
    writeFile(dir / "keep.csv", "old");
    r = qlyctl("export " + at("data/NOSUCH.DBF") + " " + at("keep.csv"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_EQ(readFile(dir / "keep.csv"), "old");
    r = qlyctl("export " + at("data/Location.dbf") + " " + at("no/such/folder/out.csv"));
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("no/such/folder"), std::string::npos) << r.out;
}

TEST_F(QlyctlCsv, DeletedRecordsAreListedAndRecalled) {
    Outcome r = qlyctl("deleted " + at("data/MAIN.DBF"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("7\tNAME: Laptop #7\tCATAGORY: Fax Machine"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("4 deleted records"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Laser printer #1"), std::string::npos) << r.out;

    // One bad number: nothing is recalled, not even the good one.
    const std::string before = readFile(dir / "data/MAIN.DBF");
    r = qlyctl("recall " + at("data/MAIN.DBF") + " 7 1 999");
    EXPECT_EQ(r.exitCode, 1) << r.out;
    EXPECT_NE(r.out.find("record 1 is not deleted"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("record 999 does not exist"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(dir / "data/MAIN.DBF"), before);
    EXPECT_EQ(qlyctl("recall " + at("data/MAIN.DBF") + " seven").exitCode, 2);

    r = qlyctl("recall " + at("data/MAIN.DBF") + " 7 17");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = qlyctl("deleted " + at("data/MAIN.DBF"));
    EXPECT_NE(r.out.find("2 deleted records"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("Laptop #7\t"), std::string::npos) << r.out;
    r = qlyctl("export " + at("data/MAIN.DBF") + " " + at("items.csv"));
    EXPECT_NE(readFile(dir / "items.csv").find("Laptop #7,"), std::string::npos);

    // Manufacturers keep their order tag in step: the recalled company is found in it.
    r = qlyctl("recall " + at("data/MANUFACT.DBF") + " 5");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    r = qlyctl("dump " + at("data/MANUFACT.DBF") + " --order COMPANY");
    EXPECT_NE(r.out.find("COMPANY: Epsilon"), std::string::npos) << r.out;
}

}  // namespace
