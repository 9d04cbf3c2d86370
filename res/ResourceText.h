#pragma once
// The ids and texts of the program's string table and About box, in one place for both systems:
// the Linux resource table (res/Resources_posix.cpp) and the Windows resource script
// (res/Resources.rc), which the resource compiler reads through the C preprocessor. So this file
// holds preprocessor definitions only, and no namespace (the resource compiler knows none).

#define IDS_ABOUTBOX 101
#define IDS_ABOUT_VERSION 102
#define IDS_ABOUT_DESCRIPTION 103
#define IDS_ABOUT_TITLE 104

#define TX_TEXT_ABOUTBOX "&About TarvelXConnect Extended..."
#define TX_TEXT_ABOUT_VERSION "TarvelX Connect Extended. v.1.2.x.x."
#define TX_TEXT_ABOUT_DESCRIPTION "Remote MCDU and flight data."
#define TX_TEXT_ABOUT_TITLE "About program"

// Dialog templates: the main window and the About box.
#define IDD_MAIN_WINDOW 102
#define IDD_ABOUTBOX 100
// The main window's two picture controls: the status lamp and the exit strip.
#define IDC_PICTURE_ONLINE 1045
#define IDC_PICTURE_EXIT 1046

// The program's icon group and the skin bitmap.
#define IDR_MAINFRAME 128
#define IDB_SKIN 129
