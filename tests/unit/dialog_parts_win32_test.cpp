// The Windows dialog's pieces that need no window: the chooser's filter as the common dialog
// reads it, the minimised icon's place, the application's name from the program file, and the
// Interface list's order.

#include "ui/win32/dialog_parts_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <string>
#include <vector>

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

TEST(MinimisedIconOrigin, CentresWithOddRemaindersRoundedUp) {
    struct Case {
        int clientW, clientH, iconW, iconH, x, y;
    } cases[] = {
        {36, 36, 32, 32, 2, 2},    // even margins
        {37, 35, 32, 32, 3, 2},    // an odd margin puts the extra pixel on the left/top side
        {160, 24, 32, 32, 64, -3}, // a client lower than the icon: rounded towards zero
        {32, 32, 32, 32, 0, 0},    {0, 0, 32, 32, -15, -15},
    };
    for (const Case& c : cases) {
        CIconOrigin origin = MinimisedIconOrigin(c.clientW, c.clientH, c.iconW, c.iconH);
        EXPECT_EQ(origin.x, c.x) << c.clientW << "x" << c.clientH;
        EXPECT_EQ(origin.y, c.y) << c.clientW << "x" << c.clientH;
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

// The Interface list is sorted by its combo box, and its indexes are COM indexes (0 is Com1) in
// the profile and at Start: sorting must leave the entries where they are. The combo box
// compares without regard to case.
TEST(DialogLists, SortingTheInterfaceListKeepsComIndexes) {
    std::vector<std::string> entries(std::begin(kInterfaceEntries), std::end(kInterfaceEntries));
    std::vector<std::string> sorted = entries;
    auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const std::string& a, const std::string& b) {
        return lower(a) < lower(b);
    });
    EXPECT_EQ(sorted, entries);
    for (size_t index = 0; index < entries.size(); ++index) {
        EXPECT_EQ(entries[index], "Com" + std::to_string(index + 1));
    }
}

} // namespace
