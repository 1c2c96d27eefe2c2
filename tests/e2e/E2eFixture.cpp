#include "E2eFixture.h"

namespace e2e {

std::vector<Request> RefreshOf(std::uint32_t unit, int plug) {
    return {{KSIM_GET_UNIT_LIST},
            InfoFor(unit),
            {KSIM_GET_SAMPLE_RATE},
            FrameTo(unit, plug),
            {KSIM_GET_BUFFER_SIZE}};
}

void PanelE2e::SetUp() {
    ASSERT_EQ(DesktopName(), "KestrelE2E")
        << "the end-to-end cases run in the Wine virtual desktop KestrelE2E (fixture e2e_desktop)";
    SimulatorTest::SetUp();
    // A case's programs end with it (test::ChildProcess's job), however it ends.
    EXPECT_TRUE(PanelProcess::AllPanels().empty()) << "a panel of an earlier case still runs";
    DeleteSettings();
}

void PanelE2e::TearDown() {
    panel_.End();
    // The pointer goes back to where the display starts it. Left on the taskbar it lies on the
    // taskbar of the tray tests' desktop too, and the grab with which Wine warps the pointer
    // makes that desktop's shell report the old place after the warp.
    EXPECT_TRUE(MoveMouse({GetSystemMetrics(SM_CXSCREEN) / 2, GetSystemMetrics(SM_CYSCREEN) / 2}));
    DeleteSettings();
    sim_.Reset();
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

::testing::AssertionResult MenuShows(HWND window, const MenuShot& expected,
                                     const std::string& name) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    if (!EqualRect(&rect, &expected.rect)) {
        return ::testing::AssertionFailure()
               << name << ": the menu is elsewhere or of another size than the reference";
    }
    Image shown;
    if (!WaitForImage(rect, expected.image, shown)) {
        SaveBitmap(shown, name + "-got");
        SaveBitmap(expected.image, name + "-expected");
        return ::testing::AssertionFailure()
               << name << ": " << DifferingPixels(shown, expected.image)
               << " pixels differ (see screenshots/" << name << "-*.bmp)";
    }
    return ::testing::AssertionSuccess();
}

} // namespace e2e
