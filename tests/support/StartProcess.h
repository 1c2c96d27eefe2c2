#pragma once

// Starts a program for a test or a measurement. Wine now and then fails to create a process
// at all: CreateProcess fails with ERROR_INTERNAL_ERROR before the program has run. Such a
// start is made again, twice at most; any other failure is returned at once.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

// Starts this program again, with the same command line and standard handles, on `desktop`
// (a Wine virtual desktop of that name), waits for it and returns its exit code; -1, with the
// last error, if it could not be started. `restartedVariable` is set for the copy, so that one that
// still is not there goes on where it is rather than starting again.
inline int RunAgainOnDesktop(const char* desktop, const char* restartedVariable) {
    SetEnvironmentVariableA(restartedVariable, "1");
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string desktopName = desktop;
    startup.lpDesktop = desktopName.data();
    PassStandardHandles(startup);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string line = GetCommandLineA();
    PROCESS_INFORMATION info = {};
    if (!StartProcess(path, line.data(), TRUE, 0, &startup, &info)) {
        return -1;
    }
    CloseHandle(info.hThread);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

// For a program that runs on `desktop`: a copy that is elsewhere (Wine 10 puts a program started
// from Unix on "Default" whatever its settings) starts itself again there, once, and the result
// is true with `exitCode` that copy's (1 if it could not be started, said on stderr); false for
// the copy that is to go on.
inline bool RanAgainOnDesktop(const char* desktop, const char* restartedVariable, int& exitCode) {
    if (DesktopName() == desktop || std::getenv(restartedVariable) != nullptr) {
        return false;
    }
    std::fflush(stdout);
    exitCode = RunAgainOnDesktop(desktop, restartedVariable);
    if (exitCode == -1) {
        std::fprintf(stderr, "could not start again on the desktop %s: error %lu\n", desktop,
                     GetLastError());
        exitCode = 1;
    }
    return true;
}

// Makes the calling thread, which has no window yet, use the desktop of thread `threadId`.
// Windows and Wine 8 put every thread of a process on the desktop the process was started on;
// Wine 10 does so for its first thread only and puts the others on "Default". A thread that
// makes windows beside a test's joins the test thread's desktop first.
inline bool UseDesktopOf(DWORD threadId) {
    return SetThreadDesktop(GetThreadDesktop(threadId)) != FALSE;
}
