#pragma once

// One run of the real program, started the way a user starts it and ended before the next case
// (a copy left running would be activated by the next start, the single-instance guard), and
// what a user does with it and sees of it.

#include "ProcessUnderTest.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace e2e {

inline constexpr char kPanelExe[] = KESTREL_PANEL_EXE;

class PanelProcess : public ProcessUnderTest {
public:
    explicit PanelProcess(std::string exePath = kPanelExe) : exePath_(std::move(exePath)) {}
    // Ends the program if it still runs (see End).
    ~PanelProcess() { End(); }

    // Starts the executable on this thread's desktop, without arguments.
    bool Start() { return ProcessUnderTest::Start(exePath_); }
    // Waits until the panel's dialog exists and the shell holds its tray icon; false if the
    // program ended or did not get there.
    bool WaitForPanel();

    HWND Panel() const { return panel_; }
    // The hidden window that owns the tray icon and receives its notifications.
    HWND TrayOwner() const { return trayOwner_; }

    // Asks the program to end as its tray menu's "E&xit" does and waits; kills it only when it
    // does not end. Nothing happens if it has ended already.
    void End();

    // The panel windows of every copy that runs on this desktop.
    static std::vector<HWND> AllPanels();

private:
    std::string exePath_;
    HWND panel_ = nullptr;
    HWND trayOwner_ = nullptr;
};

// Starts `process` and waits until its panel is hidden in the tray.
::testing::AssertionResult StartHidden(PanelProcess& process);

// Shown: on the screen, visible, not minimised, with a visible taskbar button. Not shown:
// hidden in the tray, minimised, not visible, its taskbar button hidden.
::testing::AssertionResult InState(HWND panel, bool shown);
// The panel comes to that state (test::kWaitMs at most).
::testing::AssertionResult WaitForState(HWND panel, bool shown);
// The process has ended by itself with exit code 0 and the shell no longer holds its icon.
::testing::AssertionResult WaitEnded(PanelProcess& process);

// Restores the panel with a double click on its tray icon.
::testing::AssertionResult RestoreFromTray(HWND panel);
// Right-clicks the tray icon; the program's visible menus once one shows.
std::vector<HWND> RightClickTrayIcon(DWORD processId);

// The tray menu and its CPU submenu as shown.
struct TrayMenu {
    HWND menu = nullptr, cpu = nullptr;
};
// With the tray menu of process `processId` open: opens its CPU submenu with a click on the
// entry.
::testing::AssertionResult OpenCpuMenu(DWORD processId, TrayMenu& windows);

} // namespace e2e
