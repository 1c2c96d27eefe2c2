// Resource ids of Quillmar KESTREL.exe, shared by the .rc and the program's code.
#pragma once

#define IDD_ABOUTBOX 100
#define IDS_ABOUTBOX 101
#define IDD_KESTREL_DIALOG 102
#define IDR_MAINFRAME 128
#define IDB_ABOUT_BACKGROUND 130
#define IDB_PANEL_BACKGROUND 134
#define IDR_TRAY_MENU 135
#define ID_CPU_LOW 137
#define ID_CPU_MEDIUM 138
#define ID_CPU_HIGH 139
#define IDC_SAMPLE_RATE 1000
#define IDC_CLOCK_SOURCE 1001
#define IDC_BUFFER_SIZE 1003
#define IDC_DONE 1007
#define ID_TRAY_RESTORE 0x8003
#define ID_TRAY_EXIT 0x8004

// The About entry that the panel appends to its system menu (a system-menu command: the low
// four bits stay clear).
#define IDM_ABOUTBOX 0x0010

// The type of dialog initialisation data (initial list entries).
#define RT_DLGINIT 240
