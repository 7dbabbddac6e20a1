// qlyctl init, dump and reindex, run as a user runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "cli/ShellCommand.h"
#include "engine/xbase.h"
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

class QlyctlTables : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "qly-cli-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        xb_CloseAll();
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    void sample() { ASSERT_EQ(qly::test::copyFixtureSet("sample", dir / "data"), ""); }
    std::string at(const std::string& name) const { return "'" + (dir / name).string() + "'"; }
    fs::path dir;
};

// name type width decimals, in file order.
std::string structureOf(const std::string& path) {
    if (xb_Use(path, "", kXbModeReadOnly, kXbDriverFox) == 0)
        return xb_LastError();
    std::string out;
    for (int n = 1; n <= xb_FieldCount(); ++n)
        out += xb_FieldName(n) + " " + xb_FieldType(n) + std::to_string(xb_FieldWidth(n)) + "," +
               std::to_string(xb_FieldDecimals(n)) + " ";
    xb_Close();
    return out;
}

}  // namespace

TEST_F(QlyctlTables, InitMakesTheInstallationTablesAndRefusesToOverwriteThem) {
    Outcome r = qlyctl("init " + at("data"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    for (const char* file :
         {"MAIN.DBF", "MAIN.cdx", "MAIN.fpt", "MANUFACT.DBF", "MANUFACT.cdx", "MANUFACT.fpt",
          "Location.dbf", "Location.cdx", "Location.fpt", "LOOKUP.DBF"}) {
        EXPECT_TRUE(fs::exists(dir / "data" / file)) << file;
        EXPECT_NE(r.out.find((dir / "data" / file).string()), std::string::npos)
            << "not reported: " << file;
    }
    EXPECT_FALSE(fs::exists(dir / "data/LOOKUP.cdx"));
    // The structures match the fixture tables field for field.
    for (const char* file : {"MAIN.DBF", "MANUFACT.DBF", "Location.dbf", "LOOKUP.DBF"}) {
        EXPECT_EQ(structureOf((dir / "data" / file).string()),
                  structureOf((fs::path(QLY_FIXTURES_DIR) / "foxpro/empty" / file).string()))
            << file;
    }
    // Tables open with their tags; the scratch table holds one blank record.
    struct Expect {
        const char* file;
        const char* tag;
    } tags[] = {{"MAIN.DBF", "NAME"},
                {"MANUFACT.DBF", "COMPANY"},
                {"Location.dbf", "NAME_ID"},
                {"LOOKUP.DBF", ""}};
    for (const Expect& t : tags) {
        ASSERT_NE(xb_Use((dir / "data" / t.file).string(), "", kXbModeReadOnly, kXbDriverFox), 0)
            << xb_LastError();
        EXPECT_EQ(xb_TagName(1), t.tag);
        EXPECT_EQ(xb_RecCount(), std::string(t.tag).empty() ? 1 : 0);
        xb_Close();
    }
    EXPECT_EQ(static_cast<uint8_t>(readFile(dir / "data/MAIN.DBF")[0]), 0xF5);
    EXPECT_EQ(static_cast<uint8_t>(readFile(dir / "data/LOOKUP.DBF")[0]), 0x03);

    // A second run changes nothing and names the file in the way.
    const std::string before = readFile(dir / "data/MAIN.DBF");
    fs::remove(dir / "data/MANUFACT.DBF");
    r = qlyctl("init " + at("data"));
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("MAIN.DBF"), std::string::npos) << r.out;
    EXPECT_FALSE(fs::exists(dir / "data/MANUFACT.DBF"));
    EXPECT_EQ(readFile(dir / "data/MAIN.DBF"), before);
}

TEST_F(QlyctlTables, DumpPrintsStructureAndRecordsInTheChosenOrder) {
    sample();
    Outcome r = qlyctl("dump " + at("data/manufact.dbf") + " --order company");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("field COMPANY    C  50 0"), std::string::npos) << r.out.substr(0, 400);
    EXPECT_NE(r.out.find("tag COMPANY    key COMPANY"), std::string::npos);
    EXPECT_NE(r.out.find("order COMPANY"), std::string::npos);
    // Companies come in key order; the deleted ones (records 5 and 10) are left out.
    std::vector<std::string> companies;
    for (size_t p = r.out.find("  COMPANY: "); p != std::string::npos;
         p = r.out.find("  COMPANY: ", p + 1))
        companies.push_back(r.out.substr(p + 11, r.out.find('\n', p) - p - 11));
    EXPECT_EQ(companies.size(), 10u);
    EXPECT_TRUE(std::is_sorted(companies.begin(), companies.end()));
    EXPECT_EQ(r.out.find(" deleted\n"), std::string::npos);
    // Memo text is there, control characters written out.
    EXPECT_NE(r.out.find("  ADDRESS: {\\\\rtf1"), std::string::npos);
    EXPECT_NE(r.out.find("\\r\\n\\x00\n"), std::string::npos);

    r = qlyctl("dump " + at("data/MANUFACT.DBF") + " --deleted");
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("record 5 deleted\n"), std::string::npos);
    EXPECT_NE(r.out.find("order record number"), std::string::npos);
    // The same dump twice is the same text.
    EXPECT_EQ(qlyctl("dump " + at("data/MANUFACT.DBF") + " --deleted").out, r.out);
}

TEST_F(QlyctlTables, ReindexRepairsADamagedIndex) {
    sample();
    std::string cdx = readFile(dir / "data/MAIN.cdx");
    cdx[0xA02] = '\x7F';  // the leaf's key count no longer fits
    cdx[0xA03] = '\x01';
    std::ofstream(dir / "data/MAIN.cdx", std::ios::binary | std::ios::trunc)
        .write(cdx.data(), static_cast<long>(cdx.size()));
    Outcome r = qlyctl("dump " + at("data/MAIN.DBF") + " --order NAME");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("MAIN.cdx"), std::string::npos) << r.out;
    r = qlyctl("reindex " + at("data/Main.dbf"));
    ASSERT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("tag NAME: 40 keys"), std::string::npos) << r.out;
    r = qlyctl("dump " + at("data/MAIN.DBF") + " --order NAME");
    EXPECT_EQ(r.exitCode, 0) << r.out;
    // A table without an index has nothing to rebuild.
    r = qlyctl("reindex " + at("data/LOOKUP.DBF"));
    EXPECT_EQ(r.exitCode, 0) << r.out;
    EXPECT_NE(r.out.find("no index"), std::string::npos);
}

TEST_F(QlyctlTables, BadUseGivesUsageAndFailuresNameTheFile) {
    struct Case {
        const char* args;
        int exitCode;
        const char* says;
    } cases[] = {
        {"init", 2, "usage: qlyctl init FOLDER"},
        {"init a b", 2, "usage"},
        {"dump", 2, "usage: qlyctl dump TABLE [--order TAG] [--deleted]"},
        {"dump x.dbf --order", 2, "usage"},
        {"dump x.dbf --bogus", 2, "usage"},
        {"reindex", 2, "usage: qlyctl reindex TABLE"},
        {"dump /nonexistent/NOPE.DBF", 1, "NOPE.DBF"},
        {"reindex /nonexistent/NOPE.DBF", 1, "NOPE.DBF"},
    };
    for (const Case& c : cases) {
        Outcome r = qlyctl(c.args);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.args << "\n" << r.out;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.args << "\n" << r.out;
    }
    sample();
    Outcome r = qlyctl("dump " + at("data/MAIN.DBF") + " --order NOSUCH");
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.out.find("NOSUCH"), std::string::npos) << r.out;
}
