#pragma once

#include "ControlChannel.h"
#include "UnitCommandChannel.h"

// The process-wide driver channels. Both are built during static initialisation, the control
// channel first, and destroyed at exit in reverse order (see DeviceGlobals.cpp).
extern ControlChannel g_controlChannel;
extern UnitCommandChannel g_unitCommandChannel;
