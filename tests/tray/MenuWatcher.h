#pragma once

// Looks at the tray menu while TrackPopupMenu holds it open, then closes it by keyboard. The
// menu's own loop dispatches the watcher's thread timer; once the popup window is visible the
// watcher records what it shows and posts its keys to it.

#include <windows.h>

#include <vector>

struct MenuObservation {
    bool opened = false;
    HMENU menu = nullptr; // the tracked submenu, from MN_GETHMENU
    RECT rect = {};       // of the popup window
    HWND foreground = nullptr;
    UINT defaultPosition = static_cast<UINT>(-1);
    UINT firstItemState = 0; // fState of position 0
    UINT cpuStates[3] = {};  // GetMenuState of 137, 138, 139
};

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
