// The panel's model against the driver simulator: what the lists show after a refresh, and the
// exact requests that reach the driver for each choice the user makes.
#include "PanelHarness.h"

#include "DeviceGlobals.h"

#include <gtest/gtest.h>
#include <wtsapi32.h>

#include <functional>

namespace {

using namespace panel;
using test::FrameTo;
using test::Log;

const DWORD kDriverError = ERROR_GEN_FAILURE;

// What a rate, latency or CPU choice sends: its set requests, then both applies.
const std::vector<test::Request> kRateChange = {
    {KSIM_SET_SAMPLE_RATE}, {KSIM_APPLY_STAGE_ONE}, {KSIM_APPLY_STAGE_TWO}};
const std::vector<test::Request> kLatencyChange = {{KSIM_SET_BUFFER_SIZE},
                                                   {KSIM_SET_SECOND_BUFFER_SIZE},
                                                   {KSIM_APPLY_STAGE_ONE},
                                                   {KSIM_APPLY_STAGE_TWO}};

// What reopening the driver sends: the unit list, each unit's information, then a refresh.
std::vector<test::Request> ReopenSending(const std::vector<std::uint32_t>& units,
                                         const std::vector<test::Request>& frames) {
    std::vector<test::Request> sent = {{KSIM_GET_UNIT_LIST}};
    for (std::uint32_t unit : units) {
        sent.push_back(test::InfoFor(unit));
    }
    const std::vector<test::Request> refresh = RefreshSending(frames);
    sent.insert(sent.end(), refresh.begin(), refresh.end());
    return sent;
}

class PanelModelTest : public PanelTestBase {
protected:
    // Picks `position` in `list` as the user would: the requests that the choice sent.
    Log Picked(ModelPanel& panel, HWND list, int position) {
        EXPECT_TRUE(sim_.ClearLog());
        panel.Pick(list, position);
        return sim_.Log();
    }
};

TEST_F(PanelModelTest, OneUnitRefreshShowsTheDriverAndSendsTheStoredClockSource) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.RateList()), kFourRates);
        EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");
        EXPECT_EQ(ListTexts(panel.ClockList()), kOneUnitClocks);
        EXPECT_EQ(SelectedText(panel.ClockList()), "Internal");
        EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(ListTexts(panel.BufferList()), kLatencies);
        EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
        EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
        EXPECT_EQ(panel.m_unitCount, 1);
        EXPECT_EQ(panel.m_clockSource, 0);
        // Exactly: the rate, the unit's selector frame (internal clock), the buffer size.
        EXPECT_TRUE(test::LogIs(sim_.Log(), RefreshSending({FrameTo(unit, 1)})));
    });
    EXPECT_EQ(panel::StoredClockSource(app_), -2)
        << "a refresh reads the clock source, never writes it";
}

TEST_F(PanelModelTest, TwoUnitsOfferTwoRatesAndTwoSpdifInputsAndShowTheStoredOne) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> units = sim_.UnitIds();
    struct Row {
        DWORD stored;
        const char* shown;
        int firstPlug;
        int secondPlug;
    };
    const Row rows[] = {{0, "Internal", 1, 1}, {1, "S/PDIF 1", 0, 1}, {2, "S/PDIF 2", 1, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE("SPDIFSync " + std::to_string(row.stored));
        ASSERT_TRUE(panel::StoreClockSource(row.stored, app_));
        RunPanel([&](ModelPanel& panel) {
            EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
            EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");
            EXPECT_EQ(ListTexts(panel.ClockList()), kTwoUnitClocks);
            EXPECT_EQ(SelectedText(panel.ClockList()), row.shown);
            EXPECT_TRUE(
                test::LogIs(sim_.Log(), RefreshSending({FrameTo(units[0], row.firstPlug),
                                                        FrameTo(units[1], row.secondPlug)})));
        });
    }
}

TEST_F(PanelModelTest, TwoUnitsAtARateTheyCannotShowDisplayTheFirstAndSendNothing) {
    PlugUpTo(2);
    ASSERT_TRUE(sim_.SetRate(96000));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
        EXPECT_EQ(SelectedText(panel.RateList()), "44.1 kHz");
        EXPECT_EQ(panel.m_rateRecord.rate, 96000);
    });
    EXPECT_EQ(test::CountOf(sim_.Log(), KSIM_SET_SAMPLE_RATE), 0);
    EXPECT_EQ(sim_.State().rate, 96000u);
}

TEST_F(PanelModelTest, EmptyUnitListWithAReadableRateOffersTwoRatesAndOneSpdif) {
    ASSERT_TRUE(sim_.ReplaceUnitList(0, {}));
    const std::uint32_t first = sim_.UnitIds().at(0);
    const std::pair<DWORD, int> rows[] = {{1u, 0}, {2u, 1}}; // stored index, first unit's plug
    for (const auto& [stored, plug] : rows) {
        SCOPED_TRACE("SPDIFSync " + std::to_string(stored));
        ASSERT_TRUE(panel::StoreClockSource(stored, app_));
        RunPanel([&](ModelPanel& panel) {
            EXPECT_EQ(panel.m_unitCount, 0);
            EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
            EXPECT_EQ(ListTexts(panel.ClockList()), kOneUnitClocks);
            EXPECT_EQ(SelectedText(panel.ClockList()), "<none>");
            // With no count of two, only the first unit interface is addressed.
            EXPECT_TRUE(test::LogIs(sim_.Log(), RefreshSending({FrameTo(first, plug)})));
        });
    }
}

TEST_F(PanelModelTest, StoredClockSourceOutOfRangeShowsSpdifWithOneUnitAndNothingWithTwo) {
    ASSERT_TRUE(panel::StoreClockSource(5, app_));
    const std::uint32_t first = sim_.UnitIds().at(0);
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(panel.m_clockSource, 5);
        EXPECT_EQ(SelectedText(panel.ClockList()), "S/PDIF");
        EXPECT_TRUE(test::LogIs(sim_.Log(), RefreshSending({FrameTo(first, 1)})));
    });
    PlugUpTo(2);
    const std::vector<std::uint32_t> units = sim_.UnitIds();
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(SelectedText(panel.ClockList()), "<none>");
        EXPECT_TRUE(
            test::LogIs(sim_.Log(), RefreshSending({FrameTo(units[0], 1), FrameTo(units[1], 1)})));
    });
    EXPECT_EQ(panel::StoredClockSource(app_), 5);
}

TEST_F(PanelModelTest, StoredClockSourceMissingOrOfAnotherTypeReadsAsInternal) {
    ASSERT_TRUE(panel::StoreClockSourceAs(REG_SZ, "1", 2, app_));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(panel.m_clockSource, 0);
        EXPECT_EQ(SelectedText(panel.ClockList()), "Internal");
    });
    panel::DeleteSettings(app_);
    RunPanel([&](ModelPanel& panel) { EXPECT_EQ(panel.LoadClockSource(), 0); });
}

TEST_F(PanelModelTest, EveryPickTakesTheFocusBackButOnlyARealChangeSends) {
    struct Pick {
        int list; // control id
        int current;
        int other;
        std::vector<test::Request> sent; // for the other entry
    };
    const std::uint32_t unit = sim_.UnitIds().at(0);
    const Pick picks[] = {
        {panel::kRateList, 1, 3, kRateChange},         // 48.0, 96.0 kHz
        {panel::kClockList, 0, 1, {FrameTo(unit, 0)}}, // Internal, S/PDIF
        {panel::kBufferList, 2, 8, kLatencyChange},    // 2.5, 10 ms
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
                // The handlers give the focus to the panel window, which (as every dialog
                // does) passes it on to its remembered control: the list no longer holds it.
                EXPECT_NE(GetFocus(), list);
                EXPECT_TRUE(GetFocus() == panel.GetSafeHwnd() ||
                            IsChild(panel.GetSafeHwnd(), GetFocus()));
                EXPECT_TRUE(
                    test::LogIs(sim_.Log(), change ? pick.sent : std::vector<test::Request>{}));
            }
        }
    });
    EXPECT_EQ(panel::StoredClockSource(app_), 1) << "written once, by the real change";
}

TEST_F(PanelModelTest, RateChoiceSendsTheRateWithTheDriverWordThenBothApplies) {
    RunPanel([&](ModelPanel& panel) {
        const std::uint32_t driverWord = panel.m_rateRecord.driverWord;
        const Log log = Picked(panel, panel.RateList(), 3); // 96.0 kHz
        EXPECT_TRUE(test::LogIs(log, kRateChange));
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(test::Word(log[0].input, 0), driverWord);
        EXPECT_EQ(test::Word(log[0].input, 1), 96000u);
        EXPECT_EQ(SelectedText(panel.RateList()), "96.0 kHz");
    });
    EXPECT_EQ(sim_.State().rate, 96000u);
}

TEST_F(PanelModelTest, FailedRateChangeKeepsTheChoiceAndPickingTheOldRateSendsAgain) {
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.Fail(KSIM_SET_SAMPLE_RATE, kDriverError, 1));
        // 44.1 kHz, refused by the driver.
        EXPECT_TRUE(test::LogIs(Picked(panel, panel.RateList(), 0), {{KSIM_SET_SAMPLE_RATE}}));
        EXPECT_EQ(panel.m_rateRecord.rate, 44100);
        EXPECT_EQ(SelectedText(panel.RateList()), "44.1 kHz");
        // Back to 48.0 kHz: differs from the cached 44.1.
        EXPECT_TRUE(test::LogIs(Picked(panel, panel.RateList(), 1), kRateChange));
    });
}

TEST_F(PanelModelTest, FailedApplyStageOneAfterARateChangeStopsStageTwo) {
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.Fail(KSIM_APPLY_STAGE_ONE, kDriverError, 1));
        EXPECT_TRUE(test::LogIs(Picked(panel, panel.RateList(), 0),
                                {{KSIM_SET_SAMPLE_RATE}, {KSIM_APPLY_STAGE_ONE}}));
    });
}

TEST_F(PanelModelTest, NoDeviceWhenTheRateCannotBeReadAndPositionZeroMeans44100) {
    ASSERT_TRUE(sim_.Fail(KSIM_GET_SAMPLE_RATE, kDriverError));
    RunPanel([&](ModelPanel& panel) {
        EXPECT_EQ(ListTexts(panel.RateList()), (Texts{" No Device"}));
        EXPECT_EQ(SelectedText(panel.RateList()), " No Device");
        // The clock list keeps the template's entries, disabled; nothing went to the units.
        EXPECT_EQ(ListTexts(panel.ClockList()), kOneUnitClocks);
        EXPECT_FALSE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
        EXPECT_TRUE(test::LogIs(sim_.Log(), RefreshSending({})));

        ASSERT_TRUE(sim_.ClearFaults());
        EXPECT_TRUE(test::LogIs(Picked(panel, panel.RateList(), 0), kRateChange));
    });
    EXPECT_EQ(sim_.State().rate, 44100u);
}

TEST_F(PanelModelTest, FailedBufferSizeReadDisablesTheLatencyListUntilTheNextGoodRefresh) {
    ASSERT_TRUE(sim_.Fail(KSIM_GET_BUFFER_SIZE, kDriverError));
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

// The units may come back with no arrival announced (a wake during a bus reset): the user's
// next look finds them and refreshes as an arrival does. Once back, a look only reads.
TEST_F(PanelModelTest, ALookThatFindsTheDriverAgainRefreshesAsAnArrivalDoes) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> units = sim_.UnitIds();
    RunPanel([&](ModelPanel& panel) {
        ASSERT_TRUE(sim_.Fail(KSIM_GET_SAMPLE_RATE, kDriverError, 1));
        ASSERT_TRUE(sim_.Fail(KSIM_GET_BUFFER_SIZE, kDriverError, 1));
        ASSERT_TRUE(sim_.ClearLog());
        panel.RereadDriverValues();
        EXPECT_TRUE(test::LogIs(sim_.Log(), RefreshSending({})));
        EXPECT_EQ(SelectedText(panel.RateList()), " No Device");
        EXPECT_FALSE(IsWindowEnabled(panel.ClockList()));
        EXPECT_FALSE(IsWindowEnabled(panel.BufferList()));

        const std::vector<test::Request> frames = {FrameTo(units[0], 1), FrameTo(units[1], 1)};
        for (const std::vector<test::Request>& sent :
             {ReopenSending(units, frames), RefreshSending({})}) {
            ASSERT_TRUE(sim_.ClearLog());
            panel.RereadDriverValues();
            EXPECT_TRUE(test::LogIs(sim_.Log(), sent));
            EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
            EXPECT_EQ(SelectedText(panel.RateList()), "48.0 kHz");
            EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
            EXPECT_EQ(ListTexts(panel.ClockList()), kTwoUnitClocks);
            EXPECT_EQ(SelectedText(panel.ClockList()), "Internal");
            EXPECT_TRUE(IsWindowEnabled(panel.BufferList()));
            EXPECT_EQ(SelectedText(panel.BufferList()), "2.5 ms");
        }
    });
}

// Every user logged on runs a panel, and the units have one clock: a panel whose session is
// not at the console sends it nothing on its own, and sends its user's choice once its session
// comes to the console. Its user's own pick still goes out.
TEST_F(PanelModelTest, OnlyThePanelAtTheConsoleSendsTheClockSourceOnItsOwn) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    const auto sessionChange = [](ModelPanel& panel, UINT event) {
        SendMessageA(panel.m_hWnd, WM_WTSSESSION_CHANGE, event, 7);
    };
    RunPanel([&](ModelPanel& panel) {
        panel.atConsole = false;
        ASSERT_TRUE(sim_.ClearLog());
        panel.ReopenDevice();
        // Another program's forged notification, or one of another kind: at most a refresh.
        for (UINT event : {WTS_CONSOLE_CONNECT, WTS_CONSOLE_DISCONNECT, WTS_SESSION_LOCK, 99}) {
            sessionChange(panel, event);
        }
        const std::vector<test::Request> refresh = ReopenSending({unit}, {});
        std::vector<test::Request> twoRefreshes = refresh;
        twoRefreshes.insert(twoRefreshes.end(), refresh.begin(), refresh.end());
        EXPECT_TRUE(test::LogIs(sim_.Log(), twoRefreshes));
        EXPECT_TRUE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(SelectedText(panel.ClockList()), "Internal");

        panel.atConsole = true;
        for (UINT event : {WTS_CONSOLE_CONNECT, WTS_SESSION_UNLOCK, WTS_SESSION_LOGON}) {
            ASSERT_TRUE(sim_.ClearLog());
            sessionChange(panel, event);
            EXPECT_TRUE(test::LogIs(sim_.Log(), ReopenSending({unit}, {FrameTo(unit, 1)})))
                << "event " << event;
        }
        panel.atConsole = false;
        EXPECT_TRUE(test::LogIs(Picked(panel, panel.ClockList(), 1), {FrameTo(unit, 0)}));
    });
    EXPECT_EQ(panel::StoredClockSource(app_), 1);
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
        const Log log = Picked(panel, panel.BufferList(), 8); // 10.0 ms
        EXPECT_TRUE(test::LogIs(log, kLatencyChange));
        ASSERT_EQ(log.size(), 4u);
        EXPECT_EQ(test::Word(log[0].input, 0), 10000u);
        for (int word = 1; word < 4; ++word) {
            EXPECT_EQ(test::Word(log[0].input, word), read.driverWords[word - 1]);
        }
        EXPECT_EQ(test::Word(log[1].input, 0), 10000u);
    });
    EXPECT_EQ(sim_.State().bufferMicroseconds, 10000u);
}

TEST_F(PanelModelTest, LatencyFailuresStopOnlyWhatTheyShould) {
    struct Row {
        const char* name;
        std::uint32_t failing;
        std::vector<test::Request> expected;
    };
    const Row rows[] = {
        {"SetBufferSize fails", KSIM_SET_BUFFER_SIZE, {{KSIM_SET_BUFFER_SIZE}}},
        {"SetSecondBufferSize fails", KSIM_SET_SECOND_BUFFER_SIZE, kLatencyChange},
        {"ApplyStageOne fails",
         KSIM_APPLY_STAGE_ONE,
         {{KSIM_SET_BUFFER_SIZE}, {KSIM_SET_SECOND_BUFFER_SIZE}, {KSIM_APPLY_STAGE_ONE}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sim_.Reset());
        RunPanel([&](ModelPanel& panel) {
            ASSERT_TRUE(sim_.Fail(row.failing, kDriverError, 1));
            EXPECT_TRUE(test::LogIs(Picked(panel, panel.BufferList(), 0), row.expected)); // 1.5 ms
            EXPECT_EQ(panel.m_bufferRecord.microseconds, 1500);
            EXPECT_EQ(panel.m_bufferRecord2.microseconds, 1500);
        });
    }
}

TEST_F(PanelModelTest, ClockChoiceGoesToTheUnitsAndIntoTheRegistry) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> units = sim_.UnitIds();
    RunPanel([&](ModelPanel& panel) {
        // S/PDIF 2.
        EXPECT_TRUE(test::LogIs(Picked(panel, panel.ClockList(), 2),
                                {FrameTo(units[0], 1), FrameTo(units[1], 0)}));
        EXPECT_EQ(panel.m_clockSource, 2);
    });
    EXPECT_EQ(panel::StoredClockSource(app_), 2);
    ASSERT_EQ(sim_.State().units.size(), 2u);
    EXPECT_EQ(sim_.State().units[0].plug, 1u);
    EXPECT_EQ(sim_.State().units[1].plug, 0u);
}

// The clock source is stored whatever the units make of it: a unit that cannot be opened, or
// whose request fails, stops the command there; a first unit that was set keeps its plug, and
// the next choice opens the channel normally.
TEST_F(PanelModelTest, ClockChoiceIsStoredWhenAUnitFailsAndTheNextChoiceStillReachesBoth) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> units = sim_.UnitIds();
    struct Row {
        const char* name;
        std::function<bool()> inject;
        std::vector<test::Request> sent;
        std::uint32_t firstPlug;
    };
    const Row rows[] = {
        {"first unit's open fails", [&] { return sim_.OpenFail(units[0]); }, {}, 1},
        {"second unit's open fails",
         [&] { return sim_.OpenFail(units[1]); },
         {FrameTo(units[0], 0)},
         0},
        {"second unit's request fails",
         [&] {
             return sim_.Fail({KSIM_SEND_REQUEST, kDriverError, 1, units[1]});
         },
         {FrameTo(units[0], 0), FrameTo(units[1], 1)},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        panel::DeleteSettings(app_); // the panel's refresh then sets both units to plug 1
        RunPanel([&](ModelPanel& panel) {
            ASSERT_TRUE(row.inject());
            EXPECT_TRUE(test::LogIs(Picked(panel, panel.ClockList(), 1), row.sent)); // S/PDIF 1
            EXPECT_EQ(panel::StoredClockSource(app_), 1);
            EXPECT_EQ(sim_.State().units.at(0).plug, row.firstPlug);
            EXPECT_EQ(sim_.State().units.at(1).plug, 1u);

            ASSERT_TRUE(sim_.ClearFaults()); // the unit is back, or answers again
            // S/PDIF 2.
            EXPECT_TRUE(test::LogIs(Picked(panel, panel.ClockList(), 2),
                                    {FrameTo(units[0], 1), FrameTo(units[1], 0)}));
        });
        EXPECT_EQ(panel::StoredClockSource(app_), 2);
    }
}

TEST_F(PanelModelTest, CpuCommandSendsTheLevelAndBothAppliesEvenWhenTheDriverRefuses) {
    for (bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "SetCpuLevel fails" : "SetCpuLevel succeeds");
        ASSERT_TRUE(sim_.Reset());
        ASSERT_TRUE(sim_.SetCpu(4000));
        RunPanel([&](ModelPanel& panel) {
            if (failing) {
                ASSERT_TRUE(sim_.Fail(KSIM_SET_CPU_LEVEL, kDriverError));
            }
            ASSERT_TRUE(sim_.ClearLog());
            panel.Command(panel::kCpuMedium);
            const Log log = sim_.Log();
            const long status = failing ? kDriverError : 0;
            EXPECT_TRUE(test::LogIs(
                log, {{.code = KSIM_SET_CPU_LEVEL, .word = 3, .value = 2000, .status = status},
                      {KSIM_APPLY_STAGE_ONE},
                      {KSIM_APPLY_STAGE_TWO}}));
            ASSERT_FALSE(log.empty());
            EXPECT_EQ(log[0].input.size(), 16u);
        });
        EXPECT_EQ(sim_.State().cpuLevel, failing ? 4000u : 2000u);
    }
}

TEST_F(PanelModelTest, CpuCommandsMapHighMediumLow) {
    const std::pair<UINT, std::uint32_t> rows[] = {
        {panel::kCpuLow, 4000}, {panel::kCpuMedium, 2000}, {panel::kCpuHigh, 1000}};
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
        ASSERT_TRUE(panel::StoreClockSource(1, app_));
        const std::vector<std::uint32_t> units = sim_.UnitIds();
        ASSERT_TRUE(sim_.ClearLog());
        panel.ReopenDevice();
        EXPECT_TRUE(test::LogIs(
            sim_.Log(), ReopenSending(units, {FrameTo(units[0], 0), FrameTo(units[1], 1)})));
        EXPECT_EQ(panel.m_unitCount, 2);
        EXPECT_EQ(ListTexts(panel.RateList()), kTwoRates);
        EXPECT_EQ(SelectedText(panel.RateList()), "44.1 kHz");
        EXPECT_EQ(SelectedText(panel.ClockList()), "S/PDIF 1");
        EXPECT_EQ(SelectedText(panel.BufferList()), "6.0 ms");
    });
}

TEST_F(PanelModelTest, ReopenDeviceRebuildsAndResendsEvenWhenTheDriverChangedNothing) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    ASSERT_TRUE(panel::StoreClockSource(1, app_));
    RunPanel([&](ModelPanel& panel) {
        // Other entries shown than the driver's, without telling the panel: only a rebuild of
        // the lists puts the driver's values back.
        SendMessageA(panel.RateList(), CB_SETCURSEL, 0, 0);
        SendMessageA(panel.ClockList(), CB_SETCURSEL, 0, 0);
        SendMessageA(panel.BufferList(), CB_SETCURSEL, 11, 0);
        ASSERT_TRUE(sim_.ClearLog());
        panel.ReopenDevice();
        EXPECT_TRUE(test::LogIs(sim_.Log(), ReopenSending({unit}, {FrameTo(unit, 0)})));
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
        EXPECT_TRUE(test::LogIs(sim_.Log(), ReopenSending({}, {})));
        EXPECT_EQ(panel.m_unitCount, 0);
        EXPECT_EQ(ListTexts(panel.RateList()), (Texts{" No Device"}));
        EXPECT_EQ(SelectedText(panel.RateList()), " No Device");
        EXPECT_FALSE(IsWindowEnabled(panel.ClockList()));
        EXPECT_EQ(ListTexts(panel.ClockList()), kOneUnitClocks);
    });
}

} // namespace

int main(int argc, char** argv) {
    return RunPanelTests(argc, argv);
}
