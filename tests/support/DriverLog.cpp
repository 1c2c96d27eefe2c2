#include "DriverLog.h"

#include <algorithm>
#include <utility>

namespace test {

namespace {

constexpr size_t kPlugOffset = 15;

} // namespace

Request InfoFor(std::uint32_t unit) {
    Request request = {KSIM_GET_UNIT_INFO};
    request.word = 0;
    request.value = unit;
    return request;
}

Request FrameTo(std::uint32_t unit, int plug) {
    Request request = {KSIM_SEND_REQUEST, unit};
    request.plug = plug;
    return request;
}

std::uint32_t Word(const std::vector<std::uint8_t>& bytes, size_t index) {
    std::uint32_t word = 0;
    if (bytes.size() >= (index + 1) * 4) {
        std::memcpy(&word, bytes.data() + index * 4, 4);
    }
    return word;
}

int CountOf(const Log& log, std::uint32_t code, std::uint32_t target) {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const sim::LogEntry& e) {
        return e.code == code && (target == 0 || e.target == target);
    }));
}

std::vector<std::uint32_t> Codes(const Log& log) {
    std::vector<std::uint32_t> codes;
    for (const sim::LogEntry& entry : log) {
        codes.push_back(entry.code);
    }
    return codes;
}

std::string Describe(const Log& log) {
    std::string text;
    for (const sim::LogEntry& entry : log) {
        text += "  " + sim::FormatLogLine(entry) + "\n";
    }
    return text;
}

::testing::AssertionResult LogIs(const Log& log, const std::vector<Request>& expected) {
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
        const size_t word = static_cast<size_t>(want.word);
        if (want.word >= 0 && Word(got.input, word) != want.value) {
            return ::testing::AssertionFailure()
                   << where << "word " << want.word << " is " << Word(got.input, word)
                   << ", expected " << want.value << shown;
        }
        if (want.plug >= 0 &&
            (got.input.size() != KSIM_REQUEST_BLOCK_SIZE || got.input[kPlugOffset] != want.plug)) {
            return ::testing::AssertionFailure()
                   << where << "selects another input plug than " << want.plug << shown;
        }
        if (want.status && got.status != *want.status) {
            return ::testing::AssertionFailure() << where << "ended with status " << got.status
                                                 << ", expected " << *want.status << shown;
        }
    }
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult LogBecomes(sim::SimulatorClient& simulator,
                                      const std::vector<Request>& expected) {
    Log log;
    WaitUntil([&] { return (log = simulator.Log()).size() >= expected.size(); });
    return LogIs(log, expected);
}

} // namespace test
