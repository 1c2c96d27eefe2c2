// The driver's control device: every request code with its exact sizes and with sizes one byte
// off, unknown codes, the defaults, and set requests read back through get requests.
#include "SimTestSupport.h"

#include <cstring>

namespace simtest {
namespace {

struct Shape {
    const char* name;
    std::uint32_t code;
    DWORD in;
    DWORD out;
};

const Shape kControlShapes[] = {
    {"GetSampleRate", KSIM_GET_SAMPLE_RATE, 0, 8},
    {"SetSampleRate", KSIM_SET_SAMPLE_RATE, 8, 0},
    {"GetUnitList", KSIM_GET_UNIT_LIST, 0, 260},
    {"GetUnitInfo", KSIM_GET_UNIT_INFO, 4, 424},
    {"ApplyStageTwo", KSIM_APPLY_STAGE_TWO, 0, 0},
    {"ApplyStageOne", KSIM_APPLY_STAGE_ONE, 0, 0},
    {"GetCpuLevel", KSIM_GET_CPU_LEVEL, 0, 16},
    {"SetCpuLevel", KSIM_SET_CPU_LEVEL, 16, 0},
    {"GetBufferSize", KSIM_GET_BUFFER_SIZE, 0, 16},
    {"SetBufferSize", KSIM_SET_BUFFER_SIZE, 16, 0},
    {"SetSecondBufferSize", KSIM_SET_SECOND_BUFFER_SIZE, 16, 0},
};

class ControlRequests : public ControlDeviceTest {
protected:
    // An input that is valid for the code: the current record, or the plugged unit's id.
    std::vector<std::uint8_t> ValidInput(const Shape& shape, DWORD size) {
        std::vector<std::uint8_t> input(size + 1, 0);
        sim::SimulatorState state = sim_.State();
        if (shape.code == KSIM_GET_UNIT_INFO && !state.units.empty()) {
            std::memcpy(input.data(), &state.units[0].id, 4);
        } else if (shape.code == KSIM_SET_SAMPLE_RATE) {
            std::memcpy(input.data(), state.rateRecord.data(), 8);
        } else if (shape.code == KSIM_SET_CPU_LEVEL) {
            std::memcpy(input.data(), state.cpuRecord.data(), 16);
        } else if (shape.code == KSIM_SET_BUFFER_SIZE ||
                   shape.code == KSIM_SET_SECOND_BUFFER_SIZE) {
            std::memcpy(input.data(), state.bufferRecord.data(), 16);
        }
        return input;
    }
};

TEST_F(ControlRequests, EachCodeAcceptsExactlyItsSizes) {
    for (const Shape& shape : kControlShapes) {
        SCOPED_TRACE(shape.name);
        std::vector<std::uint8_t> output(shape.out + 1, 0);

        std::vector<std::uint8_t> input = ValidInput(shape, shape.in);
        IoResult right =
            Control(device_.get(), shape.code, input.data(), shape.in, output.data(), shape.out);
        EXPECT_TRUE(right.ok) << "error " << right.error;
        EXPECT_EQ(right.bytes, shape.out);

        for (const WrongSize& variant : WrongSizes(shape.in, shape.out)) {
            SCOPED_TRACE(variant.what);
            input = ValidInput(shape, variant.in);
            IoResult result = Control(device_.get(), shape.code, input.data(), variant.in,
                                      output.data(), variant.out);
            EXPECT_FALSE(result.ok);
            EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
        }
    }
}

TEST_F(ControlRequests, WrongSizedSetsChangeNothing) {
    std::uint32_t record[5] = {KSIM_RATE_WORD0, 96000, 0, 0, 0};
    IoResult result = Control(device_.get(), KSIM_SET_SAMPLE_RATE, record, 9, nullptr, 0);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    std::uint32_t buffer[5] = {1500, 0, 0, 0, 0};
    result = Control(device_.get(), KSIM_SET_BUFFER_SIZE, buffer, 15, nullptr, 0);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    result = Control(device_.get(), KSIM_APPLY_STAGE_ONE, nullptr, 0, buffer, 4);
    EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_PARAMETER));

    sim::SimulatorState state = sim_.State();
    EXPECT_EQ(state.rate, KSIM_DEFAULT_RATE);
    EXPECT_EQ(state.bufferMicroseconds, KSIM_DEFAULT_BUFFER_US);
    EXPECT_EQ(state.applyStageOneCount, 0u);
}

TEST_F(ControlRequests, UnknownCodesAreInvalidDeviceRequests) {
    const std::uint32_t unknown[] = {
        0x80882038, // between the known functions
        0x80882110, // function 0x844, the gap before SetSecondBufferSize
        0x80882118, // one past the last
        0x00882030, // right function, other device type
        0x80882031, // GetSampleRate with METHOD_IN_DIRECT
        KSIM_SEND_REQUEST, KSIM_REGISTER_NOTIFY_EVENT, // unit requests on the control device
        KSIM_IOCTL_RESET, // the simulator's own request on the driver's device
    };
    std::uint8_t buffer[16] = {};
    for (std::uint32_t code : unknown) {
        SCOPED_TRACE(sim::RequestName(code));
        IoResult result = Control(device_.get(), code, nullptr, 0, buffer, sizeof(buffer));
        EXPECT_FALSE(result.ok);
        EXPECT_EQ(result.error, static_cast<DWORD>(ERROR_INVALID_FUNCTION));
    }
}

TEST_F(ControlRequests, GetRequestsAnswerTheDefaults) {
    std::uint32_t rate[2] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_SAMPLE_RATE, rate).ok);
    EXPECT_EQ(rate[0], KSIM_RATE_WORD0);
    EXPECT_EQ(rate[1], 48000u);

    std::uint32_t buffer[4] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_BUFFER_SIZE, buffer).ok);
    EXPECT_EQ(buffer[0], 2500u);
    EXPECT_EQ(buffer[1], KSIM_BUFFER_WORD1);
    EXPECT_EQ(buffer[3], KSIM_BUFFER_WORD3);

    std::uint32_t cpu[4] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_CPU_LEVEL, cpu).ok);
    EXPECT_EQ(cpu[0], KSIM_CPU_WORD0);
    EXPECT_EQ(cpu[2], KSIM_CPU_WORD2);
    EXPECT_EQ(cpu[3], 2000u);

    const std::vector<std::uint32_t> list = UnitListWords(device_.get());
    ASSERT_EQ(list.size(), 65u);
    ASSERT_EQ(list[0], 1u);
    EXPECT_GE(list[1], KSIM_FIRST_UNIT_ID) << "identifiers must not be list positions";
    for (int i = 2; i < 65; ++i) {
        EXPECT_EQ(list[i], 0u) << "identifier slot " << i - 1;
    }

    std::uint8_t info[424];
    std::memset(info, 0xCC, sizeof(info));
    IoResult result = Control(device_.get(), KSIM_GET_UNIT_INFO, &list[1], 4, info, 424);
    ASSERT_TRUE(result.ok) << "error " << result.error;
    EXPECT_EQ(result.bytes, 424u);
    std::uint32_t words[3];
    std::memcpy(words, info, sizeof(words));
    EXPECT_EQ(words[0], list[1]);
    EXPECT_EQ(words[1], 1u) << "a fresh unit runs on its internal clock";
    EXPECT_EQ(words[2], 48000u);
    EXPECT_STREQ(reinterpret_cast<const char*>(info + KSIM_INFO_NAME_OFFSET), KSIM_INFO_NAME);
    EXPECT_EQ(info[423], 0) << "the rest of the record is zero";
}

TEST_F(ControlRequests, SetRequestsStoreWhatGetRequestsReturn) {
    std::uint32_t rate[2] = {0x12345678, 88200};
    ASSERT_TRUE(Control(device_.get(), KSIM_SET_SAMPLE_RATE, rate, 8, nullptr, 0).ok);
    std::uint32_t readRate[2] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_SAMPLE_RATE, readRate).ok);
    EXPECT_EQ(readRate[0], 0x12345678u);
    EXPECT_EQ(readRate[1], 88200u);

    std::uint32_t buffer[4] = {6000, 7, 8, 9};
    ASSERT_TRUE(Control(device_.get(), KSIM_SET_BUFFER_SIZE, buffer, 16, nullptr, 0).ok);
    std::uint32_t second[4] = {6000, 0, 0, 0};
    ASSERT_TRUE(Control(device_.get(), KSIM_SET_SECOND_BUFFER_SIZE, second, 16, nullptr, 0).ok);
    std::uint32_t readBuffer[4] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_BUFFER_SIZE, readBuffer).ok);
    EXPECT_EQ(readBuffer[0], 6000u);
    EXPECT_EQ(readBuffer[3], 9u);

    std::uint32_t cpu[4] = {0, 0, 0, 4000};
    ASSERT_TRUE(Control(device_.get(), KSIM_SET_CPU_LEVEL, cpu, 16, nullptr, 0).ok);
    std::uint32_t readCpu[4] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_CPU_LEVEL, readCpu).ok);
    EXPECT_EQ(readCpu[3], 4000u);
    EXPECT_EQ(readCpu[0], 0u) << "a set stores the whole record it receives";

    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(Control(device_.get(), KSIM_APPLY_STAGE_ONE, nullptr, 0, nullptr, 0).ok);
    }
    ASSERT_TRUE(Control(device_.get(), KSIM_APPLY_STAGE_TWO, nullptr, 0, nullptr, 0).ok);

    sim::SimulatorState state = sim_.State();
    EXPECT_EQ(state.secondBufferRecord[0], 6000u);
    EXPECT_EQ(state.secondBufferRecord[1], 0u);
    EXPECT_EQ(state.applyStageOneCount, 3u);
    EXPECT_EQ(state.applyStageTwoCount, 1u);
}

TEST_F(ControlRequests, HardwareChangesShowInGetRequests) {
    ASSERT_TRUE(sim_.SetRate(44100));
    ASSERT_TRUE(sim_.SetBuffer(12000));
    ASSERT_TRUE(sim_.SetCpu(1000));

    std::uint32_t rate[2] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_SAMPLE_RATE, rate).ok);
    EXPECT_EQ(rate[0], KSIM_RATE_WORD0);
    EXPECT_EQ(rate[1], 44100u);
    std::uint32_t buffer[4] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_BUFFER_SIZE, buffer).ok);
    EXPECT_EQ(buffer[0], 12000u);
    EXPECT_EQ(buffer[1], KSIM_BUFFER_WORD1);
    std::uint32_t cpu[4] = {};
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_CPU_LEVEL, cpu).ok);
    EXPECT_EQ(cpu[3], 1000u);

    ASSERT_TRUE(sim_.Reset());
    ASSERT_TRUE(Get(device_.get(), KSIM_GET_SAMPLE_RATE, rate).ok);
    EXPECT_EQ(rate[1], 48000u) << "reset restores the default rate";
}

} // namespace
} // namespace simtest
