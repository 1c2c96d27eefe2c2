#pragma once

// Fixture of the channel tests: every case starts from the simulator's defaults (one unit,
// 48000 Hz, 2500 us, CPU level 2000, no faults, empty log) and closes the process-wide channels
// when it ends, since later cases in the same process share them.

#include "DeviceGlobals.h"
#include "SimulatorClient.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class SimulatorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.IsConnected()) << "the driver simulator is not reachable";
        ASSERT_TRUE(sim_.Reset());
    }

    void TearDown() override {
        g_controlChannel.Close();
        g_unitCommandChannel.Close();
    }

    // Identifiers of the plugged units, in plug order.
    std::vector<std::uint32_t> UnitIds() {
        std::vector<std::uint32_t> ids;
        for (const sim::UnitState& unit : sim_.State().units) {
            ids.push_back(unit.id);
        }
        return ids;
    }

    // Plugs units until `count` are present (Reset leaves one).
    void PlugUpTo(int count) {
        const int present = static_cast<int>(sim_.State().units.size());
        if (count > present) {
            ASSERT_EQ(sim_.Plug(count - present).size(), static_cast<size_t>(count - present));
        } else if (count == 0) {
            ASSERT_TRUE(sim_.UnplugAll());
        }
        ASSERT_EQ(sim_.State().units.size(), static_cast<size_t>(count));
    }

    sim::SimulatorClient sim_;
};

template <typename T>
std::vector<std::uint8_t> BytesOf(const T& value) {
    std::vector<std::uint8_t> bytes(sizeof(T));
    std::memcpy(bytes.data(), &value, sizeof(T));
    return bytes;
}

inline std::string Describe(const sim::LogEntry& entry) {
    return sim::FormatLogLine(entry);
}

inline std::string Describe(const std::vector<sim::LogEntry>& log) {
    std::string text;
    for (const sim::LogEntry& entry : log) {
        text += Describe(entry) + "\n";
    }
    return text;
}
