#include "settings/DataPath.h"

#include <gtest/gtest.h>

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
