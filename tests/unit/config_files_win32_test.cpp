// The profile on Windows: kept under %APPDATA%, replaced whole, never left half written.

#include "platform/config_files.h"
#include "settings/profile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Contents(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// What a folder holds: the file and no temporary left beside it.
std::vector<std::string> Entries(const fs::path& where) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(where)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(ProfileFileWin32, ReplacedWholeOrNotAtAllAndReadBackThroughTheProfile) {
    const fs::path directory = fs::temp_directory_path() / "tovik-profile-win32";
    fs::remove_all(directory);
    const fs::path deeper = directory / "a" / "b", file = deeper / "tovik.ini";
    std::string error;
    ASSERT_TRUE(
        ReplaceFileContents(file.string(), "[Tovik]\nBaud=1\nold tail that must go\n", &error));
    ASSERT_TRUE(ReplaceFileContents(file.string(), "[Tovik]\nBaud=2\n", &error));
    EXPECT_EQ(Contents(file), "[Tovik]\nBaud=2\n"); // byte for byte: no CR added
    EXPECT_EQ(Entries(deeper), std::vector<std::string>{"tovik.ini"});
    ASSERT_TRUE(CProfile(file.string()).WriteProfileString("Ports", "COM3", "\\\\.\\COM12"));
    EXPECT_EQ(CProfile(file.string()).GetProfileInt("Tovik", "Baud", 0), 2);
    EXPECT_EQ(CProfile(file.string()).GetProfileString("Ports", "COM3", ""), "\\\\.\\COM12");

    const fs::path blocked = directory / "blocked.ini";
    fs::create_directory(blocked); // nothing can be moved over a directory
    EXPECT_FALSE(ReplaceFileContents(blocked.string(), "x\n", &error));
    EXPECT_FALSE(error.empty()) << "the system's reason";
    EXPECT_TRUE(fs::is_directory(blocked));
    EXPECT_EQ(Entries(directory), (std::vector<std::string>{"a", "blocked.ini"}));
    fs::remove_all(directory);
}

TEST(ProfileLocationWin32, TheRoamingApplicationDataFolder) {
    const char* old = std::getenv("APPDATA");
    const std::string saved = old ? old : "";
    ::_putenv_s("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
    EXPECT_EQ(ConfigDirectory(), "C:\\Users\\u\\AppData\\Roaming");
    EXPECT_EQ(CProfile::DefaultPath(), "C:\\Users\\u\\AppData\\Roaming\\tovik\\tovik.ini");
    ::_putenv_s("APPDATA", ""); // an empty value removes the variable
    EXPECT_EQ(ConfigDirectory(), "");
    ::_putenv_s("APPDATA", saved.c_str());
}

TEST(ProfileFileWin32, EachWriteChangesOnlyItsOwnKeysInTheFileAsItIsThen) {
    const fs::path directory = fs::temp_directory_path() / "tovik-profile-win32-shared";
    fs::remove_all(directory);
    const std::string file = (directory / "tovik.ini").string();
    // Two dialogs open at once, each saving at its own time.
    CProfile first(file), second(file);
    ASSERT_TRUE(first.WriteProfileStrings("Tovik", {{"ComPort", "4"}, {"Baud", "2"}}));
    ASSERT_TRUE(second.WriteProfileString("Tovik", "Openpath", "C:\\fw\\a.s19"));
    ASSERT_TRUE(first.WriteProfileInt("Tovik", "Baud", 3));
    EXPECT_EQ(Contents(file), "[Tovik]\nComPort=4\nBaud=3\nOpenpath=C:\\fw\\a.s19\n");
    EXPECT_EQ(Entries(directory), (std::vector<std::string>{"tovik.ini", "tovik.ini.lock"}));
    fs::remove_all(directory);
}

} // namespace
