#include "PanelProcess.h"

#include "DesktopUser.h"
#include "PanelState.h"
#include "PanelWindow.h"
#include "TrayArea.h"

#include <optional>

namespace e2e {

bool PanelProcess::WaitForPanel() {
    test::WaitUntil(
        [this] {
            panel_ = test::FindTopLevel(Id(), panel::kDialogClass, panel::kPanelCaption);
            trayOwner_ = panel::TrayIconOwner(Id());
            return !Running() || (panel_ != nullptr && trayOwner_ != nullptr);
        },
        test::kProgramMs);
    return panel_ != nullptr && trayOwner_ != nullptr;
}

void PanelProcess::End() {
    if (Running()) {
        Exit(panel::kPanelCaption);
    }
    Release();
}

std::vector<HWND> PanelProcess::AllPanels() {
    return test::TopLevelWindows(0, panel::kDialogClass, panel::kPanelCaption);
}

::testing::AssertionResult StartHidden(PanelProcess& process) {
    if (!process.Start()) {
        return ::testing::AssertionFailure() << "CreateProcess failed: " << GetLastError();
    }
    if (!process.WaitForPanel()) {
        return ::testing::AssertionFailure() << "no panel with a tray icon appeared";
    }
    return WaitForState(process.Panel(), false);
}

::testing::AssertionResult InState(HWND panel, bool shown) {
    if (!shown) {
        const std::string differs = panel::NotHiddenInTray(panel);
        return differs.empty()
                   ? ::testing::AssertionSuccess()
                   : ::testing::AssertionFailure() << "not hidden in the tray: " << differs;
    }
    HWND button = TaskbarButton(panel);
    if (IsWindowVisible(panel) && !IsIconic(panel) && button != nullptr &&
        IsWindowVisible(button)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure() << "not shown: visible " << IsWindowVisible(panel)
                                         << ", iconic " << IsIconic(panel) << ", taskbar button "
                                         << (button == nullptr         ? "none"
                                             : IsWindowVisible(button) ? "visible"
                                                                       : "hidden");
}

::testing::AssertionResult WaitForState(HWND panel, bool shown) {
    test::WaitUntil([=] { return static_cast<bool>(InState(panel, shown)); });
    return InState(panel, shown);
}

::testing::AssertionResult WaitEnded(PanelProcess& process) {
    const std::optional<DWORD> exitCode = process.WaitForExit(test::kProgramMs);
    if (!exitCode) {
        return ::testing::AssertionFailure() << "the program still runs";
    }
    if (*exitCode != 0) {
        return ::testing::AssertionFailure() << "exit code " << *exitCode;
    }
    if (panel::ShellHasIcon(process.TrayOwner())) {
        return ::testing::AssertionFailure() << "the tray icon stayed behind";
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult RestoreFromTray(HWND panel) {
    if (!DoubleClickAt(FirstIconPoint())) {
        return ::testing::AssertionFailure() << "xdotool failed";
    }
    return WaitForState(panel, true);
}

std::vector<HWND> RightClickTrayIcon(DWORD processId) {
    return ClickAt(FirstIconPoint(), 3) ? WaitForMenus(processId, 1) : std::vector<HWND>();
}

::testing::AssertionResult OpenCpuMenu(DWORD processId, TrayMenu& windows) {
    const std::vector<HWND> menus = VisibleMenus(processId);
    if (menus.size() != 1) {
        return ::testing::AssertionFailure() << menus.size() << " menus open";
    }
    ClickMenuEntry(menus[0], 1, 3);
    const std::vector<HWND> open = WaitForMenus(processId, 2);
    if (open.size() != 2) {
        return ::testing::AssertionFailure() << "the CPU submenu did not open";
    }
    windows = {menus[0], open[0] != menus[0] ? open[0] : open[1]};
    return ::testing::AssertionSuccess();
}

} // namespace e2e
