// The panel's model against the driver simulator: what the lists show after a refresh, and the
// exact requests that reach the driver for each choice the user makes.
#include "PanelHarness.h"

#include "DeviceGlobals.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

using Texts = std::vector<std::string>;

const std::uint32_t kGetSampleRate = 0x80882030;
const std::uint32_t kSetSampleRate = 0x80882034;
const std::uint32_t kUnitList = 0x80882040;
const std::uint32_t kUnitInfo = 0x80882044;
const std::uint32_t kApplyStageTwo = 0x808820C0;
const std::uint32_t kApplyStageOne = 0x808820C4;
const std::uint32_t kSetCpuLevel = 0x80882104;
const std::uint32_t kGetBufferSize = 0x80882108;
const std::uint32_t kSetBufferSize = 0x8088210C;
const std::uint32_t kSetSecondBufferSize = 0x80882114;
const std::uint32_t kSendRequest = 0x80883004;
const DWORD kDriverError = ERROR_GEN_FAILURE;

const Texts kFourRates = {"44.1 kHz", "48.0 kHz", "88.2 kHz", "96.0 kHz"};
const Texts kTwoRates = {"44.1 kHz", "48.0 kHz"};
const Texts kLatencies = {"1.5 ms", "2.0 ms", "2.5 ms",  "3.0 ms",  "3.5 ms",  "4.0 ms",
                          "6.0 ms", "8.0 ms", "10.0 ms", "12.0 ms", "18.0 ms", "25.0 ms"};

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, size_t index) {
    std::uint32_t word = 0;
    if (bytes.size() >= (index + 1) * 4) {
        std::memcpy(&word, bytes.data() + index * 4, 4);
    }
    return word;
}

// A request as the test expects it: the code, and for unit requests the unit and plug byte.
struct Expected {
    std::uint32_t code;
    std::uint32_t target = sim::kControlTarget;
    int plug = -1;
};

std::string Describe(const std::vector<sim::LogEntry>& log) {
    std::string text;
    for (const sim::LogEntry& entry : log) {
        text += sim::FormatLogLine(entry) + "\n";
    }
    return text;
}

class PanelModelTest : public PanelTestBase {
protected:
    std::vector<std::uint32_t> UnitIds() {
        std::vector<std::uint32_t> ids;
        for (const sim::UnitState& unit : sim_.State().units) {
            ids.push_back(unit.id);
        }
        return ids;
    }

    void PlugSecondUnit() {
        ASSERT_EQ(sim_.Plug(1).size(), 1u);
        ASSERT_EQ(sim_.State().units.size(), 2u);
    }

    // Runs the panel: constructs it (opening the driver), clears the log, then refreshes and
    // runs `body`.
    void RunPanel(const ModelPanel::Body& body) {
        ModelPanel panel;
        ASSERT_TRUE(sim_.ClearLog());
        panel.Run(body);
    }

    // The log since the last clear matches `expected` exactly, in order.
    void ExpectLog(const std::vector<Expected>& expected) {
        std::vector<sim::LogEntry> log = sim_.Log();
        SCOPED_TRACE("log:\n" + Describe(log));
        ASSERT_EQ(log.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("request " + std::to_string(i));
            EXPECT_EQ(log[i].code, expected[i].code) << sim::RequestName(log[i].code);
            EXPECT_EQ(log[i].target, expected[i].target);
            if (expected[i].plug >= 0) {
                ASSERT_EQ(log[i].input.size(), 520u);
                EXPECT_EQ(log[i].input[15], expected[i].plug);
            }
        }
    }
};

TEST_F(PanelModelTest, OneUnitRefreshShowsTheDriverAndSendsTheStoredClockSource) {
    const std::uint32_t unit = UnitIds().at(0);
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.RateList()), kFourRates);
        EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");
        EXPECT_EQ(ListTexts(panel.ClockList()), (Texts{"Internal", "S/PDIF"}));
        EXPECT_EQ(SelectedText(panel.ClockList()), "Internal");
        EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(ListTexts(panel.BufferList()), kLatencies);
        EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
        EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
        EXPECT_EQ(panel.m_unitCount, 1);
        EXPECT_EQ(panel.m_clockSource, 0);
        // Exactly: the rate, the unit's selector frame (internal clock), the buffer size.
        ExpectLog({{kGetSampleRate}, {kSendRequest, unit, 1}, {kGetBufferSize}});
    });
    EXPECT_EQ(StoredClockSource(), -2) << "a refresh reads the clock source, never writes it";
}

TEST_F(PanelModelTest, TwoUnitsOfferTwoRatesAndTwoSpdifInputsAndShowTheStoredOne) {
    PlugSecondUnit();
    const std::vector<std::uint32_t> units = UnitIds();
    struct Row {
        DWORD stored;
        const char* shown;
        int firstPlug;
        int secondPlug;
    };
    const Row rows[] = {{0, "Internal", 1, 1}, {1, "S/PDIF 1", 0, 1}, {2, "S/PDIF 2", 1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE("SPDIFSync " + std::to_string(row.stored));
        StoreClockSource(row.stored);
        RunPanel([&](ModelPanel& panel) {
            EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
            EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");
            EXPECT_EQ(ListTexts(panel.ClockList()), (Texts{"Internal", "S/PDIF 1", "S/PDIF 2"}));
            EXPECT_EQ(SelectedText(panel.ClockList()), row.shown);
            ExpectLog({{kGetSampleRate},
                       {kSendRequest, units[0], row.firstPlug},
                       {kSendRequest, units[1], row.secondPlug},
                       {kGetBufferSize}});
        });
    }
}

TEST_F(PanelModelTest, TwoUnitsAtARateTheyCannotShowDisplayTheFirstAndSendNothing) {
    PlugSecondUnit();
    ASSERT_TRUE(sim_.SetRate(96000));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
        EXPECT_EQ(SelectedText(panel.RateList()), "44.1 kHz");
        EXPECT_EQ(panel.m_rateRecord.rate, 96000);
    });
    for (const sim::LogEntry& entry : sim_.Log()) {
        EXPECT_NE(entry.code, kSetSampleRate);
    }
    EXPECT_EQ(sim_.State().rate, 96000u);
}

TEST_F(PanelModelTest, EmptyUnitListWithAReadableRateOffersTwoRatesAndOneSpdif) {
    ASSERT_TRUE(sim_.ReplaceUnitList(0, {}));
    const std::uint32_t first = UnitIds().at(0);
    const std::pair<DWORD, int> rows[] = {{1u, 0}, {2u, 1}}; // stored index, first unit's plug
    for (const auto& [stored, plug] : rows) {
        SCOPED_TRACE("SPDIFSync " + std::to_string(stored));
        StoreClockSource(stored);
        RunPanel([&](ModelPanel& panel) {
            EXPECT_EQ(panel.m_unitCount, 0);
            EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
            EXPECT_EQ(ListTexts(panel.ClockList()), (Texts{"Internal", "S/PDIF"}));
            EXPECT_EQ(SelectedText(panel.ClockList()), "<none>");
            // With no count of two, only the first unit interface is addressed.
            ExpectLog({{kGetSampleRate}, {kSendRequest, first, plug}, {kGetBufferSize}});
        });
    }
}

TEST_F(PanelModelTest, StoredClockSourceOutOfRangeShowsSpdifWithOneUnitAndNothingWithTwo) {
    StoreClockSource(5);
    const std::uint32_t first = UnitIds().at(0);
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(panel.m_clockSource, 5);
        EXPECT_EQ(SelectedText(panel.ClockList()), "S/PDIF");
        ExpectLog({{kGetSampleRate}, {kSendRequest, first, 1}, {kGetBufferSize}});
    });
    PlugSecondUnit();
    const std::vector<std::uint32_t> units = UnitIds();
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(SelectedText(panel.ClockList()), "<none>");
        ExpectLog({{kGetSampleRate},
                   {kSendRequest, units[0], 1},
                   {kSendRequest, units[1], 1},
                   {kGetBufferSize}});
    });
    EXPECT_EQ(StoredClockSource(), 5);
}

TEST_F(PanelModelTest, StoredClockSourceMissingOrOfAnotherTypeReadsAsInternal) {
    StoreClockSourceAsString("1");
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(panel.m_clockSource, 0);
        EXPECT_EQ(SelectedText(panel.ClockList()), "Internal");
    });
    DeleteStoredClockSource();
    RunPanel([&](ModelPanel& panel) { EXPECT_EQ(panel.LoadClockSource(), 0); });
}

// The handlers give the focus to the panel window, which (as every dialog does) passes it on
// to its remembered control: in any case the list no longer holds it.
void ExpectFocusTakenBack(ModelPanel& panel, HWND list) {
    EXPECT_NE(GetFocus(), list);
    EXPECT_TRUE(GetFocus() == panel.GetSafeHwnd() || IsChild(panel.GetSafeHwnd(), GetFocus()));
}

TEST_F(PanelModelTest, EveryPickTakesTheFocusBackButOnlyARealChangeSends) {
    struct Pick {
        int list; // control id
        int current;
        int other;
        std::vector<Expected> sent; // for the other entry
    };
    const std::uint32_t unit = UnitIds().at(0);
    const Pick picks[] = {
        {1000, 1, 3, {{kSetSampleRate}, {kApplyStageOne}, {kApplyStageTwo}}}, // 48.0, 96.0 kHz
        {1001, 0, 1, {{kSendRequest, unit, 0}}},                              // Internal, S/PDIF
        {1003,
         2,
         8,
         {{kSetBufferSize}, {kSetSecondBufferSize}, {kApplyStageOne}, {kApplyStageTwo}}}, // 10 ms
    };
    RunPanel([&](ModelPanel& panel) {
        for (const Pick& pick : picks) {
            SCOPED_TRACE("list " + std::to_string(pick.list));
            const HWND list = GetDlgItem(panel.GetSafeHwnd(), pick.list);
            for (const bool change : {false, true}) {
                SCOPED_TRACE(change ? "another entry" : "the current entry");
                ASSERT_TRUE(sim_.ClearLog());
                SetFocus(list);
                ASSERT_EQ(GetFocus(), list);
                panel.Pick(list, change ? pick.other : pick.current);
                ExpectFocusTakenBack(panel, list);
                ExpectLog(change ? pick.sent : std::vector<Expected>{});
            }
        }
    });
    EXPECT_EQ(StoredClockSource(), 1) << "written once, by the real change";
}

TEST_F(PanelModelTest, RateChoiceSendsTheRateWithTheDriverWordThenBothApplies) {
    RunPanel([&](ModelPanel& panel) {
        const std::uint32_t driverWord = panel.m_rateRecord.driverWord;
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.RateList(), 3); // 96.0 kHz
        ExpectLog({{kSetSampleRate}, {kApplyStageOne}, {kApplyStageTwo}});
        const std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(Word(log[0].input, 0), driverWord);
        EXPECT_EQ(Word(log[0].input, 1), 96000u);
        EXPECT_EQ(SelectedText(panel.RateList()), "96.0 kHz");
    });
    EXPECT_EQ(sim_.State().rate, 96000u);
}

TEST_F(PanelModelTest, FailedRateChangeKeepsTheChoiceAndPickingTheOldRateSendsAgain) {
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.Fail(kSetSampleRate, kDriverError, 1));
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.RateList(), 0); // 44.1 kHz, refused by the driver
        ExpectLog({{kSetSampleRate}});
        EXPECT_EQ(panel.m_rateRecord.rate, 44100);
        EXPECT_EQ(SelectedText(panel.RateList()), "44.1 kHz");
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.RateList(), 1); // back to 48.0 kHz: differs from the cached 44.1
        ExpectLog({{kSetSampleRate}, {kApplyStageOne}, {kApplyStageTwo}});
    });
}

TEST_F(PanelModelTest, FailedApplyStageOneAfterARateChangeStopsStageTwo) {
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.Fail(kApplyStageOne, kDriverError, 1));
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.RateList(), 0);
        ExpectLog({{kSetSampleRate}, {kApplyStageOne}});
    });
}

TEST_F(PanelModelTest, NoDeviceWhenTheRateCannotBeReadAndPositionZeroMeans44100) {
    ASSERT_TRUE(sim_.Fail(kGetSampleRate, kDriverError));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.RateList()), (Texts{" No Device"}));
        EXPECT_EQ(SelectedText(panel.RateList()), " No Device");
        // The clock list keeps the template's entries, disabled; nothing went to the units.
        EXPECT_EQ(ListTexts(panel.ClockList()), (Texts{"Internal", "S/PDIF"}));
        EXPECT_FALSE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
        ExpectLog({{kGetSampleRate}, {kGetBufferSize}});

        ASSERT_TRUE(sim_.ClearFaults());
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.RateList(), 0);
        ExpectLog({{kSetSampleRate}, {kApplyStageOne}, {kApplyStageTwo}});
    });
    EXPECT_EQ(sim_.State().rate, 44100u);
}

TEST_F(PanelModelTest, FailedBufferSizeReadDisablesTheLatencyListUntilTheNextGoodRefresh) {
    ASSERT_TRUE(sim_.Fail(kGetBufferSize, kDriverError));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_FALSE(IsWindowEnabled(panel.BufferList()));
        // The template's own entries stay.
        EXPECT_EQ(ListTexts(panel.BufferList()).size(), 12u);
        EXPECT_EQ(ListTexts(panel.BufferList()).at(8), "10 ms");
        EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");

        // A unit arrives and the driver answers again.
        ASSERT_TRUE(sim_.ClearFaults());
        panel.ReopenDevice();
        EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
        EXPECT_EQ(ListTexts(panel.BufferList()), kLatencies);
        EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
    });
}

TEST_F(PanelModelTest, BufferSizeOutsideTheTableLeavesTheListEnabledWithoutSelection) {
    ASSERT_TRUE(sim_.SetBuffer(2200));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.BufferList()), kLatencies);
        EXPECT_EQ(SelectedText(panel.BufferList()), "<none>");
        EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
    });
}

TEST_F(PanelModelTest, LatencyChoiceSendsBothBufferRecordsThenBothApplies) {
    RunPanel([&](ModelPanel& panel) {
        const BufferSizeRecord read = panel.m_bufferRecord;
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.BufferList(), 8); // 10.0 ms
        ExpectLog({{kSetBufferSize}, {kSetSecondBufferSize}, {kApplyStageOne}, {kApplyStageTwo}});
        const std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(Word(log[0].input, 0), 10000u);
        for (int word = 1; word < 4; ++word) {
            EXPECT_EQ(Word(log[0].input, word), read.driverWords[word - 1]);
        }
        EXPECT_EQ(Word(log[1].input, 0), 10000u);
    });
    EXPECT_EQ(sim_.State().bufferMicroseconds, 10000u);
}

TEST_F(PanelModelTest, LatencyFailuresStopOnlyWhatTheyShould) {
    struct Row {
        const char* name;
        std::uint32_t failing;
        std::vector<Expected> expected;
    };
    const Row rows[] = {
        {"SetBufferSize fails", kSetBufferSize, {{kSetBufferSize}}},
        {"SetSecondBufferSize fails",
         kSetSecondBufferSize,
         {{kSetBufferSize}, {kSetSecondBufferSize}, {kApplyStageOne}, {kApplyStageTwo}}},
        {"ApplyStageOne fails",
         kApplyStageOne,
         {{kSetBufferSize}, {kSetSecondBufferSize}, {kApplyStageOne}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sim_.Reset());
        RunPanel([&](ModelPanel& panel) {
            ASSERT_TRUE(sim_.Fail(row.failing, kDriverError, 1));
            ASSERT_TRUE(sim_.ClearLog());
            panel.Pick(panel.BufferList(), 0); // 1.5 ms
            ExpectLog(row.expected);
            EXPECT_EQ(panel.m_bufferRecord.microseconds, 1500);
            EXPECT_EQ(panel.m_bufferRecord2.microseconds, 1500);
        });
    }
}

TEST_F(PanelModelTest, ClockChoiceGoesToTheUnitsAndIntoTheRegistry) {
    PlugSecondUnit();
    const std::vector<std::uint32_t> units = UnitIds();
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.ClearLog());
        panel.Pick(panel.ClockList(), 2); // S/PDIF 2
        ExpectLog({{kSendRequest, units[0], 1}, {kSendRequest, units[1], 0}});
        EXPECT_EQ(panel.m_clockSource, 2);
    });
    EXPECT_EQ(StoredClockSource(), 2);
    ASSERT_EQ(sim_.State().units.size(), 2u);
    EXPECT_EQ(sim_.State().units[0].plug, 1u);
    EXPECT_EQ(sim_.State().units[1].plug, 0u);
}

// The clock source is stored whatever the units make of it: a unit that cannot be opened, or
// whose request fails, stops the command there; a first unit that was set keeps its plug, and
// the next choice opens the channel normally.
TEST_F(PanelModelTest, ClockChoiceIsStoredWhenAUnitFailsAndTheNextChoiceStillReachesBoth) {
    PlugSecondUnit();
    const std::vector<std::uint32_t> units = UnitIds();
    struct Row {
        const char* name;
        std::function<bool()> inject;
        std::vector<Expected> sent;
        std::uint32_t firstPlug;
    };
    const Row rows[] = {
        {"first unit's open fails", [&] { return sim_.OpenFail(units[0]); }, {}, 1},
        {"second unit's open fails",
         [&] { return sim_.OpenFail(units[1]); },
         {{kSendRequest, units[0], 0}},
         0},
        {"second unit's request fails",
         [&] {
             return sim_.Fail({kSendRequest, kDriverError, 1, units[1]});
         },
         {{kSendRequest, units[0], 0}, {kSendRequest, units[1], 1}},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        DeleteStoredClockSource(); // the panel's refresh then sets both units to plug 1
        RunPanel([&](ModelPanel& panel) {
            ASSERT_TRUE(row.inject());
            ASSERT_TRUE(sim_.ClearLog());
            panel.Pick(panel.ClockList(), 1); // S/PDIF 1
            ExpectLog(row.sent);
            EXPECT_EQ(StoredClockSource(), 1);
            EXPECT_EQ(sim_.State().units.at(0).plug, row.firstPlug);
            EXPECT_EQ(sim_.State().units.at(1).plug, 1u);

            ASSERT_TRUE(sim_.ClearFaults()); // the unit is back, or answers again
            ASSERT_TRUE(sim_.ClearLog());
            panel.Pick(panel.ClockList(), 2); // S/PDIF 2
            ExpectLog({{kSendRequest, units[0], 1}, {kSendRequest, units[1], 0}});
        });
        EXPECT_EQ(StoredClockSource(), 2);
    }
}

TEST_F(PanelModelTest, CpuCommandSendsTheLevelAndBothAppliesEvenWhenTheDriverRefuses) {
    for (bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "SetCpuLevel fails" : "SetCpuLevel succeeds");
        ASSERT_TRUE(sim_.Reset());
        ASSERT_TRUE(sim_.SetCpu(4000));
        RunPanel([&](ModelPanel& panel) {
            if (failing) {
                ASSERT_TRUE(sim_.Fail(kSetCpuLevel, kDriverError));
            }
            ASSERT_TRUE(sim_.ClearLog());
            panel.Command(138); // "Medium"
            ExpectLog({{kSetCpuLevel}, {kApplyStageOne}, {kApplyStageTwo}});
            const std::vector<sim::LogEntry> log = sim_.Log();
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log[0].input.size(), 16u);
            EXPECT_EQ(Word(log[0].input, 3), 2000u);
            EXPECT_EQ(log[0].status, failing ? kDriverError : 0u);
        });
        EXPECT_EQ(sim_.State().cpuLevel, failing ? 4000u : 2000u);
    }
}

TEST_F(PanelModelTest, CpuCommandsMapHighMediumLow) {
    const std::pair<UINT, std::uint32_t> rows[] = {{137, 4000}, {138, 2000}, {139, 1000}};
    RunPanel([&](ModelPanel& panel) {
        for (const auto& [command, level] : rows) {
            SCOPED_TRACE("command " + std::to_string(command));
            panel.Command(command);
            EXPECT_EQ(sim_.State().cpuLevel, level);
        }
    });
}

TEST_F(PanelModelTest, ReopenDeviceForgetsTheCachedValuesAndRebuildsEverything) {
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.Plug(1).size() == 1);
        ASSERT_TRUE(sim_.SetRate(44100));
        ASSERT_TRUE(sim_.SetBuffer(6000));
        StoreClockSource(1);
        const std::vector<std::uint32_t> units = UnitIds();
        ASSERT_TRUE(sim_.ClearLog());
        panel.ReopenDevice();
        ExpectLog({{kUnitList},
                   {kUnitInfo},
                   {kUnitInfo},
                   {kGetSampleRate},
                   {kSendRequest, units[0], 0},
                   {kSendRequest, units[1], 1},
                   {kGetBufferSize}});
        EXPECT_EQ(panel.m_unitCount, 2);
        EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
        EXPECT_EQ(SelectedText(panel.RateList()), "44.1 kHz");
        EXPECT_EQ(SelectedText(panel.ClockList()), "S/PDIF 1");
        EXPECT_EQ(SelectedText(panel.BufferList()), "6.0 ms");
    });
}

TEST_F(PanelModelTest, ReopenDeviceRebuildsAndResendsEvenWhenTheDriverChangedNothing) {
    const std::uint32_t unit = UnitIds().at(0);
    StoreClockSource(1);
    RunPanel([&](ModelPanel& panel) {
        // Other entries shown than the driver's, without telling the panel: only a rebuild of
        // the lists puts the driver's values back.
        SendMessageA(panel.RateList(), CB_SETCURSEL, 0, 0);
        SendMessageA(panel.ClockList(), CB_SETCURSEL, 0, 0);
        SendMessageA(panel.BufferList(), CB_SETCURSEL, 11, 0);
        ASSERT_TRUE(sim_.ClearLog());
        panel.ReopenDevice();
        ExpectLog({{kUnitList},
                   {kUnitInfo},
                   {kGetSampleRate},
                   {kSendRequest, unit, 0},
                   {kGetBufferSize}});
        EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");
        EXPECT_EQ(SelectedText(panel.ClockList()), "S/PDIF");
        EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
        EXPECT_EQ(panel.m_rateRecord.rate, 48000);
        EXPECT_EQ(panel.m_bufferRecord.microseconds, 2500);
        EXPECT_EQ(panel.m_clockSource, 1);
    });
}

TEST_F(PanelModelTest, LastUnitLeavingShowsNoDeviceAndDisablesTheClockList) {
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.UnplugAll()); // the driver then cannot report a rate
        ASSERT_TRUE(sim_.ClearLog());
        panel.ReopenDevice();
        ExpectLog({{kUnitList}, {kGetSampleRate}, {kGetBufferSize}});
        EXPECT_EQ(panel.m_unitCount, 0);
        EXPECT_EQ(ListTexts(panel.RateList()), (Texts{" No Device"}));
        EXPECT_EQ(SelectedText(panel.RateList()), " No Device");
        EXPECT_FALSE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(ListTexts(panel.ClockList()), (Texts{"Internal", "S/PDIF"}));
    });
}

} // namespace

int main(int argc, char** argv) {
    return RunPanelTests(argc, argv);
}
