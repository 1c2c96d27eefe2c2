// Fault injection: failing request codes once, N times or always, for one unit only or from
// their nth occurrence; units and the control device that cannot be opened; failing unit
// information; replacement unit lists; short replies.
#include "SimTestSupport.h"

#include <cstring>

namespace simtest {
namespace {

class FaultInjection : public ControlDeviceTest {
protected:
    IoResult GetRate() {
        std::uint32_t rate[2] = {};
        return Get(device_.get(), KSIM_GET_SAMPLE_RATE, rate);
    }

    IoResult GetInfo(std::uint32_t id) {
        std::uint8_t info[424] = {};
        return Control(device_.get(), KSIM_GET_UNIT_INFO, &id, 4, info, 424);
    }

    // Two units, their identifiers and interface paths in enumeration order.
    void PlugSecondUnit() {
        ASSERT_EQ(sim_.Plug(1).size(), 1u);
        ids_ = sim_.UnitIds();
        paths_ = UnitInterfacePaths();
        ASSERT_EQ(paths_.size(), 2u);
    }

    std::vector<std::uint32_t> ids_;
    std::vector<std::string> paths_;
};

TEST_F(FaultInjection, CountedFaultFailsExactlyThatManyTimes) {
    for (std::uint32_t count : {1u, 2u, 3u}) {
        SCOPED_TRACE("count " + std::to_string(count));
        ASSERT_TRUE(sim_.Fail(KSIM_GET_SAMPLE_RATE, ERROR_ACCESS_DENIED, count));
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
    ASSERT_TRUE(sim_.Fail(KSIM_APPLY_STAGE_ONE, ERROR_GEN_FAILURE));
    for (int i = 0; i < 5; ++i) {
        IoResult result = Control(device_.get(), KSIM_APPLY_STAGE_ONE, nullptr, 0, nullptr, 0);
        EXPECT_FALSE(result.ok) << "request " << i + 1;
        EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_GEN_FAILURE));
    }
    EXPECT_EQ(sim_.State().applyStageOneCount, 0u) << "a failed apply is not counted";
    EXPECT_TRUE(Control(device_.get(), KSIM_APPLY_STAGE_TWO, nullptr, 0, nullptr, 0).ok)
        << "other codes are not affected";

    ASSERT_TRUE(sim_.ClearFaults());
    EXPECT_TRUE(Control(device_.get(), KSIM_APPLY_STAGE_ONE, nullptr, 0, nullptr, 0).ok);
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
        ASSERT_TRUE(sim_.Fail(KSIM_GET_BUFFER_SIZE, error, 1));
        std::uint32_t record[4] = {};
        IoResult result = Get(device_.get(), KSIM_GET_BUFFER_SIZE, record);
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, error);
        std::vector<sim::LogEntry> log = sim_.Log();
        ASSERT_FALSE(log.empty());
        EXPECT_EQ(log.back().status, error) << "the log records what the caller saw";
    }
}

TEST_F(FaultInjection, ZeroErrorIsRefused) {
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(sim_.Fail(KSIM_GET_SAMPLE_RATE, 0, 1));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(GetRate().ok);
}

TEST_F(FaultInjection, UnitRequestsFailToo) {
    Handle unit = OpenOnlyUnit();
    ASSERT_TRUE(unit) << "error " << GetLastError();
    ASSERT_TRUE(sim_.Fail(KSIM_SEND_REQUEST, 0xE0008003, 1));
    const std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    IoResult result = Send(unit.get(), block);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error, 0xE0008003u);
    EXPECT_EQ(sim_.State().units.at(0).plug, 1u) << "a failed command changes nothing";
    EXPECT_TRUE(Send(unit.get(), block).ok);
}

TEST_F(FaultInjection, UnitRequestsFailForOneUnitOrFromTheirNthOccurrence) {
    ASSERT_NO_FATAL_FAILURE(PlugSecondUnit());
    const Handle first = OpenUnit(paths_[0]);
    const Handle second = OpenUnit(paths_[1]);
    ASSERT_TRUE(first && second);
    const std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    auto send = [&](const Handle& unit) { return Send(unit.get(), block); };
    struct Row {
        const char* name;
        sim::Fault fault;
        // The outcome of four requests: first unit, second unit, first, second.
        bool ok[4];
    };
    const Row rows[] = {
        {"the second unit, once", {KSIM_SEND_REQUEST, 31, 1, ids_[1]}, {true, false, true, true}},
        {"the second unit, always",
         {KSIM_SEND_REQUEST, 31, 0, ids_[1]},
         {true, false, true, false}},
        {"from the second request, once",
         {KSIM_SEND_REQUEST, 31, 1, 0, 2},
         {true, false, true, true}},
        {"from the third request on", {KSIM_SEND_REQUEST, 31, 0, 0, 3}, {true, true, false, false}},
        {"the first unit from its second request",
         {KSIM_SEND_REQUEST, 31, 0, ids_[0], 2},
         {true, true, false, true}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ASSERT_TRUE(sim_.Fail(row.fault));
        for (int i = 0; i < 4; ++i) {
            IoResult result = send(i % 2 == 0 ? first : second);
            EXPECT_EQ(result.ok != FALSE, row.ok[i]) << "request " << i + 1;
            EXPECT_EQ(result.error, row.ok[i] ? 0u : 31u) << "request " << i + 1;
        }
        ASSERT_TRUE(sim_.ClearFaults());
    }
    // A rule for one unit and one for any target live side by side. When both match, the
    // unit's fails the request and the other keeps its count; each counts every request it
    // matches towards its `from`. Whichever was set first, the outcome is the same.
    const sim::Fault forSecond = {KSIM_SEND_REQUEST, ERROR_NOT_READY, 1, ids_[1]};
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
            ASSERT_TRUE(sim_.Fail(unitFirst ? forSecond : pair.any));
            ASSERT_TRUE(sim_.Fail(unitFirst ? pair.any : forSecond));
            const Handle* order[4] = {&second, &second, &first, &first};
            for (int i = 0; i < 4; ++i) {
                EXPECT_EQ(send(*order[i]).error, pair.errors[i]) << "request " << i + 1;
            }
            ASSERT_TRUE(sim_.ClearFaults());
        }
    }
}

TEST_F(FaultInjection, UnitInterfaceAndControlDeviceCanRefuseToOpen) {
    ASSERT_NO_FATAL_FAILURE(PlugSecondUnit());

    // A handle opened before the fault keeps working; the unit still enumerates.
    Handle opened = OpenUnit(paths_[1]);
    ASSERT_TRUE(opened);
    ASSERT_TRUE(sim_.OpenFail(ids_[1]));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenUnit(paths_[1]));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(UnitInterfacePaths(), paths_);
    EXPECT_TRUE(OpenUnit(paths_[0])) << "the other unit opens";
    EXPECT_TRUE(Send(opened.get(), RequestBlock(SelectorFrame(0))).ok);
    ASSERT_TRUE(sim_.OpenFail(ids_[1], false));
    EXPECT_TRUE(OpenUnit(paths_[1]));
    EXPECT_FALSE(sim_.OpenFail(0x7777)) << "an unknown unit is refused";

    // A unit unplugged while it cannot be opened still leaves as it should.
    ASSERT_TRUE(sim_.OpenFail(ids_[1]));
    ASSERT_TRUE(sim_.Unplug(ids_[1]));
    EXPECT_EQ(UnitInterfacePaths().size(), 1u);

    // Without its path the control device cannot be opened, as without a driver; a handle
    // opened before keeps working, and the path comes back.
    Handle before = OpenControlDevice();
    ASSERT_TRUE(before);
    ASSERT_TRUE(sim_.SetControlPathPresent(false));
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(OpenControlDevice());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    std::uint32_t rate[2] = {};
    EXPECT_TRUE(Get(before.get(), KSIM_GET_SAMPLE_RATE, rate).ok);
    ASSERT_TRUE(sim_.SetControlPathPresent(false)) << "absent twice is harmless";
    ASSERT_TRUE(sim_.SetControlPathPresent(true));
    EXPECT_TRUE(OpenControlDevice());
}

TEST_F(FaultInjection, InformationRequestOfOneUnitFails) {
    std::vector<std::uint32_t> extra = sim_.Plug(1);
    ASSERT_EQ(extra.size(), 1u);
    // The unit that was there before: the new one may be listed before or after it.
    const std::vector<std::uint32_t> ids = sim_.UnitIds();
    const std::uint32_t first = ids.at(0) == extra[0] ? ids.at(1) : ids.at(0);
    ASSERT_TRUE(sim_.InfoFail(first));

    IoResult failed = GetInfo(first);
    EXPECT_FALSE(failed.ok);
    EXPECT_EQ(failed.error, KSIM_INFO_FAIL_ERROR);
    EXPECT_TRUE(GetInfo(extra[0]).ok);
    EXPECT_EQ(UnitListWords(device_.get()).at(0), 2u) << "the unit stays in the list";

    // An identifier the driver does not know fails the same way.
    IoResult unknown = GetInfo(7);
    EXPECT_FALSE(unknown.ok);
    EXPECT_EQ(unknown.error, KSIM_INFO_FAIL_ERROR);

    ASSERT_TRUE(sim_.ClearFaults());
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
        ASSERT_TRUE(sim_.ReplaceUnitList(row.count, given));
        std::vector<std::uint32_t> words = UnitListWords(device_.get());
        ASSERT_EQ(words.size(), 65u);
        EXPECT_EQ(words[0], row.count);
        for (std::size_t i = 0; i < 64; ++i) {
            EXPECT_EQ(words[1 + i], i < row.idCount ? ids[i] : 0u) << "slot " << i;
        }
        if (row.idCount) {
            EXPECT_TRUE(GetInfo(given.back()).ok) << "listed identifiers answer";
        }
    }
    ASSERT_TRUE(sim_.ClearUnitList());
    std::vector<std::uint32_t> words = UnitListWords(device_.get());
    ASSERT_EQ(words.size(), 65u);
    EXPECT_EQ(words[0], 1u);
    EXPECT_EQ(words[1], sim_.UnitIds().at(0));
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
        ASSERT_TRUE(sim_.ShortReply(KSIM_GET_SAMPLE_RATE, row.bytes));
        std::uint8_t record[8];
        std::memset(record, 0xCC, sizeof(record));
        IoResult result = Get(device_.get(), KSIM_GET_SAMPLE_RATE, record);
        EXPECT_TRUE(result.ok) << "error " << result.error;
        EXPECT_EQ(result.bytes, row.expected);
        const std::uint32_t words[2] = {KSIM_RATE_WORD0, 48000};
        const std::vector<std::uint8_t> full = test::BytesOf(words);
        for (DWORD i = 0; i < 8; ++i) {
            EXPECT_EQ(record[i], i < row.expected ? full[i] : 0xCC) << "byte " << i;
        }
    }
    ASSERT_TRUE(sim_.ClearFaults());
    EXPECT_EQ(GetRate().bytes, 8u);
}

TEST_F(FaultInjection, ResetClearsEveryFault) {
    ASSERT_TRUE(sim_.Fail(KSIM_GET_SAMPLE_RATE, ERROR_ACCESS_DENIED));
    ASSERT_TRUE(sim_.ShortReply(KSIM_GET_BUFFER_SIZE, 2));
    ASSERT_TRUE(sim_.ReplaceUnitList(0, {}));
    ASSERT_TRUE(sim_.InfoFail(sim_.UnitIds().at(0)));
    ASSERT_TRUE(sim_.OpenFail(sim_.UnitIds().at(0)));
    ASSERT_TRUE(sim_.SetControlPathPresent(false));
    ASSERT_TRUE(sim_.Reset());

    EXPECT_TRUE(OpenControlDevice());
    ASSERT_EQ(UnitInterfacePaths().size(), 1u);
    EXPECT_TRUE(OpenUnit(UnitInterfacePaths()[0]));
    EXPECT_TRUE(GetRate().ok);
    std::uint32_t record[4] = {};
    EXPECT_EQ(Get(device_.get(), KSIM_GET_BUFFER_SIZE, record).bytes, 16u);
    EXPECT_EQ(UnitListWords(device_.get()).at(0), 1u);
    EXPECT_TRUE(GetInfo(sim_.UnitIds().at(0)).ok);
}

} // namespace
} // namespace simtest
