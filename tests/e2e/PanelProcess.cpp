#include "PanelProcess.h"

#include "PanelWindow.h"
#include "TrayArea.h"
#include "StartProcess.h"

#include <utility>
#include <vector>

namespace e2e {

namespace {

const DWORD kStartTimeoutMs = 20000;
const DWORD kEndTimeoutMs = 10000;

// Every copy that the tests start runs in this job, which ends them when it closes: when the
// test program ends, also when it is killed (ctest's time limit) before it could end them.
// A copy left running would take the next start's place and the driver's requests.
HANDLE TestJob() {
    static HANDLE job = [] {
        HANDLE made = CreateJobObjectA(nullptr, nullptr);
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits = {};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        if (made != nullptr && !SetInformationJobObject(made, JobObjectExtendedLimitInformation,
                                                        &limits, sizeof(limits))) {
            CloseHandle(made);
            made = nullptr;
        }
        return made;
    }();
    return job;
}

struct ProcessWindows {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindows(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ProcessWindows*>(context);
    if (ProcessOf(window) == search->processId) {
        search->windows.push_back(window);
    }
    return TRUE;
}

// The program's window that the shell holds the tray icon for.
HWND FindTrayOwner(DWORD processId) {
    ProcessWindows search = {processId, {}};
    EnumWindows(CollectProcessWindows, reinterpret_cast<LPARAM>(&search));
    for (HWND window : search.windows) {
        if (ShellHasIcon(window, kTrayIconId)) {
            return window;
        }
    }
    return nullptr;
}

// Asks the copy that owns `panel` to end, then makes sure it has.
void EndProcess(HANDLE process, HWND panel) {
    if (WaitForSingleObject(process, 0) != WAIT_TIMEOUT) {
        return;
    }
    if (IsWindow(panel)) {
        PostMessageA(panel, WM_COMMAND, kExitCommand, 0);
        if (WaitForSingleObject(process, kEndTimeoutMs) == WAIT_OBJECT_0) {
            return;
        }
    }
    TerminateProcess(process, 255);
    WaitForSingleObject(process, kEndTimeoutMs);
}

} // namespace

PanelProcess::PanelProcess(std::string exePath)
    : exePath_(std::move(exePath)), process_(nullptr), processId_(0), panel_(nullptr),
      trayOwner_(nullptr) {}

PanelProcess::~PanelProcess() {
    End();
}

bool PanelProcess::Start() {
    std::string line = "\"" + exePath_ + "\"";
    // The program runs on the test's desktop, so that the test sees its windows and its icon.
    std::string desktop = DesktopName();
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.lpDesktop = desktop.data();
    PROCESS_INFORMATION info = {};
    if (TestJob() == nullptr ||
        !StartProcess(exePath_.c_str(), line.data(), FALSE, CREATE_SUSPENDED, &startup, &info)) {
        return false;
    }
    if (!AssignProcessToJobObject(TestJob(), info.hProcess)) {
        TerminateProcess(info.hProcess, 255);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        return false;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    processId_ = info.dwProcessId;
    return true;
}

bool PanelProcess::WaitForPanel() {
    if (process_ == nullptr) {
        return false;
    }
    return WaitUntil(
               [this] {
                   if (WaitForSingleObject(process_, 0) != WAIT_TIMEOUT) {
                       return true; // ended: no panel will come
                   }
                   panel_ = FindTopLevel(processId_, kDialogClass, kPanelCaption);
                   trayOwner_ = FindTrayOwner(processId_);
                   return panel_ != nullptr && trayOwner_ != nullptr;
               },
               kStartTimeoutMs) &&
           panel_ != nullptr && trayOwner_ != nullptr;
}

bool PanelProcess::WaitForExit(DWORD timeoutMs, DWORD& exitCode) {
    if (process_ == nullptr || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) {
        return false;
    }
    return GetExitCodeProcess(process_, &exitCode) != FALSE;
}

void PanelProcess::End() {
    if (process_ == nullptr) {
        return;
    }
    EndProcess(process_, panel_);
    CloseHandle(process_);
    process_ = nullptr;
}

bool PanelProcess::EndStrayPanels() {
    bool none = true;
    while (HWND panel = FindWindowA(kDialogClass, kPanelCaption)) {
        none = false;
        HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, ProcessOf(panel));
        if (process == nullptr) {
            break;
        }
        EndProcess(process, panel);
        CloseHandle(process);
    }
    return none;
}

} // namespace e2e
