// Units plugged in and pulled out while the panel hides in the tray: the system's device
// notifications reach it, and it rebuilds its lists and sends the stored clock source again.
#include "E2eFixture.h"

namespace e2e {
namespace {

// What the panel's lists show.
struct ListsView {
    Texts rates;
    std::string rate;
    Texts clocks;
    std::string clock;
    bool clocksEnabled = true;

    bool operator==(const ListsView& other) const = default;
};

ListsView ReadLists(HWND panel) {
    HWND clocks = GetDlgItem(panel, kClockList);
    return ListsView{ListTexts(GetDlgItem(panel, kRateList)),
                     SelectedText(GetDlgItem(panel, kRateList)), ListTexts(clocks),
                     SelectedText(clocks), IsWindowEnabled(clocks) != FALSE};
}

std::string Describe(const ListsView& view) {
    return "rates " + ::testing::PrintToString(view.rates) + " selected [" + view.rate +
           "]; clocks" + (view.clocksEnabled ? " " : " (disabled) ") +
           ::testing::PrintToString(view.clocks) + " selected [" + view.clock + "]";
}

// The panel's lists come to show `expected` (a refresh takes its time under load, and the
// lists change entry by entry while it runs).
::testing::AssertionResult ListsBecome(HWND panel, const ListsView& expected) {
    ListsView shown;
    WaitUntil([&] { return (shown = ReadLists(panel)) == expected; });
    if (shown == expected) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "shown:    " << Describe(shown) << "\nexpected: " << Describe(expected);
}

TEST_F(PanelE2e, UnitsComingAndGoingRebuildTheListsAndResendTheStoredClockSource) {
    // The stored choice is "S/PDIF": the first unit's own input.
    ASSERT_TRUE(StoreClockSource(1));
    const std::uint32_t first = sim_.UnitIds().at(0);
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    const ListsView oneUnit = {kFourRates, "48.0 kHz", kOneUnitClocks, "S/PDIF", true};
    EXPECT_TRUE(ListsBecome(panel, oneUnit));

    // A second unit arrives: two rates, two S/PDIF inputs; the unit listed first takes its
    // S/PDIF input, the other its internal clock.
    ASSERT_TRUE(sim_.ClearLog());
    const std::vector<std::uint32_t> plugged = sim_.Plug(1);
    ASSERT_EQ(plugged.size(), 1u);
    const std::uint32_t second = plugged[0];
    const std::vector<std::uint32_t> listed = sim_.UnitIds();
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_TRUE(ListsBecome(panel, {kTwoRates, "48.0 kHz", kTwoUnitClocks, "S/PDIF 1", true}));
    EXPECT_TRUE(LogBecomes(sim_, {{KSIM_GET_UNIT_LIST},
                                  InfoFor(listed[0]),
                                  InfoFor(listed[1]),
                                  {KSIM_GET_SAMPLE_RATE},
                                  FrameTo(listed[0], 0),
                                  FrameTo(listed[1], 1),
                                  {KSIM_GET_BUFFER_SIZE}}));
    EXPECT_EQ(ListTexts(GetDlgItem(panel, kBufferList)), kLatencies);
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kBufferList)), "2.5 ms");

    // It leaves again: one unit, four rates.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(sim_.Unplug(second));
    EXPECT_TRUE(ListsBecome(panel, oneUnit));
    EXPECT_TRUE(LogBecomes(sim_, RefreshOf(first, 0)));

    // The last unit leaves: " No Device", and the clock list disabled with its old entries;
    // nothing goes to any unit.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(sim_.Unplug(first));
    EXPECT_TRUE(
        ListsBecome(panel, {{" No Device"}, " No Device", kOneUnitClocks, "S/PDIF", false}));
    const Request noRate = {.code = KSIM_GET_SAMPLE_RATE, .status = ERROR_DEVICE_NOT_CONNECTED};
    EXPECT_TRUE(LogBecomes(sim_, {{KSIM_GET_UNIT_LIST}, noRate, {KSIM_GET_BUFFER_SIZE}}));
    EXPECT_TRUE(IsWindowEnabled(GetDlgItem(panel, kBufferList)));
    EXPECT_EQ(StoredClockSource(), 1);

    // A unit comes back: the lists return and it gets the stored clock source.
    ASSERT_TRUE(sim_.ClearLog());
    const std::vector<std::uint32_t> returned = sim_.Plug(1);
    ASSERT_EQ(returned.size(), 1u);
    EXPECT_TRUE(ListsBecome(panel, oneUnit));
    EXPECT_TRUE(LogBecomes(sim_, RefreshOf(returned[0], 0)));
    EXPECT_TRUE(IsHidden(panel));
}

// Over sleep the driver may change its values and a unit may lose its clock source: a wake
// reads the driver again and sends the stored clock source, as a unit arrival does, once for
// each wake, hidden or shown.
TEST_F(PanelE2e, AWakeFromSleepReadsTheDriverAgainOnceAWake) {
    ASSERT_TRUE(StoreClockSource(1));
    ASSERT_TRUE(StartHidden(panel_));
    HWND panel = panel_.Panel();
    const std::vector<Request> refresh = RefreshOf(sim_.UnitIds().at(0), 0);
    const Texts clocks = kOneUnitClocks;
    EXPECT_TRUE(ListsBecome(panel, {kFourRates, "48.0 kHz", clocks, "S/PDIF", true}));

    // Going to sleep sends nothing: the announcement returns once the panel has handled it. The
    // driver changes while the system sleeps; the wake is announced twice, as when a user wakes
    // the system: one refresh.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
    EXPECT_TRUE(LogIs(sim_.Log(), {}));
    ASSERT_TRUE(sim_.SetRate(96000));
    ASSERT_TRUE(sim_.SetBuffer(10000));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMEAUTOMATIC));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMESUSPEND));
    EXPECT_TRUE(ListsBecome(panel, {kFourRates, "96.0 kHz", clocks, "S/PDIF", true}));
    EXPECT_EQ(SelectedText(GetDlgItem(panel, kBufferList)), "10.0 ms");
    EXPECT_TRUE(LogBecomes(sim_, refresh));
    EXPECT_TRUE(IsHidden(panel));

    // Shown, on a system that announces a wake by PBT_APMRESUMESUSPEND alone: one refresh.
    ASSERT_TRUE(RestoreFromTray(panel));
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
    ASSERT_TRUE(sim_.SetRate(44100));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMESUSPEND));
    EXPECT_TRUE(ListsBecome(panel, {kFourRates, "44.1 kHz", clocks, "S/PDIF", true}));
    EXPECT_TRUE(LogBecomes(sim_, refresh));
    EXPECT_TRUE(IsShown(panel));

    // Some systems announce a user's wake in the other order: still one refresh.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
    ASSERT_TRUE(sim_.SetRate(48000));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMESUSPEND));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMEAUTOMATIC));
    EXPECT_TRUE(ListsBecome(panel, {kFourRates, "48.0 kHz", clocks, "S/PDIF", true}));
    EXPECT_TRUE(LogBecomes(sim_, refresh));

    // The unit is not ready yet at the first resume event (its bus is being reset): the wake
    // stays open, and the second refreshes again.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(AnnouncePower(PBT_APMSUSPEND));
    ASSERT_TRUE(sim_.Fail(KSIM_GET_SAMPLE_RATE, ERROR_NOT_READY, 1));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMEAUTOMATIC));
    EXPECT_TRUE(ListsBecome(panel, {{" No Device"}, " No Device", clocks, "S/PDIF", false}));
    ASSERT_TRUE(AnnouncePower(PBT_APMRESUMESUSPEND));
    EXPECT_TRUE(ListsBecome(panel, {kFourRates, "48.0 kHz", clocks, "S/PDIF", true}));
    const Request notReady = {.code = KSIM_GET_SAMPLE_RATE, .status = ERROR_NOT_READY};
    const std::uint32_t unit = sim_.UnitIds().at(0);
    EXPECT_TRUE(LogBecomes(sim_, std::vector<Request>{{KSIM_GET_UNIT_LIST},
                                                      InfoFor(unit),
                                                      notReady,
                                                      {KSIM_GET_BUFFER_SIZE}} +
                                     refresh));
}

} // namespace
} // namespace e2e
