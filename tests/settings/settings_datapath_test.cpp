#include "settings/DataPath.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <cstdio>
#include <filesystem>

TEST(DataPath, RuleTakesProgramFolderWhenEmptyAndEndsInSlash) {
    struct Case {
        const char* path;
        const char* expected;
    };
    const Case cases[] = {
        {"", "/opt/quillory/"},
        {"/home/ann/inventory", "/home/ann/inventory/"},
        {"/home/ann/inventory/", "/home/ann/inventory/"},
        {"/", "/"},
        {"relative", "relative/"},
        {"C:\\Data", "C:\\Data/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(qly::applyDataPathRule(c.path, "/opt/quillory/"), c.expected) << c.path;
    EXPECT_EQ(qly::appendPathSeparator(""), "");
}

TEST(DataPath, ProgramFolderIsTheExecutablesFolderWithSlash) {
    const auto exe = std::filesystem::read_symlink("/proc/self/exe");
    EXPECT_EQ(qly::programFolder(), exe.parent_path().string() + "/");
}

TEST(DataPath, AnInstalledProgramKeepsItsDataInTheUsersDataFolder) {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "qly-prefix-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    const fs::path prefix = tmpl;
    fs::create_directories(prefix / "lib/quillory");
    fs::create_directories(prefix / "share/metainfo");
    EXPECT_FALSE(qly::isInstalledProgramFolder((prefix / "lib/quillory/").string()));
    std::FILE* f =
        std::fopen((prefix / "share/metainfo/org.quillory.Quillory.metainfo.xml").c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    EXPECT_TRUE(qly::isInstalledProgramFolder((prefix / "lib/quillory/").string()));
    EXPECT_TRUE(qly::isInstalledProgramFolder((prefix / "lib/quillory").string()));
    fs::remove_all(prefix);

    EXPECT_EQ(qly::installedDataFolder("/x/data", "/home/ann"), "/x/data/Quillory/data/");
    EXPECT_EQ(qly::installedDataFolder(nullptr, "/home/ann"),
              "/home/ann/.local/share/Quillory/data/");
    EXPECT_EQ(qly::installedDataFolder("", "/home/ann/"), "/home/ann/.local/share/Quillory/data/");
    EXPECT_EQ(qly::installedDataFolder("relative", "/home/ann"),
              "/home/ann/.local/share/Quillory/data/");
}
