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
#include "DriverLog.h"
#include "PanelProcess.h"
#include "PanelState.h"
#include "PanelWindow.h"
#include "ReferenceMenus.h"
#include "ScreenImage.h"
#include "SimulatorTest.h"
#include "TrayArea.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

// The cases speak the shared vocabulary: the panel's ids and state, waits, the driver's log.
using namespace panel;
using namespace test;

// A refresh with one unit: the unit list, the unit's information, the rate, the clock selector
// frame with input plug `plug` to the unit, the buffer size.
std::vector<Request> RefreshOf(std::uint32_t unit, int plug);
// What the panel reads each time the user comes to look at it: the rate, the buffer size.
inline const std::vector<Request> kLookReads = {{KSIM_GET_SAMPLE_RATE}, {KSIM_GET_BUFFER_SIZE}};
// `first`, then `then`.
inline std::vector<Request> operator+(std::vector<Request> first,
                                      const std::vector<Request>& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// A popup menu's place on the screen and what it shows.
struct MenuShot {
    RECT rect = {};
    Image image;
};

// Popup menus as shown, once painted.
std::vector<MenuShot> ShootMenus(const std::vector<HWND>& menus);
// The program's menu `window` comes to show exactly `expected`, at its place; on a difference
// both are saved as screenshots/<name>-got.bmp and <name>-expected.bmp.
::testing::AssertionResult MenuShows(HWND window, const MenuShot& expected,
                                     const std::string& name);

class PanelE2e : public SimulatorTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Hidden in the tray, or shown (see InState).
    static ::testing::AssertionResult IsHidden(HWND panel) { return InState(panel, false); }
    static ::testing::AssertionResult IsShown(HWND panel) { return InState(panel, true); }
    static ::testing::AssertionResult WaitHidden(HWND panel) { return WaitForState(panel, false); }
    static ::testing::AssertionResult WaitShown(HWND panel) { return WaitForState(panel, true); }

    PanelProcess panel_;
};

} // namespace e2e
