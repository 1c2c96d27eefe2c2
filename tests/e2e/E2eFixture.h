#pragma once

// The end-to-end cases: the real "Quillmar KESTREL.exe" in a Wine virtual desktop with a taskbar
// (KestrelE2E, set up by the e2e_desktop fixture), the driver simulator with its defaults (one
// unit, 48000 Hz, 2500 us, CPU level 2000), no stored settings. Each case starts the program
// once, or twice where it is about a second copy, and ends every copy before the next case.
//
// Read back across processes: window state, list entries and caption elements through Win32;
// the tray icon through the shell; the menus, which Wine keeps inside the program, by their
// pixels against reference menus drawn here; the driver requests through the simulator's log;
// the clock source through the registry.

#include "DesktopUser.h"
#include "PanelProcess.h"
#include "PanelWindow.h"
#include "ReferenceMenus.h"
#include "RequestLog.h"
#include "ScreenImage.h"
#include "Settings.h"
#include "SimulatorClient.h"
#include "TrayArea.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

using Texts = std::vector<std::string>;

extern const Texts kFourRates;
extern const Texts kTwoRates;
extern const Texts kLatencies;

// A popup menu's place on the screen and what it shows.
struct MenuShot {
    RECT rect = {};
    Image image;
};

// Popup menus as shown, once painted.
std::vector<MenuShot> ShootMenus(const std::vector<HWND>& menus);

class PanelE2e : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Starts `process` and waits until its panel is hidden in the tray.
    ::testing::AssertionResult StartHidden(PanelProcess& process);
    ::testing::AssertionResult StartHidden() { return StartHidden(panel_); }

    // Hidden in the tray: minimised, not visible, its taskbar button hidden.
    static ::testing::AssertionResult IsHidden(HWND panel);
    // On the screen: visible, not minimised, with a visible taskbar button.
    static ::testing::AssertionResult IsShown(HWND panel);
    static ::testing::AssertionResult WaitHidden(HWND panel);
    static ::testing::AssertionResult WaitShown(HWND panel);
    // The process has ended by itself with exit code 0 and the shell no longer holds its icon.
    static ::testing::AssertionResult WaitEnded(PanelProcess& process);

    // Restores the panel with a double click on its tray icon.
    ::testing::AssertionResult RestoreFromTray(HWND panel);

    // Right-clicks the tray icon; the program's visible menus once one shows (empty if none).
    std::vector<HWND> RightClickTrayIcon(DWORD processId);

    // The unit identifiers, in plug order.
    std::vector<std::uint32_t> Units();

    sim::SimulatorClient sim_;
    PanelProcess panel_;
};

} // namespace e2e
