#pragma once

// What the panel leaves where other programs can read it: its stored settings, the window it
// publishes for a second copy, its icon in the notification area.

#include "PanelIds.h"

#include <windows.h>

#include <optional>
#include <string>

namespace panel {

// "software\Quillmar\<appName>\KESTREL", below HKEY_CURRENT_USER.
std::string SettingsKey(const std::string& appName = kAppName);
// The stored clock source, or -2 when it is missing or not a REG_DWORD.
long StoredClockSource(const std::string& appName = kAppName);
bool StoreClockSource(DWORD value, const std::string& appName = kAppName);
// Stores the clock source as a value of another type (REG_SZ, REG_BINARY...).
bool StoreClockSourceAs(DWORD type, const void* data, DWORD size,
                        const std::string& appName = kAppName);
// Removes the application's whole key, "software\Quillmar\<appName>".
void DeleteSettings(const std::string& appName = kAppName);

// The window handle in the published single-instance block, or nothing when there is no block.
std::optional<HWND> PublishedWindow();

// Sends `message` (NIM_ADD, NIM_MODIFY, NIM_DELETE) for the icon (window, id) as another program
// would: the shell knows an icon by its window and id; the original 88-byte form, no flags.
bool ShellIcon(DWORD message, HWND window, UINT id = kTrayIconId);
// True if the shell holds an icon for (window, id): a change with no flags succeeds only then.
bool ShellHasIcon(HWND window, UINT id = kTrayIconId);
// Takes the icon (window, id) out of the notification area, as a shell that lost it would.
bool ForgetIcon(HWND window, UINT id = kTrayIconId);
// The window of process `processId` for which the shell holds icon `id`, or null.
HWND TrayIconOwner(DWORD processId, UINT id = kTrayIconId);

// The shell's taskbar, and its button for `window` (null when it has none).
HWND Taskbar();
HWND TaskbarButton(HWND window);
// Hidden in the tray, the one meaning that the tests and the bench give it: `window` is
// minimised and not visible, has no visible taskbar button (Wine 8's taskbar keeps a hidden one
// for a hidden window, Wine 10's has none), and the shell holds its process's icon `iconId`.
// Empty when so; otherwise the window's state.
std::string NotHiddenInTray(HWND window, UINT iconId = kTrayIconId);
inline bool IsHiddenInTray(HWND window, UINT iconId = kTrayIconId) {
    return NotHiddenInTray(window, iconId).empty();
}

} // namespace panel
