// The settings file: values read back as written, the user's own lines survive our rewrites,
// and a write leaves either the old file or the whole new one.

#include "platform/com_map.h"
#include "settings/profile.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct ProfileFile : ::testing::Test {
    fs::path directory;
    std::string path;

    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "tovik-profile-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        directory = pattern;
        path = (directory / "tovik.ini").string();
    }
    void TearDown() override { fs::remove_all(directory); }
    void Put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
};

TEST_F(ProfileFile, ValuesByNamesInAnyCaseDefaultsForAnythingElseAndThePortsSection) {
    Put("loose=1\n  [ Load ]  \n  File  =  a b=c;d  \r\n;c=2\n#h=3\njunk\nMode=MiXeD\nmode=2\n"
        "[N]\nminus=-1\nplus=+7\nmax=2147483647\nmin=-2147483648\ntrail=12x\nhex=0x10\nsign=-\n"
        "empty=\nbig=99999999999\nCOM3=/dev/wrong\n[ports]\nCOM5=/dev/ttyUSB0\ncom2=/dev/ttyACM0\n"
        "COM256=/dev/last\nCOM1=\nCOM0=/dev/x\nCOM257=/dev/x\nCOM=/dev/x\nCOMx=/dev/x\n"
        "COM+3=/dev/x\nLPT1=/dev/x\n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("lOAD", "MODE", "d"), "MiXeD") << "the first one counts";
    EXPECT_EQ(profile.GetProfileString("Other", "File", "d"), "d");
    // Lines before the first header, comments and junk are no keys of the section.
    EXPECT_EQ(profile.Section("load"), (std::vector<std::pair<std::string, std::string>>{
                                           {"File", "a b=c;d"}, {"Mode", "MiXeD"}, {"mode", "2"}}));
    const std::pair<const char*, int> ints[] = {
        {"minus", -1}, {"plus", 7}, {"max", INT_MAX}, {"min", INT_MIN}, {"none", 5},
        {"trail", 5},  {"hex", 5},  {"sign", 5},      {"empty", 5},     {"big", 5}};
    for (const auto& [key, value] : ints) {
        EXPECT_EQ(profile.GetProfileInt("n", key, 5), value) << key;
    }
    // Only COM1 to COM256 with a value, and only from the Ports section.
    EXPECT_EQ(LoadComMapFromProfile(profile), 3);
    EXPECT_EQ(ComDevicePath(4), "/dev/ttyUSB0");
    ClearComDevicePaths();
}

TEST_F(ProfileFile, AWriteReplacesTheWholeFileKeepingTheUsersOwnLines) {
    const std::string before =
        "; by hand\r\ntop=level\n[Other]\n  odd  =  spacing kept  \n# hash\n"
        "no equals sign\n\n[Load]\nKey=old\nx=1\n\n; about the next one\n[Last]\nk=v";
    Put(before);
    // A reader holding the old file keeps seeing all of it: the new one is a different file.
    std::ifstream oldReader(path, std::ios::binary);
    CProfile profile(path);
    EXPECT_TRUE(profile.WriteProfileString("load", "KEY", "new"));
    EXPECT_TRUE(profile.WriteProfileInt("Load", "Port", -1));
    EXPECT_TRUE(profile.WriteProfileString("New", "File", "a=b;c"));
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(oldReader), {}), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), 2)
        << "no temporary file; tovik.ini and its lock file";
    EXPECT_EQ(CProfile(path).GetProfileInt("Load", "Port", 0), -1);
    std::ifstream now(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}),
              "; by hand\ntop=level\n[Other]\n  odd  =  spacing kept  \n# hash\nno equals sign\n\n"
              "[Load]\nKey=new\nx=1\nPort=-1\n\n; about the next one\n[Last]\nk=v\n\n"
              "[New]\nFile=a=b;c\n");
}

TEST_F(ProfileFile, AFailedWriteLeavesTheDiskAsItWas) {
    path = (directory / "deeper" / "tovik.ini").string();
    CProfile missing(path);
    EXPECT_EQ(missing.GetProfileString("Load", "File", "none"), "none");
    // Names that would read back as something else are refused.
    const std::vector<std::string> refused[] = {
        {"A", "k=x", "v"}, {"A", "", "v"},   {"", "k", "v"},     {"A]", "k", "v"},
        {"A", ";k", "v"},  {"A", "#k", "v"}, {"A\nB", "k", "v"}, {"A", "k", "two\nlines"}};
    for (const auto& r : refused) {
        EXPECT_FALSE(missing.WriteProfileString(r[0], r[1], r[2])) << r[0] << r[1] << r[2];
    }
    EXPECT_FALSE(fs::exists(directory / "deeper")) << "neither reading nor refusing writes";
    EXPECT_TRUE(missing.WriteProfileInt("A", "k", 1)) << "the directory is made";

    // A link to itself cannot be opened, even by root, and would be replaced by a plain file;
    // nothing can be renamed over a directory.
    path = (directory / "tovik.ini").string();
    const std::function<void()> setups[] = {[&] { fs::create_symlink("tovik.ini", path); },
                                            [&] { fs::create_directory(path); }};
    for (const auto& setup : setups) {
        fs::remove_all(path);
        setup();
        CProfile profile(path);
        const fs::file_type type = fs::symlink_status(path).type();
        EXPECT_FALSE(profile.WriteProfileString("A", "k", "v")) << static_cast<int>(type);
        EXPECT_EQ(profile.GetProfileString("A", "k", ""), "v") << "it holds for this session";
        EXPECT_EQ(fs::symlink_status(path).type(), type);
        EXPECT_EQ(std::distance(fs::directory_iterator(directory), {}), 3)
            << "deeper/, tovik.ini, tovik.ini.lock";
    }
}

// Puts an environment variable back as it was.
struct SavedVariable {
    const char* name;
    bool set = std::getenv(name) != nullptr;
    std::string value = set ? std::getenv(name) : "";
    ~SavedVariable() { set ? ::setenv(name, value.c_str(), 1) : ::unsetenv(name); }
};

TEST(ProfileLocation, AnAbsoluteXdgConfigHomeElseHomeDotConfig) {
    SavedVariable home{"HOME"}, xdg{"XDG_CONFIG_HOME"};
    ::setenv("HOME", "/h", 1);
    const char* const dotConfig = "/h/.config/tovik/tovik.ini";
    const std::pair<const char*, const char*> cases[] = {
        {"/x", "/x/tovik/tovik.ini"}, {nullptr, dotConfig}, {"", dotConfig}, {"x", dotConfig}};
    for (const auto& [value, expected] : cases) {
        value ? ::setenv("XDG_CONFIG_HOME", value, 1) : ::unsetenv("XDG_CONFIG_HOME");
        EXPECT_EQ(CProfile::DefaultPath(), expected) << (value ? value : "unset");
    }
}

} // namespace
