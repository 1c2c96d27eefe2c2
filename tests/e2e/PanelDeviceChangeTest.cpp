// The panel's answer to WM_DEVICECHANGE, in this process (a record sent to another process
// arrives there without its data). Every record gets TRUE; only an arrival or a completed
// removal of a device interface with a name of five or more characters makes the panel reopen
// the driver and refresh, which the simulator's log shows.
#include "ChangeRecords.h"
#include "PanelHarness.h"
#include "RequestLog.h"

#include "DeviceGlobals.h"
#include "SimulatorClient.h"

#include <gtest/gtest.h>

#include <dbt.h>

#include <cstring>
#include <string>
#include <vector>

namespace e2e {
namespace {

const char kPath[] = "\\\\?\\KESTRELBUS#UNIT#7#{995949f0-6d7f-4c14-9f0a-2f26e3255c2b}";

struct Row {
    const char* name;
    UINT event;
    const ChangeRecord* record; // null: lParam 0
    bool reopens;
};

std::vector<std::uint32_t> Codes(const std::vector<sim::LogEntry>& log) {
    std::vector<std::uint32_t> codes;
    for (const sim::LogEntry& entry : log) {
        codes.push_back(entry.code);
    }
    return codes;
}

class PanelDeviceChange : public PanelTestBase {};

TEST_F(PanelDeviceChange, OnlyInterfaceArrivalsAndRemovalsWithARealNameReopenTheDriver) {
    const ChangeRecord widePath = ChangeRecord::Wide(kPath);
    const ChangeRecord ansiPath = ChangeRecord::Ansi(kPath);
    const ChangeRecord wideFour = ChangeRecord::Wide("abcd");
    const ChangeRecord wideFive = ChangeRecord::Wide("abcde");
    const ChangeRecord ansiFour = ChangeRecord::Ansi("abcd");
    const ChangeRecord ansiFive = ChangeRecord::Ansi("abcde");
    // Names whose terminator lies beyond dbch_size end with the record.
    const ChangeRecord ansiCutAtFour = ChangeRecord::Ansi(kPath).StateSize(kNameOffset + 4);
    const ChangeRecord ansiCutAtTen = ChangeRecord::Ansi(kPath).StateSize(kNameOffset + 10);
    const ChangeRecord wideCutAtFive = ChangeRecord::Wide(kPath).StateSize(kNameOffset + 11);
    const ChangeRecord shortRecord =
        ChangeRecord::Raw(DBT_DEVTYP_DEVICEINTERFACE, sizeof(DEV_BROADCAST_HDR), {});
    const ChangeRecord volume = ChangeRecord::Raw(DBT_DEVTYP_VOLUME, sizeof(DEV_BROADCAST_VOLUME),
                                                  std::vector<std::uint8_t>(8, 0x41));
    const std::vector<Row> rows = {
        {"arrival without a record", DBT_DEVICEARRIVAL, nullptr, false},
        {"devnodes changed", DBT_DEVNODES_CHANGED, nullptr, false},
        {"arrival of a volume", DBT_DEVICEARRIVAL, &volume, false},
        {"arrival, record shorter than a name", DBT_DEVICEARRIVAL, &shortRecord, false},
        {"arrival, ANSI name cut by the record at 4", DBT_DEVICEARRIVAL, &ansiCutAtFour, false},
        {"arrival, ANSI name cut by the record at 10", DBT_DEVICEARRIVAL, &ansiCutAtTen, true},
        {"arrival, UTF-16 name cut by the record at 5", DBT_DEVICEARRIVAL, &wideCutAtFive, true},
        {"arrival, ANSI name of 4", DBT_DEVICEARRIVAL, &ansiFour, false},
        {"arrival, ANSI name of 5", DBT_DEVICEARRIVAL, &ansiFive, true},
        {"arrival, UTF-16 name of 4", DBT_DEVICEARRIVAL, &wideFour, false},
        {"arrival, UTF-16 name of 5", DBT_DEVICEARRIVAL, &wideFive, true},
        {"arrival, ANSI path", DBT_DEVICEARRIVAL, &ansiPath, true},
        {"removal complete, UTF-16 path", DBT_DEVICEREMOVECOMPLETE, &widePath, true},
        {"query remove", DBT_DEVICEQUERYREMOVE, &widePath, false},
        {"remove pending", DBT_DEVICEREMOVEPENDING, &widePath, false},
    };
    const std::uint32_t unit = sim_.State().units.at(0).id;
    const std::vector<std::uint32_t> reopen = {kUnitList, kUnitInfo, kGetSampleRate, kSendRequest,
                                               kGetBufferSize};

    ModelPanel panel;
    panel.Run([&](ModelPanel& self) {
        for (const Row& row : rows) {
            SCOPED_TRACE(row.name);
            ASSERT_TRUE(sim_.ClearLog());
            const LPARAM data =
                row.record == nullptr ? 0 : reinterpret_cast<LPARAM>(row.record->Data());
            EXPECT_EQ(SendMessageA(self.m_hWnd, WM_DEVICECHANGE, row.event, data), TRUE);
            const std::vector<sim::LogEntry> log = sim_.Log();
            if (row.reopens) {
                EXPECT_EQ(Codes(log), reopen);
                ASSERT_EQ(log.size(), reopen.size());
                std::uint32_t asked = 0;
                ASSERT_EQ(log[1].input.size(), sizeof(asked));
                std::memcpy(&asked, log[1].input.data(), sizeof(asked));
                EXPECT_EQ(asked, unit);
            } else {
                EXPECT_TRUE(log.empty()) << log.size() << " requests";
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
