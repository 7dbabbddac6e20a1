#include "settings/SettingsStore.h"

#include "settings/SettingsTestSupport.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

using qly::SettingsStore;

namespace {

const std::string kKeyLine = "[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]";

std::string storeFile(const std::string& values) {
    return "REGEDIT4\n\n" + kKeyLine + "\n" + values;
}

int filesIn(const std::filesystem::path& folder) {
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder))
        ++count;
    return count;
}

// Makes writes beyond a few bytes fail (EFBIG) while it lives, even for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        std::signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

}  // namespace

TEST(SettingsStore, OpenCreatesFolderAndFileHoldingOnlyTheKey) {
    TempFolder dir;
    const std::string path = dir.file("config/KVR/QLY32.reg");
    SettingsStore store(path);
    ASSERT_TRUE(store.open()) << store.errorText();
    EXPECT_EQ(readText(path), "REGEDIT4\n\n" + kKeyLine + "\n");
    EXPECT_TRUE(store.valueNames().empty());

    std::string text = "x";
    EXPECT_TRUE(store.readString("PATH", &text).ok());
    EXPECT_EQ(text, "");

    std::int32_t number = 0;
    const auto status = store.readInteger("DATEFORMAT", &number);
    EXPECT_FALSE(status.ok());
    EXPECT_EQ(status.message(), "Failed to get data for 'DATEFORMAT'");
}

TEST(SettingsStore, WritesExactLinesAndReadsThemBack) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    {
        SettingsStore store(path);
        ASSERT_TRUE(store.open());
        EXPECT_TRUE(store.writeString("PATH", "/home/ann/inventory").ok());
        EXPECT_TRUE(store.writeInteger("DATEFORMAT", 4).ok());
        EXPECT_TRUE(store.writeInteger("CENTURY", 1).ok());
        EXPECT_TRUE(store.writeInteger("Hints", 0).ok());
        EXPECT_TRUE(store.writeInteger("DATEFORMAT", -1).ok());
        store.close();
    }
    EXPECT_EQ(readText(path), storeFile("\"PATH\"=\"/home/ann/inventory\"\n"
                                        "\"DATEFORMAT\"=dword:ffffffff\n"
                                        "\"CENTURY\"=dword:00000001\n"
                                        "\"Hints\"=dword:00000000\n"));
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    std::string text;
    std::int32_t number = 0;
    ASSERT_TRUE(store.readString("PATH", &text).ok());
    EXPECT_EQ(text, "/home/ann/inventory");
    ASSERT_TRUE(store.readInteger("DATEFORMAT", &number).ok());
    EXPECT_EQ(number, -1);
    ASSERT_TRUE(store.readInteger("CENTURY", &number).ok());
    EXPECT_EQ(number, 1);
}

TEST(SettingsStore, TypesAndMalformedValues) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    writeText(path, storeFile("\"STR\"=\"text\"\n"
                              "\"NUM\"=dword:0000002A\n"
                              "\"SHORT\"=dword:7\n"
                              "\"EXP\"=hex(2):2f,64,61,74,61,00\n"
                              "\"EXP16\"=hex(2):2f,00,78,00,00,00\n"
                              "\"EXPLONG\"=hex(2):2f,64,61,\\\n"
                              "  74,61,00\n"
                              "\"BIN\"=hex:01,02\n"
                              "\"BADNUM\"=dword:12zz\n"
                              "\"LONGNUM\"=dword:123456789\n"
                              "\"OPEN\"=\"no end\n"
                              "\"TAIL\"=\"text\" junk\n"));
    SettingsStore store(path);
    ASSERT_TRUE(store.open()) << store.errorText();

    struct StringCase {
        const char* name;
        bool ok;
        std::string value;
    };
    const StringCase strings[] = {
        {"STR", true, "text"},      {"EXP", true, "/data"}, {"EXP16", true, "/x"},
        {"EXPLONG", true, "/data"}, {"MISSING", true, ""},  {"NUM", false, ""},
        {"BIN", false, ""},         {"OPEN", false, ""},    {"TAIL", false, ""},
    };
    for (const auto& c : strings) {
        std::string value = "unchanged";
        const auto status = store.readString(c.name, &value);
        EXPECT_EQ(status.ok(), c.ok) << c.name;
        if (c.ok)
            EXPECT_EQ(value, c.value) << c.name;
        else
            EXPECT_EQ(status.message(), std::string("Invalid data type for '") + c.name + "'");
    }

    struct IntCase {
        const char* name;
        const char* message;  // nullptr: reads
        std::int32_t value;
    };
    const IntCase ints[] = {
        {"NUM", nullptr, 42},
        {"SHORT", nullptr, 7},
        {"STR", "Invalid data type for 'STR'", 0},
        {"EXP", "Invalid data type for 'EXP'", 0},
        {"BADNUM", "Invalid data type for 'BADNUM'", 0},
        {"LONGNUM", "Invalid data type for 'LONGNUM'", 0},
        {"MISSING", "Failed to get data for 'MISSING'", 0},
    };
    for (const auto& c : ints) {
        std::int32_t value = -5;
        const auto status = store.readInteger(c.name, &value);
        if (c.message == nullptr) {
            EXPECT_TRUE(status.ok()) << c.name;
            EXPECT_EQ(value, c.value) << c.name;
        } else {
            EXPECT_EQ(status.message(), c.message);
            EXPECT_EQ(value, -5) << "a failed read leaves the target alone";
        }
    }
}

TEST(SettingsStore, NamesCompareWithoutCaseAndKeepTheirSpelling) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    writeText(path, storeFile("\"path\"=\"/old/\"\n\"hints\"=dword:00000005\n"));
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    std::string text;
    std::int32_t number = 0;
    ASSERT_TRUE(store.readString("PATH", &text).ok());
    EXPECT_EQ(text, "/old/");
    ASSERT_TRUE(store.readInteger("Hints", &number).ok());
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(store.valueExists("Path"));

    ASSERT_TRUE(store.writeString("PATH", "/new/").ok());
    EXPECT_EQ(readText(path), storeFile("\"path\"=\"/new/\"\n\"hints\"=dword:00000005\n"));
}

TEST(SettingsStore, EscapesRoundTripAndATrailingBackslashEndsTheLine) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    writeText(path, storeFile("\"PATH\"=\"C:\\\\Data\\\\\"\n\"NEXT\"=dword:00000001\n"));
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    std::string text;
    ASSERT_TRUE(store.readString("PATH", &text).ok());
    EXPECT_EQ(text, "C:\\Data\\");
    std::int32_t number = 0;
    EXPECT_TRUE(store.readInteger("NEXT", &number).ok())
        << "a string ending in a backslash runs on";

    const std::string odd = "/a \"quoted\" \\ name/";
    ASSERT_TRUE(store.writeString("PATH", odd).ok());
    EXPECT_NE(readText(path).find("\"PATH\"=\"/a \\\"quoted\\\" \\\\ name/\"\n"),
              std::string::npos);
    SettingsStore again(path);
    ASSERT_TRUE(again.open());
    ASSERT_TRUE(again.readString("PATH", &text).ok());
    EXPECT_EQ(text, odd);

    EXPECT_EQ(store.writeString("PATH", "two\nlines").message(), "Failed to set data for 'PATH'");
    ASSERT_TRUE(again.open());
    ASSERT_TRUE(again.readString("PATH", &text).ok());
    EXPECT_EQ(text, odd);
}

TEST(SettingsStore, KeepsCommentsGarbageAndOtherKeysAcrossWrites) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    const std::string before =
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "; written by hand\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\r\n"
        "\"PATH\"=\"/elsewhere/\"\r\n"
        "\r\n"
        "[hkey_current_user\\software\\kvr\\qly32]\r\n"
        "this is not a value\r\n"
        "@=\"default\"\r\n"
        "\"Hints\"=-\r\n"
        "\"CENTURY\"=dword:00000000\r\n"
        "\r\n"
        "[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32\\Sub]\r\n"
        "\"DATEFORMAT\"=dword:00000003\r\n";
    writeText(path, before);
    SettingsStore store(path);
    ASSERT_TRUE(store.open()) << store.errorText();

    std::string text = "x";
    ASSERT_TRUE(store.readString("PATH", &text).ok());
    EXPECT_EQ(text, "") << "another key's value is not ours";
    std::int32_t number = 0;
    EXPECT_EQ(store.readInteger("DATEFORMAT", &number).message(),
              "Failed to get data for 'DATEFORMAT'");
    EXPECT_EQ(store.readInteger("Hints", &number).message(), "Failed to get data for 'Hints'");
    EXPECT_EQ(store.valueNames(), std::vector<std::string>{"CENTURY"});

    ASSERT_TRUE(store.writeInteger("DATEFORMAT", 2).ok());
    EXPECT_EQ(readText(path),
              "REGEDIT4\n"
              "; written by hand\n"
              "\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n"
              "\"PATH\"=\"/elsewhere/\"\n"
              "\n"
              "[hkey_current_user\\software\\kvr\\qly32]\n"
              "this is not a value\n"
              "@=\"default\"\n"
              "\"Hints\"=-\n"
              "\"CENTURY\"=dword:00000000\n"
              "\"DATEFORMAT\"=dword:00000002\n"
              "\n"
              "[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32\\Sub]\n"
              "\"DATEFORMAT\"=dword:00000003\n");
}

TEST(SettingsStore, AFileWithoutTheKeyGainsItOnTheFirstWrite) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    writeText(path, "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n\"A\"=\"b\"\n");
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    ASSERT_TRUE(store.writeString("PATH", "/p/").ok());
    EXPECT_EQ(readText(path), "REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\Other]\n\"A\"=\"b\"\n\n" +
                                  kKeyLine + "\n\"PATH\"=\"/p/\"\n");
}

TEST(SettingsStore, DamagedOrUnreadableFileCannotBeOpenedAndIsLeftAlone) {
    const std::string damaged[] = {
        std::string("PK\x03\x04 binary junk"),
        "[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\n\"PATH\"=\"/x/\"\n",
        storeFile(std::string("\"PATH\"=\"/x") + '\0' + "/\"\n"),
    };
    for (const auto& content : damaged) {
        TempFolder dir;
        const std::string path = dir.file("QLY32.reg");
        writeText(path, content);
        SettingsStore store(path);
        EXPECT_FALSE(store.open());
        EXPECT_FALSE(store.errorText().empty());
        EXPECT_EQ(store.writeString("PATH", "/y/").message(), "Failed to set data for 'PATH'");
        std::int32_t number = 0;
        EXPECT_EQ(store.readInteger("CENTURY", &number).message(),
                  "Failed to get data for 'CENTURY'");
        EXPECT_EQ(readText(path), content);
        EXPECT_EQ(filesIn(dir.path()), 1);
    }

    TempFolder dir;
    std::filesystem::create_directories(dir.path() / "QLY32.reg");
    SettingsStore store(dir.file("QLY32.reg"));
    EXPECT_FALSE(store.open()) << "a folder in place of the file";

    writeText(dir.file("blocker"), "");
    SettingsStore blocked(dir.file("blocker/KVR/QLY32.reg"));
    EXPECT_FALSE(blocked.open()) << "the folder cannot be created";
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("blocker")));
}

TEST(SettingsStore, AnEmptyFileIsAnEmptyKey) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    writeText(path, "\n\n");
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    EXPECT_EQ(readText(path), "\n\n") << "opening does not rewrite an existing file";
    ASSERT_TRUE(store.writeInteger("CENTURY", 1).ok());
    EXPECT_EQ(readText(path), storeFile("\"CENTURY\"=dword:00000001\n"));
}

TEST(SettingsStore, AFailedWriteLeavesTheOldFileIntact) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    const std::string old = storeFile("\"PATH\"=\"/old/\"\n");
    writeText(path, old);
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    {
        // The new file is longer than the limit: the write stops part-way.
        FileSizeLimit limit(old.size() + 4);
        const auto status = store.writeString("PATH", std::string(200, 'x'));
        EXPECT_EQ(status.message(), "Failed to set data for 'PATH'");
        EXPECT_NE(store.errorText().find("write"), std::string::npos) << store.errorText();
    }
    EXPECT_EQ(readText(path), old);
    EXPECT_EQ(filesIn(dir.path()), 1) << "the temporary file is removed";
    std::string text;
    ASSERT_TRUE(store.readString("PATH", &text).ok());
    EXPECT_EQ(text, "/old/");
}

TEST(SettingsStore, AReadOnlyFolderFailsTheWriteAndKeepsTheFile) {
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    const std::string old = storeFile("\"PATH\"=\"/old/\"\n");
    writeText(path, old);
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    chmod(dir.path().c_str(), 0500);
    EXPECT_EQ(store.writeInteger("CENTURY", 1).message(), "Failed to set data for 'CENTURY'");
    chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(readText(path), old);
}

TEST(SettingsStore, WritesKeepTheFileModeAndChangesMadeByAnotherStore) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    SettingsStore first(path);
    SettingsStore second(path);
    ASSERT_TRUE(first.open());
    ASSERT_TRUE(second.open());
    chmod(path.c_str(), 0640);
    ASSERT_TRUE(first.writeString("PATH", "/a/").ok());
    ASSERT_TRUE(second.writeInteger("CENTURY", 0).ok());
    EXPECT_EQ(readText(path), storeFile("\"PATH\"=\"/a/\"\n\"CENTURY\"=dword:00000000\n"));
    struct stat st {};
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(SettingsStore, DuplicateNamesReadTheLastAndAWriteLeavesOne) {
    TempFolder dir;
    const std::string path = dir.file("QLY32.reg");
    writeText(path, storeFile("\"CENTURY\"=dword:00000001\n\"century\"=dword:00000000\n"));
    SettingsStore store(path);
    ASSERT_TRUE(store.open());
    std::int32_t number = -1;
    ASSERT_TRUE(store.readInteger("CENTURY", &number).ok());
    EXPECT_EQ(number, 0);
    ASSERT_TRUE(store.writeInteger("Century", 1).ok());
    EXPECT_EQ(readText(path), storeFile("\"CENTURY\"=dword:00000001\n"));
}

TEST(SettingsStore, DefaultFileFollowsXdgConfigHome) {
    const char* oldXdg = std::getenv("XDG_CONFIG_HOME");
    const std::string savedXdg = oldXdg ? oldXdg : "";
    const char* oldHome = std::getenv("HOME");
    const std::string savedHome = oldHome ? oldHome : "";

    setenv("HOME", "/home/ann", 1);
    setenv("XDG_CONFIG_HOME", "/tmp/cfg/", 1);
    EXPECT_EQ(qly::defaultSettingsFilePath(), "/tmp/cfg/KVR/QLY32.reg");
    setenv("XDG_CONFIG_HOME", "", 1);
    EXPECT_EQ(qly::defaultSettingsFilePath(), "/home/ann/.config/KVR/QLY32.reg");
    setenv("XDG_CONFIG_HOME", "relative/cfg", 1);
    EXPECT_EQ(qly::defaultSettingsFilePath(), "/home/ann/.config/KVR/QLY32.reg");
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(qly::defaultSettingsFilePath(), "/home/ann/.config/KVR/QLY32.reg");

    TempFolder dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    SettingsStore store;
    ASSERT_TRUE(store.open());
    EXPECT_EQ(store.filePath(), dir.file("KVR/QLY32.reg"));
    EXPECT_TRUE(std::filesystem::exists(dir.file("KVR/QLY32.reg")));

    if (oldXdg)
        setenv("XDG_CONFIG_HOME", savedXdg.c_str(), 1);
    else
        unsetenv("XDG_CONFIG_HOME");
    if (oldHome)
        setenv("HOME", savedHome.c_str(), 1);
    else
        unsetenv("HOME");
}
