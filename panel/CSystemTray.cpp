#include "CSystemTray.h"

#include "CWinApp.h"
#include "DeviceGlobals.h"
#include "resource.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <type_traits>

IMPLEMENT_RUNTIME_CLASS(CSystemTray, CWnd)

namespace {

#if !defined(_WIN64)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the original NOTIFYICONDATAA is 88 bytes");
#endif

// szTip of the original form, terminator included.
constexpr int kTipCapacity = 64;
static_assert(sizeof(NOTIFYICONDATAA::szTip) >= static_cast<std::size_t>(kTipCapacity));

struct CpuLevelEntry {
    std::int32_t level;
    UINT command;
};

constexpr CpuLevelEntry kCpuLevels[] = {
    {1000, ID_CPU_HIGH},
    {2000, ID_CPU_MEDIUM},
    {4000, ID_CPU_LOW},
};

// The order in which the CPU entries are checked or unchecked.
constexpr UINT kCpuCommands[] = {ID_CPU_LOW, ID_CPU_MEDIUM, ID_CPU_HIGH};

struct MenuDestroyer {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using LoadedMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroyer>;

LoadedMenu LoadTrayMenu(UINT id) {
    return LoadedMenu(LoadMenuA(AfxGetResourceHandle(), MAKEINTRESOURCEA(id)));
}

BYTE MajorSystemVersion() {
#if defined(_MSC_VER)
#pragma warning(suppress : 4996) // GetVersion is deprecated; only the major version is needed
#endif
    DWORD version = GetVersion();
    return LOBYTE(LOWORD(version));
}

// Commands go to the application's main window as it is when the event arrives.
HWND TargetWindow() {
    CWinApp* app = AfxGetApp();
    CWnd* mainWindow = app == nullptr ? nullptr : app->m_pMainWnd;
    return mainWindow == nullptr ? nullptr : mainWindow->m_hWnd;
}

} // namespace

CSystemTray::CSystemTray()
    : iconShown(FALSE), iconData{}, defaultItem(0), defaultItemByPosition(TRUE),
      taskbarCreatedMessage(0), retryTimer(0), retryStart(0) {}

CSystemTray::~CSystemTray() {
    DeleteTrayIcon();
    DestroyWindow();
}

BOOL CSystemTray::CreateTrayIcon(CWnd* window, UINT message, const char* tip, HICON icon, UINT id) {
    // A second add would otherwise leave the first icon behind with no way to remove it.
    DeleteTrayIcon();
    // Notification-area icons came with version 4 of the system.
    iconShown = MajorSystemVersion() >= 4;
    if (!iconShown) {
        return FALSE;
    }

    taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
    CreateEx(0, AfxRegisterWndClass(0), "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);

    HWND notified = window == nullptr ? nullptr : window->m_hWnd;
    iconData = {};
    iconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    iconData.hWnd = notified != nullptr ? notified : m_hWnd;
    iconData.uID = id;
    iconData.hIcon = icon;
    iconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    iconData.uCallbackMessage = message;
    lstrcpynA(iconData.szTip, tip != nullptr ? tip : "", kTipCapacity);

    iconShown = Shell_NotifyIconA(NIM_ADD, &iconData);
    if (!iconShown) {
        RetryAddLater();
    }
    return iconShown;
}

void CSystemTray::DeleteTrayIcon() {
    StopRetries();
    // The icon is no longer asked for, so that no later "TaskbarCreated", wake or retry brings
    // it back. An add reported as failed may still have been taken (one that timed out while
    // the shell was busy), so any icon that was asked for is removed from the shell.
    const bool askedFor = iconData.uFlags != 0;
    iconData.uFlags = 0;
    iconShown = FALSE;
    if (askedFor) {
        Shell_NotifyIconA(NIM_DELETE, &iconData);
    }
}

LRESULT CSystemTray::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == iconData.uCallbackMessage) {
        return HandleTrayMessage(wParam, lParam);
    }
    if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
        OnTaskbarCreated();
        return 0;
    }
    if (message == WM_TIMER && wParam == kRetryTimer) {
        OnRetryTimer();
        return 0;
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

void CSystemTray::OnTaskbarCreated() {
    // uFlags is set by CreateTrayIcon and cleared by DeleteTrayIcon: an icon that was asked
    // for, and never deleted, whether the shell took it or not.
    if (iconData.uFlags == 0) {
        return;
    }
    AddIconAgainOrLater();
}

void CSystemTray::RestoreIconIfLost() {
    if (iconData.uFlags == 0) {
        return;
    }
    // A change of nothing succeeds exactly while the shell holds the icon.
    NOTIFYICONDATAA held = iconData;
    held.uFlags = 0;
    if (Shell_NotifyIconA(NIM_MODIFY, &held)) {
        iconShown = TRUE;
        StopRetries();
        return;
    }
    AddIconAgainOrLater();
}

void CSystemTray::AddIconAgain() {
    // A new shell holds no icons. One that kept ours refuses a second add of it; the icon is
    // there all the same, so it is brought up to date instead and counts as shown, so that the
    // panel's end still removes it.
    iconShown = Shell_NotifyIconA(NIM_ADD, &iconData) || Shell_NotifyIconA(NIM_MODIFY, &iconData);
    if (iconShown) {
        StopRetries();
    }
}

void CSystemTray::AddIconAgainOrLater() {
    AddIconAgain();
    if (!iconShown) {
        RetryAddLater();
    }
}

void CSystemTray::RetryAddLater() {
    if (m_hWnd == nullptr) {
        return;
    }
    retryStart = GetTickCount();
    retryTimer = SetTimer(m_hWnd, kRetryTimer, kRetryIntervalMs, nullptr);
}

void CSystemTray::StopRetries() {
    if (retryTimer != 0) {
        KillTimer(m_hWnd, retryTimer);
        retryTimer = 0;
    }
}

void CSystemTray::OnRetryTimer() {
    // Another program can post this message too: only retries that run act on it, and a
    // deleted icon has none.
    if (retryTimer == 0) {
        return;
    }
    AddIconAgain();
    if (!iconShown && GetTickCount() - retryStart >= kRetryTimeMs) {
        StopRetries();
    }
}

LRESULT CSystemTray::HandleTrayMessage(WPARAM wParam, LPARAM lParam) {
    if (static_cast<UINT>(wParam) != iconData.uID) {
        return 0;
    }
    HWND target = TargetWindow();
    UINT event = LOWORD(lParam);
    // Once the menu has closed or the command has been handled, only locals are used: the panel
    // may have deleted this object meanwhile.

    if (event == WM_RBUTTONUP) {
        LoadedMenu menu = LoadTrayMenu(iconData.uID);
        if (!menu) {
            return 0;
        }
        HMENU popup = GetSubMenu(menu.get(), 0);
        if (popup == nullptr) {
            return 0;
        }
        SetMenuDefaultItem(popup, defaultItem, defaultItemByPosition);
        UINT cpuCommand = CurrentCpuMenuItem();
        for (UINT command : kCpuCommands) {
            CheckMenuItem(popup, command,
                          MF_BYCOMMAND | (command == cpuCommand ? MF_CHECKED : MF_UNCHECKED));
        }
        POINT cursor = {};
        GetCursorPos(&cursor);
        // Without the foreground the menu would not close when the user clicks elsewhere.
        SetForegroundWindow(target);
        TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, target, nullptr);
        // Makes the target's thread run once more, so that the menu can be dismissed properly
        // the next time it opens.
        PostMessageA(target, WM_NULL, 0, 0);
    } else if (event == WM_LBUTTONDBLCLK) {
        SetForegroundWindow(target);
        UINT command = defaultItem;
        LoadedMenu menu;
        if (defaultItemByPosition) {
            menu = LoadTrayMenu(iconData.uID);
            if (!menu) {
                return 0;
            }
            HMENU popup = GetSubMenu(menu.get(), 0);
            if (popup == nullptr) {
                return 0;
            }
            command = GetMenuItemID(popup, static_cast<int>(defaultItem));
            // A submenu or a missing position has no command to send.
            if (command == static_cast<UINT>(-1)) {
                return 0;
            }
        }
        SendMessageA(target, WM_COMMAND, command, 0);
    }
    return 1;
}

UINT CSystemTray::CurrentCpuMenuItem() {
    CpuLevelRecord record;
    if (g_controlChannel.GetCpuLevel(record) != 0) {
        return 0;
    }
    for (const CpuLevelEntry& entry : kCpuLevels) {
        if (entry.level == record.level) {
            return entry.command;
        }
    }
    return 0;
}
