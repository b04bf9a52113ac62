#include "ui/wx/toolkit_message_box.h"

#include "platform/message_box.h"

#include <wx/msgdlg.h>

long MessageBoxStyle(unsigned type) {
    long buttons = (type & kMbButtonMask) == kMbRetryCancel ? wxYES_NO : wxOK;
    // The toolkit picks an icon of its own (information, or a question for yes/no) unless it is
    // told that there is none.
    long icon = wxICON_NONE;
    switch (type & kMbIconMask) {
    case kMbIconError:
        icon = wxICON_ERROR;
        break;
    case kMbIconQuestion:
        icon = wxICON_QUESTION;
        break;
    case kMbIconWarning:
        icon = wxICON_WARNING;
        break;
    case kMbIconInformation:
        icon = wxICON_INFORMATION;
        break;
    default:
        break;
    }
    return buttons | icon;
}

int ShowToolkitMessageBox(wxWindow* parent, const std::string& text, const std::string& caption,
                          unsigned type) {
    long style = MessageBoxStyle(type);
    if ((type & kMbButtonMask) == kMbRetryCancel) {
        wxMessageDialog box(parent, wxString::FromUTF8(text), wxString::FromUTF8(caption), style);
        box.SetYesNoLabels("&Retry", "&Cancel");
        return box.ShowModal() == wxID_YES ? kIdRetry : kIdCancel;
    }
    wxMessageDialog box(parent, wxString::FromUTF8(text), wxString::FromUTF8(caption), style);
    box.ShowModal();
    return kIdOk;
}
