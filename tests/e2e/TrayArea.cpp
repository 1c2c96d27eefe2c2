#include "TrayArea.h"

#include "ChildProcess.h"
#include "PanelWindow.h"

#include <shellapi.h>

namespace e2e {

namespace {

// Wine's shell draws an icon in a square of the small-icon size and a 2-pixel border.
constexpr int kIconBorder = 2;

// Sends `message` to every top-level window as the system does; returns once each handled it.
bool Broadcast(UINT message, WPARAM wParam) {
    DWORD_PTR result = 0;
    return message != 0 && SendMessageTimeoutA(HWND_BROADCAST, message, wParam, 0, SMTO_ABORTIFHUNG,
                                               test::kWaitMs, &result) != 0;
}

// The shell's own window behind `front`; a case's desktop may still be making it (Wine 10 makes
// it for the desktop's first program).
HWND ShellBehind(HWND front) {
    HWND shell = nullptr;
    test::WaitUntil([&] {
        shell = FindWindowExA(nullptr, front, "Shell_TrayWnd", nullptr);
        return shell != nullptr;
    });
    return shell;
}

} // namespace

POINT FirstIconPoint() {
    RECT bar = {};
    GetWindowRect(Taskbar(), &bar);
    const int slot = GetSystemMetrics(SM_CXSMICON) + 2 * kIconBorder;
    return POINT{bar.right - slot / 2, (bar.top + bar.bottom) / 2};
}

std::string VisibleTooltip() {
    // The shell's own tooltip: Wine 8's belongs to the taskbar, Wine 10's to another window of
    // the shell's process.
    const std::vector<HWND> tips = VisibleTopLevels(test::ProcessOf(Taskbar()), "tooltips_class32");
    return tips.empty() ? std::string() : WindowText(tips[0]);
}

bool AnnounceTaskbar() {
    return Broadcast(RegisterWindowMessageA("TaskbarCreated"), 0);
}

bool AnnouncePower(UINT event) {
    return Broadcast(WM_POWERBROADCAST, event);
}

RefusingShell::RefusingShell(int refusals, bool late)
    : behind_(Taskbar()), refusals_(refusals), late_(late) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&windowClass);
    // Topmost and made last: first in the z-order, so first found.
    window_ = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 1, 1,
                              nullptr, nullptr, windowClass.hInstance, this);
}

void RefusingShell::Close() {
    if (window_ != nullptr) {
        DestroyWindow(window_);
        window_ = nullptr;
        UnregisterClassA("Shell_TrayWnd", GetModuleHandleA(nullptr));
    }
}

LRESULT CALLBACK RefusingShell::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* shell = reinterpret_cast<RefusingShell*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && shell != nullptr) {
        // Shell_NotifyIcon's request: the icon's owner in wParam, the operation in dwData.
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        shell->requests_.push_back(static_cast<DWORD>(data->dwData));
        const bool refused = shell->refusals_ != 0;
        if (shell->refusals_ > 0) {
            --shell->refusals_;
        }
        LRESULT taken = FALSE;
        if (!refused || shell->late_) {
            if (shell->behind_ == nullptr) {
                shell->behind_ = ShellBehind(window);
            }
            taken = SendMessageA(shell->behind_, message, wParam, lParam);
            if (taken != FALSE) {
                shell->taken_.push_back(static_cast<DWORD>(data->dwData));
            }
        }
        if (refused && data->dwData == NIM_ADD && shell->refusedOwner_ == nullptr) {
            shell->refusedOwner_ = reinterpret_cast<HWND>(wParam);
        }
        return refused ? FALSE : taken;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace e2e
