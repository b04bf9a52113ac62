// What the window hands the toolkit for its file chooser and its message boxes.

#include "platform/message_box.h"
#include "ui/wx/file_chooser.h"
#include "ui/wx/toolkit_message_box.h"

#include <gtest/gtest.h>
#include <wx/arrstr.h>
#include <wx/filedlg.h>
#include <wx/filefn.h>
#include <wx/msgdlg.h>

namespace {

TEST(FileChooser, OneFilterThatShowsEveryFile) {
    struct Case {
        bool globPatterns;
        const char* pattern;
    };
    for (Case c : {Case{true, "*"}, Case{false, "*.*"}}) {
        SCOPED_TRACE(c.globPatterns ? "glob patterns" : "Windows patterns");
        CFileChooserSetup setup = FileChooserSetup("/home/user/firmware", c.globPatterns);
        EXPECT_EQ(setup.directory.utf8_string(), "/home/user/firmware");
        EXPECT_EQ(setup.fileName.utf8_string(), "*.*");
        EXPECT_EQ(setup.style, wxFD_OPEN | wxFD_FILE_MUST_EXIST);
        // The filters as the toolkit's chooser reads them.
        wxArrayString names, patterns;
        ASSERT_EQ(wxParseCommonDialogsFilter(setup.wildcard, names, patterns), 1);
        EXPECT_EQ(names[0].utf8_string(), "All Files(*.*)");
        EXPECT_EQ(patterns[0].utf8_string(), c.pattern);
        if (c.globPatterns) {
            for (const char* name : {"firmware.s19", "FIRMWARE", "image.srec.bak", ".hidden"}) {
                EXPECT_TRUE(wxMatchWild(patterns[0], name, false)) << name;
            }
        }
    }
    // This program's toolkit is GTK.
    EXPECT_TRUE(ToolkitReadsPatternsAsGlobs());
}

TEST(ToolkitMessageBox, ButtonsAndExactlyTheIconTheTypeAsksFor) {
    struct Case {
        unsigned type;
        long style;
    };
    const Case cases[] = {
        {kMbOk, wxOK | wxICON_NONE},
        {kMbOk | kMbIconInformation, wxOK | wxICON_INFORMATION},
        {kMbOk | kMbIconError, wxOK | wxICON_ERROR},
        {kMbOk | kMbIconQuestion, wxOK | wxICON_QUESTION},
        {kMbOk | kMbIconWarning, wxOK | wxICON_WARNING},
        {kMbRetryCancel, wxYES_NO | wxICON_NONE},
        {kMbRetryCancel | kMbIconWarning, wxYES_NO | wxICON_WARNING},
        {kMbOk | 0x80, wxOK | wxICON_NONE}, // a program's own icon, which the core never has
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MessageBoxStyle(c.type), c.style)
            << std::hex << "type 0x" << c.type << ", style 0x" << MessageBoxStyle(c.type);
    }
}

} // namespace
