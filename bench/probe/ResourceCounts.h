#pragma once

// What a process holds of the system's resources, read from outside, for leak checks.

#include <windows.h>

struct ResourceCounts {
    int handles = -1; // kernel handles
    int gdi = -1;     // GDI objects
    int user = -1;    // USER objects; where the system cannot count them (Wine 8), windows
};

// Each count is -1 when it could not be read. Windows answers GetGuiResources and
// GetProcessHandleCount; Wine 8 answers neither, so the handles come from the system handle
// table, the GDI objects from the process's own GDI handle table and the USER objects are
// counted as the process's windows.
ResourceCounts CountResources(HANDLE process, DWORD processId);
