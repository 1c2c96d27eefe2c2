#include "TrayArea.h"

#include "PanelWindow.h"

#include <shellapi.h>

namespace e2e {

namespace {

// Wine's shell draws an icon in a square of the small-icon size and a 2-pixel border.
constexpr int kIconBorder = 2;

struct TooltipSearch {
    HWND taskbar;
    std::string text;
};

BOOL CALLBACK FindVisibleTooltip(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TooltipSearch*>(context);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    if (lstrcmpiA(className, "tooltips_class32") != 0 || !IsWindowVisible(window) ||
        GetWindow(window, GW_OWNER) != search->taskbar) {
        return TRUE;
    }
    search->text = WindowText(window);
    return FALSE;
}

} // namespace

HWND Taskbar() {
    return FindWindowA("Shell_TrayWnd", nullptr);
}

POINT FirstIconPoint() {
    RECT bar = {};
    GetWindowRect(Taskbar(), &bar);
    const int slot = GetSystemMetrics(SM_CXSMICON) + 2 * kIconBorder;
    return POINT{bar.right - slot / 2, (bar.top + bar.bottom) / 2};
}

bool ShellHasIcon(HWND owner, UINT id) {
    NOTIFYICONDATAA probe = {};
    probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
    probe.hWnd = owner;
    probe.uID = id;
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

std::string VisibleTooltip() {
    TooltipSearch search = {Taskbar(), std::string()};
    EnumWindows(FindVisibleTooltip, reinterpret_cast<LPARAM>(&search));
    return search.text;
}

HWND TaskbarButton(HWND window) {
    HWND taskbar = Taskbar();
    for (HWND child = GetWindow(taskbar, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
        if (GetWindowLongPtrA(child, GWLP_ID) == reinterpret_cast<LONG_PTR>(window)) {
            return child;
        }
    }
    return nullptr;
}

} // namespace e2e
