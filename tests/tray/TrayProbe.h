#pragma once

// A CSystemTray whose fields the tests read, the tray menu's commands, and what the shell says
// about an icon.

#include "CSystemTray.h"

#include <windows.h>

#include <shellapi.h>

constexpr UINT kTrayIconId = 135;
constexpr UINT kRestoreCommand = 0x8003;
constexpr UINT kExitCommand = 0x8004;
constexpr UINT kCpuLowCommand = 137;
constexpr UINT kCpuMediumCommand = 138;
constexpr UINT kCpuHighCommand = 139;

class TrayProbe : public CSystemTray {
public:
    using CSystemTray::defaultItem;
    using CSystemTray::defaultItemByPosition;
    using CSystemTray::iconData;
    using CSystemTray::iconShown;
};

// An icon as the shell knows it, by window and id, in the original 88-byte form.
inline NOTIFYICONDATAA IconKey(HWND window, UINT id) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = window;
    icon.uID = id;
    return icon;
}

// True if the shell holds an icon for (window, id): a modification succeeds only then.
inline bool ShellHasIcon(HWND window, UINT id) {
    NOTIFYICONDATAA probe = IconKey(window, id);
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

inline void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}
