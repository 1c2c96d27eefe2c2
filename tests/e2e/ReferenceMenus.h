#pragma once

// Menus that this process draws the way the program ought to draw its own. Wine keeps a menu
// inside the process that made it, so another process cannot read an entry's state; but Wine
// draws every menu with the same code, so a reference menu opened at the same place shows
// exactly the same pixels when the program's menu has exactly the expected entries and states.
// The menus run on a thread of their own, as the program's run on its thread.

#include <windows.h>

#include <atomic>
#include <mutex>

namespace e2e {

class ReferenceMenus {
public:
    ReferenceMenus();
    ~ReferenceMenus();
    ReferenceMenus(const ReferenceMenus&) = delete;
    ReferenceMenus& operator=(const ReferenceMenus&) = delete;

    bool IsReady() const { return owner_ != nullptr; }

    // Opens `popup` at `at` with TrackPopupMenu and flags 0, as the tray icon opens its menu;
    // returns once the menu shows. The caller keeps the menu and destroys it after Close.
    bool Track(HMENU popup, POINT at);

    // Shows a stand-in window with these styles at `rect`, lets `prepare` change its system menu
    // (null: left as the system makes it), and opens that menu as Alt+Space does; returns once
    // it shows.
    bool TrackSystemMenu(DWORD style, DWORD exStyle, const RECT& rect, void (*prepare)(HMENU));

    // Ends the open menu and removes the stand-in window; true once no menu of this process shows.
    bool Close();

private:
    static DWORD WINAPI Run(void* context);
    static LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void OnTrack();
    void OnTrackSystemMenu();

    DWORD creator_;
    HANDLE thread_;
    HWND owner_;
    HANDLE ready_;
    std::atomic<bool> tracking_;

    std::mutex requestLock_;
    HMENU popup_;
    POINT at_;
    DWORD style_;
    DWORD exStyle_;
    RECT rect_;
    void (*prepare_)(HMENU);
};

} // namespace e2e
