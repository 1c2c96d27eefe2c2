// The unit command channel against the driver simulator: opening by enumeration position,
// its refusals, a present unit that cannot be opened, requests that complete at once or later,
// and what each request hands the driver. The open failures that need a broken SetupAPI or an
// exhausted system (allocation, event creation, the detail queries) cannot be staged through
// the simulator.
#include "SimulatorFixture.h"

#include "UnitInterface.h"

#include "UniqueHandle.h"

namespace {

class UnitCommandChannelTest : public SimulatorFixture {
protected:
    void SetUp() override {
        SimulatorFixture::SetUp();
        units_ = GetUnitDeviceInfoSet(UnitInterfaceGuid);
        ASSERT_TRUE(units_.IsValid());
        // An AV/C UNIT INFO status inquiry: any frame will do for the channel.
        request_.leadingWord = 2000;
        request_.frameLength = 8;
        const std::uint8_t frame[] = {0x01, 0xFF, 0x30, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
        std::memcpy(request_.frame, frame, sizeof(frame));
    }

    DriverStatus OpenUnit(std::uint32_t index) {
        return g_unitCommandChannel.Open(index, units_.Get(), &UnitInterfaceGuid);
    }

    DeviceInfoSet units_;
    FcpRequestBlock request_ = {};
    FcpResponseBlock response_ = {};
};

TEST_F(UnitCommandChannelTest, OpenPastTheLastInterfaceFailsAndStaysClosed) {
    // Rows: n-1 (the last interface), n, n+1 with one unit; then n with no unit at all.
    struct Row {
        int units;
        std::uint32_t index;
        DriverStatus expected;
    };
    const Row rows[] = {{1, 0, Status::Success},
                        {1, 1, Status::NoSuchDeviceInstance},
                        {1, 2, Status::NoSuchDeviceInstance},
                        {0, 0, Status::NoSuchDeviceInstance}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.units) + " units, index " + std::to_string(row.index));
        PlugUpTo(row.units);
        units_ = GetUnitDeviceInfoSet(UnitInterfaceGuid);
        ASSERT_TRUE(units_.IsValid());
        ASSERT_TRUE(sim_.ClearLog());
        EXPECT_EQ(OpenUnit(row.index), row.expected);
        EXPECT_EQ(g_unitCommandChannel.IsOpen(), row.expected == Status::Success);
        EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_),
                  row.expected == Status::Success ? Status::Success : Status::DeviceNotOpen);
        g_unitCommandChannel.Close();
    }
}

TEST_F(UnitCommandChannelTest, PresentUnitThatCannotBeOpenedIsNotFoundAndStaysClosed) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    units_ = GetUnitDeviceInfoSet(UnitInterfaceGuid);
    // The unit left between the enumeration and the open; its error is not passed on.
    ASSERT_TRUE(sim_.OpenFail(ids[1]));
    EXPECT_EQ(OpenUnit(1), Status::DeviceNotFound);
    EXPECT_FALSE(g_unitCommandChannel.IsOpen());
    EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), Status::DeviceNotOpen);
    // Nothing is held that would stop the next open.
    ASSERT_EQ(OpenUnit(0), Status::Success);
    g_unitCommandChannel.Close();
    ASSERT_TRUE(sim_.OpenFail(ids[1], false));
    ASSERT_EQ(OpenUnit(1), Status::Success);
    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), Status::Success);
    ASSERT_EQ(sim_.Log().size(), 1u);
    EXPECT_EQ(sim_.Log()[0].target, ids[1]);
}

TEST_F(UnitCommandChannelTest, OpenRefusesMissingArguments) {
    EXPECT_EQ(g_unitCommandChannel.Open(0, nullptr, &UnitInterfaceGuid),
              Status::InvalidFunctionParameter);
    EXPECT_EQ(g_unitCommandChannel.Open(0, units_.Get(), nullptr),
              Status::InvalidFunctionParameter);
    EXPECT_FALSE(g_unitCommandChannel.IsOpen());
}

TEST_F(UnitCommandChannelTest, SecondOpenIsRejectedAndTheFirstHandleStillWorks) {
    PlugUpTo(2);
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    units_ = GetUnitDeviceInfoSet(UnitInterfaceGuid);
    ASSERT_EQ(OpenUnit(0), Status::Success);
    EXPECT_EQ(OpenUnit(0), Status::OperationRejected);
    EXPECT_EQ(OpenUnit(1), Status::OperationRejected);
    // Refused before anything else is looked at.
    EXPECT_EQ(g_unitCommandChannel.Open(0, nullptr, nullptr), Status::OperationRejected);

    ASSERT_TRUE(sim_.ClearLog());
    EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), Status::Success);
    const std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 1u) << test::Describe(log);
    EXPECT_EQ(log[0].target, ids[0]) << "still the first unit";
}

TEST_F(UnitCommandChannelTest, ClosedChannelFailsEveryRequestAndSendsNothing) {
    // Never opened, then opened and closed twice.
    for (const bool openedBefore : {false, true}) {
        SCOPED_TRACE(openedBefore ? "after Close" : "never opened");
        if (openedBefore) {
            ASSERT_EQ(OpenUnit(0), Status::Success);
            g_unitCommandChannel.Close();
            g_unitCommandChannel.Close();
        }
        ASSERT_TRUE(sim_.ClearLog());
        const UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
        ASSERT_TRUE(event.IsValid());
        std::uint32_t bytes = 0x5A5A5A5A;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), 0xE0008002u);
        EXPECT_EQ(g_unitCommandChannel.GetNotifyResponse(response_), 0xE0008002u);
        EXPECT_EQ(g_unitCommandChannel.RegisterNotifyResponseEvent(event.Get()), 0xE0008002u);
        EXPECT_EQ(g_unitCommandChannel.UnregisterNotifyResponseEvent(), 0xE0008002u);
        EXPECT_EQ(g_unitCommandChannel.IoControl(KSIM_SEND_REQUEST, &request_, sizeof(request_),
                                                 &response_, sizeof(response_), &bytes),
                  0xE0008002u);
        EXPECT_EQ(GetLastError(), 0xdeadbeefu) << "no system call on a closed channel";
        EXPECT_EQ(bytes, 0x5A5A5A5Au) << "the byte count is left alone";
        EXPECT_TRUE(sim_.Log().empty()) << test::Describe(sim_.Log());
    }
    // The records of the last Open outlive Close; the next Open still works.
    EXPECT_EQ(OpenUnit(0), Status::Success);
}

TEST_F(UnitCommandChannelTest, RequestsReturnOnlyWhenTheDriverHasCompletedThem) {
    const std::uint32_t id = sim_.UnitIds().at(0);
    ASSERT_EQ(OpenUnit(0), Status::Success);
    // Rows: completed at once, completed later (pending).
    for (const std::uint32_t pendMs : {0u, 200u}) {
        SCOPED_TRACE("pend " + std::to_string(pendMs) + " ms");
        ASSERT_TRUE(sim_.Pend(pendMs));
        ASSERT_TRUE(sim_.ClearLog());
        FcpResponseBlock response = {};
        std::uint32_t bytes = 0;
        SetLastError(0xdeadbeef);
        EXPECT_EQ(g_unitCommandChannel.IoControl(KSIM_SEND_REQUEST, &request_, sizeof(request_),
                                                 &response, sizeof(response), &bytes),
                  Status::Success);
        // The driver's answer is in place when the call returns: an ACCEPTED response.
        EXPECT_EQ(response.frame[0] & 0x0F, 0x9);
        EXPECT_EQ(bytes, sizeof(FcpResponseBlock)) << "the driver's whole response block";
        const std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_EQ(log.size(), 1u) << test::Describe(log);
        EXPECT_EQ(log[0].target, id);
        EXPECT_EQ(log[0].status, 0u) << "completed, never left at 997";

        EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), Status::Success);
    }
}

TEST_F(UnitCommandChannelTest, FailedRequestReturnsTheErrorAndTheChannelStaysOpen) {
    ASSERT_EQ(OpenUnit(0), Status::Success);
    for (const std::uint32_t pendMs : {0u, 100u}) {
        SCOPED_TRACE("pend " + std::to_string(pendMs) + " ms");
        ASSERT_TRUE(sim_.Pend(pendMs));
        ASSERT_TRUE(sim_.Fail(KSIM_SEND_REQUEST, ERROR_GEN_FAILURE, 1));
        EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_),
                  static_cast<DriverStatus>(ERROR_GEN_FAILURE));
        EXPECT_TRUE(g_unitCommandChannel.IsOpen());
        EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), Status::Success);
    }
}

TEST_F(UnitCommandChannelTest, EachRequestCarriesItsCodeAndBuffers) {
    const std::uint32_t id = sim_.UnitIds().at(0);
    ASSERT_EQ(OpenUnit(0), Status::Success);
    const UniqueHandle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    ASSERT_TRUE(event.IsValid());
    ASSERT_TRUE(sim_.ClearLog());

    EXPECT_EQ(g_unitCommandChannel.SendRequest(request_, response_), Status::Success);
    EXPECT_EQ(g_unitCommandChannel.RegisterNotifyResponseEvent(event.Get()), Status::Success);
    // With no NOTIFY outstanding there is no response to fetch: the driver's error comes back.
    EXPECT_EQ(g_unitCommandChannel.GetNotifyResponse(response_),
              static_cast<DriverStatus>(ERROR_NO_DATA));
    EXPECT_EQ(g_unitCommandChannel.UnregisterNotifyResponseEvent(), Status::Success);

    struct Row {
        std::uint32_t code;
        std::vector<std::uint8_t> input;
        std::uint32_t outputSize;
    };
    const Row rows[] = {
        {KSIM_SEND_REQUEST, test::BytesOf(request_), 516},
        // The handle's value itself, as one 32-bit word.
        {KSIM_REGISTER_NOTIFY_EVENT, test::BytesOf(HandleToULong(event.Get())), 0},
        {KSIM_GET_NOTIFY_RESPONSE, {}, 516},
        {KSIM_UNREGISTER_NOTIFY_EVENT, {}, 0},
    };
    const test::Log log = sim_.Log();
    ASSERT_EQ(log.size(), std::size(rows)) << test::Describe(log);
    for (size_t i = 0; i < log.size(); ++i) {
        SCOPED_TRACE(sim::FormatLogLine(log[i]));
        EXPECT_EQ(log[i].target, id);
        EXPECT_EQ(log[i].code, rows[i].code);
        EXPECT_EQ(log[i].input, rows[i].input);
        EXPECT_EQ(log[i].outputSize, rows[i].outputSize);
    }
}

} // namespace
