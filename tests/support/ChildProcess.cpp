#include "ChildProcess.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace test {

namespace {

// Longer than any case may run (ctest's limits, 300 s at most), so that a limit comes first.
constexpr DWORD kAnyCaseMs = 10 * kSlowMs;

BOOL CreateProcessRetried(const char* application, char* commandLine, BOOL inheritHandles,
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

void PassStandardHandles(STARTUPINFOA& startup, HANDLE input, HANDLE output, HANDLE errors) {
    startup.dwFlags |= STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = output;
    startup.hStdError = errors;
    for (HANDLE handle : {input, output, errors}) {
        SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
}

HANDLE JobEndingWithThisProgram() {
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

// A file the child writes its output to; deleted when closed.
HANDLE OutputFile() {
    char dir[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, "kso", 0, path);
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                       &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
}

std::string ReadFromStart(HANDLE file) {
    std::string text;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof(chunk), &got, nullptr) && got > 0) {
        text.append(chunk, got);
    }
    return text;
}

struct WindowSearch {
    DWORD processId;
    const char* className;
    const char* caption;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectWindowOf(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    char name[64] = {};
    char text[128] = {};
    GetClassNameA(window, name, sizeof(name));
    GetWindowTextA(window, text, sizeof(text));
    if ((search->processId == 0 || ProcessOf(window) == search->processId) &&
        (search->className == nullptr || lstrcmpiA(name, search->className) == 0) &&
        (search->caption == nullptr || std::string(text) == search->caption)) {
        search->windows.push_back(window);
    }
    return TRUE;
}

// Starts `commandLine` suspended, puts it into the job, then lets it run.
bool StartInJob(const char* program, std::string commandLine, STARTUPINFOA& startup,
                PROCESS_INFORMATION& info) {
    HANDLE job = JobEndingWithThisProgram();
    const BOOL inherit = (startup.dwFlags & STARTF_USESTDHANDLES) != 0;
    if (job == nullptr || !CreateProcessRetried(program, commandLine.data(), inherit,
                                                CREATE_SUSPENDED, &startup, &info)) {
        return false;
    }
    if (!AssignProcessToJobObject(job, info.hProcess)) {
        const DWORD error = GetLastError();
        TerminateProcess(info.hProcess, 255);
        CloseHandle(info.hThread);
        CloseHandle(info.hProcess);
        SetLastError(error);
        return false;
    }
    ResumeThread(info.hThread);
    CloseHandle(info.hThread);
    return true;
}

bool Start(const std::string& program, const std::string& arguments, STARTUPINFOA& startup,
           PROCESS_INFORMATION& info) {
    std::string desktop = DesktopName();
    startup.lpDesktop = desktop.data();
    return StartInJob(program.c_str(),
                      "\"" + program + "\"" + (arguments.empty() ? "" : " " + arguments), startup,
                      info);
}

} // namespace

ChildProcess::~ChildProcess() {
    if (Running()) {
        Kill();
    }
    Release();
}

bool ChildProcess::Start(const std::string& program, const std::string& arguments,
                         const StartOptions& options) {
    Release();
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    if (options.standardHandles) {
        PassStandardHandles(startup, GetStdHandle(STD_INPUT_HANDLE),
                            GetStdHandle(STD_OUTPUT_HANDLE), GetStdHandle(STD_ERROR_HANDLE));
    }
    PROCESS_INFORMATION info = {};
    if (!test::Start(program, arguments, startup, info)) {
        return false;
    }
    process_ = info.hProcess;
    id_ = info.dwProcessId;
    return true;
}

bool ChildProcess::Running() const {
    return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) const {
    DWORD code = 0;
    if (process_ == nullptr || WaitPumping(process_, timeoutMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(process_, &code)) {
        return std::nullopt;
    }
    return code;
}

void ChildProcess::Kill(UINT exitCode) {
    if (Running()) {
        TerminateProcess(process_, exitCode);
        WaitForSingleObject(process_, kWaitMs);
    }
}

void ChildProcess::Release() {
    if (process_ != nullptr) {
        CloseHandle(process_);
    }
    process_ = nullptr;
    id_ = 0;
}

std::vector<HWND> ChildProcess::TopLevelWindows() const {
    return test::TopLevelWindows(id_);
}

ProgramOutput RunCaptured(const std::string& program, const std::string& arguments,
                          DWORD timeoutMs) {
    ProgramOutput result;
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                               OPEN_EXISTING, 0, nullptr);
    HANDLE output = OutputFile();
    HANDLE errors = OutputFile();
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PassStandardHandles(startup, input, output, errors);
    PROCESS_INFORMATION info = {};
    if (!test::Start(program, arguments, startup, info)) {
        result.errors = "could not start " + program + ": error " + std::to_string(GetLastError());
    } else {
        if (WaitPumping(info.hProcess, timeoutMs) == WAIT_OBJECT_0) {
            DWORD code = 0;
            GetExitCodeProcess(info.hProcess, &code);
            result.exitCode = code;
        } else {
            TerminateProcess(info.hProcess, 255);
            WaitForSingleObject(info.hProcess, kWaitMs);
        }
        CloseHandle(info.hProcess);
        result.output = ReadFromStart(output);
        result.errors = ReadFromStart(errors);
    }
    for (HANDLE handle : {input, output, errors}) {
        CloseHandle(handle);
    }
    return result;
}

std::optional<DWORD> RunToEnd(const std::string& program, const std::string& arguments,
                              DWORD timeoutMs) {
    ChildProcess child;
    if (!child.Start(program, arguments)) {
        return std::nullopt;
    }
    return child.WaitForExit(timeoutMs);
}

std::string ThisProgram() {
    char path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
}

std::string ProgramBeside(const std::string& fileName, int levelsUp) {
    std::string folder = ThisProgram();
    for (int level = 0; level <= levelsUp; ++level) {
        folder = folder.substr(0, folder.find_last_of('\\'));
    }
    return folder + "\\" + fileName;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(std::exchange(current, {}));
        } else if (c != '\r') {
            current += c;
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

DWORD ProcessOf(HWND window) {
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    return processId;
}

std::vector<HWND> TopLevelWindows(DWORD processId, const char* className, const char* caption) {
    WindowSearch search = {processId, className, caption, {}};
    EnumWindows(CollectWindowOf, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

HWND FindTopLevel(DWORD processId, const char* className, const char* caption) {
    const std::vector<HWND> windows = TopLevelWindows(processId, className, caption);
    return windows.empty() ? nullptr : windows[0];
}

std::vector<HWND> VisibleTopLevels(DWORD processId, const char* className) {
    std::vector<HWND> windows = TopLevelWindows(processId, className);
    std::erase_if(windows, [](HWND window) { return !IsWindowVisible(window); });
    return windows;
}

std::vector<std::string> ListTexts(HWND list) {
    std::vector<std::string> texts;
    const LRESULT count = SendMessageW(list, CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
        wchar_t text[128] = {};
        char narrow[256] = {};
        const LRESULT length = SendMessageW(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(i), 0);
        if (length < 0 || length >= static_cast<LRESULT>(ARRAYSIZE(text))) {
            texts.emplace_back("<unreadable>");
            continue;
        }
        SendMessageW(list, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
        WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow), nullptr, nullptr);
        texts.emplace_back(narrow);
    }
    return texts;
}

std::string SelectedText(HWND list) {
    const LRESULT position = SendMessageW(list, CB_GETCURSEL, 0, 0);
    const std::vector<std::string> texts = ListTexts(list);
    if (position < 0 || position >= static_cast<LRESULT>(texts.size())) {
        return "<none>";
    }
    return texts[static_cast<size_t>(position)];
}

std::string DesktopName() {
    char name[256] = {};
    DWORD needed = 0;
    if (!GetUserObjectInformationA(GetThreadDesktop(GetCurrentThreadId()), UOI_NAME, name,
                                   sizeof(name) - 1, &needed)) {
        return std::string();
    }
    return name;
}

bool RanAgainOnDesktop(const char* desktop, const char* restartedVariable, int& exitCode) {
    if (DesktopName() == desktop || std::getenv(restartedVariable) != nullptr) {
        return false;
    }
    std::fflush(stdout);
    SetEnvironmentVariableA(restartedVariable, "1");
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string desktopName = desktop;
    startup.lpDesktop = desktopName.data();
    PassStandardHandles(startup, GetStdHandle(STD_INPUT_HANDLE), GetStdHandle(STD_OUTPUT_HANDLE),
                        GetStdHandle(STD_ERROR_HANDLE));
    PROCESS_INFORMATION info = {};
    if (!StartInJob(ThisProgram().c_str(), GetCommandLineA(), startup, info)) {
        std::fprintf(stderr, "could not start again on the desktop %s: error %lu\n", desktop,
                     GetLastError());
        exitCode = 1;
        return true;
    }
    DWORD code = 1;
    if (WaitForSingleObject(info.hProcess, kAnyCaseMs) != WAIT_OBJECT_0 ||
        !GetExitCodeProcess(info.hProcess, &code)) {
        std::fprintf(stderr, "the copy on the desktop %s did not end\n", desktop);
        code = 1;
    }
    CloseHandle(info.hProcess);
    exitCode = static_cast<int>(code);
    return true;
}

bool UseDesktopOf(DWORD threadId) {
    return SetThreadDesktop(GetThreadDesktop(threadId)) != FALSE;
}

} // namespace test
