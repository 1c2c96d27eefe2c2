#pragma once

// The one way tests wait for something that happens elsewhere (another process, the driver, the
// shell): a bounded poll that keeps this thread's windows answering meanwhile, so that a
// program that sends to one of the test's windows is never held up by the test.

#include <windows.h>

#include <functional>

namespace test {

// Bound on anything a test expects to happen; only keeps a fault from hanging the suite.
inline constexpr DWORD kWaitMs = 10000;

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

} // namespace test
