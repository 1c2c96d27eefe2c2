// Units plugged in and pulled out while the panel hides in the tray: the system's device
// notifications reach it, and it rebuilds its lists and sends the stored clock source again.
#include "E2eFixture.h"

namespace e2e {
namespace {

const long kDeviceNotConnected = 1167;

TEST_F(PanelE2e, UnitsComingAndGoingRebuildTheListsAndResendTheStoredClockSource) {
    // The stored choice is "S/PDIF": the first unit's own input.
    ASSERT_TRUE(StoreClockSource(kAppName, 1));
    const std::uint32_t first = Units().at(0);
    ASSERT_TRUE(StartHidden());
    HWND panel = panel_.Panel();
    HWND rates = GetDlgItem(panel, kRateList);
    HWND clocks = GetDlgItem(panel, kClockList);
    HWND buffers = GetDlgItem(panel, kBufferList);
    EXPECT_EQ(SelectedText(clocks), "S/PDIF");

    // A second unit arrives: two rates, two S/PDIF inputs; the first unit takes its S/PDIF
    // input, the second its internal clock.
    ASSERT_TRUE(sim_.ClearLog());
    const std::vector<std::uint32_t> plugged = sim_.Plug(1);
    ASSERT_EQ(plugged.size(), 1u);
    const std::uint32_t second = plugged[0];
    EXPECT_TRUE(WaitUntil([&] { return ListTexts(clocks).size() == 3; }));
    EXPECT_TRUE(LogIs(SettledLog(sim_), {{kUnitList},
                                         InfoFor(first),
                                         InfoFor(second),
                                         {kGetSampleRate},
                                         FrameTo(first, 0),
                                         FrameTo(second, 1),
                                         {kGetBufferSize}}));
    EXPECT_EQ(ListTexts(rates), kTwoRates);
    EXPECT_EQ(SelectedText(rates), "48.0 kHz");
    EXPECT_EQ(ListTexts(clocks), (Texts{"Internal", "S/PDIF 1", "S/PDIF 2"}));
    EXPECT_EQ(SelectedText(clocks), "S/PDIF 1");
    EXPECT_EQ(ListTexts(buffers), kLatencies);
    EXPECT_EQ(SelectedText(buffers), "2.5 ms");

    // It leaves again: one unit, four rates.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(sim_.Unplug(second));
    EXPECT_TRUE(WaitUntil([&] { return ListTexts(clocks).size() == 2; }));
    EXPECT_TRUE(LogIs(
        SettledLog(sim_),
        {{kUnitList}, InfoFor(first), {kGetSampleRate}, FrameTo(first, 0), {kGetBufferSize}}));
    EXPECT_EQ(ListTexts(rates), kFourRates);
    EXPECT_EQ(ListTexts(clocks), (Texts{"Internal", "S/PDIF"}));
    EXPECT_EQ(SelectedText(clocks), "S/PDIF");

    // The last unit leaves: " No Device", and the clock list disabled with its old entries;
    // nothing goes to any unit.
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_TRUE(sim_.Unplug(first));
    EXPECT_TRUE(WaitUntil([&] { return ListTexts(rates) == Texts{" No Device"}; }))
        << ListTexts(rates).size() << " rates";
    Request noRate = {kGetSampleRate};
    noRate.status = kDeviceNotConnected;
    EXPECT_TRUE(LogIs(SettledLog(sim_), {{kUnitList}, noRate, {kGetBufferSize}}));
    EXPECT_EQ(SelectedText(rates), " No Device");
    EXPECT_FALSE(IsWindowEnabled(clocks));
    EXPECT_EQ(ListTexts(clocks), (Texts{"Internal", "S/PDIF"}));
    EXPECT_TRUE(IsWindowEnabled(buffers));
    EXPECT_EQ(StoredClockSource(kAppName), 1);

    // A unit comes back: the lists return and it gets the stored clock source.
    ASSERT_TRUE(sim_.ClearLog());
    const std::vector<std::uint32_t> returned = sim_.Plug(1);
    ASSERT_EQ(returned.size(), 1u);
    EXPECT_TRUE(WaitUntil([&] { return ListTexts(rates) == kFourRates; }));
    EXPECT_TRUE(LogIs(SettledLog(sim_), {{kUnitList},
                                         InfoFor(returned[0]),
                                         {kGetSampleRate},
                                         FrameTo(returned[0], 0),
                                         {kGetBufferSize}}));
    EXPECT_TRUE(IsWindowEnabled(clocks));
    EXPECT_EQ(SelectedText(clocks), "S/PDIF");
    EXPECT_TRUE(IsHidden(panel));
}

} // namespace
} // namespace e2e
