#pragma once

// The driver's vocabulary as the tests speak it, and the one way to hold the simulator's request
// log against what a case expects. Request codes are KestrelSimProtocol.h's KSIM_* names; the
// unit interface's class is sim::kUnitInterface.

#include "KestrelSimProtocol.h"
#include "SimulatorClient.h"
#include "Wait.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

namespace test {

using Log = std::vector<sim::LogEntry>;

// One expected request: the code, for unit requests the unit, and where it matters one word or
// byte of the input and the status the caller saw.
struct Request {
    std::uint32_t code;
    std::uint32_t target = sim::kControlTarget;
    // Word `word` of the input must be `value`; -1 checks nothing.
    int word = -1;
    std::uint32_t value = 0;
    // Unit requests: the selected input plug of the selector frame (byte 15); -1 checks nothing.
    int plug = -1;
    // The Win32 error the caller saw (0 for success); empty checks nothing.
    std::optional<std::uint32_t> status = std::nullopt;
};

// A unit-information request for `unit`.
Request InfoFor(std::uint32_t unit);
// The clock selector frame to `unit` with input plug `plug`.
Request FrameTo(std::uint32_t unit, int plug);

// Word `index` of a request's input (0 past its end).
std::uint32_t Word(const std::vector<std::uint8_t>& bytes, size_t index);
// How many requests of the log have `code` (to `target`, if given).
int CountOf(const Log& log, std::uint32_t code, std::uint32_t target = 0);
// The codes of the log, in order.
std::vector<std::uint32_t> Codes(const Log& log);

// The log, one `kestrelsim log` line a request, for failure messages.
std::string Describe(const Log& log);
// The log matches `expected` exactly, in order; a failure names the request and shows the log.
::testing::AssertionResult LogIs(const Log& log, const std::vector<Request>& expected);

// The log comes to hold as many requests as `expected` (however slowly they come, kWaitMs at
// most) and then matches it exactly. It tells nothing of requests still to come: a case that
// must show that nothing more comes first makes the program answer a later event.
::testing::AssertionResult LogBecomes(sim::SimulatorClient& simulator,
                                      const std::vector<Request>& expected);

template <typename T>
std::vector<std::uint8_t> BytesOf(const T& value) {
    std::vector<std::uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

} // namespace test
