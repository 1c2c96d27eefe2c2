#include "ConsoleSession.h"

#include <wtsapi32.h>

bool ConsoleSession::Watch(HWND window) {
    Unwatch();
    if (!WTSRegisterSessionNotification(window, NOTIFY_FOR_THIS_SESSION)) {
        return false;
    }
    window_ = window;
    return true;
}

void ConsoleSession::Unwatch() {
    if (window_ != nullptr) {
        WTSUnRegisterSessionNotification(window_);
        window_ = nullptr;
    }
}

bool ConsoleSession::IsThisSessionAtConsole() {
    DWORD session = 0;
    if (!ProcessIdToSessionId(GetCurrentProcessId(), &session)) {
        return true;
    }
    // 0xFFFFFFFF while the console is being attached to another session.
    return WTSGetActiveConsoleSessionId() == session;
}
