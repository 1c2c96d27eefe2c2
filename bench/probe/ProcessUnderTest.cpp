#include "ProcessUnderTest.h"
#include "StartProcess.h"

#include <psapi.h>
#include <shellapi.h>

namespace {

struct WindowSearch {
    DWORD processId;
    std::vector<HWND>* windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) {
        search->windows->push_back(window);
    }
    return TRUE;
}

BOOL CALLBACK CountChild(HWND /*window*/, LPARAM context) {
    ++*reinterpret_cast<int*>(context);
    return TRUE;
}

} // namespace

ProcessUnderTest::~ProcessUnderTest() {
    if (process_ != nullptr && ExitCode() == STILL_ACTIVE) {
        Kill();
    }
    Release();
}

bool ProcessUnderTest::Start(const std::string& exe, const std::string& arguments) {
    Release();
    std::string commandLine = "\"" + exe + "\"";
    if (!arguments.empty()) {
        commandLine += " " + arguments;
    }
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!StartProcess(exe.c_str(), commandLine.data(), FALSE, 0, &startup, &info)) {
        return false;
    }
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

std::vector<HWND> ProcessUnderTest::TopLevelWindows() const {
    std::vector<HWND> windows;
    WindowSearch search = {id_, &windows};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return windows;
}

HWND ProcessUnderTest::WindowCaptioned(const char* caption) const {
    for (HWND window : TopLevelWindows()) {
        char text[128] = {};
        GetWindowTextA(window, text, static_cast<int>(sizeof(text)));
        if (strcmp(text, caption) == 0) {
            return window;
        }
    }
    return nullptr;
}

bool ProcessUnderTest::HasTrayIcon(UINT iconId) const {
    for (HWND window : TopLevelWindows()) {
        // A modification with no flags changes nothing and succeeds only for an icon the shell
        // holds.
        NOTIFYICONDATAA probe = {};
        probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
        probe.hWnd = window;
        probe.uID = iconId;
        if (Shell_NotifyIconA(NIM_MODIFY, &probe)) {
            return true;
        }
    }
    return false;
}

bool ProcessUnderTest::IsHiddenInTray(const char* caption, UINT iconId) const {
    // Iconic as well as hidden: a dialog is also invisible while it initialises, before it
    // is shown and then minimised.
    HWND window = WindowCaptioned(caption);
    return window != nullptr && IsIconic(window) && !IsWindowVisible(window) && HasTrayIcon(iconId);
}

SIZE_T ProcessUnderTest::PrivateBytes() const {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    if (!GetProcessMemoryInfo(process_, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                              sizeof(counters))) {
        return 0;
    }
    return counters.PrivateUsage != 0 ? counters.PrivateUsage : counters.PagefileUsage;
}

bool ProcessUnderTest::WaitForExit(DWORD timeoutMs) const {
    return process_ != nullptr && WaitForSingleObject(process_, timeoutMs) == WAIT_OBJECT_0;
}

DWORD ProcessUnderTest::ExitCode() const {
    DWORD code = STILL_ACTIVE;
    if (process_ != nullptr) {
        GetExitCodeProcess(process_, &code);
    }
    return code;
}

void ProcessUnderTest::Kill() {
    if (process_ != nullptr) {
        TerminateProcess(process_, 99);
        WaitForSingleObject(process_, 10000);
    }
}

void ProcessUnderTest::Release() {
    if (process_ != nullptr) {
        CloseHandle(process_);
    }
    process_ = nullptr;
    id_ = 0;
}

int CountWindowsOfProcess(DWORD processId) {
    std::vector<HWND> windows;
    WindowSearch search = {processId, &windows};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    // Message-only windows are not enumerated with the top-level ones.
    HWND messageOnly = nullptr;
    while ((messageOnly = FindWindowExA(HWND_MESSAGE, messageOnly, nullptr, nullptr)) != nullptr) {
        DWORD owner = 0;
        GetWindowThreadProcessId(messageOnly, &owner);
        if (owner == processId) {
            windows.push_back(messageOnly);
        }
    }
    int count = 0;
    for (HWND window : windows) {
        count += 1;
        EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&count));
    }
    return count;
}
