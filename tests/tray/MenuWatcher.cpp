#include "MenuWatcher.h"

#include <utility>

namespace {

// Thread timers carry no context: the one armed watcher of the thread.
MenuWatcher* t_armed = nullptr;

const UINT kCpuCommands[] = {137, 138, 139};

} // namespace

HWND FindMenuWindow() {
    HWND window = nullptr;
    while ((window = FindWindowExA(nullptr, window, MAKEINTATOM(32768), nullptr)) != nullptr) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

MenuWatcher::MenuWatcher(std::vector<Key> keys) : keys_(std::move(keys)), seen_{}, timer_(0) {
    t_armed = this;
    timer_ = SetTimer(nullptr, 0, 20, &MenuWatcher::OnTimer);
}

MenuWatcher::~MenuWatcher() {
    if (timer_ != 0) {
        KillTimer(nullptr, timer_);
    }
    t_armed = nullptr;
}

void CALLBACK MenuWatcher::OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    if (t_armed != nullptr) {
        t_armed->Look();
    }
}

void MenuWatcher::Look() {
    HWND window = FindMenuWindow();
    if (window == nullptr || seen_.opened) {
        return;
    }
    KillTimer(nullptr, timer_);
    timer_ = 0;

    seen_.opened = true;
    seen_.menu = reinterpret_cast<HMENU>(SendMessageA(window, MN_GETHMENU, 0, 0));
    GetWindowRect(window, &seen_.rect);
    seen_.foreground = GetForegroundWindow();
    seen_.defaultPosition = GetMenuDefaultItem(seen_.menu, TRUE, 0);
    MENUITEMINFOA item = {};
    item.cbSize = sizeof(item);
    item.fMask = MIIM_STATE;
    if (GetMenuItemInfoA(seen_.menu, 0, TRUE, &item)) {
        seen_.firstItemState = item.fState;
    }
    for (int i = 0; i < 3; ++i) {
        seen_.cpuStates[i] = GetMenuState(seen_.menu, kCpuCommands[i], MF_BYCOMMAND);
    }
    for (const Key& key : keys_) {
        PostMessageA(window, key.message, key.code, 0);
    }
}
