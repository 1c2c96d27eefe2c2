#include "InstallerHarness.h"

#include "UniqueRegKey.h"
#include "StartProcess.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace inst {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Quillmar KESTREL";
const char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Quillmar KESTREL";
const char kCompanyKey[] = "Software\\Quillmar";
const char kSettingsKey[] = "Software\\Quillmar\\Quillmar KESTREL\\KESTREL";
const char kClockSetting[] = "SPDIFSync";

namespace {

constexpr UINT kTrayIconId = 135;

// The build tree's root: the test program lives in <build>\tests\installer.
std::string BuildRoot() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string dir(path, length);
    for (int level = 0; level < 3; ++level) {
        dir = dir.substr(0, dir.find_last_of('\\'));
    }
    return dir;
}

std::string ShellFolder(int csidl) {
    char path[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path))) {
        return {};
    }
    return path;
}

UniqueRegKey OpenKey(HKEY root, const std::string& key, REGSAM view) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ | view, &opened) != ERROR_SUCCESS) {
        return {};
    }
    return UniqueRegKey(opened);
}

struct WindowSearch {
    DWORD processId;
    std::vector<HWND> windows;
};

BOOL CALLBACK CollectProcessWindow(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<WindowSearch*>(context);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId) {
        search->windows.push_back(window);
    }
    return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId) {
    WindowSearch search{processId, {}};
    EnumWindows(CollectProcessWindow, reinterpret_cast<LPARAM>(&search));
    return search.windows;
}

void PumpMessages() {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        DispatchMessageA(&message);
    }
}

} // namespace

std::string SetupProgram() {
    return BuildRoot() + "\\installer\\Quillmar KESTREL Setup.exe";
}

std::string BuiltPanel() {
    return BuildRoot() + "\\panel\\Quillmar KESTREL.exe";
}

bool SystemIs64Bit() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

std::vector<std::string> ProgramFilesFolders() {
    if (!SystemIs64Bit()) {
        return {ShellFolder(CSIDL_PROGRAM_FILES)};
    }
    // A 32-bit process is shown the 32-bit folder as its own; the 64-bit one keeps its name in
    // the environment.
    char native[MAX_PATH] = {};
    GetEnvironmentVariableA("ProgramW6432", native, MAX_PATH);
    const std::string x86 = ShellFolder(CSIDL_PROGRAM_FILESX86);
    if (sizeof(void*) == 4) {
        return {x86, native};
    }
    return {native, x86};
}

std::vector<REGSAM> RegistryViews() {
    if (!SystemIs64Bit()) {
        return {0};
    }
    if (sizeof(void*) == 4) {
        return {KEY_WOW64_32KEY, KEY_WOW64_64KEY};
    }
    return {KEY_WOW64_64KEY, KEY_WOW64_32KEY};
}

std::string CompanyDir() {
    return ProgramFilesFolders()[0] + "\\Quillmar";
}

std::string InstallDir() {
    return CompanyDir() + "\\KESTREL";
}

std::string InstalledPanel() {
    return InstallDir() + "\\Quillmar KESTREL.exe";
}

std::string InstalledUninstaller() {
    return InstallDir() + "\\Uninstall.exe";
}

std::string ShortcutFile() {
    return ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Quillmar KESTREL.lnk";
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::optional<std::string> ReadFileBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        return std::nullopt;
    }
    std::ostringstream bytes;
    bytes << file.rdbuf();
    return bytes.str();
}

bool KeyExists(HKEY root, const std::string& key, REGSAM view) {
    return static_cast<bool>(OpenKey(root, key, view));
}

std::optional<std::string> ReadString(HKEY root, const std::string& key, const char* name,
                                      REGSAM view) {
    UniqueRegKey opened = OpenKey(root, key, view);
    if (!opened) {
        return std::nullopt;
    }
    char value[1024] = {};
    DWORD type = 0;
    DWORD size = sizeof(value) - 1;
    if (RegQueryValueExA(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(value),
                         &size) != ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const char* name, REGSAM view) {
    UniqueRegKey opened = OpenKey(root, key, view);
    if (!opened) {
        return std::nullopt;
    }
    DWORD value = 0;
    DWORD type = 0;
    DWORD size = sizeof(value);
    if (RegQueryValueExA(opened.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(&value),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD) {
        return std::nullopt;
    }
    return value;
}

LSTATUS WriteDword(HKEY root, const std::string& key, const char* name, DWORD value) {
    HKEY created = nullptr;
    LSTATUS status = RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                     &created, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    UniqueRegKey owner(created);
    return RegSetValueExA(created, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                          sizeof(value));
}

LSTATUS DeleteValue(HKEY root, const std::string& key, const char* name) {
    HKEY opened = nullptr;
    LSTATUS status = RegOpenKeyExA(root, key.c_str(), 0, KEY_SET_VALUE, &opened);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    UniqueRegKey owner(opened);
    return RegDeleteValueA(opened, name);
}

std::optional<std::string> ShortcutTarget(const std::string& link) {
    HRESULT initialised = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::optional<std::string> target;
    IShellLinkA* shellLink = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                   reinterpret_cast<void**>(&shellLink)))) {
        IPersistFile* file = nullptr;
        if (SUCCEEDED(
                shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
            wchar_t wideLink[MAX_PATH] = {};
            MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wideLink, MAX_PATH);
            char path[MAX_PATH] = {};
            if (SUCCEEDED(file->Load(wideLink, STGM_READ)) &&
                SUCCEEDED(shellLink->GetPath(path, MAX_PATH, nullptr, 0))) {
                target = path;
            }
            file->Release();
        }
        shellLink->Release();
    }
    if (SUCCEEDED(initialised)) {
        CoUninitialize();
    }
    return target;
}

DWORD WaitPumping(HANDLE handle, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    for (;;) {
        ULONGLONG now = GetTickCount64();
        DWORD left = now >= deadline ? 0 : static_cast<DWORD>(deadline - now);
        DWORD result = MsgWaitForMultipleObjects(1, &handle, FALSE, left, QS_ALLINPUT);
        if (result != WAIT_OBJECT_0 + 1) {
            return result;
        }
        PumpMessages();
        if (left == 0) {
            return WaitForSingleObject(handle, 0);
        }
    }
}

bool Eventually(const std::function<bool()>& condition, DWORD timeoutMs) {
    ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (!condition()) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        PumpMessages();
        Sleep(50);
    }
    return true;
}

ChildProcess::~ChildProcess() {
    if (info_.hProcess == nullptr) {
        return;
    }
    if (WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT) {
        TerminateProcess(info_.hProcess, 99);
        WaitForSingleObject(info_.hProcess, 5000);
    }
    CloseHandle(info_.hThread);
    CloseHandle(info_.hProcess);
}

bool ChildProcess::Start(const std::string& commandLine) {
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    return StartProcess(nullptr, line.data(), FALSE, 0, &startup, &info_) != FALSE;
}

std::optional<DWORD> ChildProcess::WaitForExit(DWORD timeoutMs) {
    if (info_.hProcess == nullptr || WaitPumping(info_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
        return std::nullopt;
    }
    DWORD code = 0;
    GetExitCodeProcess(info_.hProcess, &code);
    return code;
}

std::optional<DWORD> RunToEnd(const std::string& commandLine) {
    ChildProcess program;
    if (!program.Start(commandLine)) {
        return std::nullopt;
    }
    return program.WaitForExit();
}

HWND FindPanelWindow(DWORD processId) {
    for (HWND window : TopLevelWindows(processId)) {
        char className[64] = {};
        char caption[64] = {};
        GetClassNameA(window, className, sizeof(className));
        GetWindowTextA(window, caption, sizeof(caption));
        if (std::string(className) == "#32770" && std::string(caption) == "Quillmar KESTREL") {
            return window;
        }
    }
    return nullptr;
}

bool HasTrayIcon(DWORD processId) {
    for (HWND window : TopLevelWindows(processId)) {
        // Modifying an icon succeeds only for one the shell holds; an empty change alters none.
        NOTIFYICONDATAA probe = {};
        probe.cbSize = NOTIFYICONDATAA_V1_SIZE;
        probe.hWnd = window;
        probe.uID = kTrayIconId;
        if (Shell_NotifyIconA(NIM_MODIFY, &probe)) {
            return true;
        }
    }
    return false;
}

} // namespace inst
