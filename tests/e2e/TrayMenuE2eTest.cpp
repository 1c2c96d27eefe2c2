// The tray menu under a real right click: what it shows (against reference menus drawn here from
// the program's own menu resource), what Escape and a chosen CPU entry send to the driver, and
// "E&xit" by its mnemonic.
//
// Not observable from outside the program: the WM_NULL that the icon posts to the panel after
// the menu closes (tests/tray checks it in one process).
#include "E2eFixture.h"

#include <memory>
#include <type_traits>

namespace e2e {
namespace {

struct LibraryFree {
    void operator()(HMODULE module) const { FreeLibrary(module); }
};
using ResourceModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, LibraryFree>;

struct MenuDestroy {
    void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using LoadedMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, MenuDestroy>;

// The tray menu and its CPU submenu, open, as the user saw them.
struct TrayMenuShots {
    MenuShot menu;
    MenuShot cpu;
    HWND cpuWindow = nullptr;
};

::testing::AssertionResult SameMenu(const MenuShot& got, const MenuShot& expected,
                                    const std::string& name) {
    if (!EqualRect(&got.rect, &expected.rect) || got.image != expected.image) {
        SaveBitmap(got.image, name + "-got");
        SaveBitmap(expected.image, name + "-expected");
        return ::testing::AssertionFailure()
               << name << ": " << DifferingPixels(got.image, expected.image)
               << " pixels differ (see screenshots/" << name << "-*.bmp)";
    }
    return ::testing::AssertionSuccess();
}

class TrayMenuE2e : public PanelE2e {
protected:
    void SetUp() override {
        PanelE2e::SetUp();
        resources_.reset(LoadLibraryExA(kPanelExe, nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(resources_) << "cannot read the program's resources: " << GetLastError();
        ASSERT_TRUE(reference_.IsReady());
    }

    // Opens the CPU submenu with a click on its entry, and takes both menus as painted. The
    // program's tray menu is opened first with a right click on the icon; a reference menu of
    // this process is open already.
    ::testing::AssertionResult OpenCpuMenu(DWORD processId, TrayMenuShots& shots) {
        std::vector<HWND> menus;
        if (processId == GetCurrentProcessId()) {
            menus = VisibleMenus(processId);
        } else {
            menus = RightClickTrayIcon(processId);
        }
        if (menus.size() != 1) {
            return ::testing::AssertionFailure() << menus.size() << " menus opened";
        }
        HWND menu = menus[0];
        ClickMenuEntry(menu, 1, 3);
        HWND cpu = nullptr;
        WaitUntil([&] {
            for (HWND window : VisibleMenus(processId)) {
                cpu = window != menu ? window : cpu;
            }
            return cpu != nullptr;
        });
        if (cpu == nullptr) {
            return ::testing::AssertionFailure() << "the CPU submenu did not open";
        }
        std::vector<MenuShot> taken = ShootMenus({menu, cpu});
        shots.menu = taken[0];
        shots.cpu = taken[1];
        shots.cpuWindow = cpu;
        return ::testing::AssertionSuccess();
    }

    // The program's tray menu drawn here the way the program should show it: the entry at
    // `defaultPosition` the default one (-1: none), `checked` the checked CPU entry (0: none).
    ::testing::AssertionResult ReferenceShots(int defaultPosition, UINT checked,
                                              TrayMenuShots& shots) {
        LoadedMenu loaded(LoadMenuA(resources_.get(), MAKEINTRESOURCEA(kTrayMenuId)));
        HMENU popup = loaded ? GetSubMenu(loaded.get(), 0) : nullptr;
        if (popup == nullptr) {
            return ::testing::AssertionFailure() << "menu 135 has no popup";
        }
        SetMenuDefaultItem(popup, static_cast<UINT>(defaultPosition), TRUE);
        for (UINT command : {kCpuLow, kCpuMedium, kCpuHigh}) {
            CheckMenuItem(popup, command,
                          MF_BYCOMMAND | (command == checked ? MF_CHECKED : MF_UNCHECKED));
        }
        // The mouse comes from the icon, as for the program's menu.
        const POINT icon = FirstIconPoint();
        MoveMouse(icon);
        if (!reference_.Track(popup, icon)) {
            return ::testing::AssertionFailure() << "the reference menu did not open";
        }
        ::testing::AssertionResult opened = OpenCpuMenu(GetCurrentProcessId(), shots);
        reference_.Close();
        return opened;
    }

    bool MenusClosed(DWORD processId) {
        return WaitUntil([processId] { return VisibleMenus(processId).empty(); });
    }

    ResourceModule resources_;
    ReferenceMenus reference_;
};

TEST_F(TrayMenuE2e, ShowsTheDriverLevelAndSendsOnlyWhatTheUserChooses) {
    ASSERT_TRUE(StartHidden());
    HWND panel = panel_.Panel();
    const DWORD program = panel_.Id();
    ASSERT_TRUE(sim_.ClearLog());

    // A right click opens the menu and reads the CPU level; Escape closes it and sends nothing,
    // neither to the driver nor to the panel, which stays hidden.
    std::vector<HWND> menus = RightClickTrayIcon(program);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_TRUE(LogIs(SettledLog(sim_), {{kGetCpuLevel}}));
    ASSERT_TRUE(PressKeys(menus[0], {"Escape"}));
    EXPECT_TRUE(MenusClosed(program));
    EXPECT_TRUE(LogIs(SettledLog(sim_), {{kGetCpuLevel}}));
    EXPECT_TRUE(IsHidden(panel));

    // Opened again: at level 2000 "Medium" is checked and "&Restore" is the bold default entry.
    ASSERT_TRUE(sim_.ClearLog());
    TrayMenuShots shown;
    ASSERT_TRUE(OpenCpuMenu(program, shown));
    EXPECT_TRUE(SaveScreenshot("tray-menu"));
    // Choosing "Low" sends level 4000 in word 3, then both apply requests.
    ASSERT_TRUE(ClickMenuEntry(shown.cpuWindow, 2, 3));
    EXPECT_TRUE(MenusClosed(program));
    Request setLow = {kSetCpuLevel};
    setLow.word = 3;
    setLow.value = 4000;
    EXPECT_TRUE(
        LogIs(SettledLog(sim_), {{kGetCpuLevel}, setLow, {kApplyStageOne}, {kApplyStageTwo}}));
    EXPECT_EQ(sim_.State().cpuLevel, 4000u);
    EXPECT_TRUE(IsHidden(panel));

    TrayMenuShots expected;
    ASSERT_TRUE(ReferenceShots(0, kCpuMedium, expected));
    EXPECT_TRUE(SameMenu(shown.menu, expected.menu, "tray-menu-main"));
    EXPECT_TRUE(SameMenu(shown.cpu, expected.cpu, "tray-menu-cpu"));
    // The comparison tells the states apart: no default entry, or another checked level, looks
    // different.
    TrayMenuShots other;
    ASSERT_TRUE(ReferenceShots(-1, kCpuMedium, other));
    EXPECT_NE(shown.menu.image, other.menu.image) << "a bold entry does not show";
    ASSERT_TRUE(ReferenceShots(0, kCpuHigh, other));
    EXPECT_NE(shown.cpu.image, other.cpu.image) << "a check mark does not show";

    // The next time the menu opens it shows the driver's new level, "Low".
    ASSERT_TRUE(sim_.ClearLog());
    MoveMouse(FirstIconPoint());
    TrayMenuShots again;
    ASSERT_TRUE(OpenCpuMenu(program, again));
    ASSERT_TRUE(PressKeys(again.cpuWindow, {"Escape", "Escape"}));
    EXPECT_TRUE(MenusClosed(program));
    EXPECT_TRUE(LogIs(SettledLog(sim_), {{kGetCpuLevel}}));
    ASSERT_TRUE(ReferenceShots(0, kCpuLow, expected));
    EXPECT_TRUE(SameMenu(again.cpu, expected.cpu, "tray-menu-low"));

    // "E&xit" by its mnemonic ends the program and removes the icon.
    menus = RightClickTrayIcon(program);
    ASSERT_EQ(menus.size(), 1u);
    ASSERT_TRUE(PressKeys(menus[0], {"x"}));
    EXPECT_TRUE(WaitEnded(panel_));
}

} // namespace
} // namespace e2e
