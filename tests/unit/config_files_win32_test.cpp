// The profile on Windows: kept under %APPDATA%, replaced whole, never left half written.

#include "app/profile.h"
#include "platform/config_files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ProfileFileWin32 : ::testing::Test {
    fs::path directory;
    std::string path;

    void SetUp() override {
        directory = fs::temp_directory_path() /
                    ("tovik-profile-" +
                     std::string(::testing::UnitTest::GetInstance()->current_test_info()->name()));
        fs::remove_all(directory);
        fs::create_directories(directory);
        path = (directory / "tovik.ini").string();
    }
    void TearDown() override { fs::remove_all(directory); }

    std::string Contents(const std::string& file) const {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> Entries(const fs::path& where) const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(where)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
};

TEST_F(ProfileFileWin32, ReplacesAnExistingFileWholeAndLeavesNoTemporaryFile) {
    std::ofstream(path, std::ios::binary) << "[Tovik]\nBaud=1\nold tail that must go\n";
    ASSERT_TRUE(ReplaceFileContents(path, "[Tovik]\nBaud=2\n"));
    EXPECT_EQ(Contents(path), "[Tovik]\nBaud=2\n"); // byte for byte: no CR added
    EXPECT_EQ(Entries(directory), std::vector<std::string>{"tovik.ini"});
}

TEST_F(ProfileFileWin32, CreatesMissingDirectories) {
    const fs::path deeper = directory / "a" / "b";
    const std::string target = (deeper / "tovik.ini").string();
    ASSERT_TRUE(ReplaceFileContents(target, "x\n"));
    EXPECT_EQ(Contents(target), "x\n");
    EXPECT_EQ(Entries(deeper), std::vector<std::string>{"tovik.ini"});
}

TEST_F(ProfileFileWin32, AFailedReplaceKeepsWhatWasThereAndLeavesNoTemporaryFile) {
    fs::create_directory(path); // nothing can be moved over a directory
    EXPECT_FALSE(ReplaceFileContents(path, "x\n"));
    EXPECT_TRUE(fs::is_directory(path));
    EXPECT_EQ(Entries(directory), std::vector<std::string>{"tovik.ini"});
}

TEST_F(ProfileFileWin32, ValuesWrittenThroughTheProfileReadBack) {
    {
        CProfile profile(path);
        ASSERT_TRUE(profile.WriteProfileInt("Tovik", "Baud", 2));
        ASSERT_TRUE(profile.WriteProfileString("Ports", "COM3", "\\\\.\\COM12"));
    }
    CProfile again(path);
    EXPECT_EQ(again.GetProfileInt("Tovik", "Baud", 0), 2);
    EXPECT_EQ(again.GetProfileString("Ports", "COM3", ""), "\\\\.\\COM12");
}

// Sets an environment variable for one test and puts the old value back.
class EnvironmentScope {
public:
    EnvironmentScope(const char* name, const char* value) : m_name(name) {
        if (const char* old = std::getenv(name)) {
            m_old = old;
        }
        Set(value);
    }
    ~EnvironmentScope() { Set(m_old ? m_old->c_str() : nullptr); }

private:
    void Set(const char* value) {
        // An empty value removes the variable on Windows.
        ::_putenv_s(m_name.c_str(), value ? value : "");
    }
    std::string m_name;
    std::optional<std::string> m_old;
};

TEST(ProfileLocationWin32, TheRoamingApplicationDataFolder) {
    {
        EnvironmentScope appData("APPDATA", "C:\\Users\\u\\AppData\\Roaming");
        EXPECT_EQ(ConfigDirectory(), "C:\\Users\\u\\AppData\\Roaming");
        EXPECT_EQ(CProfile::DefaultPath(), "C:\\Users\\u\\AppData\\Roaming\\tovik\\tovik.ini");
    }
    EnvironmentScope none("APPDATA", nullptr);
    EXPECT_EQ(ConfigDirectory(), "");
}

} // namespace
