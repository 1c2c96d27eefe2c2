#include "Commands.h"

#include "Installer.h"
#include "KestrelSimProtocol.h"
#include "SimulatorClient.h"

#include <windows.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kBadArguments = 2;

int BadArguments(const char* usage) {
    std::fprintf(stderr, "kestrelsim: bad arguments; usage: kestrelsim %s\n", usage);
    return kBadArguments;
}

// Decimal or 0x-prefixed hexadecimal, the whole word, within 32 bits.
bool ParseNumber(const std::string& text, std::uint32_t& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+') {
        return false;
    }
    char* end = nullptr;
    errno = 0;
    unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || parsed > 0xFFFFFFFFull) {
        return false;
    }
    value = static_cast<std::uint32_t>(parsed);
    return true;
}

// Reports a simulator that cannot be reached or refuses a request.
int Refused(const char* what) {
    unsigned long error = GetLastError();
    std::fprintf(stderr, "kestrelsim: %s failed (error %lu)\n", what, error);
    return kFailed;
}

bool Connected(const sim::SimulatorClient& client) {
    if (client.IsConnected()) {
        return true;
    }
    std::fprintf(stderr, "kestrelsim: the simulator cannot be reached at %s (error %lu)\n",
                 KSIM_SIM_DEVICE_PATH, GetLastError());
    return false;
}

// Runs one client call after checking the connection; the call returns success.
template <typename Call>
int WithClient(const char* what, Call call) {
    sim::SimulatorClient client;
    if (!Connected(client)) {
        return kFailed;
    }
    return call(client) ? kOk : Refused(what);
}

struct NamedValue {
    const char* name;
    std::uint32_t value;
};

const NamedValue kResponses[] = {
    {"accepted", KSIM_AVC_ACCEPTED},
    {"rejected", KSIM_AVC_REJECTED},
    {"notimpl", KSIM_AVC_NOT_IMPLEMENTED},
    {"interim", KSIM_AVC_INTERIM},
};

} // namespace

int RunInstall(const Arguments& args) {
    if (!args.empty()) {
        return BadArguments("install");
    }
    return InstallSimulator() == 0 ? kOk : kFailed;
}

int RunStatus(const Arguments& args) {
    if (!args.empty()) {
        return BadArguments("status");
    }
    sim::SimulatorClient client;
    if (!Connected(client)) {
        return kFailed;
    }
    sim::SimulatorState state;
    if (!client.ReadState(state)) {
        return Refused("reading the state");
    }
    std::printf("units %u\n", static_cast<unsigned>(state.units.size()));
    for (const sim::UnitState& unit : state.units) {
        std::printf("unit %u plug %u\n", static_cast<unsigned>(unit.id),
                    static_cast<unsigned>(unit.plug));
    }
    std::printf("rate %u\nbuffer %u\ncpu %u\n", static_cast<unsigned>(state.rate),
                static_cast<unsigned>(state.bufferMicroseconds),
                static_cast<unsigned>(state.cpuLevel));
    return kOk;
}

int RunPlug(const Arguments& args) {
    std::uint32_t count = 1;
    if (args.size() > 1 || (args.size() == 1 && !ParseNumber(args[0], count))) {
        return BadArguments("plug [n]");
    }
    if (count > KSIM_MAX_UNITS) {
        std::fprintf(stderr, "kestrelsim: at most %u units can be plugged\n", KSIM_MAX_UNITS);
        return kBadArguments;
    }
    sim::SimulatorClient client;
    if (!Connected(client)) {
        return kFailed;
    }
    std::vector<std::uint32_t> ids = client.Plug(static_cast<int>(count));
    if (ids.size() != count) {
        return Refused("plugging");
    }
    for (std::uint32_t id : ids) {
        std::printf("%u\n", static_cast<unsigned>(id));
    }
    return kOk;
}

int RunUnplug(const Arguments& args) {
    std::uint32_t id = 0;
    if (args.size() != 1 || (args[0] != "all" && !ParseNumber(args[0], id))) {
        return BadArguments("unplug <id>|all");
    }
    if (args[0] == "all") {
        return WithClient("unplugging", [](sim::SimulatorClient& c) { return c.UnplugAll(); });
    }
    return WithClient("unplugging", [id](sim::SimulatorClient& c) { return c.Unplug(id); });
}

int RunSet(const Arguments& args) {
    std::uint32_t value = 0;
    if (args.size() != 2 || !ParseNumber(args[1], value)) {
        return BadArguments("set rate|buffer|cpu <value>");
    }
    if (args[0] == "rate") {
        return WithClient("set", [value](sim::SimulatorClient& c) { return c.SetRate(value); });
    }
    if (args[0] == "buffer") {
        return WithClient("set", [value](sim::SimulatorClient& c) { return c.SetBuffer(value); });
    }
    if (args[0] == "cpu") {
        return WithClient("set", [value](sim::SimulatorClient& c) { return c.SetCpu(value); });
    }
    return BadArguments("set rate|buffer|cpu <value>");
}

// fail <code> <win32-error> [count] [unit <id>] [from <n>]: the count, when given, comes
// first; the two keyword options follow in any order.
int RunFail(const Arguments& args) {
    static const char usage[] =
        "fail <code> <win32-error> [count] [unit <id>] [from <n>] | fail clear";
    if (args.size() == 1 && args[0] == "clear") {
        return WithClient("fail clear", [](sim::SimulatorClient& c) { return c.ClearFaults(); });
    }
    sim::Fault fault;
    if (args.size() < 2 || !ParseNumber(args[0], fault.code) ||
        !ParseNumber(args[1], fault.win32Error) || fault.win32Error == 0) {
        return BadArguments(usage);
    }
    std::size_t next = 2;
    if (next < args.size() && args[next] != "unit" && args[next] != "from") {
        if (!ParseNumber(args[next], fault.count) || fault.count == 0) {
            return BadArguments(usage);
        }
        ++next;
    }
    for (; next < args.size(); next += 2) {
        std::uint32_t* option = args[next] == "unit"   ? &fault.unit
                                : args[next] == "from" ? &fault.from
                                                       : nullptr;
        if (option == nullptr || next + 1 >= args.size() || !ParseNumber(args[next + 1], *option) ||
            *option == 0) {
            return BadArguments(usage);
        }
    }
    return WithClient("fail", [&](sim::SimulatorClient& c) { return c.Fail(fault); });
}

int RunOpenFail(const Arguments& args) {
    std::uint32_t id = 0;
    if (args.empty() || args.size() > 2 || !ParseNumber(args[0], id) ||
        (args.size() == 2 && args[1] != "off")) {
        return BadArguments("openfail <id> [off]");
    }
    const bool failing = args.size() == 1;
    return WithClient("openfail", [=](sim::SimulatorClient& c) { return c.OpenFail(id, failing); });
}

int RunControl(const Arguments& args) {
    if (args.size() != 1 || (args[0] != "absent" && args[0] != "present")) {
        return BadArguments("control absent|present");
    }
    const bool present = args[0] == "present";
    return WithClient(
        "control", [present](sim::SimulatorClient& c) { return c.SetControlPathPresent(present); });
}

int RunInfoFail(const Arguments& args) {
    std::uint32_t id = 0;
    if (args.size() != 1 || !ParseNumber(args[0], id)) {
        return BadArguments("infofail <id>");
    }
    return WithClient("infofail", [id](sim::SimulatorClient& c) { return c.InfoFail(id); });
}

int RunUnitList(const Arguments& args) {
    static const char usage[] = "unitlist <count> [id...] | unitlist clear";
    if (args.size() == 1 && args[0] == "clear") {
        return WithClient("unitlist clear",
                          [](sim::SimulatorClient& c) { return c.ClearUnitList(); });
    }
    std::uint32_t count = 0;
    if (args.empty() || !ParseNumber(args[0], count) || args.size() - 1 > KSIM_MAX_UNITS) {
        return BadArguments(usage);
    }
    std::vector<std::uint32_t> ids(args.size() - 1);
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (!ParseNumber(args[i], ids[i - 1])) {
            return BadArguments(usage);
        }
    }
    return WithClient("unitlist",
                      [&](sim::SimulatorClient& c) { return c.ReplaceUnitList(count, ids); });
}

int RunShort(const Arguments& args) {
    std::uint32_t code = 0, bytes = 0;
    if (args.size() != 2 || !ParseNumber(args[0], code) || !ParseNumber(args[1], bytes)) {
        return BadArguments("short <code> <bytes>");
    }
    return WithClient("short", [=](sim::SimulatorClient& c) { return c.ShortReply(code, bytes); });
}

int RunRespond(const Arguments& args) {
    if (args.size() == 1) {
        for (const NamedValue& response : kResponses) {
            if (args[0] == response.name) {
                auto code = static_cast<sim::UnitResponse>(response.value);
                return WithClient("respond",
                                  [code](sim::SimulatorClient& c) { return c.Respond(code); });
            }
        }
    }
    return BadArguments("respond accepted|rejected|notimpl|interim");
}

int RunPend(const Arguments& args) {
    std::uint32_t ms = 0;
    if (args.size() != 1 || (args[0] != "off" && (!ParseNumber(args[0], ms) || ms == 0))) {
        return BadArguments("pend <ms>|off");
    }
    return WithClient("pend", [ms](sim::SimulatorClient& c) { return c.Pend(ms); });
}

int RunLog(const Arguments& args) {
    bool clear = args.size() == 1 && args[0] == "--clear";
    if (args.size() > 1 || (args.size() == 1 && !clear)) {
        return BadArguments("log [--clear]");
    }
    sim::SimulatorClient client;
    if (!Connected(client)) {
        return kFailed;
    }
    std::vector<sim::LogEntry> entries;
    if (!client.ReadLog(entries)) {
        return Refused("reading the log");
    }
    for (const sim::LogEntry& entry : entries) {
        std::printf("%s\n", sim::FormatLogLine(entry).c_str());
    }
    if (clear && !client.ClearLog()) {
        return Refused("clearing the log");
    }
    return kOk;
}

int RunReset(const Arguments& args) {
    if (!args.empty()) {
        return BadArguments("reset");
    }
    return WithClient("reset", [](sim::SimulatorClient& c) { return c.Reset(); });
}

// For scripts that start a session: the driver starts some time after the first process.
int RunWait(const Arguments& args) {
    std::uint32_t units = KSIM_DEFAULT_UNITS, ms = 10000;
    if (args.size() > 2 || (args.size() >= 1 && !ParseNumber(args[0], units)) ||
        (args.size() == 2 && !ParseNumber(args[1], ms))) {
        return BadArguments("wait [units] [ms]");
    }
    ULONGLONG deadline = GetTickCount64() + ms;
    std::unique_ptr<sim::SimulatorClient> client;
    for (;;) {
        client = std::make_unique<sim::SimulatorClient>();
        if (client->IsConnected()) {
            break;
        }
        if (GetTickCount64() >= deadline) {
            std::fprintf(stderr, "kestrelsim: the simulator did not answer at %s within %u ms\n",
                         KSIM_SIM_DEVICE_PATH, static_cast<unsigned>(ms));
            return kFailed;
        }
        Sleep(20);
    }
    ULONGLONG now = GetTickCount64();
    DWORD left = now < deadline ? static_cast<DWORD>(deadline - now) : 0;
    if (!client->WaitForInterfaces(static_cast<int>(units), left)) {
        std::fprintf(stderr, "kestrelsim: %u unit interface(s) did not enumerate within %u ms\n",
                     static_cast<unsigned>(units), static_cast<unsigned>(ms));
        return kFailed;
    }
    return kOk;
}
