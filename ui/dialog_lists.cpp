#include "ui/dialog_lists.h"

#include <cctype>

namespace {

const char* const kInterfaceEntries[] = {"Com1", "Com2", "Com3", "Com4", "Com5",
                                         "Com6", "Com7", "Com8", "Com9"};
const char* const kBaudrateEntries[] = {"AUTO", "38400", "57600", "115200"};

bool SameIgnoringCase(const std::string& a, const char* b) {
    size_t i = 0;
    for (; i < a.size() && b[i]; ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) !=
            std::tolower(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return i == a.size() && !b[i];
}

} // namespace

const CDialogList kInterfaceList = {kInterfaceEntries, 9};
const CDialogList kBaudrateList = {kBaudrateEntries, 4};

const CDialogList& ListOf(CDialogView::Control list) {
    return list == CDialogView::kInterface ? kInterfaceList : kBaudrateList;
}

int ListEntryIndex(const CDialogList& list, const std::string& text) {
    for (int i = 0; i < list.count; ++i) {
        if (SameIgnoringCase(text, list.entries[i])) {
            return i;
        }
    }
    return -1;
}

int ListEntryOrNone(const CDialogList& list, int index) {
    return index >= 0 && index < list.count ? index : -1;
}
