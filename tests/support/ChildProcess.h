#pragma once

// The one owner of a program that a test or a measurement starts, and the one way to find a
// program beside this one. Every program started here runs in a job that ends it, and what it
// starts, when this program ends, even when this program is killed (ctest's time limit) before
// it could end them. Wine now and then fails to create a process at all: CreateProcess fails
// with ERROR_INTERNAL_ERROR before the program has run; such a start is made again, twice at
// most, and any other failure is returned at once.

#include "Wait.h"

#include <windows.h>

#include <optional>
#include <string>
#include <vector>

namespace test {

// Every program runs on this thread's desktop, so that the test sees its windows and icon.
struct StartOptions {
    // Its standard handles are the caller's: its output goes where the caller's goes.
    bool standardHandles = false;
};

class ChildProcess {
public:
    ChildProcess() = default;
    // Kills the program if it still runs.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Starts the Windows program `program` (a path; quoted on the command line) with
    // `arguments`. False, with the last error, when it cannot be started. Not for the host's
    // own programs under Wine: their start reports handles that Wine never made.
    bool Start(const std::string& program, const std::string& arguments = {},
               const StartOptions& options = {});

    bool Started() const { return process_ != nullptr; }
    DWORD Id() const { return id_; }
    HANDLE Handle() const { return process_; }
    bool Running() const;

    // Waits (dispatching this thread's messages) for the program to end: its exit code, or
    // nothing while it still runs after `timeoutMs`.
    std::optional<DWORD> WaitForExit(DWORD timeoutMs = kWaitMs) const;
    // Ends it at once, as a crash or a task manager would, and waits for the end.
    void Kill(UINT exitCode = 255);
    // Forgets the program without ending it.
    void Release();

    // Its top-level windows, hidden ones included.
    std::vector<HWND> TopLevelWindows() const;

private:
    HANDLE process_ = nullptr;
    DWORD id_ = 0;
};

struct ProgramOutput {
    std::optional<DWORD> exitCode; // nothing: not started, or still running at the limit
    std::string output;            // standard output
    std::string errors;            // standard error, or why it could not be started
};
// Runs `program` with `arguments` to its end, its standard output and error read back.
ProgramOutput RunCaptured(const std::string& program, const std::string& arguments,
                          DWORD timeoutMs = kSlowMs);
// Runs `program` to its end: its exit code, or nothing when it could not be started or did not
// end in time.
std::optional<DWORD> RunToEnd(const std::string& program, const std::string& arguments = {},
                              DWORD timeoutMs = kSlowMs);

// This program's path, and the path of `fileName` in the same folder (or `levels` folders up:
// "installer\Setup.exe" one level up from tests\installer is tests\installer\..\installer).
std::string ThisProgram();
std::string ProgramBeside(const std::string& fileName, int levelsUp = 0);
// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);

// Windows of other processes, the one way the tests and the bench find them.
DWORD ProcessOf(HWND window);
// The top-level windows of `processId` (0: of any process) of this class and with this caption
// (null: any), hidden ones included, in z-order from the top; the first of them, or null; the
// visible ones of a class.
std::vector<HWND> TopLevelWindows(DWORD processId, const char* className = nullptr,
                                  const char* caption = nullptr);
HWND FindTopLevel(DWORD processId, const char* className, const char* caption);
std::vector<HWND> VisibleTopLevels(DWORD processId, const char* className);
// A drop-down list's entries, and its selected entry ("<none>" without a selection), of this
// process or another. Read in UTF-16: Wine 8 answers a foreign CB_GETLBTEXT in UTF-16 even to
// the ANSI message.
std::vector<std::string> ListTexts(HWND list);
std::string SelectedText(HWND list);

// The name of this thread's desktop ("Default" on the X root, else a virtual desktop).
std::string DesktopName();
// For a program that runs on `desktop`: a copy that is elsewhere (Wine 10 puts a program
// started from Unix on "Default" whatever its settings) starts itself again there, once, with
// the same command line and standard handles, and is waited for (beyond any case's time limit);
// the result is true with `exitCode` that copy's (1 if it could not be started or did not end,
// said on stderr); false for the copy that is to go on.
// `restartedVariable` is set for the copy, so that one that still is not there goes on.
bool RanAgainOnDesktop(const char* desktop, const char* restartedVariable, int& exitCode);
// Makes the calling thread, which has no window yet, use the desktop of thread `threadId`.
// Windows and Wine 8 put every thread of a process on the desktop the process was started on;
// Wine 10 does so for its first thread only and puts the others on "Default". A thread that
// makes windows beside a test's joins the test thread's desktop first.
bool UseDesktopOf(DWORD threadId);

} // namespace test
