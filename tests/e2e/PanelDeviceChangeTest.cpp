// The panel's answer to WM_DEVICECHANGE, in this process (a record sent to another process
// arrives there without its data). Every record gets TRUE; only an arrival or a completed
// removal of a device interface with a name of five or more characters makes the panel reopen
// the driver and refresh, which the simulator's log shows.
#include "ChangeRecords.h"
#include "DriverLog.h"
#include "PanelHarness.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <optional>
#include <string>
#include <vector>

namespace e2e {
namespace {

struct Row {
    const char* name;
    UINT event;
    std::optional<ChangeRecord> record; // none: lParam 0
    bool reopens;
};

class PanelDeviceChange : public PanelTestBase {};

TEST_F(PanelDeviceChange, OnlyInterfaceArrivalsAndRemovalsWithARealNameReopenTheDriver) {
    const std::string path = UnitInterfacePath();
    const std::vector<Row> rows = {
        {"arrival without a record", DBT_DEVICEARRIVAL, std::nullopt, false},
        {"devnodes changed", DBT_DEVNODES_CHANGED, std::nullopt, false},
        {"arrival of a volume", DBT_DEVICEARRIVAL,
         ChangeRecord::Raw(DBT_DEVTYP_VOLUME, std::vector<std::uint8_t>(8, 0x41)), false},
        {"arrival, record shorter than a name", DBT_DEVICEARRIVAL,
         ChangeRecord::Raw(DBT_DEVTYP_DEVICEINTERFACE, {}), false},
        // Names whose terminator lies beyond dbch_size end with the record.
        {"arrival, ANSI name cut by the record at 4", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi(path).StateSize(kNameOffset + 4), false},
        {"arrival, ANSI name cut by the record at 10", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi(path).StateSize(kNameOffset + 10), true},
        {"arrival, UTF-16 name cut by the record at 5", DBT_DEVICEARRIVAL,
         ChangeRecord::Wide(path).StateSize(kNameOffset + 11), true},
        {"arrival, ANSI name of 4", DBT_DEVICEARRIVAL, ChangeRecord::Ansi("abcd"), false},
        {"arrival, ANSI name of 5", DBT_DEVICEARRIVAL, ChangeRecord::Ansi("abcde"), true},
        {"arrival, UTF-16 name of 4", DBT_DEVICEARRIVAL, ChangeRecord::Wide("abcd"), false},
        {"arrival, UTF-16 name of 5", DBT_DEVICEARRIVAL, ChangeRecord::Wide("abcde"), true},
        {"arrival, ANSI path", DBT_DEVICEARRIVAL, ChangeRecord::Ansi(path), true},
        {"removal complete, UTF-16 path", DBT_DEVICEREMOVECOMPLETE, ChangeRecord::Wide(path), true},
        {"query remove", DBT_DEVICEQUERYREMOVE, ChangeRecord::Wide(path), false},
        {"remove pending", DBT_DEVICEREMOVEPENDING, ChangeRecord::Wide(path), false},
    };
    const std::uint32_t unit = sim_.UnitIds().at(0);
    const std::vector<test::Request> reopen = {{KSIM_GET_UNIT_LIST},
                                               test::InfoFor(unit),
                                               {KSIM_GET_SAMPLE_RATE},
                                               {KSIM_SEND_REQUEST, unit},
                                               {KSIM_GET_BUFFER_SIZE}};

    RunPanel([&](ModelPanel& self) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            ASSERT_TRUE(sim_.ClearLog());
            const LPARAM data = row.record ? reinterpret_cast<LPARAM>(row.record->Data()) : 0;
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
