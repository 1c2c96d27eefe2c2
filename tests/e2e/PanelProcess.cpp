#include "PanelProcess.h"

#include "DesktopUser.h"
#include "PanelState.h"
#include "PanelWindow.h"
#include "TrayArea.h"

#include <optional>

namespace e2e {

namespace {

const DWORD kStartOrEndMs = 20000;

// Asks the copy that owns `panel` to end, then makes sure it has.
void EndProcess(HANDLE process, HWND panel) {
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        return;
    }
    if (IsWindow(panel)) {
        PostMessageA(panel, WM_COMMAND, panel::kExitCommand, 0);
        if (test::WaitPumping(process) == WAIT_OBJECT_0) {
            return;
        }
    }
    TerminateProcess(process, 255);
    WaitForSingleObject(process, test::kWaitMs);
}

} // namespace

bool PanelProcess::Start() {
    test::StartOptions options;
    options.endsWithThisProgram = true;
    return ChildProcess::Start(exePath_, {}, options);
}

bool PanelProcess::WaitForPanel() {
    test::WaitUntil(
        [this] {
            panel_ = test::FindTopLevel(Id(), panel::kDialogClass, panel::kPanelCaption);
            trayOwner_ = panel::TrayIconOwner(Id());
            return !Running() || (panel_ != nullptr && trayOwner_ != nullptr);
        },
        kStartOrEndMs);
    return panel_ != nullptr && trayOwner_ != nullptr;
}

void PanelProcess::End() {
    if (Started()) {
        EndProcess(Handle(), panel_);
    }
    Release();
}

std::vector<HWND> PanelProcess::AllPanels() {
    std::vector<HWND> panels;
    for (HWND window = FindWindowA(panel::kDialogClass, panel::kPanelCaption); window != nullptr;
         window = FindWindowExA(nullptr, window, panel::kDialogClass, panel::kPanelCaption)) {
        panels.push_back(window);
    }
    return panels;
}

bool PanelProcess::EndStrayPanels() {
    const std::vector<HWND> panels = AllPanels();
    for (HWND window : panels) {
        HANDLE process =
            OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, test::ProcessOf(window));
        if (process != nullptr) {
            EndProcess(process, window);
            CloseHandle(process);
        }
    }
    return panels.empty();
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
    // Wine 8's taskbar keeps a hidden button for a hidden window; Wine 10's has none then.
    HWND button = TaskbarButton(panel);
    const bool buttonShown = button != nullptr && IsWindowVisible(button);
    if (shown ? IsWindowVisible(panel) && !IsIconic(panel) && buttonShown
              : !IsWindowVisible(panel) && IsIconic(panel) && !buttonShown) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << (shown ? "not shown" : "not hidden in the tray") << ": visible "
           << IsWindowVisible(panel) << ", iconic " << IsIconic(panel) << ", taskbar button "
           << (button == nullptr ? "none"
               : buttonShown     ? "visible"
                                 : "hidden");
}

::testing::AssertionResult WaitForState(HWND panel, bool shown) {
    test::WaitUntil([=] { return static_cast<bool>(InState(panel, shown)); });
    return InState(panel, shown);
}

::testing::AssertionResult WaitEnded(PanelProcess& process) {
    const std::optional<DWORD> exitCode = process.WaitForExit(kStartOrEndMs);
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
