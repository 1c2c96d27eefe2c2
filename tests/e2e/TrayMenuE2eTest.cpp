// The tray menu under a real right click: what it shows (against reference menus drawn here from
// the program's own menu resource), what Escape and a chosen CPU entry send to the driver, and
// "E&xit" by its mnemonic. The icon when the shell makes its notification area anew, refuses
// it, or takes it and answers that it failed.
//
// Not observable from outside the program: the WM_NULL that the icon posts to the panel after
// the menu closes (tests/tray checks it in one process).
#include "E2eFixture.h"

#include <shellapi.h>

#include <memory>
#include <type_traits>

namespace e2e {
namespace {

using ResourceModule = std::unique_ptr<std::remove_pointer_t<HMODULE>, decltype(&FreeLibrary)>;
using LoadedMenu = std::unique_ptr<std::remove_pointer_t<HMENU>, decltype(&DestroyMenu)>;

struct TrayMenuShots {
    MenuShot menu, cpu;
};

class TrayMenuE2e : public PanelE2e {
protected:
    void SetUp() override {
        PanelE2e::SetUp();
        resources_.reset(LoadLibraryExA(kPanelExe, nullptr, LOAD_LIBRARY_AS_DATAFILE));
        ASSERT_TRUE(resources_) << "cannot read the program's resources: " << GetLastError();
    }

    // The program's tray menu drawn here the way the program should show it, with its CPU
    // submenu open: the entry at `defaultPosition` the default one (-1: none), `checked` the
    // checked CPU entry (0: none).
    ::testing::AssertionResult ReferenceShots(int defaultPosition, UINT checked,
                                              TrayMenuShots& shots) {
        LoadedMenu loaded(LoadMenuA(resources_.get(), MAKEINTRESOURCEA(kTrayMenuId)), &DestroyMenu);
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
        TrayMenu windows;
        ::testing::AssertionResult opened = OpenCpuMenu(GetCurrentProcessId(), windows);
        if (opened) {
            const std::vector<MenuShot> taken = ShootMenus({windows.menu, windows.cpu});
            shots = {taken[0], taken[1]};
        }
        reference_.Close();
        return opened;
    }

    ResourceModule resources_{nullptr, &FreeLibrary};
    ReferenceMenus reference_;
};

TEST_F(TrayMenuE2e, ShowsTheDriverLevelAndSendsOnlyWhatTheUserChooses) {
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    const DWORD program = panel_.Id();

    // The menus as they should look, drawn here first: "&Restore" the bold default and
    // "Medium" checked, or "Low" checked. Without a default entry, or with another level
    // checked, they look different: the comparison tells these states apart.
    TrayMenuShots medium, low, noDefault, high;
    ASSERT_TRUE(ReferenceShots(0, kCpuMedium, medium));
    ASSERT_TRUE(ReferenceShots(0, kCpuLow, low));
    ASSERT_TRUE(ReferenceShots(-1, kCpuMedium, noDefault));
    ASSERT_TRUE(ReferenceShots(0, kCpuHigh, high));
    EXPECT_NE(medium.menu.image, noDefault.menu.image) << "a bold entry does not show";
    EXPECT_NE(medium.cpu.image, high.cpu.image) << "a check mark does not show";
    ASSERT_TRUE(sim_.ClearLog());

    // A right click opens the menu and reads the CPU level; Escape closes it and sends nothing,
    // neither to the driver nor to the panel, which stays hidden.
    std::vector<HWND> menus = RightClickTrayIcon(program);
    ASSERT_EQ(menus.size(), 1u);
    EXPECT_TRUE(LogBecomes(sim_, {{KSIM_GET_CPU_LEVEL}}));
    ASSERT_TRUE(PressKeys(menus[0], {"Escape"}));
    ASSERT_TRUE(WaitForMenus(program, 0).empty());
    EXPECT_TRUE(LogBecomes(sim_, {{KSIM_GET_CPU_LEVEL}}));
    EXPECT_TRUE(IsHidden(panel));

    // Opened again: at level 2000 "Medium" is checked and "&Restore" is the bold default entry.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_EQ(RightClickTrayIcon(program).size(), 1u);
    TrayMenu shown;
    ASSERT_TRUE(OpenCpuMenu(program, shown));
    EXPECT_TRUE(MenuShows(shown.menu, medium.menu, "tray-menu-main"));
    EXPECT_TRUE(MenuShows(shown.cpu, medium.cpu, "tray-menu-cpu"));
    EXPECT_TRUE(SaveScreenshot("tray-menu"));
    // Choosing "Low" sends level 4000 in word 3, then both apply requests.
    ASSERT_TRUE(ClickMenuEntry(shown.cpu, 2, 3));
    ASSERT_TRUE(WaitForMenus(program, 0).empty());
    const Request setLow = {.code = KSIM_SET_CPU_LEVEL, .word = 3, .value = 4000};
    EXPECT_TRUE(LogBecomes(
        sim_, {{KSIM_GET_CPU_LEVEL}, setLow, {KSIM_APPLY_STAGE_ONE}, {KSIM_APPLY_STAGE_TWO}}));
    EXPECT_EQ(sim_.State().cpuLevel, 4000u);
    EXPECT_TRUE(IsHidden(panel));

    // The next time the menu opens it shows the driver's new level, "Low".
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_EQ(RightClickTrayIcon(program).size(), 1u);
    TrayMenu again;
    ASSERT_TRUE(OpenCpuMenu(program, again));
    EXPECT_TRUE(MenuShows(again.cpu, low.cpu, "tray-menu-low"));
    ASSERT_TRUE(PressKeys(again.cpu, {"Escape", "Escape"}));
    ASSERT_TRUE(WaitForMenus(program, 0).empty());
    EXPECT_TRUE(LogBecomes(sim_, {{KSIM_GET_CPU_LEVEL}}));

    // "E&xit" by its mnemonic ends the program and removes the icon.
    menus = RightClickTrayIcon(program);
    ASSERT_EQ(menus.size(), 1u);
    ASSERT_TRUE(PressKeys(menus[0], {"x"}));
    EXPECT_TRUE(WaitEnded(panel_));
}

// A restarting shell loses every icon and then broadcasts "TaskbarCreated": the icon comes
// back and works; a new taskbar still too busy to take it gets it a few seconds later. A shell
// that kept the icon gets the broadcast too: still one icon, which the program's end removes.
TEST_F(PanelE2e, TheIconComesBackWhenTheShellAnnouncesANewTaskbar) {
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    HWND owner = panel_.TrayOwner();
    ASSERT_TRUE(ForgetIcon(owner, kTrayIconId));
    ASSERT_FALSE(ShellHasIcon(owner, kTrayIconId));

    ASSERT_TRUE(AnnounceTaskbar());
    EXPECT_TRUE(ShellHasIcon(owner, kTrayIconId));
    EXPECT_TRUE(RestoreFromTray(panel));

    ASSERT_TRUE(ForgetIcon(owner, kTrayIconId));
    RefusingShell busy;
    ASSERT_TRUE(busy.IsInFront());
    ASSERT_TRUE(AnnounceTaskbar()); // returns once the program's add has been refused
    EXPECT_EQ(busy.RefusedOwner(), owner);
    busy.Close();
    EXPECT_TRUE(WaitUntil([&] { return ShellHasIcon(owner, kTrayIconId); }))
        << "the refused add was not tried again";

    ASSERT_TRUE(AnnounceTaskbar());
    EXPECT_TRUE(ShellHasIcon(owner, kTrayIconId));
    PostMessageA(panel, WM_COMMAND, kExitCommand, 0);
    EXPECT_TRUE(WaitEnded(panel_));
}

// Some shells forget icons over sleep and announce nothing: the wake brings the icon back before
// it asks the driver anything, and the icon works; a shell still too busy to take it then gets
// it a few seconds later. A shell that misses the wake's look for the icon but still holds it:
// the icon counts as shown, and the program's end removes it.
TEST_F(PanelE2e, AWakeBringsBackAnIconTheShellForgot) {
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    HWND owner = panel_.TrayOwner();
    ASSERT_TRUE(ForgetIcon(owner, kTrayIconId));
    ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
    ASSERT_FALSE(ShellHasIcon(owner, kTrayIconId));

    // The unit answers slowly after the wake: the icon is back while its frame still waits.
    ASSERT_TRUE(sim_.Pend(5000));
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(PostMessageA(panel, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0));
    const auto frameWaits = [&] {
        const Log log = sim_.Log();
        return !log.empty() && log.back().code == KSIM_SEND_REQUEST &&
               log.back().status == ERROR_IO_PENDING;
    };
    ASSERT_TRUE(WaitUntil(frameWaits)) << Describe(sim_.Log());
    EXPECT_TRUE(ShellHasIcon(owner, kTrayIconId));
    ASSERT_TRUE(frameWaits()) << "the frame was answered before the icon was looked at";
    ASSERT_TRUE(sim_.Pend(0));
    ASSERT_TRUE(WaitUntil([&] { return !frameWaits(); }, 20000));
    EXPECT_TRUE(RestoreFromTray(panel));
    ASSERT_TRUE(ClickAt(CentreOf(GetDlgItem(panel, kDoneButton))));
    ASSERT_TRUE(WaitHidden(panel));
    ASSERT_TRUE(ForgetIcon(owner, kTrayIconId));
    {
        RefusingShell busy;
        ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
        ASSERT_TRUE(AnnouncePower(PBT_APMRESUMEAUTOMATIC));
        EXPECT_EQ(busy.RefusedOwner(), owner);
    }
    EXPECT_TRUE(WaitUntil([&] { return ShellHasIcon(owner, kTrayIconId); }))
        << "the refused add was not tried again";

    // The look for the icon is a change of nothing; the add that follows is refused, as the
    // shell holds the icon, and the change made instead succeeds. The hidden panel's end then
    // deletes the icon, and WaitEnded looks for it once more.
    RefusingShell missesTheLook(1);
    ASSERT_TRUE(missesTheLook.IsInFront());
    ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMEAUTOMATIC));
    PostMessageA(panel, WM_COMMAND, kExitCommand, 0);
    EXPECT_TRUE(WaitEnded(panel_));
    EXPECT_EQ(missesTheLook.Requests(),
              (std::vector<DWORD>{NIM_MODIFY, NIM_ADD, NIM_MODIFY, NIM_DELETE, NIM_MODIFY}));
}

// At a logon the program may start before the shell takes icons: the shell refuses the icon,
// and the program, which runs on without it, tries again a few seconds later; no "TaskbarCreated"
// comes.
TEST_F(PanelE2e, AnIconRefusedAtStartIsAddedAgainWithinTheRetryTime) {
    RefusingShell early;
    ASSERT_TRUE(early.IsInFront());
    ASSERT_TRUE(panel_.Start());
    ASSERT_TRUE(WaitUntil([&] { return early.RefusedOwner() != nullptr; }, 20000))
        << "the program never tried to add its icon";
    early.Close();
    ASSERT_TRUE(panel_.WaitForPanel()) << "the refused icon was not added again";
    EXPECT_EQ(panel_.TrayOwner(), early.RefusedOwner());
    ASSERT_TRUE(WaitHidden(panel_.Panel()));
    EXPECT_TRUE(RestoreFromTray(panel_.Panel()));
}

// A shell that takes the icon but answers that the add failed, as a call that timed out: the
// program's end removes the icon all the same. (Wine's shell drops the icons of windows that are
// gone, Windows' keeps them until the mouse passes: the shell's own taking of the delete is what
// shows that no icon was left.)
TEST_F(PanelE2e, AnIconTakenAfterItsAddFailedIsRemovedAtTheEnd) {
    RefusingShell late(-1, true);
    ASSERT_TRUE(late.IsInFront());
    ASSERT_TRUE(panel_.Start());
    ASSERT_TRUE(WaitUntil([&] { return late.RefusedOwner() != nullptr; }, 20000))
        << "the program never tried to add its icon";
    ASSERT_FALSE(late.Taken().empty()) << "the shell did not take the icon";
    ASSERT_TRUE(panel_.Exit(kPanelCaption));
    EXPECT_EQ(late.Requests().back(), static_cast<DWORD>(NIM_DELETE)) << "a ghost icon stayed";
    EXPECT_EQ(late.Taken().back(), static_cast<DWORD>(NIM_DELETE));
}

} // namespace
} // namespace e2e
