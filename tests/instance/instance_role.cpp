// Stand-in for the program in the single-instance tests: it runs the program's start-up
// sequence through CInstanceChecker, with a plain hidden window in place of the panel. See
// InstanceRole.h for its roles, options and exit codes.
#include "InstanceRole.h"

#include "CInstanceChecker.h"
#include "CResourceException.h"
#include "UniqueHandle.h"

#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {

struct Options {
    bool panel = false;
    bool gate = false;
    bool holdPublication = false;
    bool popup = false;
    bool noWindow = false;
    bool linger = false;
};

bool ParseArguments(int argc, char** argv, Options& options) {
    if (argc < 2) {
        return false;
    }
    if (std::strcmp(argv[1], "panel") == 0) {
        options.panel = true;
    } else if (std::strcmp(argv[1], "second") != 0) {
        return false;
    }
    struct Flag {
        const char* name;
        bool Options::*field;
    };
    const Flag flags[] = {
        {"--gate", &Options::gate},     {"--hold-publication", &Options::holdPublication},
        {"--popup", &Options::popup},   {"--no-window", &Options::noWindow},
        {"--linger", &Options::linger},
    };
    for (int i = 2; i < argc; ++i) {
        bool known = false;
        for (const Flag& flag : flags) {
            if (std::strcmp(argv[i], flag.name) == 0) {
                options.*flag.field = true;
                known = true;
            }
        }
        if (!known) {
            return false;
        }
    }
    return true;
}

// Signals a pacing semaphore if the test made it.
void Signal(const char* name) {
    const UniqueHandle semaphore(OpenSemaphoreA(SEMAPHORE_MODIFY_STATE, FALSE, name));
    if (semaphore.IsValid()) {
        ReleaseSemaphore(semaphore.Get(), 1, nullptr);
    }
}

// Waits for a pacing event; false when it does not come in time or the test did not make it.
bool WaitFor(const char* name) {
    const UniqueHandle event(OpenEventA(SYNCHRONIZE, FALSE, name));
    return event.IsValid() &&
           WaitForSingleObject(event.Get(), role::PacingTimeoutMs) == WAIT_OBJECT_0;
}

class RoleChecker : public CInstanceChecker {
public:
    explicit RoleChecker(HWND window) : window_(window) {}
    HWND WindowToPublish() const override { return window_; }
    void SetWindow(HWND window) { window_ = window; }

private:
    HWND window_;
};

LRESULT CALLBACK RoleWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_DESTROY && GetWindow(window, GW_OWNER) == nullptr) {
        PostQuitMessage(0);
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* caption, DWORD style, HWND owner) {
    return CreateWindowExA(0, role::WindowClass, caption, style, 100, 100, 240, 160, owner, nullptr,
                           GetModuleHandleA(nullptr), nullptr);
}

// The panel's part: a hidden main window, as the program's panel sits in the notification
// area, and optionally an owned popup that was active last, as an open About box.
role::Exit RunOwnWindow(RoleChecker& checker, const Options& options) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = RoleWindowProc;
    windowClass.hInstance = GetModuleHandleA(nullptr);
    windowClass.lpszClassName = role::WindowClass;
    RegisterClassA(&windowClass);

    DWORD processId = GetCurrentProcessId();
    HWND main = MakeWindow(role::MainCaption, WS_OVERLAPPEDWINDOW, nullptr);
    if (main == nullptr) {
        std::printf("instance_role: no window, error %lu\n", GetLastError());
        return role::Failed;
    }
    if (options.popup) {
        HWND popup = MakeWindow(role::PopupCaption, WS_POPUP | WS_CAPTION, main);
        ShowWindow(popup, SW_SHOW);
        SetForegroundWindow(popup);
    }
    checker.SetWindow(options.noWindow ? nullptr : main);
    Signal(role::WindowReady);
    if (options.holdPublication && !WaitFor(role::PublishAllowed)) {
        DestroyWindow(main);
        return role::Failed;
    }
    bool published = checker.PublishMainWindow();
    std::printf("instance_role %lu: published %s\n", processId, published ? "yes" : "no");
    Signal(role::Published);

    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return published ? role::RanOwnWindow : role::RanOwnWindowUnpublished;
}

// The program's start-up from taking the lock to destroying the checker.
role::Exit StartUp(const Options& options) {
    try {
        RoleChecker checker(nullptr);
        Signal(role::AtLock);
        checker.LockStartup();
        if (checker.IsAnotherInstanceRunning()) {
            HWND activated = checker.ActivateRunningInstance();
            std::printf("instance_role %lu: activated %p\n", GetCurrentProcessId(),
                        static_cast<void*>(activated));
            return activated != nullptr ? role::Activated : role::ActivatedNothing;
        }
        if (!options.panel) {
            return role::WouldRunOwnWindow;
        }
        return RunOwnWindow(checker, options);
    } catch (const CResourceException& exception) {
        std::printf("instance_role: checker failed, error %lu\n", exception.GetError());
        return role::MutexFailed;
    }
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (!ParseArguments(argc, argv, options)) {
        std::printf("usage: instance_role panel|second [options]\n");
        return role::Failed;
    }
    if (options.gate) {
        Signal(role::AtGate);
        if (!WaitFor(role::Go)) {
            return role::Failed;
        }
    }
    role::Exit result = StartUp(options);
    std::fflush(stdout);
    if (options.linger) {
        Signal(role::Lingering);
        if (!WaitFor(role::Release)) {
            return role::Failed;
        }
    }
    return result;
}
