// CreateTrayIcon on systems before version 4 (no notification area): the stand-in program
// tray_version_probe.exe runs under the Windows version that Wine's per-application setting
// gives it, and reports through its exit code.
#include "ChildProcess.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

namespace {

const char kProbeSettings[] = "Software\\Wine\\AppDefaults\\tray_version_probe.exe";

// Runs the probe under Wine's Windows version `version`: its exit code, or nothing when it could
// not be started or did not end.
std::optional<DWORD> RunProbeAs(const char* version) {
    EXPECT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, kProbeSettings, "Version", REG_SZ, version,
                              static_cast<DWORD>(std::strlen(version) + 1)),
              ERROR_SUCCESS);
    const std::optional<DWORD> code = test::RunToEnd(test::ProgramBeside("tray_version_probe.exe"));
    RegDeleteKeyValueA(HKEY_CURRENT_USER, kProbeSettings, "Version");
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
        const std::optional<DWORD> code = RunProbeAs(row.version);
        ASSERT_TRUE(code) << "tray_version_probe.exe did not run to its end";
        EXPECT_EQ(*code >> 4, row.major);
        EXPECT_EQ(*code & 0xF, row.outcome);
    }
}

} // namespace
