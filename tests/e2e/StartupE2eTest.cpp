// Start-up: the program comes up minimised into the tray, with its lists filled from the driver,
// and goes again through its tray menu's "E&xit" command, taking its icon with it.
#include "E2eFixture.h"

namespace e2e {
namespace {

TEST_F(PanelE2e, StartsHiddenInTheTrayWithItsListsFilledFromTheDriver) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();

    // The panel dialog, minimised and hidden as soon as its loop ran; a window that would have
    // a taskbar button (WS_EX_APPWINDOW) but has none while it is hidden.
    EXPECT_EQ(ClassOf(panel), kDialogClass);
    EXPECT_EQ(WindowText(panel), kPanelCaption);
    EXPECT_NE(GetWindowLongA(panel, GWL_EXSTYLE) & WS_EX_APPWINDOW, 0);
    EXPECT_TRUE(IsHidden(panel));

    // The tray icon belongs to a hidden window of the program, under id 135, and its tip shows
    // "KESTREL" when the mouse rests on it.
    EXPECT_NE(panel_.TrayOwner(), panel);
    EXPECT_FALSE(IsWindowVisible(panel_.TrayOwner()));
    EXPECT_TRUE(ShellHasIcon(panel_.TrayOwner(), kTrayIconId));
    const POINT icon = FirstIconPoint();
    ASSERT_TRUE(MoveMouse(POINT{icon.x - 300, icon.y - 300}));
    ASSERT_TRUE(MoveMouse(icon));
    EXPECT_TRUE(WaitUntil([] { return VisibleTooltip() == "KESTREL"; }))
        << "tooltip: \"" << VisibleTooltip() << "\"";

    // The lists as the driver's defaults fill them, read while the panel is hidden.
    EXPECT_EQ(ListTexts(GetDlgItem(panel, kRateList)), kFourRates);
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kRateList)), "48.0 kHz");
    EXPECT_EQ(ListTexts(GetDlgItem(panel, kClockList)), kOneUnitClocks);
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kClockList)), "Internal");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel, kClockList)));
    EXPECT_EQ(ListTexts(GetDlgItem(panel, kBufferList)), kLatencies);
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kBufferList)), "2.5 ms");
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel, kBufferList)));

    // Exactly: the constructor's unit list and one information request per unit, then the
    // refresh: the rate, the stored clock source (none: internal, plug 1) to the unit, the
    // buffer size. The clock source is read, never written.
    EXPECT_TRUE(LogBecomes(sim_, RefreshOf(unit, 1)));
    EXPECT_EQ(StoredClockSource(), -2);

    // The tray menu's "E&xit" command ends the program; its icon goes with its window.
    ASSERT_TRUE(sim_.ClearLog());
    PostMessageA(panel, WM_COMMAND, kExitCommand, 0);
    EXPECT_TRUE(WaitEnded(panel_));
    EXPECT_FALSE(IsWindow(panel));
    EXPECT_TRUE(sim_.Log().empty()) << Describe(sim_.Log());
}

} // namespace
} // namespace e2e
