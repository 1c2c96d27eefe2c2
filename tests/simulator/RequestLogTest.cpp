// The request log: order, sequence numbers, what each entry holds, its capacity, and the
// lines `kestrelsim log` prints for known requests.
#include "SimTestSupport.h"

namespace simtest {
namespace {

using RequestLog = ControlDeviceTest;

TEST_F(RequestLog, EntriesFollowTheRequestsInOrder) {
    Handle unit = OpenOnlyUnit();
    ASSERT_TRUE(unit) << "error " << GetLastError();
    std::uint32_t unitId = sim_.UnitIds().at(0);

    std::uint32_t rate[2] = {KSIM_RATE_WORD0, 44100};
    ASSERT_TRUE(Control(device_.get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    std::uint8_t list[260];
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_UNIT_LIST, list).ok);
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    ASSERT_TRUE(Send(unit.get(), block).ok);
    EXPECT_FALSE(Control(device_.get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, rate, 7).ok);
    EXPECT_FALSE(Control(device_.get(), 0x80882038, nullptr, 0, nullptr, 0).ok);

    std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 5u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].sequence, i + 1) << "entry " << i;
    }
    EXPECT_TRUE(log[0].IsControl());
    EXPECT_EQ(log[0].code, KSIM_SET_SAMPLE_RATE);
    EXPECT_EQ(log[0].input, test::BytesOf(rate));
    EXPECT_EQ(log[0].outputSize, 0u);
    EXPECT_EQ(log[0].status, 0u);

    EXPECT_EQ(log[1].code, KSIM_GET_UNIT_LIST);
    EXPECT_TRUE(log[1].input.empty());
    EXPECT_EQ(log[1].outputSize, 260u);

    EXPECT_EQ(log[2].target, unitId);
    EXPECT_EQ(log[2].code, KSIM_SEND_REQUEST);
    EXPECT_EQ(log[2].input, block) << "the whole request block, byte for byte";
    EXPECT_EQ(log[2].outputSize, 516u);

    EXPECT_EQ(log[3].outputSize, 7u) << "the size the caller asked for";
    EXPECT_EQ(log[3].status, static_cast<std::uint32_t>(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(log[4].code, 0x80882038u);
    EXPECT_EQ(log[4].status, static_cast<std::uint32_t>(ERROR_INVALID_FUNCTION));
}

TEST_F(RequestLog, SimulatorRequestsAreNotLogged) {
    ASSERT_TRUE(sim_.SetRate(96000));
    ASSERT_TRUE(sim_.Fail(KSIM_GET_CPU_LEVEL, 5, 1));
    sim_.State();
    EXPECT_TRUE(sim_.Log().empty());
}

TEST_F(RequestLog, KeepsTheLatestRequestsBeyondItsCapacity) {
    const std::uint32_t total = KSIM_LOG_CAPACITY + 5;
    std::uint32_t rate[2] = {KSIM_RATE_WORD0, 0};
    for (std::uint32_t i = 1; i <= total; ++i) {
        rate[1] = i;
        ASSERT_TRUE(Control(device_.get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    }
    std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), KSIM_LOG_CAPACITY);
    ASSERT_GE(log.size(), 1024u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        std::uint32_t expected = total - KSIM_LOG_CAPACITY + 1 + static_cast<std::uint32_t>(i);
        ASSERT_EQ(log[i].sequence, expected) << "entry " << i;
        ASSERT_EQ(test::Word(log[i].input, 1), expected)
            << "entry " << i << " holds another request's bytes";
    }
}

TEST_F(RequestLog, ToolPrintsKnownRequestsExactly) {
    Handle unit = OpenOnlyUnit();
    ASSERT_TRUE(unit) << "error " << GetLastError();
    std::uint32_t unitId = sim_.UnitIds().at(0);

    std::uint32_t rate[2] = {KSIM_RATE_WORD0, 44100};
    ASSERT_TRUE(Control(device_.get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    std::uint32_t buffer[4];
    EXPECT_FALSE(Control(device_.get(), KSIM_GET_BUFFER_SIZE, nullptr, 0, buffer, 15).ok);
    ASSERT_TRUE(Send(unit.get(), RequestBlock(SelectorFrame(1))).ok);

    test::ProgramOutput tool = RunTool("log");
    ASSERT_EQ(tool.exitCode, 0u) << tool.errors;
    std::vector<std::string> lines = test::Lines(tool.output);
    ASSERT_EQ(lines.size(), 3u) << tool.output;
    EXPECT_EQ(lines[0],
              "1 control " + Hex(KSIM_SET_SAMPLE_RATE) + " in=0100534b44ac0000 out=0 status=0");
    EXPECT_EQ(lines[1], "2 control " + Hex(KSIM_GET_BUFFER_SIZE) + " in= out=15 status=87");
    std::string blockHex = "d0070000"
                           "09000000"
                           "0008b880011002"
                           "0101" +
                           std::string((520 - 17) * 2, '0');
    EXPECT_EQ(lines[2], "3 unit:" + std::to_string(unitId) + " " + Hex(KSIM_SEND_REQUEST) +
                            " in=" + blockHex + " out=516 status=0");
}

TEST_F(RequestLog, ClearingEmptiesTheLogAndRestartsTheSequence) {
    std::uint32_t rate[2] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_SAMPLE_RATE, rate).ok);
    test::ProgramOutput tool = RunTool("log --clear");
    ASSERT_EQ(tool.exitCode, 0u) << tool.errors;
    EXPECT_EQ(
        test::Lines(tool.output),
        std::vector<std::string>{"1 control " + Hex(KSIM_GET_SAMPLE_RATE) + " in= out=8 status=0"});
    EXPECT_TRUE(sim_.Log().empty());

    ASSERT_TRUE(Get(device_.get(), KSIM_GET_SAMPLE_RATE, rate).ok);
    std::vector<sim::LogEntry> log = sim_.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].sequence, 1u);

    ASSERT_TRUE(sim_.ClearLog());
    tool = RunTool("log");
    EXPECT_EQ(tool.exitCode, 0u) << tool.errors;
    EXPECT_EQ(tool.output, "");
}

} // namespace
} // namespace simtest
