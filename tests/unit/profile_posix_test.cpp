// The settings file: values read back as written, the user's own lines survive our rewrites, and a
// write leaves either the old file or the whole new one. As several programs and a person share
// it: a write keeps whatever others put into the file since it was read, writers wait for each
// other, a save that fails says why and leaves the old file whole, and a user without a home gets
// no profile in the current directory.

#include "platform/com_map.h"
#include "settings/profile.h"

#include "tests/support/forked_check.h"
#include "tests/support/saved_variable.h"
#include "tests/support/scratch_dir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <pwd.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct SharedProfile : ::testing::Test {
    const ScratchDir scratch;
    const std::string path = scratch / "tovik.ini";
    void Put(const std::string& text) { std::ofstream(path, std::ios::binary) << text; }
};

TEST_F(SharedProfile, ValuesByNamesInAnyCaseDefaultsForAnythingElseAndThePortsSection) {
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

TEST_F(SharedProfile, AWriteReplacesTheWholeFileKeepingTheUsersOwnLines) {
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
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Path()), {}), 2)
        << "no temporary file; tovik.ini and its lock file";
    EXPECT_EQ(CProfile(path).GetProfileInt("Load", "Port", 0), -1);
    std::ifstream now(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(now), {}),
              "; by hand\ntop=level\n[Other]\n  odd  =  spacing kept  \n# hash\nno equals sign\n\n"
              "[Load]\nKey=new\nx=1\nPort=-1\n\n; about the next one\n[Last]\nk=v\n\n"
              "[New]\nFile=a=b;c\n");
}

TEST_F(SharedProfile, AFailedWriteLeavesTheDiskAsItWas) {
    CProfile missing(scratch / "deeper/tovik.ini");
    EXPECT_EQ(missing.GetProfileString("Load", "File", "none"), "none");
    // Names that would read back as something else are refused.
    const std::vector<std::string> refused[] = {
        {"A", "k=x", "v"}, {"A", "", "v"},   {"", "k", "v"},     {"A]", "k", "v"},
        {"A", ";k", "v"},  {"A", "#k", "v"}, {"A\nB", "k", "v"}, {"A", "k", "two\nlines"}};
    for (const auto& r : refused) {
        EXPECT_FALSE(missing.WriteProfileString(r[0], r[1], r[2])) << r[0] << r[1] << r[2];
    }
    EXPECT_FALSE(fs::exists(scratch / "deeper")) << "neither reading nor refusing writes";
    EXPECT_TRUE(missing.WriteProfileInt("A", "k", 1)) << "the directory is made";

    // A link to itself cannot be opened, even by root, and would be replaced by a plain file;
    // nothing can be renamed over a directory.
    const std::function<void()> setups[] = {[&] { fs::create_symlink("tovik.ini", path); },
                                            [&] { fs::create_directory(path); }};
    for (const auto& setup : setups) {
        fs::remove_all(path);
        setup();
        CProfile profile(path);
        const fs::file_type type = fs::symlink_status(path).type();
        EXPECT_FALSE(profile.WriteProfileString("A", "k", "v")) << static_cast<int>(type);
        EXPECT_EQ(fs::symlink_status(path).type(), type);
        EXPECT_EQ(std::distance(fs::directory_iterator(scratch.Path()), {}), 3)
            << "deeper/, tovik.ini, tovik.ini.lock";
    }
}

TEST(ProfileLocation, AnAbsoluteXdgConfigHomeElseAnAbsoluteHomeElseThePasswordDatabase) {
    SavedVariable home{"HOME"}, xdg{"XDG_CONFIG_HOME"};
    const passwd* entry = ::getpwuid(::getuid());
    ASSERT_NE(entry, nullptr);
    // A home the database names but that is not there is none (see AUserWithoutAHomeHasNone).
    const std::string database = fs::is_directory(entry->pw_dir)
                                     ? std::string(entry->pw_dir) + "/.config/tovik/tovik.ini"
                                     : std::string();
    const std::string dotConfig = "/h/.config/tovik/tovik.ini";
    // A relative value would be as bad as none: the profile would follow the current directory.
    const struct {
        const char* xdg;
        const char* home;
        std::string expected;
    } cases[] = {{"/x", "/h", "/x/tovik/tovik.ini"},
                 {nullptr, "/h", dotConfig},
                 {"", "/h", dotConfig},
                 {"x", "/h", dotConfig},
                 {nullptr, nullptr, database},
                 {nullptr, "", database},
                 {nullptr, ".", database},
                 {nullptr, "home", database}};
    for (const auto& c : cases) {
        c.xdg ? ::setenv("XDG_CONFIG_HOME", c.xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
        EXPECT_EQ(CProfile::DefaultPath(), c.expected)
            << (c.xdg ? c.xdg : "unset") << ", " << (c.home ? c.home : "unset");
    }
}

TEST_F(SharedProfile, AWriteKeepsWhatOthersPutIntoTheFileSinceItWasOpened) {
    // What happens to the file between our dialog's start and its end.
    const std::pair<const char*, std::function<void()>> others[] = {
        {"a person adds a section by hand",
         [&] { std::ofstream(path, std::ios::app) << "\n[Ports]\nCOM1=/dev/ttyUSB0\n"; }},
        {"a second dialog saves its Openpath",
         [&] { ASSERT_TRUE(CProfile(path).WriteProfileString("Tovik", "Openpath", "/fw/b.s19")); }},
    };
    for (const auto& [who, change] : others) {
        SCOPED_TRACE(who);
        Put("; mine\n[Tovik]\nComPort=1\nBaud=1\n");
        ::chmod(path.c_str(), 0640);
        CProfile profile(path);
        EXPECT_EQ(profile.GetProfileInt("Tovik", "ComPort", -9), 1);
        change();
        const std::string changed = ReadText(path);
        // Reads see the file as it is now, too.
        EXPECT_EQ(profile.Section("Ports").size(),
                  changed.find("[Ports]") != std::string::npos ? 1u : 0u);
        ASSERT_TRUE(profile.WriteProfileStrings("Tovik", {{"ComPort", "4"}, {"Baud", "0"}}));
        std::string expected = changed;
        expected.replace(expected.find("ComPort=1\nBaud=1"), 16, "ComPort=4\nBaud=0");
        EXPECT_EQ(ReadText(path), expected);
        EXPECT_EQ(fs::status(path).permissions(), fs::perms(0640)) << "keeps its permissions";
    }
}

TEST_F(SharedProfile, WritersInSeveralProcessesLoseNothingOfEachOther) {
    // Each process rewrites the file again and again, each time changing only its own key; a
    // writer that read the file while another was between its read and its rename would put the
    // other's older value back.
    constexpr int kWriters = 4, kWrites = 25;
    Put("[Tovik]\n");
    std::vector<pid_t> writers;
    for (int w = 0; w < kWriters; ++w) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0) << std::strerror(errno);
        if (pid == 0) {
            CProfile profile(path);
            bool ok = true;
            for (int i = 1; i <= kWrites; ++i) {
                ok = profile.WriteProfileInt("Tovik", "Writer" + std::to_string(w), i) && ok;
            }
            ::_exit(ok ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    CProfile profile(path);
    for (int w = 0; w < kWriters; ++w) {
        EXPECT_EQ(profile.GetProfileInt("Tovik", "Writer" + std::to_string(w), 0), kWrites) << w;
    }
}

TEST_F(SharedProfile, ASaveThatFailsSaysWhyInTheSystemsWordsAndTheValueHoldsForTheSession) {
    // A regular file where the folder should be fails for root too.
    std::ofstream(scratch / "blocker") << "not a folder\n";
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {scratch / "blocker/tovik/tovik.ini", std::strerror(ENOTDIR)},
        {"", "there is no home directory to keep them in"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        CProfile profile(c.path);
        EXPECT_FALSE(profile.WriteProfileInt("Tovik", "Baud", 3));
        EXPECT_EQ(profile.LastWriteError(), c.reason);
        EXPECT_EQ(profile.GetProfileInt("Tovik", "Baud", 1), 3);
        EXPECT_EQ(ReadText(scratch / "blocker"), "not a folder\n");
    }
    // A later write that succeeds clears the reason.
    CProfile profile(path);
    EXPECT_TRUE(profile.WriteProfileInt("Tovik", "Baud", 2));
    EXPECT_EQ(profile.LastWriteError(), "");
}

TEST_F(SharedProfile, AReadOnlyFolderRefusesTheWriteAndKeepsTheOldFile) {
    // Root writes into read-only folders; the check runs as a user without rights.
    const std::string folder = scratch / "config";
    fs::create_directory(folder);
    const std::string file = folder + "/tovik.ini";
    const std::string before = "[Tovik]\nComPort=2\n";
    std::ofstream(file) << before;
    ::chmod(folder.c_str(), 0555);
    ::chmod(file.c_str(), 0666);
    EXPECT_CHILD_PASSES(true, [&]() -> std::string {
        CProfile profile(file);
        if (profile.WriteProfileInt("Tovik", "ComPort", 5)) {
            return "the write succeeded";
        }
        if (profile.LastWriteError() != std::strerror(EACCES)) {
            return "reason: " + profile.LastWriteError();
        }
        return "";
    });
    ::chmod(folder.c_str(), 0755);
    EXPECT_EQ(ReadText(file), before);
    EXPECT_EQ(std::distance(fs::directory_iterator(folder), {}), 1) << "nothing left beside it";
}

// A profile kept elsewhere (with a person's other settings files) and linked into place: a write
// goes into the file the link names, and the link stays. Renamed over, the link would become a
// file of its own, and the person's file would silently stop being the profile.
TEST_F(SharedProfile, AProfileThatIsALinkIsWrittenWhereItPoints) {
    fs::create_directory(scratch / "dotfiles");
    const std::string kept = scratch / "dotfiles/tovik.ini";
    std::ofstream(kept) << "; by hand\n[Ports]\nCOM1=/dev/ttyUSB0\n";
    for (const std::string& link : {std::string("dotfiles/tovik.ini"), kept}) {
        SCOPED_TRACE(link);
        fs::remove(path);
        fs::create_symlink(link, path);
        ASSERT_TRUE(CProfile(path).WriteProfileString("Tovik", "Openpath", link));
        EXPECT_TRUE(fs::is_symlink(path));
        EXPECT_EQ(ReadText(kept),
                  "; by hand\n[Ports]\nCOM1=/dev/ttyUSB0\n\n[Tovik]\nOpenpath=" + link + "\n");
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(scratch / "dotfiles"), {}), 1)
        << "nothing left beside it";
}

// A user the password database does not know, and one whose home it names is not there
// (/nonexistent, as system users have), have no profile at all. Making that home would leave a
// stray folder at the top of the file system where the program may (as root); a relative path
// would put the profile wherever the program was started.
TEST(ProfileWithoutHome, AUserWithoutAHomeHasNone) {
    if (::geteuid() != 0) {
        GTEST_SKIP() << "needs root to become those users";
    }
    SavedVariable home{"HOME"}, xdg{"XDG_CONFIG_HOME"};
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("HOME");
    // Where the program was started: a save must make nothing there either.
    const ScratchDir started;
    ::chmod(started.Path().c_str(), 0777);
    for (const uid_t user : {54321u, 65534u}) {
        const passwd* entry = ::getpwuid(user);
        if (entry && fs::exists(entry->pw_dir)) {
            continue; // this machine gives the user a home
        }
        EXPECT_EQ(RunForkedCheck(false,
                                 [&]() -> std::string {
                                     if (::setgroups(0, nullptr) != 0 ||
                                         ::setresgid(user, user, user) != 0 ||
                                         ::setresuid(user, user, user) != 0 ||
                                         ::chdir(started.Path().c_str()) != 0) {
                                         return std::string("setup: ") + std::strerror(errno);
                                     }
                                     const std::string path = CProfile::DefaultPath();
                                     if (!path.empty()) {
                                         return "a profile at " + path;
                                     }
                                     return CProfile(path).WriteProfileInt("Tovik", "Baud", 2)
                                                ? "the write succeeded"
                                                : "";
                                 }),
                  "")
            << user;
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(started.Path()), {}), 0);
}

} // namespace
