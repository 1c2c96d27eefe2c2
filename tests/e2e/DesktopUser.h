#pragma once

// The user at the X display: mouse, keyboard and screen, through the host's xdotool and
// ImageMagick's import. Wine starts Unix programs from CreateProcess like its own, so the tests
// drive the display without leaving the Windows side. Positions are screen coordinates, which
// in Wine's virtual desktop (at the X origin) and on the X root are also X root coordinates.

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

// Copies of the executable under other names go here, and the host programs' exit statuses.
inline constexpr char kWorkDir[] = KESTREL_E2E_WORK_DIR;

bool MoveMouse(POINT at);
bool ClickAt(POINT at, int button = 1); // button 3: the right one
bool DoubleClickAt(POINT at);
// Clicks entry `index` of a popup menu window with `count` entries of equal height.
bool ClickMenuEntry(HWND menu, int index, int count);

// Gives `window`'s X window the X input focus, then types `keys` (xdotool key names such as
// "Escape", "alt+space", "x"). Wine hands a key to the thread of the X window that received it,
// so the focus must sit on a window of the program that is meant to get the key.
bool PressKeys(HWND window, const std::vector<std::string>& keys);

// Saves the whole screen as <build>/screenshots/<name>.png, once `painted` (if any) is painted.
bool SaveScreenshot(const std::string& name, HWND painted = nullptr);
std::string ScreenshotPath(const std::string& name);

} // namespace e2e
