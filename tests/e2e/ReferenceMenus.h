#pragma once

// Menus that this process draws the way the program ought to draw its own. Wine keeps a menu
// inside the process that made it, so another process cannot read an entry's state; but Wine
// draws every menu with the same code, so a reference menu opened at the same place shows
// exactly the same pixels when the program's menu has exactly the expected entries and states.
// Each menu runs on a thread of its own, as the program's run on its thread.

#include <windows.h>

#include <atomic>
#include <functional>
#include <thread>

namespace e2e {

class ReferenceMenus {
public:
    ~ReferenceMenus() { Close(); }

    // Opens `popup` at `at` with TrackPopupMenu and flags 0, as the tray icon opens its menu;
    // returns once the menu shows. The caller keeps the menu and destroys it after Close.
    bool Track(HMENU popup, POINT at);

    // Shows a stand-in window with these styles at `rect`, lets `prepare` change its system menu
    // (null: left as the system makes it), and opens that menu as Alt+Space does; returns once
    // it shows.
    bool TrackSystemMenu(DWORD style, DWORD exStyle, const RECT& rect, void (*prepare)(HMENU));

    // Ends the open menu and its thread; true once no menu of this process shows.
    bool Close();

private:
    // Makes a window with these styles on a thread of its own, on this thread's desktop, runs
    // `open` there with it, and returns once a menu of this process shows.
    bool Open(DWORD style, DWORD exStyle, const RECT& rect, std::function<void(HWND)> open);

    std::thread thread_;
    std::atomic<HWND> window_{nullptr};
    std::atomic<bool> tracking_{false};
};

} // namespace e2e
