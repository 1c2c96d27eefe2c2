#pragma once

// Plugging and unplugging simulated units without waiting for them to enumerate, so that the
// caller can time what follows from the moment of the plug. sim::SimulatorClient waits.

#include <cstdint>

// The new unit's identifier, or 0 on failure.
std::uint32_t PlugUnitNow();
bool UnplugUnitNow(std::uint32_t id);
