#include "CWinApp.h"
#include "DeviceGlobals.h"
#include "PanelApp.h"
#include "PublishedMappingHandle.h"

// The process-wide objects, in one translation unit so that they are constructed in this order
// before start-up and destroyed in the reverse order at exit: the published block's handle is
// closed first and the application object goes last.
PanelApp theApp;
ControlChannel g_controlChannel;
UnitCommandChannel g_unitCommandChannel;
PublishedMappingHandle g_publishedMappingHandle;

int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    return AfxWinMain(instance);
}
