// The panel window under a real mouse and keyboard: a double click on the tray icon brings it
// back with what the driver holds now, "Done", the minimise box and the system menu's Minimize
// hide it again; each show reads the rate and the buffer size, nothing else; its system menu
// (against a reference drawn here) has the About entry and a greyed, empty entry where Close
// was, the close button does nothing, the About box opens from the menu; Escape ends the program.
#include "E2eFixture.h"

namespace e2e {
namespace {

// The panel's client area: 198 x 217 dialog units at 96 dpi with the 8-point dialog font.
const LONG kClientWidth = 297;
const LONG kClientHeight = 353;

// What the panel's system menu should be: the system's own, with a separator and the About
// entry appended, and Close turned into a greyed entry without text or command.
void ExpectedSystemMenu(HMENU menu) {
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, kAboutCommand, "&About Quillmar KESTREL...");
    ModifyMenuA(menu, SC_CLOSE, MF_BYCOMMAND | MF_STRING | MF_GRAYED, 0, nullptr);
}

// Opens the panel's system menu as the user does, with Alt+Space; the menu's window.
HWND OpenSystemMenu(HWND panel) {
    const std::vector<HWND> menus =
        PressKeys(panel, {"alt+space"}) ? WaitForMenus(ProcessOf(panel), 1) : std::vector<HWND>();
    return menus.size() == 1 ? menus[0] : nullptr;
}

// A reference system menu of a stand-in with the panel's styles at the panel's place, open.
std::vector<MenuShot> ReferenceSystemMenu(HWND panel, void (*prepare)(HMENU)) {
    RECT placed = {};
    GetWindowRect(panel, &placed);
    ReferenceMenus reference;
    std::vector<MenuShot> shots;
    if (reference.TrackSystemMenu(static_cast<DWORD>(GetWindowLongA(panel, GWL_STYLE)),
                                  static_cast<DWORD>(GetWindowLongA(panel, GWL_EXSTYLE)), placed,
                                  prepare)) {
        shots = ShootMenus(VisibleMenus(GetCurrentProcessId()));
    }
    reference.Close();
    return shots;
}

TEST_F(PanelE2e, ComesBackFromTheTrayAndHidesAgainLikeAUserExpects) {
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    const DWORD program = panel_.Id();
    ASSERT_TRUE(sim_.ClearLog());
    // Meanwhile an audio program has the driver run at another rate and buffer size.
    ASSERT_TRUE(sim_.SetRate(44100));
    ASSERT_TRUE(sim_.SetBuffer(10000));

    // A double click on the icon restores the panel, in front, showing the driver's values.
    ASSERT_TRUE(RestoreFromTray(panel));
    EXPECT_EQ(GetForegroundWindow(), panel);
    RECT client = {};
    GetClientRect(panel, &client);
    EXPECT_EQ(client.right - client.left, kClientWidth);
    EXPECT_EQ(client.bottom - client.top, kClientHeight);
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kRateList)), "44.1 kHz");
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kClockList)), "Internal");
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kBufferList)), "10.0 ms");
    EXPECT_TRUE(LogBecomes(sim_, kLookReads));
    EXPECT_TRUE(SaveScreenshot("panel", panel));
    ASSERT_TRUE(sim_.ClearLog());

    // "Done" hides it.
    ASSERT_TRUE(ClickAt(CentreOf(GetDlgItem(panel, kDoneButton))));
    ASSERT_TRUE(WaitHidden(panel));

    // So does the caption's minimise box.
    ASSERT_TRUE(RestoreFromTray(panel));
    POINT minimise = {};
    ASSERT_TRUE(CaptionPoint(panel, HTMINBUTTON, minimise));
    ASSERT_TRUE(ClickAt(minimise));
    ASSERT_TRUE(WaitHidden(panel));

    // And the system menu's Minimize, by keyboard.
    ASSERT_TRUE(RestoreFromTray(panel));
    HWND systemMenu = OpenSystemMenu(panel);
    ASSERT_NE(systemMenu, nullptr);
    ASSERT_TRUE(PressKeys(systemMenu, {"n"}));
    ASSERT_TRUE(WaitHidden(panel));
    // Hiding asked nothing of the driver; each of the two shows read it once.
    EXPECT_TRUE(LogBecomes(sim_, kLookReads + kLookReads));

    // The system menu: the About entry, and a greyed empty entry where Close was. The reference
    // is drawn first, with the panel in place; then the panel's own menu must come to show the
    // same pixels. The system's own menu, with Close, looks different.
    ASSERT_TRUE(RestoreFromTray(panel));
    const std::vector<MenuShot> expected = ReferenceSystemMenu(panel, &ExpectedSystemMenu);
    const std::vector<MenuShot> plain = ReferenceSystemMenu(panel, nullptr);
    ASSERT_EQ(expected.size(), 1u);
    ASSERT_EQ(plain.size(), 1u);
    EXPECT_NE(expected[0].image, plain[0].image);
    systemMenu = OpenSystemMenu(panel);
    ASSERT_NE(systemMenu, nullptr);
    EXPECT_TRUE(MenuShows(systemMenu, expected[0], "system-menu"));
    EXPECT_TRUE(SaveScreenshot("panel-system-menu"));
    // "C" finds no Close entry to choose, and Escape then closes the menu: had "c" chosen an
    // entry, Escape would have reached the panel and ended the program.
    ASSERT_TRUE(PressKeys(systemMenu, {"c", "Escape"}));
    ASSERT_TRUE(WaitForMenus(program, 0).empty());

    // The caption's close button does nothing: the system menu, opened after the click, finds
    // the panel still shown.
    POINT close = {};
    ASSERT_TRUE(CaptionPoint(panel, HTCLOSE, close));
    ASSERT_TRUE(ClickAt(close));
    systemMenu = OpenSystemMenu(panel);
    ASSERT_NE(systemMenu, nullptr);
    EXPECT_TRUE(IsShown(panel));

    // The About entry, the menu's last, opens the About box, owned by the panel; its OK button
    // (Return) ends it. ("A" would stop at Wine's own "About Wine" entry first.)
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(PressKeys(systemMenu, {"Up", "Return"}));
    HWND about = nullptr;
    ASSERT_TRUE(WaitUntil([&] {
        about = FindTopLevel(program, kDialogClass, kAboutCaption);
        return about != nullptr && IsWindowVisible(about);
    }));
    EXPECT_EQ(GetWindow(about, GW_OWNER), panel);
    EXPECT_TRUE(SaveScreenshot("about", about));
    // The OK button shows over the background picture: hidden, the picture takes its place.
    HWND ok = GetDlgItem(about, IDOK);
    RECT okRect = {};
    ASSERT_TRUE(GetWindowRect(ok, &okRect));
    const Image withButton = CaptureSettled(okRect);
    ShowWindow(ok, SW_HIDE);
    const Image withoutButton = CaptureSettled(okRect);
    ShowWindow(ok, SW_SHOW);
    EXPECT_TRUE(withButton != withoutButton) << "the picture covers the OK button";
    ASSERT_TRUE(PressKeys(about, {"Return"}));
    ASSERT_TRUE(WaitUntil([&] { return !IsWindow(about); }));
    EXPECT_TRUE(IsShown(panel));
    // Back in the panel from the About box, the user looks at it again: one read.
    EXPECT_TRUE(LogBecomes(sim_, kLookReads));

    // Escape in the panel ends the program, and the icon goes with it.
    ASSERT_TRUE(PressKeys(panel, {"Escape"}));
    EXPECT_TRUE(WaitEnded(panel_));
}

} // namespace
} // namespace e2e
