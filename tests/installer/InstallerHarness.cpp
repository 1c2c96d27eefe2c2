#include "InstallerHarness.h"

#include "UniqueRegKey.h"

#include <objbase.h>
#include <shlobj.h>
#include <shobjidl.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace inst {

namespace {

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

bool SystemIs64Bit() {
    BOOL wow64 = FALSE;
    return sizeof(void*) == 8 || (IsWow64Process(GetCurrentProcess(), &wow64) && wow64);
}

// Value `name` of `key`, read into `data` if it is of the one type `flags` allow (RRF_RT_*, with
// RRF_NOEXPAND for REG_SZ alone) and at most `size` bytes long.
bool ReadValue(HKEY root, const std::string& key, const char* name, REGSAM view, DWORD flags,
               void* data, DWORD size) {
    const UniqueRegKey opened = OpenKey(root, key, view);
    return opened &&
           RegGetValueA(opened.Get(), nullptr, name, flags, nullptr, data, &size) == ERROR_SUCCESS;
}

} // namespace

// The test program lives in <build>\tests\installer.
std::string SetupProgram() {
    return test::ProgramBeside("installer\\Quillmar KESTREL Setup.exe", 2);
}

std::string BuiltPanel() {
    return test::ProgramBeside("panel\\Quillmar KESTREL.exe", 2);
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
    char value[1024] = {};
    if (!ReadValue(root, key, name, view, RRF_RT_REG_SZ | RRF_NOEXPAND, value, sizeof(value))) {
        return std::nullopt;
    }
    return std::string(value);
}

std::optional<DWORD> ReadDword(HKEY root, const std::string& key, const char* name, REGSAM view) {
    DWORD value = 0;
    if (!ReadValue(root, key, name, view, RRF_RT_REG_DWORD, &value, sizeof(value))) {
        return std::nullopt;
    }
    return value;
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

bool StartCommand(test::ChildProcess& child, const std::string& commandLine) {
    const bool quoted = commandLine.rfind('"', 0) == 0;
    const size_t end = quoted ? commandLine.find('"', 1) : commandLine.find(' ');
    if (end == std::string::npos) {
        SetLastError(ERROR_BAD_FORMAT);
        return !quoted && child.Start(commandLine);
    }
    const size_t arguments = commandLine.find_first_not_of(' ', end + 1);
    return child.Start(commandLine.substr(quoted ? 1 : 0, quoted ? end - 1 : end),
                       arguments == std::string::npos ? "" : commandLine.substr(arguments));
}

} // namespace inst
