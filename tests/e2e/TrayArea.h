#pragma once

// The taskbar of Wine's virtual desktop, read from another process. Wine's shell ("Shell_TrayWnd",
// in explorer.exe) draws the notification-area icons itself, right to left from its right end,
// each GetSystemMetrics(SM_CXSMICON) + 4 pixels square; it keeps one tooltip window per icon,
// and one owner-drawn button per top-level window, whose control id is that window's handle and
// which is visible while the window is.

#include <windows.h>

#include <string>

namespace e2e {

HWND Taskbar();

// The centre of the first (rightmost) icon of the notification area, in screen coordinates.
POINT FirstIconPoint();

// True if the shell holds an icon for (owner, id): a modification of it succeeds only then.
bool ShellHasIcon(HWND owner, UINT id);

// The text of the shell's tooltip that is showing, or "" while none is.
std::string VisibleTooltip();

// The taskbar's button for `window`, or null when it has none.
HWND TaskbarButton(HWND window);

} // namespace e2e
