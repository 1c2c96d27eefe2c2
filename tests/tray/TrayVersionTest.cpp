// CreateTrayIcon on systems before version 4 (no notification area): the stand-in program
// tray_version_probe.exe runs under the Windows version that Wine's per-application setting
// gives it, and reports through its exit code.
#include "StartProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

const char kProbe[] = "tray_version_probe.exe";
const char kProbeSettings[] = "Software\\Wine\\AppDefaults\\tray_version_probe.exe";

std::string ProbePath() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    return text.substr(0, text.find_last_of("\\/") + 1) + kProbe;
}

// Runs the probe under Wine's Windows version `version` and returns its exit code.
DWORD RunProbeAs(const char* version) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kProbeSettings, 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                             static_cast<DWORD>(std::strlen(version) + 1)),
              ERROR_SUCCESS);

    std::string command = ProbePath();
    command.insert(command.begin(), '"');
    command.push_back('"');
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    DWORD code = 0xFFFFFFFF;
    if (StartProcess(nullptr, command.data(), FALSE, 0, &startup, &process)) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start " << command << ": error " << GetLastError();
    }

    RegDeleteValueA(key, "Version");
    RegCloseKey(key);
    return code;
}

TEST(TrayVersion, BeforeVersion4NoWindowAndNoIconAreMade) {
    if (GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") == nullptr) {
        GTEST_SKIP() << "the Windows version can be chosen per program only under Wine";
    }
    struct Row {
        const char* version;
        DWORD major;
        DWORD outcome; // bit 0 added, bit 1 window made, bit 2 shown
    };
    const Row rows[] = {
        {"nt351", 3, 0},
        {"nt40", 4, 7},
        {"win7", 6, 7},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.version);
        DWORD code = RunProbeAs(row.version);
        EXPECT_EQ(code >> 4, row.major);
        EXPECT_EQ(code & 0xF, row.outcome);
    }
}

} // namespace
