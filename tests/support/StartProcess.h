#pragma once

// Starts a program for a test or a measurement. Wine now and then fails to create a process
// at all: CreateProcess fails with ERROR_INTERNAL_ERROR before the program has run. Such a
// start is made again, twice at most; any other failure is returned at once.

#include <windows.h>

inline BOOL StartProcess(const char* application, char* commandLine, BOOL inheritHandles,
                         DWORD flags, STARTUPINFOA* startup, PROCESS_INFORMATION* info) {
    for (int attempt = 0;; ++attempt) {
        if (CreateProcessA(application, commandLine, nullptr, nullptr, inheritHandles, flags,
                           nullptr, nullptr, startup, info)) {
            return TRUE;
        }
        if (GetLastError() != ERROR_INTERNAL_ERROR || attempt == 2) {
            return FALSE;
        }
        Sleep(100);
    }
}
