#include "E2eFixture.h"

namespace e2e {

const Texts kFourRates = {"44.1 kHz", "48.0 kHz", "88.2 kHz", "96.0 kHz"};
const Texts kTwoRates = {"44.1 kHz", "48.0 kHz"};
const Texts kLatencies = {"1.5 ms", "2.0 ms", "2.5 ms",  "3.0 ms",  "3.5 ms",  "4.0 ms",
                          "6.0 ms", "8.0 ms", "10.0 ms", "12.0 ms", "18.0 ms", "25.0 ms"};

namespace {

const char kDesktop[] = "KestrelE2E";
const DWORD kExitTimeoutMs = 20000;

} // namespace

void PanelE2e::SetUp() {
    ASSERT_EQ(DesktopName(), kDesktop)
        << "the end-to-end cases run in the Wine virtual desktop KestrelE2E (fixture e2e_desktop)";
    ASSERT_TRUE(sim_.IsConnected()) << "the driver simulator is not reachable";
    ASSERT_TRUE(sim_.Reset());
    EXPECT_TRUE(PanelProcess::EndStrayPanels()) << "a panel of an earlier case was still running";
    DeleteSettings(kAppName);
}

void PanelE2e::TearDown() {
    panel_.End();
    PanelProcess::EndStrayPanels();
    DeleteSettings(kAppName);
    sim_.Reset();
}

::testing::AssertionResult PanelE2e::StartHidden(PanelProcess& process) {
    if (!process.Start()) {
        return ::testing::AssertionFailure() << "CreateProcess failed: " << GetLastError();
    }
    if (!process.WaitForPanel()) {
        return ::testing::AssertionFailure() << "no panel with a tray icon appeared";
    }
    return WaitHidden(process.Panel());
}

::testing::AssertionResult PanelE2e::IsHidden(HWND panel) {
    // Wine 8's taskbar keeps a hidden button for a hidden window; Wine 10's has none then.
    HWND button = TaskbarButton(panel);
    if (IsWindowVisible(panel) || !IsIconic(panel) ||
        (button != nullptr && IsWindowVisible(button))) {
        return ::testing::AssertionFailure()
               << "not hidden in the tray: visible " << IsWindowVisible(panel) << ", iconic "
               << IsIconic(panel) << ", taskbar button "
               << (button == nullptr         ? "none"
                   : IsWindowVisible(button) ? "visible"
                                             : "hidden");
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PanelE2e::IsShown(HWND panel) {
    HWND button = TaskbarButton(panel);
    if (!IsWindowVisible(panel) || IsIconic(panel) || button == nullptr ||
        !IsWindowVisible(button)) {
        return ::testing::AssertionFailure()
               << "not shown: visible " << IsWindowVisible(panel) << ", iconic " << IsIconic(panel)
               << ", taskbar button "
               << (button == nullptr         ? "none"
                   : IsWindowVisible(button) ? "visible"
                                             : "hidden");
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PanelE2e::WaitHidden(HWND panel) {
    WaitUntil([panel] { return static_cast<bool>(IsHidden(panel)); });
    return IsHidden(panel);
}

::testing::AssertionResult PanelE2e::WaitShown(HWND panel) {
    WaitUntil([panel] { return static_cast<bool>(IsShown(panel)); });
    return IsShown(panel);
}

::testing::AssertionResult PanelE2e::WaitEnded(PanelProcess& process) {
    DWORD exitCode = 0;
    if (!process.WaitForExit(kExitTimeoutMs, exitCode)) {
        return ::testing::AssertionFailure() << "the program still runs";
    }
    if (exitCode != 0) {
        return ::testing::AssertionFailure() << "exit code " << exitCode;
    }
    if (ShellHasIcon(process.TrayOwner(), kTrayIconId)) {
        return ::testing::AssertionFailure() << "the tray icon stayed behind";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult PanelE2e::RestoreFromTray(HWND panel) {
    if (!DoubleClickAt(FirstIconPoint())) {
        return ::testing::AssertionFailure() << "xdotool failed";
    }
    return WaitShown(panel);
}

std::vector<HWND> PanelE2e::RightClickTrayIcon(DWORD processId) {
    std::vector<HWND> menus;
    if (RightClickAt(FirstIconPoint())) {
        WaitUntil([&] {
            menus = VisibleMenus(processId);
            return !menus.empty();
        });
    }
    return menus;
}

std::vector<MenuShot> ShootMenus(const std::vector<HWND>& menus) {
    std::vector<MenuShot> shots;
    for (HWND menu : menus) {
        MenuShot shot;
        GetWindowRect(menu, &shot.rect);
        shot.image = CaptureSettled(shot.rect);
        shots.push_back(std::move(shot));
    }
    return shots;
}

std::vector<std::uint32_t> PanelE2e::Units() {
    std::vector<std::uint32_t> ids;
    for (const sim::UnitState& unit : sim_.State().units) {
        ids.push_back(unit.id);
    }
    return ids;
}

} // namespace e2e
