#pragma once

// Base fixture of every in-process case that talks to the driver simulator: each case starts
// from the simulator's defaults (one unit, 48000 Hz, 2500 us, CPU level 2000, no faults, empty
// log). A missing simulator is a failure, never a skip. Fixtures derive and add what differs.

#include "DriverLog.h"
#include "SimulatorClient.h"

#include <gtest/gtest.h>

namespace test {

class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(sim_.IsConnected())
            << "the driver simulator is not reachable (error " << GetLastError() << ")";
        ASSERT_TRUE(sim_.Reset());
    }

    // Plugs or unplugs units until `count` are present (the defaults have one).
    void PlugUpTo(int count) {
        const int present = static_cast<int>(sim_.UnitIds().size());
        if (count > present) {
            ASSERT_EQ(sim_.Plug(count - present).size(), static_cast<size_t>(count - present));
        } else if (count == 0) {
            ASSERT_TRUE(sim_.UnplugAll());
        }
        ASSERT_EQ(sim_.UnitIds().size(), static_cast<size_t>(count));
    }

    sim::SimulatorClient sim_;
};

} // namespace test
