#include "TrayHarness.h"

#include "ChildProcess.h"

#include <algorithm>
#include <iterator>
#include <utility>

std::vector<ReceivedMessage> MainWindowStub::Commands() const {
    std::vector<ReceivedMessage> commands;
    std::copy_if(received.begin(), received.end(), std::back_inserter(commands),
                 [](const auto& m) { return m.message == WM_COMMAND; });
    return commands;
}

int MainWindowStub::NullCount() const {
    return static_cast<int>(std::count_if(received.begin(), received.end(),
                                          [](const auto& m) { return m.message == WM_NULL; }));
}

LRESULT MainWindowStub::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND || message == WM_NULL) {
        received.push_back({message, wParam, lParam, GetForegroundWindow()});
    }
    return CWnd::WindowProc(message, wParam, lParam);
}

namespace {

// Thread timers carry no context: the one armed watcher of the thread.
MenuWatcher* t_armed = nullptr;

} // namespace

HWND FindMenuWindow() {
    const std::vector<HWND> menus =
        test::VisibleTopLevels(GetCurrentProcessId(), panel::kMenuClass);
    return menus.empty() ? nullptr : menus[0];
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
