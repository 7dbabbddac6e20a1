#pragma once

// Copies of the FoxPro fixture tables (tests/fixtures/foxpro/<set>) for a
// test to work on. Without Qt, so that every test binary can use it.

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace qly::test {

// The folder of a fixture set: "sample" (40 items, 12 manufacturers, 8
// locations and LOOKUP.DBF) or "empty" (the same tables without records).
inline std::filesystem::path fixtureSetFolder(const std::string& set) {
    return std::filesystem::path(QLY_FIXTURES_DIR) / "foxpro" / set;
}

// Copies every file of the fixture set into folder (made when missing),
// replacing files of the same name; the copies may be written by their
// owner and read by all. "" when every file was copied, else what failed:
// the path and the cause.
inline std::string copyFixtureSet(const std::string& set, const std::filesystem::path& folder) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec)
        return folder.string() + ": " + ec.message();
    const fs::path source = fixtureSetFolder(set);
    fs::directory_iterator entries(source, ec);
    if (ec)
        return source.string() + ": " + ec.message();
    int copied = 0;
    for (const fs::directory_entry& entry : entries) {
        if (!entry.is_regular_file())
            continue;
        const fs::path target = folder / entry.path().filename();
        fs::copy_file(entry.path(), target, fs::copy_options::overwrite_existing, ec);
        if (!ec)
            fs::permissions(target,
                            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                                fs::perms::others_read,
                            ec);
        if (ec)
            return target.string() + ": " + ec.message();
        ++copied;
    }
    if (copied == 0)
        return source.string() + ": no fixture files";
    return {};
}

// A fresh temporary folder holding a copy of one fixture set, removed with
// everything in it when the object goes. error() is "" when the copy is
// complete, else what failed; a test checks it before anything else
// (ASSERT_EQ(folder.error(), "") or QCOMPARE(folder.error(), "")).
class FixtureFolder {
public:
    explicit FixtureFolder(const std::string& set = "sample") {
        std::string pattern = (std::filesystem::temp_directory_path() / "qly-test-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr) {
            m_error = pattern + ": cannot make a temporary folder";
            return;
        }
        m_path = pattern;
        m_error = copyFixtureSet(set, m_path);
    }
    ~FixtureFolder() {
        std::error_code ec;
        if (!m_path.empty())
            std::filesystem::remove_all(m_path, ec);
    }
    FixtureFolder(const FixtureFolder&) = delete;
    FixtureFolder& operator=(const FixtureFolder&) = delete;

    const std::string& error() const { return m_error; }
    // The folder, and a file in it.
    const std::filesystem::path& path() const { return m_path; }
    std::string file(const std::string& name) const { return (m_path / name).string(); }

private:
    std::filesystem::path m_path;
    std::string m_error;
};

}  // namespace qly::test
