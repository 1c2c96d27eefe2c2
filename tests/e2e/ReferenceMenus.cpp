#include "ReferenceMenus.h"

#include "ChildProcess.h"
#include "PanelWindow.h"

namespace e2e {

namespace {

const char kClass[] = "KestrelE2eReference";
const UINT WM_APP_END_MENU = WM_APP + 1;

// EndMenu ends only a menu of the calling thread: the menu's window calls it when asked.
LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP_END_MENU) {
        EndMenu();
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(DWORD style, DWORD exStyle, const RECT& rect) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = kClass;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    RegisterClassA(&windowClass); // fails, harmlessly, once the class exists
    return CreateWindowExA(exStyle, kClass, "Reference", style, rect.left, rect.top,
                           rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                           windowClass.hInstance, nullptr);
}

bool OwnMenuShows() {
    return !VisibleMenus(GetCurrentProcessId()).empty();
}

} // namespace

bool ReferenceMenus::Track(HMENU popup, POINT at) {
    return popup != nullptr && Open(WS_POPUP, 0, RECT{0, 0, 1, 1}, [popup, at](HWND owner) {
               // As the tray icon does: foreground first, then the menu, then a message to
               // the owner.
               SetForegroundWindow(owner);
               TrackPopupMenu(popup, 0, at.x, at.y, 0, owner, nullptr);
               PostMessageA(owner, WM_NULL, 0, 0);
           });
}

bool ReferenceMenus::TrackSystemMenu(DWORD style, DWORD exStyle, const RECT& rect,
                                     void (*prepare)(HMENU)) {
    return Open(style & ~WS_VISIBLE, exStyle, rect, [prepare](HWND standIn) {
        if (prepare != nullptr) {
            prepare(GetSystemMenu(standIn, FALSE));
        }
        ShowWindow(standIn, SW_SHOW);
        SetForegroundWindow(standIn);
        // What Alt+Space becomes in the default window procedure.
        SendMessageA(standIn, WM_SYSCOMMAND, SC_KEYMENU, ' ');
    });
}

bool ReferenceMenus::Open(DWORD style, DWORD exStyle, const RECT& rect,
                          std::function<void(HWND)> open) {
    Close();
    window_ = nullptr;
    tracking_ = true;
    const DWORD creator = GetCurrentThreadId();
    thread_ = std::thread([this, creator, style, exStyle, rect, open] {
        HWND window = test::UseDesktopOf(creator) ? MakeWindow(style, exStyle, rect) : nullptr;
        window_ = window;
        if (window != nullptr) {
            open(window);
            DestroyWindow(window);
        }
        tracking_ = false;
    });
    return test::WaitUntil([this] { return OwnMenuShows() || !tracking_; }) && tracking_;
}

bool ReferenceMenus::Close() {
    if (!thread_.joinable()) {
        return true;
    }
    // Asked until the menu has gone: a request may arrive before the menu has started.
    const bool ended = test::WaitUntil(
        [this] {
            if (window_ != nullptr) {
                PostMessageA(window_, WM_APP_END_MENU, 0, 0);
            }
            return !tracking_;
        },
        test::kWaitMs, 50);
    if (!ended) {
        // Bounded: a thread stuck in a menu must not hold the test program past ctest's limit.
        thread_.detach();
        return false;
    }
    thread_.join();
    return !OwnMenuShows();
}

} // namespace e2e
