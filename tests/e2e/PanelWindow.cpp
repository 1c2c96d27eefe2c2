#include "PanelWindow.h"

#include "ChildProcess.h"
#include "PanelIds.h"

namespace e2e {

namespace {

std::string Narrow(const wchar_t* text) {
    char narrow[512] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
    return narrow;
}

} // namespace

std::string WindowText(HWND window) {
    wchar_t text[256] = {};
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(window, WM_GETTEXT, ARRAYSIZE(text), reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, test::kWaitMs, &copied)) {
        return std::string();
    }
    return Narrow(text);
}

std::string ClassOf(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof(name));
    return name;
}

POINT CentreOf(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return POINT{(rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2};
}

bool CaptionPoint(HWND window, LRESULT hit, POINT& at) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    const int frame = GetSystemMetrics(SM_CYFIXEDFRAME);
    const LONG y = rect.top + frame + GetSystemMetrics(SM_CYCAPTION) / 2;
    LONG first = -1, last = -1;
    for (LONG x = rect.left; x < rect.right; ++x) {
        DWORD_PTR answer = HTNOWHERE;
        SendMessageTimeoutA(window, WM_NCHITTEST, 0, MAKELPARAM(x, y), SMTO_ABORTIFHUNG,
                            test::kWaitMs, &answer);
        if (static_cast<LRESULT>(answer) == hit) {
            if (first < 0) {
                first = x;
            }
            last = x;
        }
    }
    if (first < 0) {
        return false;
    }
    at = POINT{(first + last) / 2, y};
    return true;
}

std::vector<HWND> VisibleMenus(DWORD processId) {
    return test::VisibleTopLevels(processId, panel::kMenuClass);
}

std::vector<HWND> WaitForMenus(DWORD processId, size_t count) {
    std::vector<HWND> menus;
    test::WaitUntil([&] { return (menus = VisibleMenus(processId)).size() == count; });
    return menus;
}

} // namespace e2e
