#pragma once

// Starts a program for a test or a measurement. Wine now and then fails to create a process
// at all: CreateProcess fails with ERROR_INTERNAL_ERROR before the program has run. Such a
// start is made again, twice at most; any other failure is returned at once.

#include <windows.h>

#include <string>

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

// Gives a program about to be started the caller's standard handles, made inheritable: its
// output goes where the caller's goes.
inline void PassStandardHandles(STARTUPINFOA& startup) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
}

// The name of this thread's desktop ("Default" on the X root, else a virtual desktop). A program
// started with it as its lpDesktop runs beside the caller.
inline std::string DesktopName() {
    char name[256] = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name,
                                   sizeof(name) - 1, &needed)) {
        return std::string();
    }
    return name;
}

// Makes the calling thread, which has no window yet, use the desktop of thread `threadId`.
// Windows and Wine 8 put every thread of a process on the desktop the process was started on;
// Wine 10 does so for its first thread only and puts the others on "Default". A thread that
// makes windows beside a test's joins the test thread's desktop first.
inline bool UseDesktopOf(DWORD threadId) {
    return SetThreadDesktop(GetThreadDesktop(threadId)) != FALSE;
}
