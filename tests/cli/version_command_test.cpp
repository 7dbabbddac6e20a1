// qlyctl version, run as a user runs it: the program's own record, quillory's,
// records the test writes, and files without one.

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "version/Images.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
    int exitCode = -1;
    std::string out;  // standard output
    std::string err;
};

// A folder of its own for each test.
class QlyctlVersion : public ::testing::Test {
protected:
    void SetUp() override {
        std::string tmpl = (fs::temp_directory_path() / "qly-cli-version-XXXXXX").string();
        ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
        dir = tmpl;
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
    Outcome qlyctl(const std::string& args) const;
    fs::path dir;
};

Outcome QlyctlVersion::qlyctl(const std::string& args) const {
    const std::string errFile = (dir / "stderr.txt").string();
    const std::string command = "'" QLYCTL_PATH "' " + args + " </dev/null 2>'" + errFile + "'";
    Outcome run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return run;
    char buffer[4096];
    size_t n = 0;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
        run.out.append(buffer, n);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (FILE* err = std::fopen(errFile.c_str(), "r")) {
        while ((n = std::fread(buffer, 1, sizeof buffer, err)) > 0)
            run.err.append(buffer, n);
        std::fclose(err);
    }
    return run;
}

std::string shellWord(const fs::path& p) {
    return "'" + p.string() + "'";
}

const char* const kOwnRecord =
    "Fixed part\n"
    "  File version     1.2.1.1\n"
    "  Product version  1.2.1.1\n"
    "  Flags            0x00000000 of mask 0x0000003F\n"
    "  OS               0x00040004\n"
    "  Type             0x00000001\n"
    "  Subtype          0x00000000\n"
    "  Date             0x00000000 0x00000000\n"
    "Translation: 080904E4\n"
    "StringFileInfo 080904E4\n"
    "  CompanyName       Kaverin\n"
    "  FileDescription   Quillory\n"
    "  FileVersion       1.2.1.1\n"
    "  InternalName      QLY32\n"
    "  LegalCopyright    © 2026 Kaverin. All rights reserved.\n"
    "  LegalTrademarks\n"
    "  OriginalFilename\n"
    "  ProductName       Quillory\n"
    "  ProductVersion    1.2.1.1\n"
    "  Comments\n";

TEST_F(QlyctlVersion, PrintsTheRecordOfTheProgramAndOfQlyctl) {
    for (const std::string& file : {std::string(), std::string(QUILLORY_PATH)}) {
        SCOPED_TRACE(file.empty() ? "qlyctl itself" : file);
        const Outcome r = qlyctl("version" + (file.empty() ? "" : " " + shellWord(file)));
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const std::size_t firstLine = r.out.find('\n');
        EXPECT_EQ(fs::path(r.out.substr(0, firstLine)).filename(),
                  file.empty() ? "qlyctl" : "quillory");
        EXPECT_EQ(r.out.substr(firstLine + 1), kOwnRecord);
    }
}

TEST_F(QlyctlVersion, PrintsEveryEntryOfARecordItIsGiven) {
    qly::version::VersionRecord record = qlytest::programLikeRecord();
    record.fixed.flags = qly::version::kFlagDebug | qly::version::kFlagPrivateBuild;
    record.stringTables.push_back({"040704B0", {{"CompanyName", "Kaverin GmbH"}}});
    record.translations.push_back({0x0407, 0x04B0});
    const fs::path file = dir / "tool.exe";
    ASSERT_TRUE(qlytest::writeFile(file, qlytest::peImage({{16, qlytest::recordBytes(record)}})));
    const Outcome r = qlyctl("version " + shellWord(file));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* line : {"  Flags            0x00000009 of mask 0x0000003F (Debug Build, "
                             "Private Build)\n",
                             "Translation: 080904E4 040704B0\n", "StringFileInfo 040704B0\n",
                             "  CompanyName  Kaverin GmbH\n", "  Comments\n"})
        EXPECT_NE(r.out.find(line), std::string::npos) << line << r.out;
}

TEST_F(QlyctlVersion, FailsWithoutARecord) {
    qly::version::VersionRecord record = qlytest::programLikeRecord();
    qlytest::Bytes damaged = qlytest::recordBytes(record);
    damaged[92] = 0xFF;  // StringFileInfo's length passes the record's end
    damaged[93] = 0x7F;
    const struct {
        const char* name;
        qlytest::Bytes bytes;
        const char* message;
    } cases[] = {
        {"plain.elf", qlytest::elfImage({{".text", qlytest::Bytes(8, 0x90)}}), "no version record"},
        {"icons.exe", qlytest::peImage({{3, qlytest::Bytes(16, 1)}}), "no version record"},
        {"damaged.elf", qlytest::elfWithRecord(damaged), "damaged version record"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = dir / c.name;
        ASSERT_TRUE(qlytest::writeFile(file, c.bytes));
        const Outcome r = qlyctl("version " + shellWord(file));
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find(file.string()), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
    EXPECT_EQ(qlyctl("version /nonexistent/qly.exe").exitCode, 1);
    EXPECT_EQ(qlyctl("version a b").exitCode, 2);
}

}  // namespace
