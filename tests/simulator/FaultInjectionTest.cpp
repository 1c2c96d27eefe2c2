// Fault injection: failing request codes once, N times or always, for one unit only or from
// their nth occurrence; units and the control device that cannot be opened; failing unit
// information; replacement unit lists; short replies.
#include "SimTestSupport.h"

#include <cstring>

namespace simtest {
namespace {

class FaultInjection : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        device_ = OpenControlDevice();
        ASSERT_TRUE(device_.IsValid()) << "control device: error " << GetLastError();
    }

    IoResult GetRate() {
        std::uint32_t rate[2] = {};
        return Control(device_.Get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, rate, 8);
    }

    IoResult GetInfo(std::uint32_t id) {
        std::uint8_t info[424] = {};
        return Control(device_.Get(), KSIM_GET_UNIT_INFO, &id, 4, info, 424);
    }

    std::vector<std::uint32_t> UnitListWords() {
        std::uint32_t list[65];
        std::memset(list, 0xCC, sizeof(list));
        IoResult result = Control(device_.Get(), KSIM_GET_UNIT_LIST, nullptr, 0, list, 260);
        if (!result.ok) {
            return {};
        }
        return std::vector<std::uint32_t>(list, list + 65);
    }

    // Two units, their states and interface paths in enumeration order.
    void PlugSecondUnit() {
        ASSERT_EQ(client_.Plug(1).size(), 1u);
        units_ = client_.State().units;
        paths_ = UnitInterfacePaths();
        ASSERT_EQ(paths_.size(), 2u);
    }

    FileHandle device_;
    std::vector<sim::UnitState> units_;
    std::vector<std::string> paths_;
};

TEST_F(FaultInjection, CountedFaultFailsExactlyThatManyTimes) {
    for (std::uint32_t count : {1u, 2u, 3u}) {
        SCOPED_TRACE("count " + std::to_string(count));
        ASSERT_TRUE(client_.Fail(KSIM_GET_SAMPLE_RATE, ERROR_ACCESS_DENIED, count));
        for (std::uint32_t i = 0; i < count; ++i) {
            IoResult result = GetRate();
            EXPECT_FALSE(result.ok) << "request " << i + 1;
            EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_ACCESS_DENIED));
            EXPECT_EQ(result.bytes, 0u);
        }
        IoResult after = GetRate();
        EXPECT_TRUE(after.ok) << "request " << count + 1 << ": error " << after.error;
        EXPECT_EQ(after.bytes, 8u);
    }
}

TEST_F(FaultInjection, PermanentFaultLastsUntilCleared) {
    ASSERT_TRUE(client_.Fail(KSIM_APPLY_STAGE_ONE, ERROR_GEN_FAILURE));
    for (int i = 0; i < 5; ++i) {
        IoResult result = Control(device_.Get(), KSIM_APPLY_STAGE_ONE, nullptr, 0, nullptr, 0);
        EXPECT_FALSE(result.ok) << "request " << i + 1;
        EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_GEN_FAILURE));
    }
    EXPECT_EQ(client_.State().applyStageOneCount, 0u) << "a failed apply is not counted";
    EXPECT_TRUE(Control(device_.Get(), KSIM_APPLY_STAGE_TWO, nullptr, 0, nullptr, 0).ok)
        << "other codes are not affected";

    ASSERT_TRUE(client_.ClearFaults());
    EXPECT_TRUE(Control(device_.Get(), KSIM_APPLY_STAGE_ONE, nullptr, 0, nullptr, 0).ok);
}

TEST_F(FaultInjection, CallerSeesTheConfiguredErrorUnchanged) {
    const std::uint32_t errors[] = {
        ERROR_INVALID_FUNCTION,
        ERROR_ACCESS_DENIED,
        ERROR_NOT_READY,
        1167,
        0xFFFF,
        0xE0000001, // OperationFailed, a driver code
        0xE0000030, // OperationRejected
        0xE0008001, // DeviceNotFound
        0xE0008020, // MemoryAllocationFailed
    };
    for (std::uint32_t error : errors) {
        SCOPED_TRACE("error " + std::to_string(error));
        ASSERT_TRUE(client_.Fail(KSIM_GET_BUFFER_SIZE, error, 1));
        std::uint32_t record[4] = {};
        IoResult result = Control(device_.Get(), KSIM_GET_BUFFER_SIZE, nullptr, 0, record, 16);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, error);
        std::vector<sim::LogEntry> log = client_.Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().status, error) << "the log records what the caller saw";
    }
}

TEST_F(FaultInjection, ZeroErrorIsRefused) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(client_.Fail(KSIM_GET_SAMPLE_RATE, 0, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(GetRate().ok);
}

TEST_F(FaultInjection, UnitRequestsFailToo) {
    std::vector<std::string> paths = UnitInterfacePaths();
    ASSERT_EQ(paths.size(), 1u);
    FileHandle unit = OpenUnit(paths[0]);
    ASSERT_TRUE(unit.IsValid());
    ASSERT_TRUE(client_.Fail(KSIM_SEND_REQUEST, 0xE0008003, 1));
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(KSIM_RESPONSE_BLOCK_SIZE);
    IoResult result =
        UnitRequest(unit.Get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(), 516);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, 0xE0008003u);
    EXPECT_EQ(client_.State().units.at(0).plug, 1u) << "a failed command changes nothing";
    EXPECT_TRUE(
        UnitRequest(unit.Get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(), 516).ok);
}

TEST_F(FaultInjection, UnitRequestsFailForOneUnitOrFromTheirNthOccurrence) {
    ASSERT_NO_FATAL_FAILURE(PlugSecondUnit());
    const std::vector<sim::UnitState>& units = units_;
    const std::vector<std::string>& paths = paths_;
    FileHandle first = OpenUnit(paths[0]);
    FileHandle second = OpenUnit(paths[1]);
    ASSERT_TRUE(first.IsValid() && second.IsValid());
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(KSIM_RESPONSE_BLOCK_SIZE);
    auto send = [&](const FileHandle& unit) {
        return UnitRequest(unit.Get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(), 516);
    };
    struct Row {
        const char* name;
        sim::Fault fault;
        // The outcome of four requests: first unit, second unit, first, second.
        bool ok[4];
    };
    const Row rows[] = {
        {"the second unit, once",
         {KSIM_SEND_REQUEST, 31, 1, units[1].id},
         {true, false, true, true}},
        {"the second unit, always",
         {KSIM_SEND_REQUEST, 31, 0, units[1].id},
         {true, false, true, false}},
        {"from the second request, once",
         {KSIM_SEND_REQUEST, 31, 1, 0, 2},
         {true, false, true, true}},
        {"from the third request on", {KSIM_SEND_REQUEST, 31, 0, 0, 3}, {true, true, false, false}},
        {"the first unit from its second request",
         {KSIM_SEND_REQUEST, 31, 0, units[0].id, 2},
         {true, true, false, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(client_.Fail(row.fault));
        for (int i = 0; i < 4; ++i) {
            IoResult result = send(i % 2 == 0 ? first : second);
            EXPECT_EQ(result.ok != FALSE, row.ok[i]) << "request " << i + 1;
            EXPECT_EQ(result.error, row.ok[i] ? 0u : 31u) << "request " << i + 1;
        }
        ASSERT_TRUE(client_.ClearFaults());
    }
    // A rule for one unit and one for any target live side by side. When both match, the
    // unit's fails the request and the other keeps its count; each counts every request it
    // matches towards its `from`. Whichever was set first, the outcome is the same.
    const sim::Fault forSecond = {KSIM_SEND_REQUEST, ERROR_NOT_READY, 1, units[1].id};
    const DWORD notReady = ERROR_NOT_READY, failure = ERROR_GEN_FAILURE;
    struct Pair {
        const char* name;
        sim::Fault any;
        // The errors of four requests: second unit, second, first, first.
        DWORD errors[4];
    };
    const Pair pairs[] = {
        {"any target, once", {KSIM_SEND_REQUEST, failure, 1}, {notReady, failure, 0, 0}},
        {"any target, twice", {KSIM_SEND_REQUEST, failure, 2}, {notReady, failure, failure, 0}},
        {"any target from the second request",
         {KSIM_SEND_REQUEST, failure, 1, 0, 2},
         {notReady, failure, 0, 0}},
        {"any target from the third request",
         {KSIM_SEND_REQUEST, failure, 1, 0, 3},
         {notReady, 0, failure, 0}},
    };
    for (const Pair& pair : pairs) {
        for (bool unitFirst : {true, false}) {
            SCOPED_TRACE(std::string(pair.name) + (unitFirst ? ", unit's set first" : ""));
            ASSERT_TRUE(client_.Fail(unitFirst ? forSecond : pair.any));
            ASSERT_TRUE(client_.Fail(unitFirst ? pair.any : forSecond));
            const FileHandle* order[4] = {&second, &second, &first, &first};
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(send(*order[i]).error, pair.errors[i]) << "request " << i + 1;
            }
            ASSERT_TRUE(client_.ClearFaults());
        }
    }
}

TEST_F(FaultInjection, UnitInterfaceAndControlDeviceCanRefuseToOpen) {
    ASSERT_NO_FATAL_FAILURE(PlugSecondUnit());
    const std::vector<sim::UnitState>& units = units_;
    const std::vector<std::string>& paths = paths_;

    // A handle opened before the fault keeps working; the unit still enumerates.
    FileHandle opened = OpenUnit(paths[1]);
    ASSERT_TRUE(opened.IsValid());
    ASSERT_TRUE(client_.OpenFail(units[1].id));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenUnit(paths[1]).IsValid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(UnitInterfacePaths(), paths);
    EXPECT_TRUE(OpenUnit(paths[0]).IsValid()) << "the other unit opens";
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(KSIM_RESPONSE_BLOCK_SIZE);
    EXPECT_TRUE(
        UnitRequest(opened.Get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(), 516).ok);
    ASSERT_TRUE(client_.OpenFail(units[1].id, false));
    EXPECT_TRUE(OpenUnit(paths[1]).IsValid());
    EXPECT_FALSE(client_.OpenFail(0x7777)) << "an unknown unit is refused";

    // A unit unplugged while it cannot be opened still leaves as it should.
    ASSERT_TRUE(client_.OpenFail(units[1].id));
    ASSERT_TRUE(client_.Unplug(units[1].id));
    EXPECT_EQ(UnitInterfacePaths().size(), 1u);

    // Without its path the control device cannot be opened, as without a driver; a handle
    // opened before keeps working, and the path comes back.
    FileHandle before = OpenControlDevice();
    ASSERT_TRUE(before.IsValid());
    ASSERT_TRUE(client_.SetControlPathPresent(false));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenControlDevice().IsValid());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::uint32_t rate[2] = {};
    EXPECT_TRUE(Control(before.Get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, rate, 8).ok);
    ASSERT_TRUE(client_.SetControlPathPresent(false)) << "absent twice is harmless";
    ASSERT_TRUE(client_.SetControlPathPresent(true));
    EXPECT_TRUE(OpenControlDevice().IsValid());
}

TEST_F(FaultInjection, InformationRequestOfOneUnitFails) {
    std::vector<std::uint32_t> extra = client_.Plug(1);
    ASSERT_EQ(extra.size(), 1u);
    // The unit that was there before: the new one may be listed before or after it.
    std::uint32_t first = client_.State().units.at(0).id;
    if (first == extra[0]) {
        first = client_.State().units.at(1).id;
    }
    ASSERT_TRUE(client_.InfoFail(first));

    IoResult failed = GetInfo(first);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, KSIM_INFO_FAIL_ERROR);
    EXPECT_TRUE(GetInfo(extra[0]).ok);
    EXPECT_EQ(UnitListWords().at(0), 2u) << "the unit stays in the list";

    // An identifier the driver does not know fails the same way.
    IoResult unknown = GetInfo(7);
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.error, KSIM_INFO_FAIL_ERROR);

    ASSERT_TRUE(client_.ClearFaults());
    EXPECT_TRUE(GetInfo(first).ok);
}

TEST_F(FaultInjection, ReplacementUnitListAnswersAnyCount) {
    std::vector<std::uint32_t> ids;
    for (std::uint32_t i = 0; i < 64; ++i) {
        ids.push_back(0x1000 + i * 3);
    }
    struct Row {
        std::uint32_t count;
        std::size_t idCount;
    };
    const Row rows[] = {{0, 0}, {1, 1}, {2, 2}, {63, 63}, {64, 64}, {65, 64}, {0xFFFFFFFF, 64}};
    for (const Row& row : rows) {
        SCOPED_TRACE("count " + std::to_string(row.count));
        std::vector<std::uint32_t> given(ids.begin(), ids.begin() + row.idCount);
        ASSERT_TRUE(client_.ReplaceUnitList(row.count, given));
        std::vector<std::uint32_t> words = UnitListWords();
        ASSERT_EQ(words.size(), 65u);
        EXPECT_EQ(words[0], row.count);
        for (std::size_t i = 0; i < 64; ++i) {
            EXPECT_EQ(words[1 + i], i < row.idCount ? ids[i] : 0u) << "slot " << i;
        }
        if (row.idCount) {
            EXPECT_TRUE(GetInfo(given.back()).ok) << "listed identifiers answer";
        }
    }
    ASSERT_TRUE(client_.ClearUnitList());
    std::vector<std::uint32_t> words = UnitListWords();
    ASSERT_EQ(words.size(), 65u);
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[1], client_.State().units.at(0).id);
    EXPECT_FALSE(GetInfo(ids[0]).ok) << "replacement identifiers are forgotten";
}

TEST_F(FaultInjection, ShortReplyWritesOnlySomeBytes) {
    struct Row {
        std::uint32_t bytes;
        DWORD expected;
    };
    const Row rows[] = {{0, 0}, {4, 4}, {7, 7}, {8, 8}, {9, 8}};
    for (const Row& row : rows) {
        SCOPED_TRACE("short to " + std::to_string(row.bytes));
        ASSERT_TRUE(client_.ShortReply(KSIM_GET_SAMPLE_RATE, row.bytes));
        std::uint8_t record[8];
        std::memset(record, 0xCC, sizeof(record));
        IoResult result = Control(device_.Get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, record, 8);
        EXPECT_TRUE(result.ok) << "error " << result.error;
        EXPECT_EQ(result.bytes, row.expected);
        std::uint32_t rate = 48000;
        std::uint32_t word0 = KSIM_RATE_WORD0;
        std::uint8_t full[8];
        std::memcpy(full, &word0, 4);
        std::memcpy(full + 4, &rate, 4);
        for (DWORD i = 0; i < 8; ++i) {
            EXPECT_EQ(record[i], i < row.expected ? full[i] : 0xCC) << "byte " << i;
        }
    }
    ASSERT_TRUE(client_.ClearFaults());
    EXPECT_EQ(GetRate().bytes, 8u);
}

TEST_F(FaultInjection, ResetClearsEveryFault) {
    ASSERT_TRUE(client_.Fail(KSIM_GET_SAMPLE_RATE, ERROR_ACCESS_DENIED));
    ASSERT_TRUE(client_.ShortReply(KSIM_GET_BUFFER_SIZE, 2));
    ASSERT_TRUE(client_.ReplaceUnitList(0, {}));
    ASSERT_TRUE(client_.InfoFail(client_.State().units.at(0).id));
    ASSERT_TRUE(client_.OpenFail(client_.State().units.at(0).id));
    ASSERT_TRUE(client_.SetControlPathPresent(false));
    ASSERT_TRUE(client_.Reset());

    EXPECT_TRUE(OpenControlDevice().IsValid());
    ASSERT_EQ(UnitInterfacePaths().size(), 1u);
    EXPECT_TRUE(OpenUnit(UnitInterfacePaths()[0]).IsValid());
    EXPECT_TRUE(GetRate().ok);
    std::uint32_t record[4] = {};
    EXPECT_EQ(Control(device_.Get(), KSIM_GET_BUFFER_SIZE, nullptr, 0, record, 16).bytes, 16u);
    EXPECT_EQ(UnitListWords().at(0), 1u);
    EXPECT_TRUE(GetInfo(client_.State().units.at(0).id).ok);
}

} // namespace
} // namespace simtest
