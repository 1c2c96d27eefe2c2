// The request log: order, sequence numbers, what each entry holds, its capacity, and the
// lines `kestrelsim log` prints for known requests.
#include "SimTestSupport.h"

#include <cstring>

namespace simtest {
namespace {

class RequestLog : public SimulatorTest {
protected:
    void SetUp() override {
        SimulatorTest::SetUp();
        device_ = OpenControlDevice();
        ASSERT_TRUE(device_.IsValid()) << "control device: error " << GetLastError();
    }

    FileHandle device_;
};

TEST_F(RequestLog, EntriesFollowTheRequestsInOrder) {
    std::vector<std::string> paths = UnitInterfacePaths();
    ASSERT_EQ(paths.size(), 1u);
    FileHandle unit = OpenUnit(paths[0]);
    ASSERT_TRUE(unit.IsValid());
    std::uint32_t unitId = client_.State().units.at(0).id;

    std::uint32_t rate[2] = {KSIM_RATE_WORD0, 44100};
    ASSERT_TRUE(Control(device_.Get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    std::uint8_t list[260];
    ASSERT_TRUE(Control(device_.Get(), KSIM_GET_UNIT_LIST, nullptr, 0, list, 260).ok);
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(516);
    ASSERT_TRUE(
        UnitRequest(unit.Get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(), 516).ok);
    EXPECT_FALSE(Control(device_.Get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, rate, 7).ok);
    EXPECT_FALSE(Control(device_.Get(), 0x80882038, nullptr, 0, nullptr, 0).ok);

    std::vector<sim::LogEntry> log = client_.Log();
    ASSERT_EQ(log.size(), 5u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        EXPECT_EQ(log[i].sequence, i + 1) << "entry " << i;
    }
    EXPECT_TRUE(log[0].IsControl());
    EXPECT_EQ(log[0].code, KSIM_SET_SAMPLE_RATE);
    EXPECT_EQ(log[0].input, std::vector<std::uint8_t>(reinterpret_cast<std::uint8_t*>(rate),
                                                      reinterpret_cast<std::uint8_t*>(rate) + 8));
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
    ASSERT_TRUE(client_.SetRate(96000));
    ASSERT_TRUE(client_.Fail(KSIM_GET_CPU_LEVEL, 5, 1));
    client_.State();
    EXPECT_TRUE(client_.Log().empty());
}

TEST_F(RequestLog, KeepsTheLatestRequestsBeyondItsCapacity) {
    const std::uint32_t total = KSIM_LOG_CAPACITY + 5;
    std::uint32_t rate[2] = {KSIM_RATE_WORD0, 0};
    for (std::uint32_t i = 1; i <= total; ++i) {
        rate[1] = i;
        ASSERT_TRUE(Control(device_.Get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    }
    std::vector<sim::LogEntry> log = client_.Log();
    ASSERT_EQ(log.size(), KSIM_LOG_CAPACITY);
    ASSERT_GE(log.size(), 1024u);
    for (std::size_t i = 0; i < log.size(); ++i) {
        std::uint32_t expected = total - KSIM_LOG_CAPACITY + 1 + static_cast<std::uint32_t>(i);
        ASSERT_EQ(log[i].sequence, expected) << "entry " << i;
        std::uint32_t sent = 0;
        std::memcpy(&sent, log[i].input.data() + 4, 4);
        ASSERT_EQ(sent, expected) << "entry " << i << " holds another request's bytes";
    }
}

TEST_F(RequestLog, ToolPrintsKnownRequestsExactly) {
    std::vector<std::string> paths = UnitInterfacePaths();
    ASSERT_EQ(paths.size(), 1u);
    FileHandle unit = OpenUnit(paths[0]);
    ASSERT_TRUE(unit.IsValid());
    std::uint32_t unitId = client_.State().units.at(0).id;

    std::uint32_t rate[2] = {KSIM_RATE_WORD0, 44100};
    ASSERT_TRUE(Control(device_.Get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    std::uint32_t buffer[4];
    EXPECT_FALSE(Control(device_.Get(), KSIM_GET_BUFFER_SIZE, nullptr, 0, buffer, 15).ok);
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(1));
    std::vector<std::uint8_t> response(516);
    ASSERT_TRUE(
        UnitRequest(unit.Get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(), 516).ok);

    ToolResult tool = RunTool("log");
    ASSERT_EQ(tool.exitCode, 0u) << tool.errors;
    std::vector<std::string> lines = Lines(tool.output);
    ASSERT_EQ(lines.size(), 3u) << tool.output;
    EXPECT_EQ(lines[0], "1 control 0x80882034 in=0100534b44ac0000 out=0 status=0");
    EXPECT_EQ(lines[1], "2 control 0x80882108 in= out=15 status=87");
    std::string blockHex = "d0070000"
                           "09000000"
                           "0008b880011002"
                           "0101" +
                           std::string((520 - 17) * 2, '0');
    EXPECT_EQ(lines[2], "3 unit:" + std::to_string(unitId) + " 0x80883004 in=" + blockHex +
                            " out=516 status=0");
}

TEST_F(RequestLog, ClearingEmptiesTheLogAndRestartsTheSequence) {
    std::uint32_t rate[2] = {};
    ASSERT_TRUE(Control(device_.Get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, rate, 8).ok);
    ToolResult tool = RunTool("log --clear");
    ASSERT_EQ(tool.exitCode, 0u) << tool.errors;
    EXPECT_EQ(Lines(tool.output),
              std::vector<std::string>{"1 control 0x80882030 in= out=8 status=0"});
    EXPECT_TRUE(client_.Log().empty());

    ASSERT_TRUE(Control(device_.Get(), KSIM_GET_SAMPLE_RATE, nullptr, 0, rate, 8).ok);
    std::vector<sim::LogEntry> log = client_.Log();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].sequence, 1u);

    ASSERT_TRUE(client_.ClearLog());
    tool = RunTool("log");
    EXPECT_EQ(tool.exitCode, 0u) << tool.errors;
    EXPECT_EQ(tool.output, "");
}

} // namespace
} // namespace simtest
