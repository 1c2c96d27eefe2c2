#include "ProcessUnderTest.h"

#include <psapi.h>

bool ProcessUnderTest::IsHiddenInTray(const char* caption, UINT iconId) const {
    return panel::IsHiddenInTray(WindowCaptioned(caption), iconId);
}

bool ProcessUnderTest::ReachesTray(const char* caption, UINT iconId, DWORD timeoutMs) const {
    return test::WaitUntil([&] { return IsHiddenInTray(caption, iconId) || !Running(); }, timeoutMs,
                           1) &&
           Running();
}

bool ProcessUnderTest::Exit(const char* caption) {
    if (HWND window = WindowCaptioned(caption)) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(panel::kExitCommand, 0), 0);
    }
    if (WaitForExit(test::kProgramMs)) {
        return true;
    }
    Kill();
    return false;
}

SIZE_T ProcessUnderTest::PrivateBytes() const {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(Handle(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}
