#include "DeviceGlobals.h"
#include "PanelApp.h"
#include "PublishedMappingHandle.h"

// The process-wide objects, the only definitions of them, in one translation unit so that they
// are constructed in this order before start-up and destroyed in the reverse order at exit: the
// published block's handle is closed first and the application object goes last. Every program
// that uses any of them links this file as an object of its own, never as a library member, so
// that no program can end up with other definitions or another order.
PanelApp theApp;
ControlChannel g_controlChannel;
UnitCommandChannel g_unitCommandChannel;
PublishedMappingHandle g_publishedMappingHandle;
