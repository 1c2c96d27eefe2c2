#pragma once

#include "ControlChannel.h"
#include "UnitCommandChannel.h"

// The process-wide driver channels. They are defined, the control channel first, with the
// program's other process-wide objects in panel/ProcessObjects.cpp, which every program that
// uses them links.
extern ControlChannel g_controlChannel;
extern UnitCommandChannel g_unitCommandChannel;
