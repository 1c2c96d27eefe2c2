// A second start while the panel hides in the tray, and a copy of the executable under another
// file name.
//
// Not observable from outside: how often a process opened and closed the control device (the
// simulator logs requests, not opens). The second copy's share is told by its requests: the
// constructor's unit list and unit information, and nothing after them but the running panel's
// reads when it shows.
#include "E2eFixture.h"

#include <optional>

namespace e2e {
namespace {

const char kCopyName[] = "KESTREL Bench";

// Iconic, and still visible once the panel has answered a later message: minimised to a taskbar
// button.
bool StaysOnTheTaskbar(HWND panel) {
    if (!WaitUntil([panel] { return IsIconic(panel) != FALSE; }) || !Answers(panel)) {
        return false;
    }
    HWND button = TaskbarButton(panel);
    return IsIconic(panel) && IsWindowVisible(panel) && button != nullptr &&
           IsWindowVisible(button);
}

TEST_F(PanelE2e, ASecondStartRestoresTheHiddenPanelAndLeavesATaskbarButtonAfterDone) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    ASSERT_TRUE(sim_.ClearLog());

    PanelProcess second;
    ASSERT_TRUE(second.Start());
    const std::optional<DWORD> exitCode = second.WaitForExit(kProgramMs);
    ASSERT_TRUE(exitCode.has_value()) << "the second copy keeps running";
    EXPECT_EQ(*exitCode, 0u);
    // The running panel is restored and in front; there is still one panel and one icon.
    EXPECT_TRUE(WaitShown(panel));
    EXPECT_EQ(GetForegroundWindow(), panel);
    EXPECT_EQ(PanelProcess::AllPanels().size(), 1u);
    EXPECT_TRUE(ShellHasIcon(panel_.TrayOwner(), kTrayIconId));
    // The second copy read the unit list when it opened the driver, and then only closed it;
    // the panel read the driver once as it showed and came to the front.
    const std::vector<Request> reads =
        std::vector<Request>{{KSIM_GET_UNIT_LIST}, InfoFor(unit)} + kLookReads;
    EXPECT_TRUE(LogBecomes(sim_, reads));

    // Restored from outside, the panel still counts itself minimised: "Done" minimises it
    // without hiding it, and it stays on the taskbar.
    ASSERT_TRUE(ClickAt(CentreOf(GetDlgItem(panel, kDoneButton))));
    EXPECT_TRUE(StaysOnTheTaskbar(panel));
    // Restored from the taskbar (SC_RESTORE), it counts itself restored again: the next "Done"
    // hides it in the tray.
    ASSERT_TRUE(ClickAt(CentreOf(TaskbarButton(panel))));
    EXPECT_TRUE(WaitShown(panel));
    ASSERT_TRUE(ClickAt(CentreOf(GetDlgItem(panel, kDoneButton))));
    EXPECT_TRUE(WaitHidden(panel));
    // Restored from the taskbar, it read the driver once more.
    EXPECT_TRUE(LogBecomes(sim_, reads + kLookReads));
}

// Removes the copy and its settings; made before the copy's process, so ended after it.
struct CopyRemoval {
    std::string path;
    ~CopyRemoval() {
        DeleteSettings(kCopyName);
        DeleteFileA(path.c_str());
    }
};

TEST_F(PanelE2e, ACopyUnderAnotherNameKeepsItsSettingsUnderItsOwnKey) {
    const std::string copy = std::string(kWorkDir) + "/" + kCopyName + ".exe";
    const CopyRemoval removal = {copy};
    CreateDirectoryA(kWorkDir, nullptr);
    ASSERT_TRUE(CopyFileA(kPanelExe, copy.c_str(), FALSE)) << GetLastError();
    DeleteSettings(kCopyName);
    // The copy's own key says "S/PDIF"; the program's key has nothing.
    ASSERT_TRUE(StoreClockSource(1, kCopyName));
    const std::uint32_t unit = sim_.UnitIds().at(0);

    PanelProcess bench(copy);
    ASSERT_TRUE(StartHidden(bench));
    HWND panel = bench.Panel();
    HWND clocks = GetDlgItem(panel, kClockList);
    EXPECT_EQ(SelectedText(clocks), "S/PDIF");
    EXPECT_TRUE(LogBecomes(sim_, RefreshOf(unit, 0)));

    // The user picks "Internal" from the clock list with the mouse.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(RestoreFromTray(panel));
    ASSERT_TRUE(ClickAt(CentreOf(clocks)));
    // The open list is a top-level window of the program.
    std::vector<HWND> dropped;
    ASSERT_TRUE(WaitUntil([&] {
        dropped = VisibleTopLevels(bench.Id(), "ComboLBox");
        return dropped.size() == 1;
    }));
    RECT list = {};
    GetWindowRect(dropped[0], &list);
    const LONG entry = static_cast<LONG>(SendMessageW(clocks, CB_GETITEMHEIGHT, 0, 0));
    ASSERT_TRUE(ClickAt(POINT{(list.left + list.right) / 2, list.top + 1 + entry / 2}));
    EXPECT_TRUE(WaitUntil([&] { return SelectedText(clocks) == "Internal"; }));

    // Shown, it read the driver; the units get the internal clock, and the choice is stored
    // under the copy's name only.
    EXPECT_TRUE(LogBecomes(sim_, kLookReads + std::vector<Request>{FrameTo(unit, 1)}));
    EXPECT_TRUE(WaitUntil([] { return StoredClockSource(kCopyName) == 0; }))
        << StoredClockSource(kCopyName);
    EXPECT_EQ(StoredClockSource(), -2);

    ASSERT_TRUE(PressKeys(panel, {"Escape"}));
    EXPECT_TRUE(WaitEnded(bench));
}

} // namespace
} // namespace e2e
