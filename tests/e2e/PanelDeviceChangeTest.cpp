// The panel's answer to WM_DEVICECHANGE, in this process (a record sent to another process
// arrives there without its data). Every record gets TRUE; only an arrival or a completed
// removal of a device interface with a name of five or more characters makes the panel reopen
// the driver and refresh, which the simulator's log shows.
#include "ChangeRecords.h"
#include "DriverLog.h"
#include "PanelHarness.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <vector>

namespace e2e {
namespace {

class PanelDeviceChange : public PanelTestBase {};

TEST_F(PanelDeviceChange, OnlyInterfaceArrivalsAndRemovalsWithARealNameReopenTheDriver) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    const std::vector<test::Request> reopen = {{KSIM_GET_UNIT_LIST},
                                               test::InfoFor(unit),
                                               {KSIM_GET_SAMPLE_RATE},
                                               {KSIM_SEND_REQUEST, unit},
                                               {KSIM_GET_BUFFER_SIZE}};

    RunPanel([&](ModelPanel& self) {
        for (const ChangeRow& row : ChangeRows()) {
            SCOPED_TRACE(row.name);
            ASSERT_TRUE(sim_.ClearLog());
            const LPARAM data = row.at != 0  ? row.at
                                : row.record ? reinterpret_cast<LPARAM>(row.record->Data())
                                             : 0;
            EXPECT_EQ(SendMessageA(self.m_hWnd, WM_DEVICECHANGE, row.event, data), TRUE);
            const test::Log log = sim_.Log();
            if (row.reopens) {
                EXPECT_TRUE(test::LogIs(log, reopen));
                ASSERT_EQ(log.size(), reopen.size());
                EXPECT_EQ(log[1].input.size(), sizeof(unit)); // the unit's identifier alone
            } else {
                EXPECT_TRUE(log.empty()) << test::Describe(log);
            }
            // Whatever came, the panel still shows the driver.
            EXPECT_EQ(SelectedText(self.RateList()), "48.0 kHz");
            EXPECT_EQ(self.m_unitCount, 1);
        }
    });
}

} // namespace
} // namespace e2e

int main(int argc, char** argv) {
    return RunPanelTests(argc, argv);
}
