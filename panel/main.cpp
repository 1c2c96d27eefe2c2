#include "CWinApp.h"

// The application object and the other process-wide objects are in ProcessObjects.cpp.
int WINAPI WinMain(HINSTANCE instance, HINSTANCE /*previous*/, LPSTR /*commandLine*/,
                   int /*show*/) {
    return AfxWinMain(instance);
}
