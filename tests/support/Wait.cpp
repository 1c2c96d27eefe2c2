#include "Wait.h"

namespace test {

namespace {

DWORD LeftUntil(ULONGLONG deadline) {
    const ULONGLONG now = GetTickCount64();
    return now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
}

} // namespace

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

void PumpMessagesFor(DWORD milliseconds) {
    const ULONGLONG deadline = GetTickCount64() + milliseconds;
    for (DWORD left = milliseconds; left > 0; left = LeftUntil(deadline)) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, left, QS_ALLINPUT);
        PumpMessages();
    }
    PumpMessages();
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs, DWORD intervalMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        PumpMessages();
        if (done()) {
            return true;
        }
        const DWORD left = LeftUntil(deadline);
        if (left == 0) {
            return false;
        }
        PumpMessagesFor(left < intervalMs ? left : intervalMs);
    }
}

bool Answers(HWND window) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, kWaitMs, &result) != 0;
}

DWORD WaitPumping(HANDLE handle, DWORD timeoutMs) {
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        const DWORD left = LeftUntil(deadline);
        const DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 1) {
            return result;
        }
        PumpMessages();
        if (left == 0) {
            return WaitForSingleObject(handle, 0);
        }
    }
}

} // namespace test
