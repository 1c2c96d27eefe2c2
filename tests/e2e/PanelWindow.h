#pragma once

// Windows of another process, read back through Win32. Window text is asked for with a sent
// WM_GETTEXT (GetWindowText returns only the stored caption of a foreign window), and list
// entries with SendMessageW(CB_GETLBTEXT): Wine 8 answers a foreign CB_GETLBTEXTA in UTF-16.

#include <windows.h>

#include <string>
#include <vector>

namespace e2e {

std::string WindowText(HWND window);
std::string ClassOf(HWND window);
std::vector<std::string> ListTexts(HWND list);
// The selected entry's text, or "<none>".
std::string SelectedText(HWND list);

POINT CentreOf(HWND window);
// A point of the non-client element `hit` (HTMINBUTTON, HTCLOSE, ...) on the caption's middle
// row, found by asking the window itself (WM_NCHITTEST); false if the caption has none.
bool CaptionPoint(HWND window, LRESULT hit, POINT& at);

// The process's visible top-level windows of a class, in z-order from the top.
std::vector<HWND> VisibleTopLevels(DWORD processId, const char* className);
// The process's visible popup menus, in z-order from the top.
std::vector<HWND> VisibleMenus(DWORD processId);
// The same once exactly `count` show, or as they are at the limit (test::kWaitMs).
std::vector<HWND> WaitForMenus(DWORD processId, size_t count);

} // namespace e2e
