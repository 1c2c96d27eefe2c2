#pragma once

// Fixture of the channel tests: each case starts from the simulator's defaults and closes the
// process-wide channels when it ends, since later cases in the same process share them.

#include "DeviceGlobals.h"
#include "SimulatorTest.h"

class SimulatorFixture : public test::SimulatorTest {
protected:
    void TearDown() override {
        g_controlChannel.Close();
        g_unitCommandChannel.Close();
    }
};
