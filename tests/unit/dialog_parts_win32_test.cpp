// The Windows dialog's pieces that need no window: the chooser's filter as the common dialog
// reads it, and the application's name from the program file.

#include "ui/win32/dialog_parts_win32.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace std::string_literals;

// The one filter the dialog passes, as the common dialog reads it: pairs ended by a zero each, and
// the list by one more.
TEST(ChooserFilter, PairsEndWithZerosAndTheListWithOneMore) {
    EXPECT_EQ(ChooserFilter("All Files(*.*)|*.*||"), "All Files(*.*)\0*.*\0\0"s);
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
