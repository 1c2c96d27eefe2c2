#pragma once

// Client of the driver simulator's private control device ("\\.\KestrelSimControl"): the
// kestrelsim tool, the tests, the bench and the demo set the simulator up and read its request
// log through it. Every call returns false (or an empty result) when the simulator cannot be
// reached; tests treat that as a failure, never as a reason to skip.

#include "Wait.h"

#include <windows.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace sim {

// The unit interface class that the driver (and the simulator) registers for every unit.
extern const GUID kUnitInterface;

// Target of a logged request: the control device, or the unit interface of one unit.
inline constexpr std::uint32_t kControlTarget = 0xFFFFFFFF;

struct LogEntry {
    std::uint32_t sequence = 0;
    std::uint32_t target = kControlTarget; // kControlTarget or the unit's identifier
    std::uint32_t code = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t outputSize = 0;
    std::uint32_t status = 0; // the Win32 error the caller saw, 0 for success

    bool IsControl() const { return target == kControlTarget; }
};

struct UnitState {
    std::uint32_t id = 0;
    std::uint32_t plug = 0; // selected input plug, as last set by a selector CONTROL frame
};

struct SimulatorState {
    std::vector<UnitState> units; // plugged units, in identifier order (the unit list's)
    std::uint32_t rate = 0;
    std::uint32_t bufferMicroseconds = 0;
    std::uint32_t cpuLevel = 0;
    // The driver's records as last set, driver words included.
    std::array<std::uint32_t, 2> rateRecord{};
    std::array<std::uint32_t, 4> bufferRecord{};
    std::array<std::uint32_t, 4> secondBufferRecord{}; // as SetSecondBufferSize left it
    std::array<std::uint32_t, 4> cpuRecord{};
    std::uint32_t applyStageOneCount = 0;
    std::uint32_t applyStageTwoCount = 0;
};

// A request that fails: `count` times (0: always), only to one unit's interface when `unit` is
// set, and only from its `from`th occurrence (those before it pass), counted among the requests
// the fault matches.
struct Fault {
    std::uint32_t code = 0;
    std::uint32_t win32Error = 0;
    std::uint32_t count = 0;
    std::uint32_t unit = 0; // 0: any target
    std::uint32_t from = 1;
};

// AV/C response codes the simulated units answer with.
enum class UnitResponse : std::uint8_t {
    Accepted = 0x9,
    Rejected = 0xA,
    NotImplemented = 0x8,
    Interim = 0xF,
};

class SimulatorClient {
public:
    SimulatorClient();
    ~SimulatorClient();
    SimulatorClient(const SimulatorClient&) = delete;
    SimulatorClient& operator=(const SimulatorClient&) = delete;

    bool IsConnected() const;

    // Back to the defaults: one unit plugged, 48000 Hz, 2500 us, CPU level 2000, no faults,
    // the control device's path present, ACCEPTED answers, no pending, empty log. Waits until the
    // unit's interface enumerates.
    bool Reset();

    // Plugs n units and returns their identifiers; waits until their interfaces enumerate.
    std::vector<std::uint32_t> Plug(int count = 1);
    bool Unplug(std::uint32_t id);
    bool UnplugAll(); // waits until no unit interface enumerates

    bool SetRate(std::uint32_t hz);
    bool SetBuffer(std::uint32_t microseconds);
    bool SetCpu(std::uint32_t level);

    // The request `code` fails with `win32Error`: `count` times, or always when count is 0.
    bool Fail(std::uint32_t code, std::uint32_t win32Error, std::uint32_t count = 0);
    bool Fail(const Fault& fault);
    // While `failing`, opening unit `unitId`'s interface fails with ERROR_FILE_NOT_FOUND, as for
    // a unit that leaves between the enumeration and the open: its path is gone, yet it still
    // enumerates. Only a started unit can be made to fail.
    bool OpenFail(std::uint32_t unitId, bool failing = true);
    // Without its path the control device cannot be opened, as when the driver is not loaded
    // (CreateFile fails with ERROR_FILE_NOT_FOUND); handles already open keep working.
    bool SetControlPathPresent(bool present);
    // Also clears InfoFail, ShortReply and the unit-list replacement, and gives the control
    // device and every unit interface their paths back (OpenFail, SetControlPathPresent).
    bool ClearFaults();
    bool InfoFail(std::uint32_t unitId);
    // The unit-list request answers this count and these identifiers instead of the real list.
    bool ReplaceUnitList(std::uint32_t count, const std::vector<std::uint32_t>& ids);
    bool ClearUnitList();
    // The get request `code` succeeds but writes only `bytes` bytes.
    bool ShortReply(std::uint32_t code, std::uint32_t bytes);
    bool Respond(UnitResponse response);
    // Unit requests complete `milliseconds` later (pending); 0 turns it off.
    bool Pend(std::uint32_t milliseconds);

    std::vector<LogEntry> Log();
    bool ClearLog();
    SimulatorState State();
    // The plugged units' identifiers, in identifier order; empty if the state cannot be read.
    std::vector<std::uint32_t> UnitIds();
    // As Log and State, telling a failed read from an empty log or state.
    bool ReadLog(std::vector<LogEntry>& entries);
    bool ReadState(SimulatorState& state);

    // Waits (test::WaitUntil) until `count` interfaces of the unit class are present.
    bool WaitForInterfaces(int count, DWORD timeoutMs = test::kWaitMs);

private:
    bool Call(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
              std::uint32_t outSize, std::uint32_t* returned = nullptr);

    HANDLE device_;
};

// "GetSampleRate", "0x80882030"-style names for readable failure messages.
std::string RequestName(std::uint32_t code);

// One log entry as `kestrelsim log` prints it:
// "<seq> <target> <code> in=<hex> out=<n> status=<win32>", target "control" or "unit:<id>".
std::string FormatLogLine(const LogEntry& entry);

} // namespace sim
