#pragma once

// The taskbar of Wine's virtual desktop, read from another process. Wine's shell ("Shell_TrayWnd",
// in explorer.exe) draws the notification-area icons itself, right to left from its right end,
// each GetSystemMetrics(SM_CXSMICON) + 4 pixels square; it keeps one tooltip window per icon,
// and one button per top-level window (panel::TaskbarButton).

#include "PanelState.h"

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

using panel::Taskbar;
using panel::TaskbarButton;

// The centre of the first (rightmost) icon of the notification area, in screen coordinates.
POINT FirstIconPoint();

// The text of the shell's tooltip that is showing, or "" while none is.
std::string VisibleTooltip();

// Broadcasts "TaskbarCreated" as a Windows shell does once its notification area is made anew
// (Wine's shell never sends it); returns once every top-level window has handled it.
bool AnnounceTaskbar();
// Broadcasts the power event `event` (WM_POWERBROADCAST) as the system does around sleep;
// returns once every top-level window has handled it.
bool AnnouncePower(UINT event);

// A shell whose notification area is not up yet: a window of the shell's class in front of the
// real one (Shell_NotifyIcon hands icons to the first it finds) that refuses every icon, or only
// its first `refusals` requests, handing the rest on to the real shell. With `late`, it hands
// the refused ones on as well, as a shell that takes a request after the call timed out. It
// notes the window whose add it refused first, every request (NIM_ADD, NIM_MODIFY...) in order,
// and those of them that the real shell took. It answers while this thread handles its
// messages, as test::WaitUntil does.
class RefusingShell {
public:
    explicit RefusingShell(int refusals = -1, bool late = false);
    ~RefusingShell() { Close(); }
    RefusingShell(const RefusingShell&) = delete;
    RefusingShell& operator=(const RefusingShell&) = delete;

    // Icons go to this window rather than to the real shell.
    bool IsInFront() const { return window_ != nullptr && Taskbar() == window_; }
    // The owner of the first icon that was refused, or null while none was.
    HWND RefusedOwner() const { return refusedOwner_; }
    const std::vector<DWORD>& Requests() const { return requests_; }
    const std::vector<DWORD>& Taken() const { return taken_; }
    // The window goes; icons go to the real shell again.
    void Close();

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

    HWND window_ = nullptr;
    HWND refusedOwner_ = nullptr;
    HWND behind_ = nullptr; // the real shell
    int refusals_;
    bool late_;
    std::vector<DWORD> requests_;
    std::vector<DWORD> taken_;
};

} // namespace e2e
