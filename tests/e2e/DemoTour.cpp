// panel_demo_tour: what scripts/demo shows when nobody watches. Starts the program in the
// demo's Wine desktop, restores the panel with a double click on its tray icon, saves a
// screenshot of it, opens the tray menu and its CPU submenu with the mouse, saves a screenshot
// of that, and ends the program through the menu's "E&xit". Prints where the screenshots are;
// exits with 0 when every step worked. With --watched it only starts the program there and
// ends with it, for a user at the display.
//
// The demo's desktop ("KESTREL", a virtual one with a taskbar that scripts/demo-run sets up):
// Wine 10 puts a program started from Unix on "Default" whatever its settings, so a tour that
// is elsewhere starts itself again there; the program it starts inherits the desktop.
#include "DesktopUser.h"
#include "PanelProcess.h"
#include "StartProcess.h"
#include "PanelWindow.h"
#include "Settings.h"
#include "TrayArea.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace e2e;

const char kDemoDesktop[] = "KESTREL";
const char kRestarted[] = "KESTREL_DEMO_DESKTOP_RESTARTED";

int Fail(const char* step) {
    std::fprintf(stderr, "demo: %s\n", step);
    return 1;
}

// The program's menu windows once `count` of them show.
std::vector<HWND> WaitForMenus(DWORD processId, size_t count) {
    std::vector<HWND> menus;
    WaitUntil([&] {
        menus = VisibleMenus(processId);
        return menus.size() == count;
    });
    return menus;
}

int Tour() {
    PanelProcess panel;
    if (!panel.Start() || !panel.WaitForPanel()) {
        return Fail("the panel did not come up with its tray icon");
    }
    HWND window = panel.Panel();
    if (!WaitUntil([window] { return IsIconic(window) && !IsWindowVisible(window); })) {
        return Fail("the panel did not hide in the tray");
    }

    const POINT icon = FirstIconPoint();
    if (!DoubleClickAt(icon) ||
        !WaitUntil([window] { return IsWindowVisible(window) && !IsIconic(window); })) {
        return Fail("a double click on the tray icon did not restore the panel");
    }
    Sleep(500); // painting
    if (!SaveScreenshot("demo-panel")) {
        return Fail("import could not save the panel's screenshot");
    }

    if (!RightClickAt(icon)) {
        return Fail("xdotool could not click the tray icon");
    }
    std::vector<HWND> menus = WaitForMenus(panel.Id(), 1);
    if (menus.size() != 1 || !ClickMenuEntry(menus[0], 1, 3)) {
        return Fail("the tray menu did not open");
    }
    menus = WaitForMenus(panel.Id(), 2);
    if (menus.size() != 2) {
        return Fail("the CPU submenu did not open");
    }
    Sleep(300); // painting
    if (!SaveScreenshot("demo-tray-menu")) {
        return Fail("import could not save the tray menu's screenshot");
    }

    // Escape leaves the submenu; "x" chooses "E&xit".
    DWORD exitCode = 1;
    if (!PressKeys(menus[0], {"Escape", "x"}) || !panel.WaitForExit(20000, exitCode)) {
        return Fail("\"E&xit\" did not end the panel");
    }
    std::printf("demo: the panel, restored from its tray icon: %s\n",
                ScreenshotPath("demo-panel").c_str());
    std::printf("demo: its tray menu, open at the CPU level:   %s\n",
                ScreenshotPath("demo-tray-menu").c_str());
    std::printf("demo: the panel ended through \"E&xit\" with exit code %lu\n", exitCode);
    return exitCode == 0 ? 0 : 1;
}

int Watched() {
    PanelProcess panel;
    DWORD exitCode = 1;
    if (!panel.Start() || !panel.WaitForExit(INFINITE, exitCode)) {
        return Fail("the panel could not be started");
    }
    return static_cast<int>(exitCode);
}

} // namespace

int main(int argc, char** argv) {
    int code = 0;
    if (RanAgainOnDesktop(kDemoDesktop, kRestarted, code)) {
        return code;
    }
    if (argc > 1 && std::strcmp(argv[1], "--watched") == 0) {
        return Watched();
    }
    return Tour();
}
