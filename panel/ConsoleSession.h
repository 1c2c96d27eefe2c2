#pragma once

#include <windows.h>

// The Windows session this program runs in, as against the one at the console. Every user
// logged on runs a panel of their own, but the units have one clock: only the panel whose
// session is at the console sets it on its own. The watch asks the system to tell the window
// (WM_WTSSESSION_CHANGE) when this session connects to the console, is unlocked or logged on.
class ConsoleSession {
public:
    ConsoleSession() = default;
    ~ConsoleSession() { Unwatch(); }
    ConsoleSession(const ConsoleSession&) = delete;
    ConsoleSession& operator=(const ConsoleSession&) = delete;

    // True when the system will notify `window`; the window must outlive the watch, or end it
    // first with Unwatch.
    bool Watch(HWND window);
    void Unwatch();

    // True when this process's session is the one at the console, and when that cannot be told
    // (a system with one session has nothing to tell). False while no session is at the
    // console, as during a switch of users.
    static bool IsThisSessionAtConsole();

private:
    HWND window_ = nullptr;
};
