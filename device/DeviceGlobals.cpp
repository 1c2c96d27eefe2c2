#include "DeviceGlobals.h"

// Objects of one translation unit are constructed in the order of their definitions, so the
// control channel always precedes the unit command channel. Objects that must come before or
// after both (the application object, the single-instance guard's published handle) are
// ordered only if they are defined here too, around these two; across translation units the
// language leaves the order open.
ControlChannel g_controlChannel;
UnitCommandChannel g_unitCommandChannel;
