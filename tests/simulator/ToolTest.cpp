// kestrelsim.exe: its commands reach the driver, its output keeps the documented format, and
// bad arguments fail with a message and a non-zero status.
#include "SimTestSupport.h"

namespace simtest {
namespace {

const std::string kGetRate = Hex(KSIM_GET_SAMPLE_RATE);

using Tool = test::SimulatorTest;

TEST_F(Tool, TwoUnitsPluggedShowInStatusInterfacesAndLog) {
    test::ProgramOutput unplug = RunTool("unplug all");
    ASSERT_EQ(unplug.exitCode, 0u) << unplug.errors;
    EXPECT_EQ(unplug.output, "");
    test::ProgramOutput plug = RunTool("plug 2");
    ASSERT_EQ(plug.exitCode, 0u) << plug.errors;
    std::vector<std::string> ids = test::Lines(plug.output);
    ASSERT_EQ(ids.size(), 2u) << plug.output;

    test::ProgramOutput status = RunTool("status");
    ASSERT_EQ(status.exitCode, 0u) << status.errors;
    EXPECT_EQ(test::Lines(status.output), (std::vector<std::string>{
                                              "units 2",
                                              "unit " + ids[0] + " plug 1",
                                              "unit " + ids[1] + " plug 1",
                                              "rate 48000",
                                              "buffer 2500",
                                              "cpu 2000",
                                          }));

    // A client sees the control device and two interfaces, and the log shows its requests
    // byte for byte.
    Handle control = OpenControlDevice();
    ASSERT_TRUE(control);
    std::vector<std::string> paths = UnitInterfacePaths();
    ASSERT_EQ(paths.size(), 2u);
    ASSERT_TRUE(sim_.ClearLog());
    std::uint32_t list[65] = {};
    ASSERT_TRUE(Get(control.get(), KSIM_GET_UNIT_LIST, list).ok);
    EXPECT_EQ(list[0], 2u);
    std::uint32_t cpu[4] = {7, 8, 9, 1000};
    ASSERT_TRUE(Control(control.get(), KSIM_SET_CPU_LEVEL, cpu, 16, nullptr, 0).ok);
    std::vector<std::uint8_t> sent[2];
    for (int i = 0; i < 2; ++i) {
        Handle unit = OpenUnit(paths[i]);
        ASSERT_TRUE(unit) << paths[i];
        sent[i] = RequestBlock(SelectorFrame(static_cast<std::uint8_t>(i)), 2000 + i);
        ASSERT_TRUE(Send(unit.get(), sent[i]).ok);
    }

    test::ProgramOutput log = RunTool("log");
    ASSERT_EQ(log.exitCode, 0u) << log.errors;
    std::vector<std::string> lines = test::Lines(log.output);
    ASSERT_EQ(lines.size(), 4u) << log.output;
    EXPECT_EQ(lines[0], "1 control " + Hex(KSIM_GET_UNIT_LIST) + " in= out=260 status=0");
    EXPECT_EQ(lines[1], "2 control " + Hex(KSIM_SET_CPU_LEVEL) +
                            " in=070000000800000009000000e8030000 out=0 status=0"); // 1000 = 0x03E8
    std::vector<sim::LogEntry> entries = sim_.Log();
    ASSERT_EQ(entries.size(), 4u);
    for (int i = 0; i < 2; ++i) {
        SCOPED_TRACE("unit request " + std::to_string(i));
        EXPECT_EQ(entries[2 + i].input, sent[i]);
        EXPECT_EQ(lines[2 + i], sim::FormatLogLine(entries[2 + i]));
        EXPECT_EQ(lines[2 + i].rfind(std::to_string(3 + i) + " unit:", 0), 0u) << lines[2 + i];
    }
    EXPECT_NE(entries[2].target, entries[3].target) << "each unit logs its own identifier";
}

TEST_F(Tool, CommandsReachTheDriver) {
    struct Row {
        const char* command;
        bool (*check)(const sim::SimulatorState&);
    };
    const Row rows[] = {
        {"set rate 88200", [](const sim::SimulatorState& s) { return s.rate == 88200; }},
        {"set buffer 0x1F40",
         [](const sim::SimulatorState& s) { return s.bufferMicroseconds == 8000; }},
        {"set cpu 4000", [](const sim::SimulatorState& s) { return s.cpuLevel == 4000; }},
        {"plug", [](const sim::SimulatorState& s) { return s.units.size() == 2; }},
        {"reset",
         [](const sim::SimulatorState& s) { return s.units.size() == 1 && s.rate == 48000; }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.command);
        test::ProgramOutput result = RunTool(row.command);
        EXPECT_EQ(result.exitCode, 0u) << result.errors;
        EXPECT_TRUE(row.check(sim_.State()));
    }

    Handle control = OpenControlDevice();
    ASSERT_TRUE(control);
    std::uint32_t rate[2] = {};
    ASSERT_EQ(RunTool("fail " + kGetRate + " 0xE0008003 2").exitCode, 0u);
    for (int i = 0; i < 2; ++i) {
        IoResult failed = Get(control.get(), KSIM_GET_SAMPLE_RATE, rate);
        EXPECT_EQ(failed.error, 0xE0008003u) << "request " << i + 1;
    }
    EXPECT_TRUE(Get(control.get(), KSIM_GET_SAMPLE_RATE, rate).ok);

    ASSERT_EQ(RunTool("fail " + kGetRate + " 5").exitCode, 0u);
    ASSERT_EQ(RunTool("fail clear").exitCode, 0u);
    EXPECT_TRUE(Get(control.get(), KSIM_GET_SAMPLE_RATE, rate).ok);

    ASSERT_EQ(RunTool("short " + kGetRate + " 4").exitCode, 0u);
    EXPECT_EQ(Get(control.get(), KSIM_GET_SAMPLE_RATE, rate).bytes, 4u);

    std::uint32_t id = sim_.UnitIds().at(0);
    ASSERT_EQ(RunTool("infofail " + std::to_string(id)).exitCode, 0u);
    std::uint8_t info[424];
    EXPECT_EQ(Control(control.get(), KSIM_GET_UNIT_INFO, &id, 4, info, 424).error,
              KSIM_INFO_FAIL_ERROR);

    ASSERT_EQ(RunTool("unitlist 65 11 22").exitCode, 0u);
    std::uint32_t list[65] = {};
    ASSERT_TRUE(Get(control.get(), KSIM_GET_UNIT_LIST, list).ok);
    EXPECT_EQ(list[0], 65u);
    EXPECT_EQ(list[1], 11u);
    EXPECT_EQ(list[2], 22u);
    ASSERT_EQ(RunTool("unitlist clear").exitCode, 0u);
    ASSERT_TRUE(Get(control.get(), KSIM_GET_UNIT_LIST, list).ok);
    EXPECT_EQ(list[0], 1u);

    ASSERT_EQ(RunTool("control absent").exitCode, 0u);
    EXPECT_FALSE(OpenControlDevice());
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(RunTool("control present").exitCode, 0u);
    EXPECT_TRUE(OpenControlDevice());

    std::vector<std::string> paths = UnitInterfacePaths();
    ASSERT_EQ(paths.size(), 1u);
    ASSERT_EQ(RunTool("openfail " + std::to_string(id)).exitCode, 0u);
    EXPECT_FALSE(OpenUnit(paths[0]));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
    ASSERT_EQ(RunTool("openfail " + std::to_string(id) + " off").exitCode, 0u);
    Handle unit = OpenUnit(paths[0]);
    std::vector<std::uint8_t> block = RequestBlock(SelectorFrame(0));
    std::vector<std::uint8_t> response(516);
    const struct {
        const char* command;
        std::uint8_t code;
    } responses[] = {{"respond rejected", 0xA},
                     {"respond notimpl", 0x8},
                     {"respond interim", 0xF},
                     {"respond accepted", 0x9}};
    for (const auto& row : responses) {
        SCOPED_TRACE(row.command);
        ASSERT_EQ(RunTool(row.command).exitCode, 0u);
        ASSERT_TRUE(Send(unit.get(), block, response).ok);
        EXPECT_EQ(response[4], row.code);
    }

    ASSERT_EQ(RunTool("pend 20").exitCode, 0u);
    OVERLAPPED overlapped = {};
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    overlapped.hEvent = event.get();
    DWORD bytes = 0;
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(DeviceIoControl(unit.get(), KSIM_SEND_REQUEST, block.data(), 520, response.data(),
                                 516, &bytes, &overlapped));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_IO_PENDING));
    EXPECT_TRUE(GetOverlappedResult(unit.get(), &overlapped, &bytes, TRUE));
    ASSERT_EQ(RunTool("pend off").exitCode, 0u);
    EXPECT_TRUE(Send(unit.get(), block).ok);

    // Only this unit's requests, and only the second of them.
    ASSERT_EQ(RunTool("fail " + Hex(KSIM_SEND_REQUEST) + " 31 1 from 2 unit " + std::to_string(id))
                  .exitCode,
              0u);
    for (DWORD expected : {0u, 31u, 0u}) {
        EXPECT_EQ(Send(unit.get(), block).error, expected);
    }
}

TEST_F(Tool, UnplugOneUnitById) {
    test::ProgramOutput plug = RunTool("plug");
    ASSERT_EQ(plug.exitCode, 0u);
    std::vector<std::string> ids = test::Lines(plug.output);
    ASSERT_EQ(ids.size(), 1u);
    ASSERT_EQ(RunTool("unplug " + ids[0]).exitCode, 0u);
    sim::SimulatorState state = sim_.State();
    ASSERT_EQ(state.units.size(), 1u);
    EXPECT_NE(std::to_string(state.units[0].id), ids[0]);
    EXPECT_EQ(UnitInterfacePaths().size(), 1u);

    test::ProgramOutput again = RunTool("unplug " + ids[0]);
    EXPECT_EQ(again.exitCode, 1u) << "an unknown unit is refused";
    EXPECT_NE(again.errors, "");
}

TEST_F(Tool, BadArgumentsFailWithAMessage) {
    const std::string lines[] = {
        "",
        "bogus",
        "status now",
        "plug x",
        "plug -1",
        "plug 65",
        "plug 1 2",
        "unplug",
        "unplug some",
        "set volume 3",
        "set rate",
        "set rate 4x",
        "set rate 0x100000000",
        "fail " + kGetRate,
        "fail " + kGetRate + " 0",
        "fail " + kGetRate + " 5 0",
        "fail " + kGetRate + " 5 1 1",
        "fail " + kGetRate + " 5 unit",
        "fail " + kGetRate + " 5 unit 0",
        "fail " + kGetRate + " 5 from x",
        "fail " + kGetRate + " 5 1 from 2 101",
        "openfail",
        "openfail x",
        "openfail 101 on",
        "openfail 101 off 1",
        "control",
        "control gone",
        "infofail",
        "unitlist",
        "unitlist x",
        "short " + kGetRate,
        "respond maybe",
        "respond",
        "pend",
        "pend 0",
        "pend -1",
        "log --bogus",
        "log --clear extra",
        "reset now",
        "install now",
    };
    for (const std::string& line : lines) {
        SCOPED_TRACE("kestrelsim " + line);
        test::ProgramOutput result = RunTool(line);
        EXPECT_EQ(result.exitCode, 2u) << result.errors;
        EXPECT_EQ(result.output, "");
        EXPECT_NE(result.errors, "");
    }
    sim::SimulatorState state = sim_.State();
    EXPECT_EQ(state.units.size(), 1u) << "nothing changed";
    EXPECT_EQ(state.rate, 48000u);
    EXPECT_TRUE(sim_.Log().empty());
}

TEST_F(Tool, InstallAgainIsHarmless) {
    std::uint32_t id = sim_.UnitIds().at(0);
    test::ProgramOutput result = RunTool("install");
    EXPECT_EQ(result.exitCode, 0u) << result.errors;
    test::ProgramOutput status = RunTool("status");
    ASSERT_EQ(status.exitCode, 0u);
    EXPECT_EQ(test::Lines(status.output).at(1), "unit " + std::to_string(id) + " plug 1")
        << "the running driver keeps its state";
}

} // namespace
} // namespace simtest
