// The Windows dialog's pieces that need no window: the chooser's filter as the common dialog
// reads it, and the application's name from the program file.

#include "ui/win32/dialog_parts_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

TEST(ChooserFilter, PairsEndWithZerosAndTheListWithOneMore) {
    struct Case {
        std::string barSeparated;
        std::string expected;
    } cases[] = {
        {"All Files(*.*)|*.*||", "All Files(*.*)\0*.*\0\0"s},
        {"S-records|*.s19;*.srec|All|*.*||", "S-records\0*.s19;*.srec\0All\0*.*\0\0"s},
        // Written without the closing bars, the list still ends as the dialog needs it.
        {"All|*.*", "All\0*.*\0\0"s},
        {"All|*.*|", "All\0*.*\0\0"s},
        {"", "\0\0"s},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ChooserFilter(c.barSeparated), c.expected) << c.barSeparated;
    }
}

TEST(ProgramBaseName, IsTheFileNameWithoutItsExtension) {
    struct Case {
        const char* path;
        const char* name;
    } cases[] = {
        {"C:\\Program Files\\Tovik\\tovik.exe", "tovik"},
        {"Z:\\work\\build-win64\\loader.EXE", "loader"},
        {"C:/mixed\\sep/tovik-2.exe", "tovik-2"},
        {"D:tovik.exe", "tovik"},
        {"\\\\server\\share\\v1.2\\tovik.exe", "tovik"},
        {"C:\\v1.2\\tovik", "tovik"}, // a dot in a directory name is not an extension
        {"tovik.backup.exe", "tovik.backup"},
        {".hidden", ".hidden"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ProgramBaseName(c.path), c.name) << c.path;
    }
}

} // namespace
