// The settings file: values read back as written, the user's own lines survive our rewrites,
// and a write leaves either the old file or the whole new one.

#include "app/profile.h"
#include "platform/com_map.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
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
    std::string Contents() const {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::vector<std::string> DirectoryEntries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(directory)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
};

using Entries = std::vector<std::pair<std::string, std::string>>;

// --- Reading -------------------------------------------------------------------------------

TEST_F(ProfileFile, MissingFileGivesTheDefaults) {
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("Load", "File", "none"), "none");
    EXPECT_EQ(profile.GetProfileInt("Load", "Baud", 38400), 38400);
    EXPECT_TRUE(profile.Section("Load").empty());
    EXPECT_FALSE(fs::exists(path)) << "reading alone must not create the file";
}

TEST_F(ProfileFile, MissingKeyOrSectionGivesTheDefault) {
    Put("[Load]\nFile=a.mot\n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("Load", "Port", "x"), "x");
    EXPECT_EQ(profile.GetProfileString("Other", "File", "y"), "y");
    EXPECT_EQ(profile.GetProfileString("Load", "File", "y"), "a.mot");
}

TEST_F(ProfileFile, IntegersAreWholeDecimalText) {
    Put("[N]\nminus=-1\nplus=+7\nzero=0\nword=abc\ntrail=12x\nlead=x12\nhex=0x10\nsign=-\n"
        "empty=\nbig=99999999999\nmax=2147483647\nmin=-2147483648\nspaced= 42 \n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileInt("N", "minus", 5), -1);
    EXPECT_EQ(profile.GetProfileInt("N", "plus", 5), 7);
    EXPECT_EQ(profile.GetProfileInt("N", "zero", 5), 0);
    EXPECT_EQ(profile.GetProfileInt("N", "max", 5), 2147483647);
    EXPECT_EQ(profile.GetProfileInt("N", "min", 5), -2147483647 - 1);
    EXPECT_EQ(profile.GetProfileInt("N", "spaced", 5), 42);
    for (const char* key : {"word", "trail", "lead", "hex", "sign", "empty", "big"}) {
        EXPECT_EQ(profile.GetProfileInt("N", key, 5), 5) << key;
    }
}

TEST_F(ProfileFile, WhitespaceAroundNamesAndValuesIsIgnored) {
    Put("  [ Load ]  \n  File  =  my file.mot  \r\nBaud\t=\t9600\r\n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("Load", "File", ""), "my file.mot");
    EXPECT_EQ(profile.GetProfileInt("Load", "Baud", 0), 9600);
}

TEST_F(ProfileFile, NamesIgnoreCaseButValuesDoNot) {
    Put("[ports]\ncom5=/dev/ttyUSB0\nMode=MiXeD\n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("PORTS", "COM5", ""), "/dev/ttyUSB0");
    EXPECT_EQ(profile.GetProfileString("Ports", "mode", ""), "MiXeD");
    EXPECT_EQ(profile.Section("PoRtS").size(), 2u);
}

TEST_F(ProfileFile, SectionListsKeysInFileOrderAndSkipsOtherLines) {
    Put("[A]\nz=1\n; note\na=2\n\njunk line\nm=3\n[B]\nq=4\n");
    CProfile profile(path);
    EXPECT_EQ(profile.Section("A"), (Entries{{"z", "1"}, {"a", "2"}, {"m", "3"}}));
    EXPECT_EQ(profile.Section("B"), (Entries{{"q", "4"}}));
}

TEST_F(ProfileFile, CommentsAndKeysBeforeAnyHeaderAreNotValues) {
    Put("loose=1\n[A]\n;commented=2\n#hashed=3\n");
    CProfile profile(path);
    EXPECT_TRUE(profile.Section("A").empty());
    EXPECT_EQ(profile.GetProfileString("A", ";commented", "d"), "d");
    EXPECT_EQ(profile.GetProfileString("", "loose", "d"), "d");
}

TEST_F(ProfileFile, FirstOfDuplicateKeysWins) {
    Put("[A]\nk=first\nk=second\n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("A", "k", ""), "first");
}

// --- Writing -------------------------------------------------------------------------------

TEST_F(ProfileFile, WrittenValuesReadBackAfterReopening) {
    {
        CProfile profile(path);
        EXPECT_TRUE(profile.WriteProfileString("Load", "File", "/home/u/fw.mot"));
        EXPECT_TRUE(profile.WriteProfileInt("Load", "Port", -1));
        EXPECT_TRUE(profile.WriteProfileInt("Load", "Baud", 115200));
        EXPECT_EQ(profile.GetProfileInt("Load", "Port", 0), -1) << "memory is updated too";
    }
    CProfile reopened(path);
    EXPECT_EQ(reopened.GetProfileString("Load", "File", ""), "/home/u/fw.mot");
    EXPECT_EQ(reopened.GetProfileInt("Load", "Port", 0), -1);
    EXPECT_EQ(reopened.GetProfileInt("Load", "Baud", 0), 115200);
    EXPECT_EQ(Contents(), "[Load]\nFile=/home/u/fw.mot\nPort=-1\nBaud=115200\n");
}

TEST_F(ProfileFile, OverwritingAValueKeepsOneLineInItsPlace) {
    Put("[A]\nx=1\nKey=old\ny=2\n");
    CProfile profile(path);
    EXPECT_TRUE(profile.WriteProfileString("a", "KEY", "new"));
    EXPECT_EQ(Contents(), "[A]\nx=1\nKey=new\ny=2\n");
}

TEST_F(ProfileFile, ForeignLinesAndSectionsSurviveARewrite) {
    const std::string before = "; written by hand\n"
                               "top=level\n"
                               "[Other]\n"
                               "  odd  =  spacing kept  \n"
                               "# hash comment\n"
                               "no equals sign here\n"
                               "\n"
                               "[Load]\n"
                               "File=a.mot\n"
                               "\n"
                               "; about the next one\n"
                               "[Last]\n"
                               "k=v\n";
    Put(before);
    CProfile profile(path);
    EXPECT_TRUE(profile.WriteProfileString("Load", "Baud", "9600"));
    EXPECT_TRUE(profile.WriteProfileString("New", "a", "b"));
    EXPECT_EQ(Contents(), "; written by hand\n"
                          "top=level\n"
                          "[Other]\n"
                          "  odd  =  spacing kept  \n"
                          "# hash comment\n"
                          "no equals sign here\n"
                          "\n"
                          "[Load]\n"
                          "File=a.mot\n"
                          "Baud=9600\n"
                          "\n"
                          "; about the next one\n"
                          "[Last]\n"
                          "k=v\n"
                          "\n"
                          "[New]\n"
                          "a=b\n");
}

TEST_F(ProfileFile, CrLfFilesAreReadAndTheirOtherLinesKept) {
    Put("[A]\r\nk=v\r\n; c\r\n");
    CProfile profile(path);
    EXPECT_EQ(profile.GetProfileString("A", "k", ""), "v");
    EXPECT_TRUE(profile.WriteProfileString("A", "k", "w"));
    EXPECT_EQ(Contents(), "[A]\nk=w\n; c\n");
}

TEST_F(ProfileFile, WriteCreatesTheDirectoryAndLeavesNoTemporaryFile) {
    path = (directory / "deeper" / "tovik" / "tovik.ini").string();
    CProfile profile(path);
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(profile.WriteProfileInt("Counts", "n" + std::to_string(i), i));
    }
    EXPECT_EQ(Contents(), "[Counts]\nn0=0\nn1=1\nn2=2\nn3=3\nn4=4\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory / "deeper" / "tovik")) {
        names.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(names, std::vector<std::string>{"tovik.ini"});
}

TEST_F(ProfileFile, WriteReplacesTheFileRatherThanEditingIt) {
    Put("[A]\nk=1\n");
    // A reader holding the old file keeps seeing all of it: the new one is a different file.
    std::ifstream oldReader(path);
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);
    CProfile profile(path);
    ASSERT_TRUE(profile.WriteProfileInt("A", "k", 2));
    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    std::string oldText((std::istreambuf_iterator<char>(oldReader)),
                        std::istreambuf_iterator<char>());
    EXPECT_EQ(oldText, "[A]\nk=1\n");
    EXPECT_EQ(Contents(), "[A]\nk=2\n");
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"tovik.ini"});
}

TEST_F(ProfileFile, AProfileThatCannotBeOpenedIsNeverReplaced) {
    // A link to itself cannot be opened, even by root; a plain file would be put in its place.
    fs::create_symlink("tovik.ini", path);
    CProfile profile(path);
    EXPECT_FALSE(profile.WriteProfileString("A", "k", "v"));
    EXPECT_TRUE(fs::is_symlink(path));
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"tovik.ini"});
}

TEST_F(ProfileFile, FailedRenameReportsItAndLeavesNoTemporaryFile) {
    fs::create_directory(path); // nothing can be renamed over a directory
    CProfile profile(path);
    EXPECT_FALSE(profile.WriteProfileString("A", "k", "v"));
    EXPECT_EQ(profile.GetProfileString("A", "k", ""), "v");
    EXPECT_EQ(DirectoryEntries(), std::vector<std::string>{"tovik.ini"});
    EXPECT_TRUE(fs::is_directory(path));
}

TEST_F(ProfileFile, DirectoryThatCannotBeMadeFailsTheWrite) {
    Put("not a directory");
    CProfile profile((fs::path(path) / "tovik.ini").string());
    EXPECT_FALSE(profile.WriteProfileInt("A", "k", 1));
    EXPECT_EQ(Contents(), "not a directory");
}

TEST_F(ProfileFile, NamesThatWouldReadBackWronglyAreRefused) {
    CProfile profile(path);
    EXPECT_FALSE(profile.WriteProfileString("A", "k=x", "v"));
    EXPECT_FALSE(profile.WriteProfileString("A", "", "v"));
    EXPECT_FALSE(profile.WriteProfileString("", "k", "v"));
    EXPECT_FALSE(profile.WriteProfileString("A]", "k", "v"));
    EXPECT_FALSE(profile.WriteProfileString("A", ";k", "v"));
    EXPECT_FALSE(profile.WriteProfileString("A", "k", "two\nlines"));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(profile.WriteProfileString("A", "k", "a=b;c"));
    EXPECT_EQ(CProfile(path).GetProfileString("A", "k", ""), "a=b;c");
}

// --- Where it lives ------------------------------------------------------------------------

struct EnvironmentScope {
    std::vector<std::pair<std::string, std::optional<std::string>>> saved;
    void Set(const char* name, const char* value) {
        const char* old = std::getenv(name);
        saved.emplace_back(name, old ? std::optional<std::string>(old) : std::nullopt);
        if (value) {
            ::setenv(name, value, 1);
        } else {
            ::unsetenv(name);
        }
    }
    ~EnvironmentScope() {
        for (auto it = saved.rbegin(); it != saved.rend(); ++it) {
            if (it->second) {
                ::setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                ::unsetenv(it->first.c_str());
            }
        }
    }
};

TEST(ProfileLocation, XdgConfigHomeComesFirst) {
    EnvironmentScope environment;
    environment.Set("XDG_CONFIG_HOME", "/x/config");
    environment.Set("HOME", "/home/u");
    EXPECT_EQ(CProfile::DefaultPath(), "/x/config/tovik/tovik.ini");
}

TEST(ProfileLocation, HomeDotConfigOtherwise) {
    EnvironmentScope environment;
    environment.Set("HOME", "/home/u");
    environment.Set("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(CProfile::DefaultPath(), "/home/u/.config/tovik/tovik.ini");
    environment.Set("XDG_CONFIG_HOME", "");
    EXPECT_EQ(CProfile::DefaultPath(), "/home/u/.config/tovik/tovik.ini");
    environment.Set("XDG_CONFIG_HOME", "relative/dir");
    EXPECT_EQ(CProfile::DefaultPath(), "/home/u/.config/tovik/tovik.ini");
}

// --- Ports section into the COM map --------------------------------------------------------

struct PortsFromProfile : ProfileFile {
    void TearDown() override {
        for (int index : {0, 1, 4, 255, 256}) {
            SetComDevicePath(index, "");
        }
        ProfileFile::TearDown();
    }
};

TEST_F(PortsFromProfile, ComEntryInstallsItsDevicePath) {
    const std::string before = ComDevicePath(4);
    Put("[Ports]\nCOM5=/dev/ttyUSB0\n");
    EXPECT_EQ(LoadComMapFromProfile(CProfile(path)), 1);
    EXPECT_EQ(ComDevicePath(4), "/dev/ttyUSB0");
    SetComDevicePath(4, "");
    EXPECT_EQ(ComDevicePath(4), before);
}

TEST_F(PortsFromProfile, OnlyWellFormedComKeysInRangeWithAValueCount) {
    const std::string com1 = ComDevicePath(0);
    const std::string com2 = ComDevicePath(1);
    Put("[ports]\ncom2=/dev/ttyACM0\nCOM256=/dev/last\nCOM1=\nCOM0=/dev/zero\nCOM257=/dev/x\n"
        "COM=/dev/x\nCOMx=/dev/x\nCOM-3=/dev/x\nCOM+3=/dev/x\nLPT1=/dev/x\n"
        "[Other]\nCOM1=/dev/wrong\n");
    EXPECT_EQ(LoadComMapFromProfile(CProfile(path)), 2);
    EXPECT_EQ(ComDevicePath(1), "/dev/ttyACM0");
    EXPECT_EQ(ComDevicePath(255), "/dev/last");
    EXPECT_EQ(ComDevicePath(0), com1) << "an empty value installs nothing";
    EXPECT_NE(ComDevicePath(1), com2);
}

TEST_F(PortsFromProfile, NoPortsSectionInstallsNothing) {
    Put("[Load]\nCOM5=/dev/x\n");
    const std::string before = ComDevicePath(4);
    EXPECT_EQ(LoadComMapFromProfile(CProfile(path)), 0);
    EXPECT_EQ(ComDevicePath(4), before);
}

} // namespace
