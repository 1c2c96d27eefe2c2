#pragma once

// One run of the real program, started the way a user starts it and ended before the next case:
// a copy left running would be activated by the next start (the single-instance guard).

#include "Settings.h"

#include <windows.h>

#include <string>

namespace e2e {

class PanelProcess {
public:
    explicit PanelProcess(std::string exePath = kPanelExe);
    // Ends the program if it still runs (see End).
    ~PanelProcess();
    PanelProcess(const PanelProcess&) = delete;
    PanelProcess& operator=(const PanelProcess&) = delete;

    // Starts the executable on this thread's desktop, without arguments, in a job that ends it
    // when this test program ends.
    bool Start();
    // Waits until the panel's dialog exists and the shell holds its tray icon; false if the
    // program ended or did not get there.
    bool WaitForPanel();

    HWND Panel() const { return panel_; }
    // The hidden window that owns the tray icon and receives its notifications.
    HWND TrayOwner() const { return trayOwner_; }
    DWORD Id() const { return processId_; }
    HANDLE Handle() const { return process_; }

    // Waits for the process to end by itself; its exit code, or false if it still runs.
    bool WaitForExit(DWORD timeoutMs, DWORD& exitCode);
    // Asks the program to end as its tray menu's "E&xit" does (WM_COMMAND 0x8004) and waits;
    // terminates it only when it does not end. Nothing happens if it has ended already.
    void End();

    // Ends every copy of the panel that runs on this desktop; true if there was none.
    static bool EndStrayPanels();

private:
    std::string exePath_;
    HANDLE process_;
    DWORD processId_;
    HWND panel_;
    HWND trayOwner_;
};

} // namespace e2e
