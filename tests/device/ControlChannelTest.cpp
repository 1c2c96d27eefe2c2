// The control channel against the driver simulator: what reaches the driver (its request log)
// for each operation, the unit list and its limits, failures passed through, and a closed
// channel that sends nothing. Opening a control device that is missing cannot be staged here:
// the simulator's device is always present while it runs.
#include "ResourceCounts.h"
#include "SimulatorFixture.h"

#include <algorithm>
#include <functional>

namespace {

// The simulator writes a unit's identifier into word 0 of its information record.
std::uint32_t IdOf(const UnitInfo& info) {
    std::uint32_t id = 0;
    std::memcpy(&id, info.bytes, sizeof(id));
    return id;
}

// Handles that this process holds, as the probe counts another program's.
int OpenHandleCount() {
    return CountResources(GetCurrentProcess(), GetCurrentProcessId()).handles;
}

// Each operation on the caller's records, as the panel calls it, with the request it sends.
struct Operation {
    std::uint32_t code;
    std::uint32_t inputSize;
    std::uint32_t outputSize;
    std::function<DriverStatus()> call;
};

class ControlChannelTest : public SimulatorFixture {
protected:
    ControlChannelTest() {
        rate_.driverWord = 0x12345678;
        rate_.rate = 44100;
        cpu_.level = 4000;
        buffer_.microseconds = 6000;
        buffer_.driverWords[0] = 0xA1;
        secondBuffer_.microseconds = 8000;
    }

    std::vector<Operation> Operations() {
        ControlChannel& c = g_controlChannel;
        return {
            {KSIM_GET_SAMPLE_RATE, 0, 8, [&] { return c.GetSampleRate(rate_); }},
            {KSIM_SET_SAMPLE_RATE, 8, 0, [&] { return c.SetSampleRate(rate_); }},
            {KSIM_GET_CPU_LEVEL, 0, 16, [&] { return c.GetCpuLevel(cpu_); }},
            {KSIM_SET_CPU_LEVEL, 16, 0, [&] { return c.SetCpuLevel(cpu_); }},
            {KSIM_GET_BUFFER_SIZE, 0, 16, [&] { return c.GetBufferSize(buffer_); }},
            {KSIM_SET_BUFFER_SIZE, 16, 0, [&] { return c.SetBufferSize(buffer_); }},
            {KSIM_SET_SECOND_BUFFER_SIZE, 16, 0,
             [&] { return c.SetSecondBufferSize(secondBuffer_); }},
            {KSIM_APPLY_STAGE_ONE, 0, 0, [&] { return c.ApplyStageOne(); }},
            {KSIM_APPLY_STAGE_TWO, 0, 0, [&] { return c.ApplyStageTwo(); }},
            {KSIM_GET_UNIT_LIST, 0, 260, [&] { return c.RefreshUnits(); }},
        };
    }

    // The unit-list request, then one information request per identifier, in this order.
    void ExpectRefreshRequests(const std::vector<std::uint32_t>& ids,
                               const std::vector<std::uint32_t>& failingIds = {}) {
        const test::Log log = sim_.Log();
        SCOPED_TRACE(test::Describe(log));
        ASSERT_EQ(log.size(), ids.size() + 1);
        EXPECT_TRUE(log[0].IsControl());
        EXPECT_EQ(log[0].code, KSIM_GET_UNIT_LIST);
        EXPECT_TRUE(log[0].input.empty());
        EXPECT_EQ(log[0].outputSize, 260u);
        EXPECT_EQ(log[0].status, 0u);
        for (size_t i = 0; i < ids.size(); ++i) {
            SCOPED_TRACE("information request " + std::to_string(i));
            const sim::LogEntry& entry = log[i + 1];
            EXPECT_TRUE(entry.IsControl());
            EXPECT_EQ(entry.code, KSIM_GET_UNIT_INFO);
            EXPECT_EQ(entry.input, test::BytesOf(ids[i]));
            EXPECT_EQ(entry.outputSize, 424u);
            const bool fails =
                std::find(failingIds.begin(), failingIds.end(), ids[i]) != failingIds.end();
            EXPECT_EQ(entry.status != 0, fails);
        }
    }

    SampleRateRecord rate_;
    CpuLevelRecord cpu_;
    BufferSizeRecord buffer_;
    BufferSizeRecord secondBuffer_;
};

TEST_F(ControlChannelTest, SecondOpenSucceedsWithoutASecondHandle) {
    const int before = OpenHandleCount();
    ASSERT_GT(before, 0);
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    EXPECT_EQ(OpenHandleCount(), before + 1);
    EXPECT_EQ(g_controlChannel.Open(), Status::Success);
    EXPECT_EQ(OpenHandleCount(), before + 1);

    // One Close ends the channel: there was only the one handle to close.
    g_controlChannel.Close();
    EXPECT_EQ(OpenHandleCount(), before);
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_EQ(g_controlChannel.GetSampleRate(rate_), Status::OperationFailed);
    EXPECT_TRUE(sim_.Log().empty());
}

TEST_F(ControlChannelTest, ClosedChannelFailsEveryRequestAndSendsNothing) {
    // Never opened; opened and closed again; and an Open that failed because the control
    // device is not there, as when the driver is not loaded. All three are closed.
    enum class How { NeverOpened, AfterClose, NoDriver };
    for (const How how : {How::NeverOpened, How::AfterClose, How::NoDriver}) {
        SCOPED_TRACE(how == How::NeverOpened  ? "never opened"
                     : how == How::AfterClose ? "after Close"
                                              : "no driver");
        if (how == How::AfterClose) {
            ASSERT_EQ(g_controlChannel.Open(), Status::Success);
            ASSERT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
            g_controlChannel.Close();
            g_controlChannel.Close(); // a second Close is harmless
            ASSERT_TRUE(sim_.ClearLog());
        }
        if (how == How::NoDriver) {
            ASSERT_TRUE(sim_.SetControlPathPresent(false));
            EXPECT_EQ(g_controlChannel.Open(), Status::OperationFailed);
            EXPECT_EQ(g_controlChannel.RefreshUnits(), Status::OperationFailed);
        }
        for (const Operation& op : Operations()) {
            SCOPED_TRACE(sim::RequestName(op.code));
            SetLastError(0xdeadbeef);
            EXPECT_EQ(op.call(), 0xE0000001u);
            EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "no system call on a closed channel";
        }
        std::uint32_t bytes = 0;
        EXPECT_EQ(g_controlChannel.IoControl(KSIM_GET_SAMPLE_RATE, nullptr, 0, &rate_, 8, &bytes),
                  0xE0000001u);
        EXPECT_EQ(g_controlChannel.UnitCount(), 0);
        EXPECT_TRUE(sim_.Log().empty()) << test::Describe(sim_.Log());
    }
    // Once the driver is there again, the channel opens.
    ASSERT_TRUE(sim_.SetControlPathPresent(true));
    EXPECT_EQ(g_controlChannel.Open(), Status::Success);
    EXPECT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
    EXPECT_EQ(g_controlChannel.UnitCount(), 1);
}

TEST_F(ControlChannelTest, EachRequestCarriesItsCodeAndBufferSizes) {
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    for (const Operation& op : Operations()) {
        SCOPED_TRACE(sim::RequestName(op.code));
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_EQ(op.call(), Status::Success);
        const std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_FALSE(log.empty());
        const sim::LogEntry& entry = log[0];
        EXPECT_TRUE(entry.IsControl());
        EXPECT_EQ(entry.code, op.code) << sim::RequestName(entry.code);
        EXPECT_EQ(entry.input.size(), op.inputSize);
        EXPECT_EQ(entry.outputSize, op.outputSize);
        EXPECT_EQ(entry.status, 0u);
        // Only RefreshUnits goes on with information requests.
        EXPECT_EQ(log.size(), op.code == KSIM_GET_UNIT_LIST ? 2u : 1u) << test::Describe(log);
    }
}

TEST_F(ControlChannelTest, GetRequestsFillAndSetRequestsSendTheCallersRecords) {
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);

    SampleRateRecord rate;
    rate.rate = -1;
    ASSERT_EQ(g_controlChannel.GetSampleRate(rate), Status::Success);
    EXPECT_EQ(rate.rate, 48000);
    BufferSizeRecord buffer;
    buffer.microseconds = -1;
    ASSERT_EQ(g_controlChannel.GetBufferSize(buffer), Status::Success);
    EXPECT_EQ(buffer.microseconds, 2500);
    CpuLevelRecord cpu;
    ASSERT_EQ(g_controlChannel.GetCpuLevel(cpu), Status::Success);
    EXPECT_EQ(cpu.level, 2000);

    // A write sends back the driver words as last read, with the new value.
    rate.rate = 96000;
    buffer.microseconds = 12000;
    cpu.level = 1000;
    ASSERT_TRUE(sim_.ClearLog());
    ASSERT_EQ(g_controlChannel.SetSampleRate(rate), Status::Success);
    ASSERT_EQ(g_controlChannel.SetBufferSize(buffer), Status::Success);
    ASSERT_EQ(g_controlChannel.SetCpuLevel(cpu), Status::Success);
    const std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 3u) << test::Describe(log);
    EXPECT_EQ(log[0].input, test::BytesOf(rate));
    EXPECT_EQ(log[1].input, test::BytesOf(buffer));
    EXPECT_EQ(log[2].input, test::BytesOf(cpu));

    const sim::SimulatorState state = sim_.State();
    EXPECT_EQ(state.rate, 96000u);
    EXPECT_EQ(state.bufferMicroseconds, 12000u);
    EXPECT_EQ(state.cpuLevel, 1000u);
}

TEST_F(ControlChannelTest, RefreshReadsTheListThenEachUnitInListOrder) {
    // Rows: no unit, one unit, two units.
    for (const int units : {0, 1, 2}) {
        SCOPED_TRACE(std::to_string(units) + " units");
        PlugUpTo(units);
        const std::vector<std::uint32_t> ids = sim_.UnitIds();
        ASSERT_TRUE(sim_.ClearLog());

        ASSERT_EQ(g_controlChannel.Open(), Status::Success);
        EXPECT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
        ASSERT_EQ(g_controlChannel.UnitCount(), units);
        for (int i = 0; i < units; ++i) {
            EXPECT_EQ(IdOf(g_controlChannel.Unit(i)), ids[static_cast<size_t>(i)]);
        }
        ExpectRefreshRequests(ids);

        // Close drops the records; reopening does not bring them back.
        g_controlChannel.Close();
        EXPECT_EQ(g_controlChannel.UnitCount(), 0);
        ASSERT_EQ(g_controlChannel.Open(), Status::Success);
        EXPECT_EQ(g_controlChannel.UnitCount(), 0);
        g_controlChannel.Close();
    }
}

TEST_F(ControlChannelTest, RefreshFollowsTheOrderOfTheDriversList) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> plugged = sim_.UnitIds();
    const std::vector<std::uint32_t> reversed = {plugged[1], plugged[0]};
    ASSERT_TRUE(sim_.ReplaceUnitList(2, reversed));
    ASSERT_TRUE(sim_.ClearLog());

    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    EXPECT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
    ASSERT_EQ(g_controlChannel.UnitCount(), 2);
    EXPECT_EQ(IdOf(g_controlChannel.Unit(0)), reversed[0]);
    EXPECT_EQ(IdOf(g_controlChannel.Unit(1)), reversed[1]);
    ExpectRefreshRequests(reversed);
}

TEST_F(ControlChannelTest, UnitWhoseInformationFailsLeavesNoGap) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    ASSERT_TRUE(sim_.InfoFail(ids[0]));
    ASSERT_TRUE(sim_.ClearLog());

    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    EXPECT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
    ASSERT_EQ(g_controlChannel.UnitCount(), 1);
    EXPECT_EQ(IdOf(g_controlChannel.Unit(0)), ids[1]);
    ExpectRefreshRequests(ids, {ids[0]});
}

TEST_F(ControlChannelTest, FailedUnitListAfterAGoodRefreshLeavesNoUnits) {
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    ASSERT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
    ASSERT_EQ(g_controlChannel.UnitCount(), 1);

    ASSERT_TRUE(sim_.Fail(KSIM_GET_UNIT_LIST, ERROR_GEN_FAILURE, 1));
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_EQ(g_controlChannel.RefreshUnits(), static_cast<DriverStatus>(ERROR_GEN_FAILURE));
    EXPECT_EQ(g_controlChannel.UnitCount(), 0);
    const std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 1u) << "no information request after a failed list";
    EXPECT_EQ(log[0].code, KSIM_GET_UNIT_LIST);
    EXPECT_EQ(log[0].status, static_cast<std::uint32_t>(ERROR_GEN_FAILURE));
}

TEST_F(ControlChannelTest, UnitListIsReadUpToItsSixtyFourPlaces) {
    // Every place names the one plugged unit, so every information request succeeds.
    const std::uint32_t id = sim_.UnitIds().at(0);
    const std::vector<std::uint32_t> places(64, id);
    struct Row {
        std::uint32_t count;
        int requests;
    };
    const Row rows[] = {{0, 0}, {63, 63}, {64, 64}, {65, 64}, {0xFFFFFFFF, 64}};
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    for (const Row& row : rows) {
        SCOPED_TRACE("count " + std::to_string(row.count));
        ASSERT_TRUE(sim_.ReplaceUnitList(row.count, places));
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_EQ(g_controlChannel.RefreshUnits(), Status::Success);
        EXPECT_EQ(g_controlChannel.UnitCount(), row.requests);
        ExpectRefreshRequests(std::vector<std::uint32_t>(static_cast<size_t>(row.requests), id));
    }
}

TEST_F(ControlChannelTest, FailedRequestReturnsTheDriversErrorUnchanged) {
    // Rows: Windows errors, and driver codes that only ever arrive as a request's error.
    const std::uint32_t errors[] = {ERROR_INVALID_FUNCTION, ERROR_GEN_FAILURE, ERROR_DEVICE_REMOVED,
                                    0xE0000304, 0xE0008003};
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    for (const std::uint32_t error : errors) {
        SCOPED_TRACE("error " + std::to_string(error));
        ASSERT_TRUE(sim_.Fail(KSIM_GET_SAMPLE_RATE, error, 1));
        ASSERT_TRUE(sim_.Fail(KSIM_SET_BUFFER_SIZE, error, 1));
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_EQ(g_controlChannel.GetSampleRate(rate_), error);
        EXPECT_EQ(g_controlChannel.SetBufferSize(buffer_), error);
        std::uint32_t bytes = 0xdeadbeef;
        EXPECT_EQ(g_controlChannel.IoControl(KSIM_APPLY_STAGE_ONE, nullptr, 0, nullptr, 0, &bytes),
                  Status::Success);
        EXPECT_EQ(bytes, 0u);
        const std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_EQ(log.size(), 3u) << test::Describe(log);
        EXPECT_EQ(log[0].status, error);
        EXPECT_EQ(log[1].status, error);
        // The channel stays open after a failed request.
        EXPECT_EQ(log[2].status, 0u);
    }
}

TEST_F(ControlChannelTest, ShortReplyCountsAsSuccess) {
    ASSERT_EQ(g_controlChannel.Open(), Status::Success);
    ASSERT_TRUE(sim_.ShortReply(KSIM_GET_SAMPLE_RATE, 4));
    ASSERT_TRUE(sim_.ShortReply(KSIM_GET_BUFFER_SIZE, 0));
    EXPECT_EQ(g_controlChannel.GetSampleRate(rate_), Status::Success);
    EXPECT_EQ(g_controlChannel.GetBufferSize(buffer_), Status::Success);

    // The byte count reaches a caller who asks for it; the operations never ask.
    std::uint32_t bytes = 0;
    EXPECT_EQ(g_controlChannel.IoControl(KSIM_GET_SAMPLE_RATE, nullptr, 0, &rate_, 8, &bytes),
              Status::Success);
    EXPECT_EQ(bytes, 4u);
}

} // namespace
