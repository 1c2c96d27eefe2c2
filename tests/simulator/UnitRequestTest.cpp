// A unit's interface: the four requests with their exact sizes, AV/C answers, the clock
// selector, requests completed later, and the NOTIFY handshake.
#include "SimTestSupport.h"

#include <cstring>

namespace simtest {
namespace {

constexpr DWORD kResponseSize = KSIM_RESPONSE_BLOCK_SIZE;

class UnitRequests : public test::SimulatorTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::SimulatorTest::SetUp());
        unit_ = OpenOnlyUnit();
        ASSERT_TRUE(unit_) << "error " << GetLastError();
    }

    Handle unit_;
};

TEST_F(UnitRequests, EachCodeAcceptsExactlyItsSizes) {
    Handle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::uint32_t eventValue = HandleToULong(event.get());
    std::vector<std::uint8_t> request = RequestBlock(SelectorFrame(1));
    request.push_back(0);
    std::vector<std::uint8_t> response(kResponseSize + 1);
    std::vector<std::uint8_t> notify = RequestBlock({0x03, 0x08, 0xB8, 0x80, 0x01, 0x10});

    struct Row {
        const char* name;
        std::uint32_t code;
        const void* in;
        DWORD inSize;
        DWORD outSize;
    };
    const Row rows[] = {
        {"SendRequest", KSIM_SEND_REQUEST, request.data(), 520, 516},
        {"GetNotifyResponse", KSIM_GET_NOTIFY_RESPONSE, nullptr, 0, 516},
        {"RegisterNotifyResponseEvent", KSIM_REGISTER_NOTIFY_EVENT, &eventValue, 4, 0},
        {"UnregisterNotifyResponseEvent", KSIM_UNREGISTER_NOTIFY_EVENT, nullptr, 0, 0},
    };
    std::uint8_t spare[8] = {};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.code == KSIM_GET_NOTIFY_RESPONSE) {
            // A NOTIFY first, so that a response is waiting.
            ASSERT_TRUE(Send(unit_.get(), notify).ok);
        }
        const void* in = row.in ? row.in : spare;
        IoResult right =
            UnitRequest(unit_.get(), row.code, in, row.inSize, response.data(), row.outSize);
        EXPECT_TRUE(right.ok) << "error " << right.error;
        EXPECT_EQ(right.bytes, row.outSize);

        for (const WrongSize& variant : WrongSizes(row.inSize, row.outSize)) {
            SCOPED_TRACE(variant.what);
            std::vector<std::uint8_t> input(variant.in + 1, 0);
            IoResult result = UnitRequest(unit_.get(), row.code, input.data(), variant.in,
                                          response.data(), variant.out);
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }

    std::uint8_t buffer[16] = {};
    const std::uint32_t unknown[] = {0x80883000, 0x80883014, KSIM_GET_SAMPLE_RATE};
    for (std::uint32_t code : unknown) {
        SCOPED_TRACE(sim::RequestName(code));
        IoResult result = UnitRequest(unit_.get(), code, nullptr, 0, buffer, 8);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    }
}

TEST_F(UnitRequests, ResponseEchoesTheFrameWithTheConfiguredCode) {
    struct Row {
        const char* name;
        sim::UnitResponse response;
        std::uint8_t code;
        std::uint32_t plugAfter; // the selector takes effect only when the unit accepts it
    };
    const Row rows[] = {
        {"accepted", sim::UnitResponse::Accepted, 0x9, 0},
        {"rejected", sim::UnitResponse::Rejected, 0xA, 1},
        {"not implemented", sim::UnitResponse::NotImplemented, 0x8, 1},
        {"interim", sim::UnitResponse::Interim, 0xF, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sim_.Reset());
        ASSERT_TRUE(sim_.Respond(row.response));
        std::vector<std::uint8_t> response;
        IoResult result = Send(unit_.get(), RequestBlock(SelectorFrame(0)), response);
        ASSERT_TRUE(result.ok) << "error " << result.error;
        EXPECT_EQ(result.bytes, kResponseSize);

        std::vector<std::uint8_t> expected = SelectorFrame(0);
        expected[0] = row.code;
        EXPECT_EQ(std::vector<std::uint8_t>(response.begin() + 4, response.begin() + 13), expected);
        EXPECT_EQ(response[13], 0) << "bytes after the frame are zero";
        EXPECT_EQ(response[515], 0);
        EXPECT_EQ(sim_.State().units.at(0).plug, row.plugAfter);
    }
}

TEST_F(UnitRequests, ClockSelectorSetsThePlugOfTheAddressedUnitOnly) {
    ASSERT_EQ(sim_.Plug(1).size(), 1u);
    std::vector<std::string> paths = UnitInterfacePaths();
    ASSERT_EQ(paths.size(), 2u);
    for (std::size_t index = 0; index < paths.size(); ++index) {
        SCOPED_TRACE("interface " + std::to_string(index));
        ASSERT_TRUE(sim_.Reset());
        ASSERT_EQ(sim_.Plug(1).size(), 1u);
        paths = UnitInterfacePaths();
        Handle unit = OpenUnit(paths.at(index));
        ASSERT_TRUE(unit);
        ASSERT_TRUE(sim_.ClearLog());
        ASSERT_TRUE(Send(unit.get(), RequestBlock(SelectorFrame(0))).ok);

        std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_EQ(log.size(), 1u);
        for (const sim::UnitState& state : sim_.State().units) {
            EXPECT_EQ(state.plug, state.id == log[0].target ? 0u : 1u) << "unit " << state.id;
        }
        ASSERT_TRUE(Send(unit.get(), RequestBlock(SelectorFrame(1))).ok);
        for (const sim::UnitState& state : sim_.State().units) {
            EXPECT_EQ(state.plug, 1u) << "unit " << state.id;
        }
    }
}

TEST_F(UnitRequests, OtherFramesLeaveThePlugAlone) {
    const std::vector<std::vector<std::uint8_t>> frames = {
        {0x01, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02, 0x00, 0x01}, // STATUS, not CONTROL
        {0x00, 0x08, 0xB8, 0x80, 0x02, 0x10, 0x02, 0x00, 0x01}, // another function block
        {0x00, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02, 0x00},       // one byte short
        {},                                                     // empty frame
    };
    for (std::size_t i = 0; i < frames.size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        ASSERT_TRUE(Send(unit_.get(), RequestBlock(frames[i])).ok);
        EXPECT_EQ(sim_.State().units.at(0).plug, 1u);
    }
}

TEST_F(UnitRequests, FrameLongerThanTheBlockIsInvalid) {
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::uint32_t length = 513;
    std::memcpy(block.data() + 4, &length, 4);
    IoResult result = Send(unit_.get(), block);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(sim_.State().units.at(0).plug, 1u);
}

TEST_F(UnitRequests, PendingRequestReportsIoPendingThenCompletes) {
    ASSERT_TRUE(sim_.Pend(50));
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(kResponseSize, 0xCC);
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    DWORD bytes = 0xdeadbeef;

    SetLastError(0xdeadbeef);
    BOOL ok = DeviceIoControl(unit_.get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(),
                              kResponseSize, &bytes, &overlapped);
    EXPECT_FALSE(ok);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));

    ASSERT_TRUE(GetOverlappedResult(unit_.get(), &overlapped, &bytes, TRUE))
        << "error " << GetLastError();
    EXPECT_EQ(bytes, kResponseSize);
    EXPECT_EQ(response[4], 0x09);
    EXPECT_EQ(sim_.State().units.at(0).plug, 0u);

    std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].status, 0u) << "the log shows the final status";
}

TEST_F(UnitRequests, PendingRequestCancelledOrRemoved) {
    const std::uint32_t id = sim_.UnitIds().at(0);
    // Long enough that nothing completes it before the test does.
    ASSERT_TRUE(sim_.Pend(60000));
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(kResponseSize);
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    DWORD bytes = 0;

    SetLastError(0xdeadbeef);
    ASSERT_FALSE(DeviceIoControl(unit_.get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(),
                                 kResponseSize, &bytes, &overlapped));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].status, static_cast<std::uint32_t>(ERROR_IO_PENDING));

    ASSERT_TRUE(CancelIo(unit_.get()));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetOverlappedResult(unit_.get(), &overlapped, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_OPERATION_ABORTED));
    EXPECT_EQ(sim_.Log().at(0).status, static_cast<std::uint32_t>(ERROR_OPERATION_ABORTED));

    // A request still pending when its unit goes away fails with ERROR_DEVICE_REMOVED.
    ResetEvent(event.get());
    SetLastError(0xdeadbeef);
    ASSERT_FALSE(DeviceIoControl(unit_.get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(),
                                 kResponseSize, &bytes, &overlapped));
    ASSERT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    ASSERT_TRUE(sim_.Unplug(id));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(GetOverlappedResult(unit_.get(), &overlapped, &bytes, TRUE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DEVICE_REMOVED));
}

TEST_F(UnitRequests, NotifyHandshakeSignalsTheRegisteredEvent) {
    Handle event(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    std::uint32_t value = HandleToULong(event.get());
    IoResult result = UnitRequest(unit_.get(), KSIM_REGISTER_NOTIFY_EVENT, &value, 4, nullptr, 0);
    ASSERT_TRUE(result.ok) << "error " << result.error;
    EXPECT_EQ(WaitForSingleObject(event.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT));

    std::vector<std::uint8_t> notify = {0x03, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02, 0xFF, 0x01};
    std::vector<std::uint8_t> response;
    ASSERT_TRUE(Send(unit_.get(), RequestBlock(notify), response).ok);
    EXPECT_EQ(response[4], 0x0F) << "a NOTIFY is answered INTERIM first";
    EXPECT_EQ(sim_.State().units.at(0).plug, 1u);

    EXPECT_EQ(WaitForSingleObject(event.get(), test::kWaitMs), static_cast<DWORD>(WAIT_OBJECT_0));
    std::vector<std::uint8_t> final(kResponseSize, 0);
    result =
        UnitRequest(unit_.get(), KSIM_GET_NOTIFY_RESPONSE, nullptr, 0, final.data(), kResponseSize);
    ASSERT_TRUE(result.ok) << "error " << result.error;
    std::vector<std::uint8_t> expected = notify;
    expected[0] = 0x0D; // CHANGED
    EXPECT_EQ(std::vector<std::uint8_t>(final.begin() + 4, final.begin() + 13), expected);

    ASSERT_TRUE(UnitRequest(unit_.get(), KSIM_UNREGISTER_NOTIFY_EVENT, nullptr, 0, nullptr, 0).ok);
    result =
        UnitRequest(unit_.get(), KSIM_GET_NOTIFY_RESPONSE, nullptr, 0, final.data(), kResponseSize);
    EXPECT_FALSE(result.ok) << "the response was taken";
    EXPECT_EQ(result.error, static_cast<DWORD>(KSIM_NO_NOTIFY_ERROR));

    std::uint32_t bogus = 0x7FFFFFF0;
    result = UnitRequest(unit_.get(), KSIM_REGISTER_NOTIFY_EVENT, &bogus, 4, nullptr, 0);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

} // namespace
} // namespace simtest
