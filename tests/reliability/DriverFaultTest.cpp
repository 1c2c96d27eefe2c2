// A driver that misbehaves, seen by the panel in its own process: every control request
// failing, the units' requests failing, unit lists that claim 65 or 0xFFFFFFFF units, and get
// requests that succeed with short replies. Whatever the driver does, the panel shows
// " No Device" or lists made only of its own entries, and keeps working: the user's choices and
// a device change afterwards go through without a crash.
#include "PanelHarness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

using panel::Texts;

const DWORD kDriverError = ERROR_GEN_FAILURE;

const std::uint32_t kControlCodes[] = {
    KSIM_GET_SAMPLE_RATE, KSIM_SET_SAMPLE_RATE, KSIM_GET_UNIT_LIST,         KSIM_GET_UNIT_INFO,
    KSIM_APPLY_STAGE_TWO, KSIM_APPLY_STAGE_ONE, KSIM_GET_CPU_LEVEL,         KSIM_SET_CPU_LEVEL,
    KSIM_GET_BUFFER_SIZE, KSIM_SET_BUFFER_SIZE, KSIM_SET_SECOND_BUFFER_SIZE};

// Every text a list of the panel may hold: its own entries, and those the dialog starts with.
Texts Joined(Texts texts, const Texts& more) {
    texts.insert(texts.end(), more.begin(), more.end());
    return texts;
}
const Texts kRateTexts = Joined(Joined({" No Device"}, panel::kFourRates),
                                {"44100 Hz", "48000 Hz", "88200 Hz", "96000 Hz"});
const Texts kClockTexts = Joined({"S/PDIF"}, panel::kTwoUnitClocks);
const Texts kBufferTexts = Joined(panel::kLatencies, {"10 ms", "12 ms", "18 ms", "25 ms"});

void ExpectOnly(HWND list, const Texts& allowed) {
    const Texts texts = ListTexts(list);
    EXPECT_FALSE(texts.empty());
    for (const std::string& text : texts) {
        EXPECT_NE(std::find(allowed.begin(), allowed.end(), text), allowed.end())
            << "unexpected entry \"" << text << "\"";
    }
}

void ExpectSaneLists(ModelPanel& panel) {
    ExpectOnly(panel.RateList(), kRateTexts);
    EXPECT_NE(SelectedText(panel.RateList()), "<none>");
    ExpectOnly(panel.ClockList(), kClockTexts);
    ExpectOnly(panel.BufferList(), kBufferTexts);
}

// Everything the user can do, then a device change: none of it may bring the panel down.
void ExerciseEverything(ModelPanel& panel) {
    panel.Pick(panel.RateList(), 0);
    panel.Pick(panel.ClockList(), 1);
    panel.Pick(panel.BufferList(), 0);
    panel.Command(panel::kCpuLow);
    panel.Command(panel::kCpuHigh);
    panel.ReopenDevice();
}

class DriverFaultTest : public PanelTestBase {
protected:
    void TearDown() override {
        sim_.ClearFaults();
        PanelTestBase::TearDown();
    }

    int Requests(std::uint32_t code, std::uint32_t target = 0) {
        return test::CountOf(sim_.Log(), code, target);
    }
};

TEST_F(DriverFaultTest, EveryControlRequestFailingShowsNoDeviceAndSendsEachChoiceOnce) {
    for (std::uint32_t code : kControlCodes) {
        ASSERT_TRUE(sim_.Fail(code, kDriverError)) << sim::RequestName(code);
    }
    ModelPanel().Run([&](ModelPanel& self) {
        EXPECT_EQ(ListTexts(self.RateList()), Texts{" No Device"});
        EXPECT_EQ(SelectedText(self.RateList()), " No Device");
        EXPECT_FALSE(IsWindowEnabled(self.ClockList()));
        EXPECT_FALSE(IsWindowEnabled(self.BufferList()));
        EXPECT_EQ(self.m_unitCount, 0);
        ASSERT_TRUE(sim_.ClearLog());
        ExerciseEverything(self);
        EXPECT_EQ(ListTexts(self.RateList()), Texts{" No Device"});
        EXPECT_FALSE(IsWindowEnabled(self.ClockList()));
        EXPECT_FALSE(IsWindowEnabled(self.BufferList()));
        // Each failed set stops its own sequence; the CPU commands send all three anyway.
        EXPECT_EQ(Requests(KSIM_SET_SAMPLE_RATE), 1);
        EXPECT_EQ(Requests(KSIM_SET_BUFFER_SIZE), 1);
        EXPECT_EQ(Requests(KSIM_SET_SECOND_BUFFER_SIZE), 0);
        EXPECT_EQ(Requests(KSIM_SET_CPU_LEVEL), 2);
        EXPECT_EQ(Requests(KSIM_APPLY_STAGE_ONE), 2);
        EXPECT_EQ(Requests(KSIM_APPLY_STAGE_TWO), 2);
        EXPECT_EQ(Requests(KSIM_GET_UNIT_LIST), 1);
        EXPECT_EQ(Requests(KSIM_GET_UNIT_INFO), 0);
        for (const sim::LogEntry& entry : sim_.Log()) {
            if (entry.IsControl()) {
                EXPECT_EQ(entry.status, kDriverError) << sim::RequestName(entry.code);
            }
        }
    });
}

TEST_F(DriverFaultTest, FailingUnitRequestsLeaveTheListsWhole) {
    PlugUpTo(2);
    const std::uint32_t first = sim_.UnitIds().at(0);
    ASSERT_TRUE(sim_.Fail(KSIM_SEND_REQUEST, kDriverError));
    ModelPanel().Run([&](ModelPanel& self) {
        EXPECT_EQ(ListTexts(self.RateList()), panel::kTwoRates);
        EXPECT_EQ(ListTexts(self.ClockList()), panel::kTwoUnitClocks);
        EXPECT_TRUE(IsWindowEnabled(self.ClockList()));
        EXPECT_EQ(SelectedText(self.BufferList()), "2.5 ms");
        ASSERT_TRUE(sim_.ClearLog());
        ExerciseEverything(self);
        ExpectSaneLists(self);
        // The first unit's failure ends each clock command: the second unit is never asked.
        EXPECT_EQ(Requests(KSIM_SEND_REQUEST), 2); // the clock choice and the refresh
        EXPECT_EQ(Requests(KSIM_SEND_REQUEST, first), 2);
    });
    EXPECT_EQ(panel::StoredClockSource(app_), 1)
        << "the choice is stored although the units refused it";
}

TEST_F(DriverFaultTest, UnitListClaimingMoreUnitsThanItHoldsIsReadUpToItsPlaces) {
    const std::uint32_t unit = sim_.UnitIds().at(0);
    const std::uint32_t claims[] = {65, 0xFFFFFFFF};
    for (std::uint32_t claim : claims) {
        SCOPED_TRACE("count " + std::to_string(claim));
        ASSERT_TRUE(sim_.ReplaceUnitList(claim, std::vector<std::uint32_t>(64, unit)));
        ModelPanel().Run([&](ModelPanel& self) {
            EXPECT_EQ(self.m_unitCount, 64);
            EXPECT_EQ(ListTexts(self.RateList()), panel::kTwoRates);
            EXPECT_EQ(ListTexts(self.ClockList()), panel::kOneUnitClocks);
            ASSERT_TRUE(sim_.ClearLog());
            self.ReopenDevice();
            EXPECT_EQ(Requests(KSIM_GET_UNIT_INFO), 64);
            // Only a count of exactly two addresses a second unit.
            EXPECT_EQ(Requests(KSIM_SEND_REQUEST), 1);
            ExerciseEverything(self);
            ExpectSaneLists(self);
        });
        ASSERT_TRUE(sim_.ClearUnitList());
    }
}

TEST_F(DriverFaultTest, ShortRepliesLeaveSaneLists) {
    struct ShortReply {
        std::uint32_t code;
        std::uint32_t bytes;
    };
    const ShortReply replies[] = {
        {KSIM_GET_SAMPLE_RATE, 0}, {KSIM_GET_SAMPLE_RATE, 4}, {KSIM_GET_BUFFER_SIZE, 0},
        {KSIM_GET_BUFFER_SIZE, 2}, {KSIM_GET_UNIT_LIST, 0},   {KSIM_GET_UNIT_LIST, 2},
        {KSIM_GET_UNIT_LIST, 6},   {KSIM_GET_UNIT_INFO, 0},   {KSIM_GET_CPU_LEVEL, 0},
    };
    for (const ShortReply& reply : replies) {
        SCOPED_TRACE(sim::RequestName(reply.code) + " answering " + std::to_string(reply.bytes) +
                     " bytes");
        ASSERT_TRUE(sim_.ShortReply(reply.code, reply.bytes));
        ModelPanel().Run([&](ModelPanel& self) {
            ExpectSaneLists(self);
            ExerciseEverything(self);
            ExpectSaneLists(self);
        });
        ASSERT_TRUE(sim_.ClearFaults());
    }
}

} // namespace
