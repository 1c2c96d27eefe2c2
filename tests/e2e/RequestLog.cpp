#include "RequestLog.h"

#include <windows.h>

#include <cstring>

namespace e2e {

namespace {

const size_t kPlugOffset = 15;
const size_t kRequestBlockSize = 520;

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, size_t index) {
    std::uint32_t word = 0;
    if (bytes.size() >= (index + 1) * 4) {
        std::memcpy(&word, bytes.data() + index * 4, 4);
    }
    return word;
}

} // namespace

Request InfoFor(std::uint32_t unit) {
    Request request = {kUnitInfo};
    request.word = 0;
    request.value = unit;
    return request;
}

Request FrameTo(std::uint32_t unit, int plug) {
    Request request = {kSendRequest, unit};
    request.plug = plug;
    return request;
}

std::string Describe(const std::vector<sim::LogEntry>& log) {
    std::string text;
    for (const sim::LogEntry& entry : log) {
        text += "  " + sim::FormatLogLine(entry) + "\n";
    }
    return text;
}

::testing::AssertionResult LogIs(const std::vector<sim::LogEntry>& log,
                                 const std::vector<Request>& expected) {
    const std::string shown = "\nlog:\n" + Describe(log);
    if (log.size() != expected.size()) {
        return ::testing::AssertionFailure()
               << log.size() << " requests, expected " << expected.size() << shown;
    }
    for (size_t i = 0; i < expected.size(); ++i) {
        const sim::LogEntry& got = log[i];
        const Request& want = expected[i];
        const std::string where = "request " + std::to_string(i) + " ";
        if (got.code != want.code) {
            return ::testing::AssertionFailure()
                   << where << sim::RequestName(got.code) << ", expected "
                   << sim::RequestName(want.code) << shown;
        }
        if (got.target != want.target) {
            return ::testing::AssertionFailure() << where << "went to target " << got.target
                                                 << ", expected " << want.target << shown;
        }
        if (want.word >= 0 && Word(got.input, static_cast<size_t>(want.word)) != want.value) {
            return ::testing::AssertionFailure() << where << "word " << want.word << " is "
                                                 << Word(got.input, static_cast<size_t>(want.word))
                                                 << ", expected " << want.value << shown;
        }
        if (want.plug >= 0 &&
            (got.input.size() != kRequestBlockSize || got.input[kPlugOffset] != want.plug)) {
            return ::testing::AssertionFailure()
                   << where << "selects another input plug than " << want.plug << shown;
        }
        if (want.status >= 0 && got.status != static_cast<std::uint32_t>(want.status)) {
            return ::testing::AssertionFailure() << where << "ended with status " << got.status
                                                 << ", expected " << want.status << shown;
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<sim::LogEntry> SettledLog(sim::SimulatorClient& simulator, size_t count,
                                      DWORD quietMs) {
    // Bounded: a program that sends less, or never stops sending, shows in the log's contents.
    const ULONGLONG end = GetTickCount64() + 10000;
    std::vector<sim::LogEntry> log = simulator.Log();
    while (log.size() < count && GetTickCount64() < end) {
        Sleep(50);
        log = simulator.Log();
    }
    ULONGLONG quietSince = GetTickCount64();
    while (GetTickCount64() - quietSince < quietMs && GetTickCount64() < end) {
        Sleep(50);
        std::vector<sim::LogEntry> now = simulator.Log();
        if (now.size() != log.size()) {
            log = std::move(now);
            quietSince = GetTickCount64();
        }
    }
    return log;
}

::testing::AssertionResult LogBecomes(sim::SimulatorClient& simulator,
                                      const std::vector<Request>& expected) {
    return LogIs(SettledLog(simulator, expected.size()), expected);
}

} // namespace e2e
