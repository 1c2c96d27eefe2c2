// The clock-source command against two simulated units: which unit gets which input plug for
// every clock-source position and unit count, the exact request block, and the outcome when a
// unit is missing, fails or declines.
#include "SimulatorFixture.h"

#include "ClockSourceCommand.h"

#include <functional>

namespace {

// The request block that selects `plug` on the clock selector, written out byte by byte.
std::vector<std::uint8_t> SelectorBlock(std::uint8_t plug) {
    std::vector<std::uint8_t> block(520, 0);
    const std::uint8_t head[] = {0xD0, 0x07, 0x00, 0x00,                   // 2000
                                 0x09, 0x00, 0x00, 0x00,                   // frame length
                                 0x00, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02, // up to the length
                                 plug, 0x01};
    std::memcpy(block.data(), head, sizeof(head));
    return block;
}

class ClockSourceCommandTest : public SimulatorFixture {
protected:
    // Sets both units' plugs to `plug` beforehand, so that a change, or its absence, shows.
    // Only the second unit's command selects its S/PDIF input, so plug 0 takes two commands.
    void PresetPlugs(std::uint8_t plug) {
        if (plug == 0) {
            ASSERT_TRUE(SendClockSource(2, 2));
            ASSERT_TRUE(SendClockSource(1, 1));
        } else {
            ASSERT_TRUE(SendClockSource(0, 2));
        }
        for (const sim::UnitState& unit : sim_.State().units) {
            ASSERT_EQ(unit.plug, plug);
        }
        ASSERT_TRUE(sim_.ClearLog());
    }

    // The requests of one command: unit identifier and plug byte, in order.
    void ExpectCommands(const std::vector<std::pair<std::uint32_t, std::uint8_t>>& expected) {
        const std::vector<sim::LogEntry> log = sim_.Log();
        SCOPED_TRACE(test::Describe(log));
        ASSERT_EQ(log.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            SCOPED_TRACE("command " + std::to_string(i));
            EXPECT_EQ(log[i].target, expected[i].first);
            EXPECT_EQ(log[i].code, KSIM_SEND_REQUEST);
            EXPECT_EQ(log[i].input, SelectorBlock(expected[i].second));
            EXPECT_EQ(log[i].outputSize, 516u);
        }
    }
};

TEST_F(ClockSourceCommandTest, TwoUnitsSpdif2TakesTheClockFromTheSecondUnit) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    PresetPlugs(1);

    EXPECT_TRUE(SendClockSource(2, 2));
    ExpectCommands({{ids[0], 1}, {ids[1], 0}});
    const sim::SimulatorState state = sim_.State();
    ASSERT_EQ(state.units.size(), 2u);
    EXPECT_EQ(state.units[0].plug, 1u);
    EXPECT_EQ(state.units[1].plug, 0u);
    EXPECT_FALSE(g_unitCommandChannel.IsOpen());
}

TEST_F(ClockSourceCommandTest, EveryPositionAndUnitCountSendsThePlugTable) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    struct Row {
        int clockSource;
        std::uint8_t firstPlug;
        std::uint8_t secondPlug;
    };
    // -1: no selection; 3: past the list.
    const Row rows[] = {{-1, 1, 1}, {0, 1, 1}, {1, 0, 1}, {2, 1, 0}, {3, 1, 1}};
    for (const Row& row : rows) {
        for (const int unitCount : {0, 1, 2, 3}) {
            SCOPED_TRACE("clock source " + std::to_string(row.clockSource) + ", unit count " +
                         std::to_string(unitCount));
            // Start from the other plug, so that the first unit's change shows.
            const std::uint8_t preset = static_cast<std::uint8_t>(1 - row.firstPlug);
            PresetPlugs(preset);

            EXPECT_TRUE(SendClockSource(row.clockSource, unitCount));
            const sim::SimulatorState state = sim_.State();
            EXPECT_EQ(state.units[0].plug, row.firstPlug);
            if (unitCount == 2) {
                ExpectCommands({{ids[0], row.firstPlug}, {ids[1], row.secondPlug}});
                EXPECT_EQ(state.units[1].plug, row.secondPlug);
            } else {
                ExpectCommands({{ids[0], row.firstPlug}});
                EXPECT_EQ(state.units[1].plug, preset) << "the second unit is not addressed";
            }
            EXPECT_FALSE(g_unitCommandChannel.IsOpen());
        }
    }
}

TEST_F(ClockSourceCommandTest, MissingSecondUnitLeavesTheFirstSetAndFails) {
    const std::uint32_t id = sim_.UnitIds().at(0);
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_FALSE(SendClockSource(1, 2));
    ExpectCommands({{id, 0}});
    EXPECT_EQ(sim_.State().units.at(0).plug, 0u);
    EXPECT_FALSE(g_unitCommandChannel.IsOpen());

    // Nothing is left open: the next command goes through.
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_TRUE(SendClockSource(0, 1));
    ExpectCommands({{id, 1}});
}

TEST_F(ClockSourceCommandTest, NoUnitAddressesNobody) {
    PlugUpTo(0);
    ASSERT_TRUE(sim_.ClearLog());
    for (const int unitCount : {1, 2}) {
        SCOPED_TRACE("unit count " + std::to_string(unitCount));
        EXPECT_FALSE(SendClockSource(0, unitCount));
        EXPECT_FALSE(g_unitCommandChannel.IsOpen());
    }
    EXPECT_TRUE(sim_.Log().empty()) << test::Describe(sim_.Log());
}

// A unit that cannot be opened (one leaving between the enumeration and the open) or whose
// request fails: the command fails there, a first unit already set keeps its plug, and the
// channel is closed, so that the next command opens it normally.
TEST_F(ClockSourceCommandTest, FailureAtEitherUnitClosesTheChannelAndKeepsWhatWasSent) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    const std::uint32_t kFailed = ERROR_GEN_FAILURE;
    // A selector request to `unit` that ended with `status`.
    auto sent = [](std::uint32_t unit, long status) {
        test::Request request = {KSIM_SEND_REQUEST, unit};
        request.status = status;
        return request;
    };
    struct Row {
        const char* name;
        std::function<bool()> inject;
        std::vector<test::Request> requests;
        std::uint32_t firstPlug; // after the command, from plug 1
    };
    const Row rows[] = {
        {"first unit's open fails", [&] { return sim_.OpenFail(ids[0]); }, {}, 1},
        {"first unit's request fails",
         [&] { return sim_.Fail(KSIM_SEND_REQUEST, kFailed, 1); },
         {sent(ids[0], kFailed)},
         1},
        {"second unit's open fails", [&] { return sim_.OpenFail(ids[1]); }, {sent(ids[0], 0)}, 0},
        {"second unit's request fails",
         [&] {
             return sim_.Fail({KSIM_SEND_REQUEST, kFailed, 1, ids[1]});
         },
         {sent(ids[0], 0), sent(ids[1], kFailed)},
         0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        PresetPlugs(1);
        ASSERT_TRUE(row.inject());
        EXPECT_FALSE(SendClockSource(1, 2)); // "S/PDIF 1": plug 0 for the first unit
        EXPECT_TRUE(test::LogIs(sim_.Log(), row.requests));
        EXPECT_EQ(sim_.State().units[0].plug, row.firstPlug);
        EXPECT_EQ(sim_.State().units[1].plug, 1u);
        EXPECT_FALSE(g_unitCommandChannel.IsOpen());

        ASSERT_TRUE(sim_.ClearFaults()); // the unit is back, or answers again
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_TRUE(SendClockSource(2, 2));
        ExpectCommands({{ids[0], 1}, {ids[1], 0}});
    }
}

TEST_F(ClockSourceCommandTest, AnyAnswerOfTheUnitCountsAsDone) {
    PlugUpTo(2);
    const sim::UnitResponse answers[] = {sim::UnitResponse::Accepted, sim::UnitResponse::Rejected,
                                         sim::UnitResponse::NotImplemented};
    for (const sim::UnitResponse answer : answers) {
        SCOPED_TRACE("response " + std::to_string(static_cast<int>(answer)));
        ASSERT_TRUE(sim_.Respond(answer));
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_TRUE(SendClockSource(1, 2));
        EXPECT_EQ(sim_.Log().size(), 2u) << test::Describe(sim_.Log());
    }
}

} // namespace
