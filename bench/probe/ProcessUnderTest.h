#pragma once

// A program started for measurement or a test, watched from outside through Win32 only: its
// windows, its notification-area icon, its memory and CPU time. The process is ended (killed)
// when the object goes, if it still runs.

#include <windows.h>

#include <string>
#include <vector>

class ProcessUnderTest {
public:
    ProcessUnderTest() = default;
    ~ProcessUnderTest();
    ProcessUnderTest(const ProcessUnderTest&) = delete;
    ProcessUnderTest& operator=(const ProcessUnderTest&) = delete;

    // Starts `exe` with `arguments`. False, with the last error, if the process could not be
    // made.
    bool Start(const std::string& exe, const std::string& arguments = {});

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }

    // Its top-level windows, hidden ones included.
    std::vector<HWND> TopLevelWindows() const;
    // Its top-level window with exactly this caption, or null.
    HWND WindowCaptioned(const char* caption) const;
    // True if the shell holds an icon with this id for one of its windows.
    bool HasTrayIcon(UINT iconId) const;
    // Its window `caption` is minimised and hidden, and its icon `iconId` is in the shell.
    bool IsHiddenInTray(const char* caption, UINT iconId) const;

    // Private bytes committed: PrivateUsage, or PagefileUsage where the system leaves
    // PrivateUsage at 0 (Wine 8); the two are the same figure on Windows. 0 on failure.
    SIZE_T PrivateBytes() const;

    // Waits up to `timeoutMs` for the process to end.
    bool WaitForExit(DWORD timeoutMs) const;
    // STILL_ACTIVE while it runs.
    DWORD ExitCode() const;
    // Ends it at once (as a crash or a task manager would) and waits for the end.
    void Kill();
    // Closes the handles without ending the process.
    void Release();

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

// All windows of a process: top-level (hidden ones too), message-only, and their children.
int CountWindowsOfProcess(DWORD processId);

// Polls `condition` every millisecond or so until it holds or `timeoutMs` passes.
template <typename Condition>
bool PollUntil(Condition condition, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(1);
    }
    return true;
}
