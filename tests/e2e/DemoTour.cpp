// panel_demo_tour: what scripts/demo shows when nobody watches, with the end-to-end cases' steps.
// Starts the program in the demo's Wine desktop, restores the panel with a double click on its
// tray icon, saves a screenshot of it, opens the tray menu and its CPU submenu with the mouse,
// saves a screenshot of that, and ends the program through the menu's "E&xit". Prints where the
// screenshots are; exits with 0 when every step worked, else names the step's failure. With
// --watched it only starts the program there and ends with it, for a user at the display.
//
// The demo's desktop ("KESTREL", a virtual one with a taskbar that scripts/demo-run sets up):
// Wine 10 puts a program started from Unix on "Default" whatever its settings, so a tour that
// is elsewhere starts itself again there; the program it starts inherits the desktop.
#include "DesktopUser.h"
#include "PanelProcess.h"

#include <cstdio>
#include <cstring>
#include <functional>
#include <vector>

namespace {

using namespace e2e;

const char kDemoDesktop[] = "KESTREL";
const char kRestarted[] = "KESTREL_DEMO_DESKTOP_RESTARTED";

// Saves the screen as screenshots/<name>.png once `window` is painted.
::testing::AssertionResult Saved(HWND window, const char* name) {
    if (!SaveScreenshot(name, window)) {
        return ::testing::AssertionFailure() << "import could not save " << ScreenshotPath(name);
    }
    return ::testing::AssertionSuccess();
}

int Tour() {
    PanelProcess panel;
    TrayMenu menu;
    const std::vector<std::function<::testing::AssertionResult()>> steps = {
        [&] { return StartHidden(panel); },
        [&] { return RestoreFromTray(panel.Panel()); },
        [&] { return Saved(panel.Panel(), "demo-panel"); },
        [&] {
            RightClickTrayIcon(panel.Id());
            return OpenCpuMenu(panel.Id(), menu);
        },
        [&] { return Saved(menu.cpu, "demo-tray-menu"); },
        // Escape leaves the submenu; "x" chooses "E&xit".
        [&] {
            return PressKeys(menu.menu, {"Escape", "x"})
                       ? WaitEnded(panel)
                       : ::testing::AssertionFailure() << "xdotool could not type";
        },
    };
    for (const auto& step : steps) {
        if (const ::testing::AssertionResult done = step(); !done) {
            std::fprintf(stderr, "demo: %s\n", done.message());
            return 1;
        }
    }
    std::printf("demo: the panel, restored from its tray icon: %s\n",
                ScreenshotPath("demo-panel").c_str());
    std::printf("demo: its tray menu, open at the CPU level:   %s\n",
                ScreenshotPath("demo-tray-menu").c_str());
    std::printf("demo: the panel ended through \"E&xit\" with exit code 0\n");
    return 0;
}

int Watched() {
    PanelProcess panel;
    if (!panel.Start()) {
        std::fprintf(stderr, "demo: the panel could not be started\n");
        return 1;
    }
    return static_cast<int>(panel.WaitForExit(INFINITE).value_or(1));
}

} // namespace

int main(int argc, char** argv) {
    int code = 0;
    if (test::RanAgainOnDesktop(kDemoDesktop, kRestarted, code)) {
        return code;
    }
    if (argc > 1 && std::strcmp(argv[1], "--watched") == 0) {
        return Watched();
    }
    return Tour();
}
