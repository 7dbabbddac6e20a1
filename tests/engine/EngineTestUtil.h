#pragma once

// Helpers of the engine tests: a temporary folder holding copies of the
// fixture tables, raw file access, and an engine reset between tests.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "engine/xbase.h"
#include "support/FixtureFolder.h"

namespace enginetest {

namespace fs = std::filesystem;

inline std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline void resetEngine() {
    xb_CloseAll();
    xb_SetDeleted(0);
    xb_SetExact(0);
    xb_SetCentury(0);
    xb_SetSoftSeek(0);
    xb_SetDateFormat(kXbDateAmerican);
    xb_SetEpoch(1900);
    xb_SetMemoBlockSize(64);
    xb_SetLockTimeout(0);
    xb_ClearError();
}

// A test with its own folder; fixtures("sample") copies that fixture set in.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetEngine();
        std::string tmpl = (fs::temp_directory_path() / "qly-engine-XXXXXX").string();
        char* made = ::mkdtemp(tmpl.data());
        ASSERT_NE(made, nullptr);
        m_dir = made;
    }
    void TearDown() override {
        resetEngine();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }
    void fixtures(const std::string& set) { ASSERT_EQ(qly::test::copyFixtureSet(set, m_dir), ""); }
    std::string path(const std::string& name) const { return (m_dir / name).string(); }

    fs::path m_dir;
};

}  // namespace enginetest
