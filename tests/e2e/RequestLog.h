#pragma once

// The driver requests that the simulator logged, against what a case expects: the code, for
// unit requests the unit, and where it matters one word or byte of the input.

#include "SimulatorClient.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace e2e {

inline constexpr std::uint32_t kGetSampleRate = 0x80882030;
inline constexpr std::uint32_t kUnitList = 0x80882040;
inline constexpr std::uint32_t kUnitInfo = 0x80882044;
inline constexpr std::uint32_t kApplyStageTwo = 0x808820C0;
inline constexpr std::uint32_t kApplyStageOne = 0x808820C4;
inline constexpr std::uint32_t kGetCpuLevel = 0x80882100;
inline constexpr std::uint32_t kSetCpuLevel = 0x80882104;
inline constexpr std::uint32_t kGetBufferSize = 0x80882108;
inline constexpr std::uint32_t kSendRequest = 0x80883004;

struct Request {
    std::uint32_t code;
    std::uint32_t target = sim::kControlTarget;
    // Control requests: word `word` of the input must be `value`; -1 checks nothing.
    int word = -1;
    std::uint32_t value = 0;
    // Unit requests: the selected input plug of the selector frame (byte 15); -1 checks nothing.
    int plug = -1;
    // The Win32 error the caller saw (0 for success); -1 checks nothing.
    long status = -1;
};

// A unit-information request for `unit`.
Request InfoFor(std::uint32_t unit);
// The clock selector frame to `unit` with input plug `plug`.
Request FrameTo(std::uint32_t unit, int plug);

std::string Describe(const std::vector<sim::LogEntry>& log);
// The log matches `expected` exactly, in order; failures name the request and show the log.
::testing::AssertionResult LogIs(const std::vector<sim::LogEntry>& log,
                                 const std::vector<Request>& expected);

// Reads the log until it holds at least `count` entries and has then not grown for `quietMs`, so
// that a case looks at everything one user action caused, however slowly it came.
std::vector<sim::LogEntry> SettledLog(sim::SimulatorClient& simulator, size_t count,
                                      DWORD quietMs = 500);

// The log, once settled, matches `expected` exactly.
::testing::AssertionResult LogBecomes(sim::SimulatorClient& simulator,
                                      const std::vector<Request>& expected);

} // namespace e2e
