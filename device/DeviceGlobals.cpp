#include "DeviceGlobals.h"

// Objects of one translation unit are constructed in the order of their definitions, so the
// control channel always precedes the unit command channel. A program that needs other
// process-wide objects around these two (the application object before them, the single-instance
// guard's published handle after them) defines all of them, these two included, in one
// translation unit of its own; the linker then never takes this file from the library, which is
// why it must hold nothing but these two definitions.
ControlChannel g_controlChannel;
UnitCommandChannel g_unitCommandChannel;
