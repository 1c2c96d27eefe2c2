#pragma once

// Windows of another process, read back through Win32. Window text is asked for with a sent
// WM_GETTEXT (GetWindowText returns only the stored caption of a foreign window); list entries
// are read by test::ListTexts.

#include "ChildProcess.h"

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
using test::ListTexts;
using test::SelectedText;

POINT CentreOf(HWND window);
// A point of the non-client element `hit` (HTMINBUTTON, HTCLOSE, ...) on the caption's middle
// row, found by asking the window itself (WM_NCHITTEST); false if the caption has none.
bool CaptionPoint(HWND window, LRESULT hit, POINT& at);

using test::VisibleTopLevels;
// The process's visible popup menus, in z-order from the top.
std::vector<HWND> VisibleMenus(DWORD processId);
// The same once exactly `count` show, or as they are at the limit (test::kWaitMs).
std::vector<HWND> WaitForMenus(DWORD processId, size_t count);

} // namespace e2e
