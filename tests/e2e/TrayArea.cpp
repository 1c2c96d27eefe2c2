#include "TrayArea.h"

#include "PanelWindow.h"
#include "StartProcess.h"

#include <shellapi.h>

namespace e2e {

namespace {

// Wine's shell draws an icon in a square of the small-icon size and a 2-pixel border.
constexpr int kIconBorder = 2;

struct TooltipSearch {
    DWORD shellProcess;
    std::string text;
};

// The shell knows an icon by its owner window and id; the original 88-byte form.
NOTIFYICONDATAA IconKey(HWND owner, UINT id) {
    NOTIFYICONDATAA icon = {};
    icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
    icon.hWnd = owner;
    icon.uID = id;
    return icon;
}

BOOL CALLBACK FindVisibleTooltip(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<TooltipSearch*>(context);
    char className[64] = {};
    GetClassNameA(window, className, sizeof(className));
    // The shell's own tooltip: Wine 8's belongs to the taskbar, Wine 10's to another window of
    // the shell's process.
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (lstrcmpiA(className, "tooltips_class32") != 0 || !IsWindowVisible(window) ||
        owner != search->shellProcess) {
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
    NOTIFYICONDATAA probe = IconKey(owner, id);
    return Shell_NotifyIconA(NIM_MODIFY, &probe) != FALSE;
}

std::string VisibleTooltip() {
    TooltipSearch search = {0, std::string()};
    GetWindowThreadProcessId(Taskbar(), &search.shellProcess);
    EnumWindows(FindVisibleTooltip, reinterpret_cast<LPARAM>(&search));
    return search.text;
}

bool ForgetIcon(HWND owner, UINT id) {
    NOTIFYICONDATAA icon = IconKey(owner, id);
    return Shell_NotifyIconA(NIM_DELETE, &icon) != FALSE;
}

bool AnnounceTaskbar() {
    const UINT message = RegisterWindowMessageA("TaskbarCreated");
    DWORD_PTR result = 0;
    return message != 0 && SendMessageTimeoutA(HWND_BROADCAST, message, 0, 0, SMTO_ABORTIFHUNG,
                                               10000, &result) != 0;
}

bool AnnouncePower(UINT event) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(HWND_BROADCAST, WM_POWERBROADCAST, event, 0, SMTO_ABORTIFHUNG, 10000,
                               &result) != 0;
}

RefusingShell::RefusingShell() {
    HANDLE made = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    const DWORD creator = GetCurrentThreadId();
    thread_ = std::thread([this, made, creator] {
        UseDesktopOf(creator);
        Run(made);
    });
    WaitForSingleObject(made, 10000);
    CloseHandle(made);
}

RefusingShell::~RefusingShell() {
    Close();
}

bool RefusingShell::IsInFront() const {
    return window_ != nullptr && Taskbar() == window_;
}

void RefusingShell::Close() {
    if (!thread_.joinable()) {
        return;
    }
    PostMessageA(window_, WM_CLOSE, 0, 0);
    thread_.join();
}

void RefusingShell::Run(HANDLE made) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = "Shell_TrayWnd";
    RegisterClassA(&windowClass);
    // Topmost and made last: first in the z-order, so first found.
    HWND window = CreateWindowExA(WS_EX_TOPMOST, windowClass.lpszClassName, "", WS_POPUP, 0, 0, 1,
                                  1, nullptr, nullptr, windowClass.hInstance, this);
    window_ = window;
    SetEvent(made);
    if (window == nullptr) {
        return;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        DispatchMessageA(&message);
    }
    window_ = nullptr;
    UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

LRESULT CALLBACK RefusingShell::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTA*>(lParam);
        SetWindowLongPtrA(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* shell = reinterpret_cast<RefusingShell*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (message == WM_COPYDATA) {
        // Shell_NotifyIcon's request: the icon's owner in wParam, the operation in dwData.
        auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        HWND none = nullptr;
        if (shell != nullptr && data->dwData == NIM_ADD) {
            shell->refusedOwner_.compare_exchange_strong(none, reinterpret_cast<HWND>(wParam));
        }
        return FALSE;
    }
    if (message == WM_DESTROY) {
        PostQuitMessage(0);
    }
    return DefWindowProcA(window, message, wParam, lParam);
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
