#include "settings/SettingsStore.h"

#include "settings/SettingsTestSupport.h"

#include "base/FileSystem.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

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

std::string bytesOf(qly::MemoryFileSystem& fs, const std::string& path) {
    const auto& b = fs.bytes(path);
    return std::string(b.begin(), b.end());
}

// Text as a Windows export writes it: UTF-16 little-endian after its mark.
std::string utf16le(const std::u16string& text) {
    std::string out = "\xFF\xFE";
    for (char16_t c : text) {
        out.push_back(static_cast<char>(c & 0xFF));
        out.push_back(static_cast<char>(c >> 8));
    }
    return out;
}

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
    EXPECT_EQ(store.problem(),
              "The settings file " + path +
                  " has lines that could not be read (line 8); they are kept as they are.");

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

// Files the store cannot read as an export: opening neither blocks nor reads
// without end, readers find the key cannot be opened, the user is told which
// file and why, the file stays as it is until the first write moves it aside
// (over an older .damaged) and puts a sound file with what could be read in
// its place.
TEST(SettingsStore, HostileFilesAreNamedAndMovedAsideByTheFirstWrite) {
    struct Case {
        const char* name;
        void (*make)(const std::string& path);
        const char* cause;
        const char* keptValues;  // values taken from the file, as written back
    };
    const Case cases[] = {
        {"a FIFO", [](const std::string& p) { ASSERT_EQ(mkfifo(p.c_str(), 0600), 0); },
         "not a regular file", ""},
        {"a link to /dev/zero",
         [](const std::string& p) { ASSERT_EQ(symlink("/dev/zero", p.c_str()), 0); },
         "not a regular file", ""},
        {"a 2 MiB file",
         [](const std::string& p) {
             writeText(p, storeFile("\"PATH\"=\"/x/\"\n") + std::string(2 << 20, ';'));
         },
         "larger than 1 MiB", ""},
        {"NUL bytes",
         [](const std::string& p) {
             writeText(p, storeFile(std::string("\"PATH\"=\"/x") + '\0' + "/\"\n"));
         },
         "NUL", ""},
        {"broken UTF-16",
         [](const std::string& p) { writeText(p, utf16le(u"REGEDIT4\n") + "\x41"); },
         "half a character", ""},
        {"binary junk", [](const std::string& p) { writeText(p, "PK\x03\x04 binary junk\n"); },
         "not a registry export", ""},
        {"no header, a key that parses",
         [](const std::string& p) {
             writeText(p, kKeyLine + "\n\"PATH\"=\"/x/\"\nnot a value\n\"Hints\"=dword:zz\n");
         },
         "not a registry export", "\"PATH\"=\"/x/\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder dir;
        const std::string path = dir.file("QLY32.reg");
        c.make(path);
        const std::string before = std::filesystem::is_regular_file(path) ? readText(path) : "";
        writeText(path + ".damaged", "an older damaged file");

        SettingsStore store(path);
        EXPECT_FALSE(store.open()) << "to readers the key cannot be opened";
        EXPECT_TRUE(store.damaged());
        EXPECT_NE(store.errorText().find(c.cause), std::string::npos) << store.errorText();
        EXPECT_NE(store.problem().find(path), std::string::npos) << store.problem();
        EXPECT_NE(store.problem().find(c.cause), std::string::npos) << store.problem();
        EXPECT_NE(store.problem().find("QLY32.reg.damaged"), std::string::npos);
        std::int32_t number = 0;
        EXPECT_EQ(store.readInteger("CENTURY", &number).message(),
                  "Failed to get data for 'CENTURY'");
        EXPECT_EQ(std::filesystem::is_regular_file(path) ? readText(path) : "", before)
            << "opening leaves the file alone";

        EXPECT_EQ(store.writeInteger("CENTURY", 1).message(), "Failed to set data for 'CENTURY'");
        SettingsStore writer(path);
        ASSERT_TRUE(writer.openForWriting());
        ASSERT_TRUE(writer.writeInteger("CENTURY", 1).ok()) << writer.errorText();
        EXPECT_EQ(readText(path),
                  storeFile(std::string(c.keptValues) + "\"CENTURY\"=dword:00000001\n"));
        const auto aside = std::filesystem::symlink_status(path + ".damaged").type();
        if (before.empty())
            EXPECT_NE(aside, std::filesystem::file_type::regular) << "the FIFO or the link itself";
        else
            EXPECT_EQ(readText(path + ".damaged"), before);
        EXPECT_EQ(filesIn(dir.path()), 2);

        SettingsStore again(path);
        ASSERT_TRUE(again.open());
        EXPECT_EQ(again.problem(), "");
    }
}

// The file is named with the cause when it cannot be opened at all; nothing
// is moved then.
TEST(SettingsStore, AFileThatCannotBeOpenedIsNamedAndLeftAlone) {
    TempFolder dir;
    std::filesystem::create_directories(dir.path() / "QLY32.reg");
    SettingsStore store(dir.file("QLY32.reg"));
    EXPECT_FALSE(store.open()) << "a folder in place of the file";
    EXPECT_NE(store.problem().find(dir.file("QLY32.reg") + ": it is a folder"), std::string::npos)
        << store.problem();
    EXPECT_EQ(store.writeString("PATH", "/y/").message(), "Failed to set data for 'PATH'");
    EXPECT_TRUE(std::filesystem::is_directory(dir.file("QLY32.reg")));

    writeText(dir.file("blocker"), "");
    SettingsStore blocked(dir.file("blocker/KVR/QLY32.reg"));
    EXPECT_FALSE(blocked.open()) << "the folder cannot be created";
    EXPECT_NE(blocked.problem().find(dir.file("blocker")), std::string::npos) << blocked.problem();
    EXPECT_TRUE(std::filesystem::is_regular_file(dir.file("blocker")));

    if (geteuid() != 0) {
        writeText(dir.file("locked.reg"), storeFile(""));
        chmod(dir.file("locked.reg").c_str(), 0200);
        SettingsStore locked(dir.file("locked.reg"));
        EXPECT_FALSE(locked.open());
        EXPECT_NE(locked.problem().find("Permission denied"), std::string::npos)
            << locked.problem();
        EXPECT_FALSE(std::filesystem::exists(dir.file("locked.reg.damaged")));
    }
}

// Windows writes version 5 exports in UTF-16 with a byte order mark; UTF-8
// with a mark reads too.
TEST(SettingsStore, ReadsWindowsExportsInUtf16AndUtf8) {
    const std::u16string export16 =
        u"Windows Registry Editor Version 5.00\r\n\r\n"
        u"[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\r\n"
        u"\"PATH\"=\"C:\\\\Inventar\\\\Gr\u00FC\u00DFe \U0001F4E6\"\r\n"
        u"\"DATEFORMAT\"=dword:00000004\r\n"
        u"\"EXP\"=hex(2):2f,00,78,00,00,00\r\n";
    const std::string path8 =
        "C:\\Inventar\\Gr\xC3\xBC\xC3\x9F"
        "e \xF0\x9F\x93\xA6";
    const std::string files[] = {
        utf16le(export16),
        "\xEF\xBB\xBFWindows Registry Editor Version 5.00\r\n\r\n" + kKeyLine +
            "\r\n\"PATH\"=\"C:\\\\Inventar\\\\Gr\xC3\xBC\xC3\x9F"
            "e \xF0\x9F\x93\xA6\"\r\n"
            "\"DATEFORMAT\"=dword:00000004\r\n\"EXP\"=hex(2):2f,00,78,00,00,00\r\n",
    };
    for (const std::string& content : files) {
        TempFolder dir;
        const std::string path = dir.file("QLY32.reg");
        writeText(path, content);
        SettingsStore store(path);
        ASSERT_TRUE(store.open()) << store.errorText();
        EXPECT_EQ(store.problem(), "");
        std::string text;
        ASSERT_TRUE(store.readString("PATH", &text).ok());
        EXPECT_EQ(text, path8);
        ASSERT_TRUE(store.readString("EXP", &text).ok());
        EXPECT_EQ(text, "/x");
        std::int32_t number = 0;
        ASSERT_TRUE(store.readInteger("DATEFORMAT", &number).ok());
        EXPECT_EQ(number, 4);

        // Written back as UTF-8 text, every line kept.
        ASSERT_TRUE(store.writeInteger("CENTURY", 1).ok());
        EXPECT_EQ(readText(path), "Windows Registry Editor Version 5.00\n\n" + kKeyLine +
                                      "\n\"PATH\"=\"C:\\\\Inventar\\\\Gr\xC3\xBC\xC3\x9F"
                                      "e \xF0\x9F\x93\xA6\"\n"
                                      "\"DATEFORMAT\"=dword:00000004\n"
                                      "\"EXP\"=hex(2):2f,00,78,00,00,00\n"
                                      "\"CENTURY\"=dword:00000001\n");
        EXPECT_FALSE(std::filesystem::exists(path + ".damaged"));
    }
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

// Whatever fails on the way to the new file, the old one stays byte for
// byte, no temporary file is left and the failure names the path and the
// cause. A damaged file that was moved aside is put back.
TEST(SettingsStore, AFailedWriteLeavesTheOldFileIntact) {
    struct Case {
        const char* name;
        void (*arm)(qly::FaultyFileSystem&);
        const char* cause;
        bool damagedOnly;
    };
    const Case cases[] = {
        {"full disk", [](qly::FaultyFileSystem& f) { f.failWritesAfter(10); },
         "No space left on device", false},
        {"failed sync", [](qly::FaultyFileSystem& f) { f.failSync(1); }, "Cannot sync", false},
        {"failed rename", [](qly::FaultyFileSystem& f) { f.failRename(1); }, "Cannot rename",
         false},
        {"failed rename after the move aside", [](qly::FaultyFileSystem& f) { f.failRename(2); },
         "Cannot rename", true},
        {"no temporary file", [](qly::FaultyFileSystem& f) { f.failOpens(".QLY32.reg.tmp"); },
         "Cannot open", false},
    };
    const std::string path = "/cfg/QLY32.reg";
    for (const char* old :
         {"REGEDIT4\n\n[HKEY_CURRENT_USER\\SOFTWARE\\KVR\\QLY32]\n\"PATH\"=\"/old/\"\n",
          "damaged: no header\n"}) {
        const bool damaged = std::strncmp(old, "damaged", 7) == 0;
        for (const Case& c : cases) {
            if (c.damagedOnly && !damaged)
                continue;
            SCOPED_TRACE(std::string(c.name) + " / " + old);
            qly::MemoryFileSystem memory;
            ASSERT_TRUE(memory.makeFolder("/cfg").isOk());
            memory.bytes(path).assign(old, old + std::strlen(old));
            qly::FaultyFileSystem faulty(memory);
            SettingsStore store(path, faulty);
            ASSERT_TRUE(store.openForWriting());
            c.arm(faulty);
            const auto status = store.writeString("PATH", std::string(200, 'x'));
            EXPECT_EQ(status.message(), "Failed to set data for 'PATH'");
            EXPECT_NE(store.errorText().find(c.cause), std::string::npos) << store.errorText();
            EXPECT_NE(store.errorText().find("/cfg/"), std::string::npos) << store.errorText();
            EXPECT_EQ(bytesOf(memory, path), old);
            EXPECT_EQ(memory.listFolder("/cfg").value(), std::vector<std::string>{"QLY32.reg"});
            std::string text;
            ASSERT_TRUE(store.readString("PATH", &text).ok());
            EXPECT_EQ(text, damaged ? "" : "/old/");
        }
    }
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
