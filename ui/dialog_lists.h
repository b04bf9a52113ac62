#pragma once
// The dialog's two lists: their entries, in the order the lists hold them, and how the text a
// list shows names one of them. Both windows fill their lists from here and read them back
// through it, so a typed text means the same entry on every toolkit.

#include "ui/dialog_view.h"

#include <string>

struct CDialogList {
    const char* const* entries;
    int count;
};

// Interface: index i is COM i+1, in the profile and at Start. The windows' lists sort their
// entries; these are in sorted order already, so sorting leaves every index in place.
extern const CDialogList kInterfaceList;
// Baudrate: index 0 is the automatic search, the others the fixed rates.
extern const CDialogList kBaudrateList;

// The entries of the list control (kInterface or kBaudrate).
const CDialogList& ListOf(CDialogView::Control list);

// The entry that text names, whatever its case; -1 when it names none (an empty text included).
int ListEntryIndex(const CDialogList& list, const std::string& text);
// index when it is an entry of list, else -1 (nothing selected).
int ListEntryOrNone(const CDialogList& list, int index);
