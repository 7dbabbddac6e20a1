// qlyctl report, run as a scheduled job runs it: no display, a folder of
// tables, a PDF file out, read back with pdftotext.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "cli/ShellCommand.h"
#include "support/FixtureFolder.h"

namespace {

namespace fs = std::filesystem;

using qlytest::Outcome;

Outcome shell(const std::string& command) {
    return qlytest::runShell(command + " </dev/null 2>&1");
}

std::string quoted(const fs::path& p) {
    return "'" + p.string() + "'";
}

class QlyctlReport : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "qly-cli-report-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
        fs::create_directories(dir / "config" / "KVR");
        ASSERT_EQ(qly::test::copyFixtureSet("sample", dir / "data"), "");
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    // Without a display, with a platform named that would need one, and
    // with the settings store of the test.
    Outcome report(const std::string& args) const {
        return shell("env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME=" +
                     quoted(dir / "config") + " '" QLYCTL_PATH "' report " + args);
    }
    std::string pdfText(const fs::path& pdf) const {
        const Outcome text = shell("pdftotext -layout " + quoted(pdf) + " -");
        return text.exitCode == 0 ? text.out : std::string();
    }
    fs::path dir;
};

TEST_F(QlyctlReport, WritesEachReportAsAPdf) {
    const struct {
        const char* name;
        const char* title;
        const char* pages;
        const char* lastPage;  // the number on its footer
        std::vector<std::string> present;
        std::vector<std::string> absent;  // deleted records
    } cases[] = {
        {"items", "Main Table", "2 pages", "2", {"Laser printer #1", "U00040"}, {"Laptop #7"}},
        {"locations",
         "Location Report",
         "1 page",
         "1",
         {"Branch North", "Manager 8"},
         {"Manager 6"}},
        {"manufacturers",
         "Manufacturer Report",
         "1 page",
         "1",
         {"Canon Works", "00444"},
         {"Epsilon", "Jupiter"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path pdf = dir / (std::string(c.name) + ".pdf");
        const Outcome run =
            report(std::string(c.name) + " " + quoted(dir / "data") + " " + quoted(pdf));
        ASSERT_EQ(run.exitCode, 0) << run.out;
        EXPECT_EQ(run.out, pdf.string() + ": " + c.title + ", " + c.pages + "\n");
        const std::string text = pdfText(pdf);
        EXPECT_NE(text.find(c.title), std::string::npos) << text;
        EXPECT_NE(text.find("Report Time:"), std::string::npos);
        EXPECT_TRUE(std::regex_search(
            text, std::regex(std::string("Page:\\s+") + c.lastPage + "\\s*\\f?$")))
            << text;
        for (const std::string& value : c.present)
            EXPECT_NE(text.find(value), std::string::npos) << value << "\n" << text;
        for (const std::string& value : c.absent)
            EXPECT_EQ(text.find(value), std::string::npos) << value;
    }
}

TEST_F(QlyctlReport, DateFollowsTheSettings) {
    std::ofstream(dir / "config" / "KVR" / "QLY32.reg")
        << "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n"
           "\"DATEFORMAT\"=dword:00000004\r\n\"CENTURY\"=dword:00000001\r\n";
    const fs::path pdf = dir / "out.pdf";
    ASSERT_EQ(report("locations " + quoted(dir / "data") + " " + quoted(pdf)).exitCode, 0);
    char today[16];
    const std::time_t now = std::time(nullptr);
    std::strftime(today, sizeof today, "%d.%m.%Y", std::localtime(&now));
    EXPECT_NE(pdfText(pdf).find(std::string("Report Date:      ") + today), std::string::npos)
        << pdfText(pdf);
}

TEST_F(QlyctlReport, RefusesAndFailsWithoutWritingAFile) {
    const fs::path pdf = dir / "out.pdf";
    const std::string data = quoted(dir / "data");
    fs::remove(dir / "data" / "Location.dbf");
    const struct {
        std::string args;
        int exitCode;
        std::string message;
    } cases[] = {
        {"items " + data, 2, "usage: qlyctl report items|locations|manufacturers FOLDER OUT.pdf"},
        {"stock " + data + " " + quoted(pdf), 2, "qlyctl report: unknown report 'stock'"},
        {"items " + quoted(dir / "nowhere") + " " + quoted(pdf), 1,
         "qlyctl report: " + (dir / "nowhere").string() + ": no such folder"},
        {"locations " + data + " " + quoted(pdf), 1,
         "qlyctl report: Cannot open table " + (dir / "data").string() + "/Location.dbf"},
        {"items " + data + " " + quoted(dir / "nowhere" / "out.pdf"), 1,
         "qlyctl report: Cannot write " + (dir / "nowhere" / "out.pdf").string() + ": "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.args);
        const Outcome run = report(c.args);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(run.out.rfind(c.message, 0), 0u) << run.out;
        EXPECT_FALSE(fs::exists(pdf));
    }
}

}  // namespace
