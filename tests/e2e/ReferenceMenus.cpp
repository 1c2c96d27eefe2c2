#include "ReferenceMenus.h"

#include "PanelWindow.h"
#include "Settings.h"

namespace e2e {

namespace {

const UINT WM_APP_TRACK = WM_APP + 1;
const UINT WM_APP_TRACK_SYSTEM_MENU = WM_APP + 2;
const UINT WM_APP_END_MENU = WM_APP + 3;
const UINT WM_APP_QUIT = WM_APP + 4;

const char kOwnerClass[] = "KestrelE2eMenuOwner";
const char kStandInClass[] = "KestrelE2eStandIn";

bool RegisterClassOnce(const char* name, WNDPROC procedure) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = name;
    windowClass.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512)); // IDC_ARROW
    return RegisterClassA(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

bool OwnMenuShows() {
    return !VisibleMenus(GetCurrentProcessId()).empty();
}

} // namespace

ReferenceMenus::ReferenceMenus()
    : creator_(GetCurrentThreadId()), thread_(nullptr), owner_(nullptr),
      ready_(CreateEventA(nullptr, TRUE, FALSE, nullptr)), tracking_(false), popup_(nullptr), at_{},
      style_(0), exStyle_(0), rect_{}, prepare_(nullptr) {
    thread_ = CreateThread(nullptr, 0, &ReferenceMenus::Run, this, 0, nullptr);
    if (thread_ != nullptr) {
        WaitForSingleObject(ready_, 10000);
    }
}

ReferenceMenus::~ReferenceMenus() {
    if (owner_ != nullptr) {
        Close();
        PostMessageA(owner_, WM_APP_QUIT, 0, 0);
    }
    // Bounded: a thread stuck in a menu must not hold the test program past ctest's limit.
    if (thread_ != nullptr) {
        WaitForSingleObject(thread_, 10000);
        CloseHandle(thread_);
    }
    CloseHandle(ready_);
}

DWORD WINAPI ReferenceMenus::Run(void* context) {
    auto* self = static_cast<ReferenceMenus*>(context);
    HWND owner = nullptr;
    if (UseDesktopOf(self->creator_) &&
        RegisterClassOnce(kOwnerClass, &ReferenceMenus::OwnerProc) &&
        RegisterClassOnce(kStandInClass, &DefWindowProcA)) {
        owner = CreateWindowExA(0, kOwnerClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
    }
    if (owner != nullptr) {
        SetWindowLongPtrA(owner, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    self->owner_ = owner;
    SetEvent(self->ready_);
    if (owner == nullptr) {
        return 1;
    }
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return 0;
}

LRESULT CALLBACK ReferenceMenus::OwnerProc(HWND window, UINT message, WPARAM wParam,
                                           LPARAM lParam) {
    auto* self = reinterpret_cast<ReferenceMenus*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (self != nullptr) {
        if (message == WM_APP_TRACK) {
            self->OnTrack();
            return 0;
        }
        if (message == WM_APP_TRACK_SYSTEM_MENU) {
            self->OnTrackSystemMenu();
            return 0;
        }
        if (message == WM_APP_END_MENU) {
            EndMenu();
            return 0;
        }
        if (message == WM_APP_QUIT) {
            DestroyWindow(window);
            PostQuitMessage(0);
            return 0;
        }
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

void ReferenceMenus::OnTrack() {
    HMENU popup = nullptr;
    POINT at = {};
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        popup = popup_;
        at = at_;
    }
    // As the tray icon does: foreground first, then the menu, then a message to the owner.
    SetForegroundWindow(owner_);
    TrackPopupMenu(popup, 0, at.x, at.y, 0, owner_, nullptr);
    PostMessageA(owner_, WM_NULL, 0, 0);
    tracking_ = false;
}

void ReferenceMenus::OnTrackSystemMenu() {
    DWORD style = 0, exStyle = 0;
    RECT rect = {};
    void (*prepare)(HMENU) = nullptr;
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        style = style_;
        exStyle = exStyle_;
        rect = rect_;
        prepare = prepare_;
    }
    HWND standIn =
        CreateWindowExA(exStyle, kStandInClass, "Reference", style & ~WS_VISIBLE, rect.left,
                        rect.top, rect.right - rect.left, rect.bottom - rect.top, nullptr, nullptr,
                        GetModuleHandleA(nullptr), nullptr);
    if (standIn != nullptr) {
        if (prepare != nullptr) {
            prepare(GetSystemMenu(standIn, FALSE));
        }
        ShowWindow(standIn, SW_SHOW);
        SetForegroundWindow(standIn);
        // What Alt+Space becomes in the default window procedure.
        SendMessageA(standIn, WM_SYSCOMMAND, SC_KEYMENU, ' ');
        DestroyWindow(standIn);
    }
    tracking_ = false;
}

bool ReferenceMenus::Track(HMENU popup, POINT at) {
    if (owner_ == nullptr || popup == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        popup_ = popup;
        at_ = at;
    }
    tracking_ = true;
    PostMessageA(owner_, WM_APP_TRACK, 0, 0);
    return WaitUntil(OwnMenuShows);
}

bool ReferenceMenus::TrackSystemMenu(DWORD style, DWORD exStyle, const RECT& rect,
                                     void (*prepare)(HMENU)) {
    if (owner_ == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(requestLock_);
        style_ = style;
        exStyle_ = exStyle;
        rect_ = rect;
        prepare_ = prepare;
    }
    tracking_ = true;
    PostMessageA(owner_, WM_APP_TRACK_SYSTEM_MENU, 0, 0);
    return WaitUntil(OwnMenuShows);
}

bool ReferenceMenus::Close() {
    if (owner_ == nullptr) {
        return true;
    }
    // Posted until the menu has gone: a request may arrive before the menu has started.
    return WaitUntil([this] {
        if (!tracking_ && !OwnMenuShows()) {
            return true;
        }
        PostMessageA(owner_, WM_APP_END_MENU, 0, 0);
        Sleep(30);
        return false;
    });
}

} // namespace e2e
