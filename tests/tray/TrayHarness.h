#pragma once

// What the tray tests put around CSystemTray: a tray whose fields they read, a stand-in for the
// panel as the application's main window, and a watcher of the tray menu while it is open.

#include "CSystemTray.h"
#include "CWnd.h"
#include "PanelIds.h"

#include <windows.h>

#include <vector>

class TrayProbe : public CSystemTray {
public:
    using CSystemTray::defaultItem;
    using CSystemTray::defaultItemByPosition;
    using CSystemTray::iconData;
    using CSystemTray::iconShown;
    using CSystemTray::kRetryTimer;
};

struct ReceivedMessage {
    UINT message; // WM_COMMAND or WM_NULL
    WPARAM wParam;
    LPARAM lParam;
    HWND foreground; // the foreground window when it arrived
};

// Records the commands and the WM_NULL messages that reach it, in arrival order.
class MainWindowStub : public CWnd {
public:
    // A hidden popup at (x, 100), as the panel is while it sits in the notification area.
    bool Create(int x) {
        return CreateEx(0, AfxRegisterWndClass(0), "tray test main window", WS_POPUP, x, 100, 60,
                        40, nullptr, nullptr) != FALSE;
    }
    std::vector<ReceivedMessage> Commands() const;
    int NullCount() const;

    std::vector<ReceivedMessage> received;

protected:
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;
};

inline constexpr UINT kCpuCommands[] = {panel::kCpuLow, panel::kCpuMedium, panel::kCpuHigh};

struct MenuObservation {
    bool opened = false;
    HMENU menu = nullptr; // the tracked submenu, from MN_GETHMENU
    RECT rect = {};       // of the popup window
    HWND foreground = nullptr;
    UINT defaultPosition = static_cast<UINT>(-1);
    UINT firstItemState = 0; // fState of position 0
    UINT cpuStates[3] = {};  // GetMenuState of each of kCpuCommands
};

// Looks at the tray menu while TrackPopupMenu holds it open, then closes it by keyboard. The
// menu's own loop dispatches the watcher's thread timer; once the popup window is visible the
// watcher records what it shows and posts its keys to it.
class MenuWatcher {
public:
    struct Key {
        UINT message; // WM_KEYDOWN with a virtual key, or WM_CHAR with a character
        WPARAM code;
    };

    explicit MenuWatcher(std::vector<Key> keys);
    ~MenuWatcher();
    MenuWatcher(const MenuWatcher&) = delete;
    MenuWatcher& operator=(const MenuWatcher&) = delete;

    const MenuObservation& Seen() const { return seen_; }

private:
    static void CALLBACK OnTimer(HWND window, UINT message, UINT_PTR timer, DWORD time);
    void Look();

    std::vector<Key> keys_;
    MenuObservation seen_;
    UINT_PTR timer_;
};

// The visible popup-menu window ("#32768") of this process, or null.
HWND FindMenuWindow();

inline const MenuWatcher::Key kEscape = {WM_KEYDOWN, VK_ESCAPE};
