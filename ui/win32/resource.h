// Identifiers of the Windows dialog's resources, shared by the resource script and the window.
// Classic include guards rather than #pragma once: the resource compiler reads this file too.
#ifndef TOVIK_UI_WIN32_RESOURCE_H
#define TOVIK_UI_WIN32_RESOURCE_H

// windows.h leaves this to each program's resources: the ID of controls nobody addresses.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

#define IDD_TOVIK_DIALOG 102
#define IDR_MAINFRAME 128
// The search animation: the clip's resource, and the control made at run time to play it.
#define IDR_SEARCH_AVI 130
#define IDC_ANIMATE 130

#define IDC_START 1000
#define IDC_INTERFACE 1001
#define IDC_BAUDRATE 1002
#define IDC_PROGRESS 1012
#define IDC_PATH 1013
#define IDC_SEARCH 1014
#define IDC_STOP 1018
#define IDC_STATUS 1024

#endif
