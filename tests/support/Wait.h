#pragma once

// The one way tests wait for something that happens elsewhere (another process, the driver, the
// shell): a bounded poll that keeps this thread's windows answering meanwhile, so that a
// program that sends to one of the test's windows is never held up by the test.

#include <windows.h>

#include <functional>

namespace test {

// How long a wait may take, one bound for each kind of wait; the bounds only keep a fault from
// hanging the suite. What a test expects the program, the driver or the shell to do:
inline constexpr DWORD kWaitMs = 10000;
// A program starting until its window shows, or ending:
inline constexpr DWORD kProgramMs = 30000;
// What is slow by its nature: an installer's run, twenty programs at once, unit changes late in
// a long run of plug cycles (Wine keeps every unit's device instance, and enumerating them
// slows down as they add up):
inline constexpr DWORD kSlowMs = 60000;

// Dispatches every message waiting for this thread.
void PumpMessages();
// Dispatches this thread's messages as they come, for `milliseconds`.
void PumpMessagesFor(DWORD milliseconds);

// Polls `done` every `intervalMs` (dispatching messages in between) until it is true or
// `timeoutMs` have passed; the result of the last poll, made at the deadline. A poll asks other
// processes (the shell, the driver, window lists): polled more often, they lose the time that the
// program under test needs, most of all in an emulated VM. Measurements poll at 1 ms.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = kWaitMs, DWORD intervalMs = 50);

// Waits for `handle` while dispatching this thread's messages; what the wait returned
// (WAIT_OBJECT_0, WAIT_TIMEOUT, WAIT_FAILED).
DWORD WaitPumping(HANDLE handle, DWORD timeoutMs = kWaitMs);

// Sends `window` a message that does nothing (WM_NULL): true once its thread has answered it,
// which it does only between the messages it handles, so after the one it is handling now.
bool Answers(HWND window);

} // namespace test
