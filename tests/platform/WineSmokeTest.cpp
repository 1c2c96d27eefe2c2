// Proves that the test programs are Windows programs running under Wine, natively for their
// build's architecture or, in the lane that stands for 64-bit Windows, a 32-bit build under
// WoW64, with the project's prefix settings in force.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(WineSmoke, RunsAsANativeWindowsProcess) {
    char dir[MAX_PATH] = {};
    UINT length = GetWindowsDirectoryA(dir, MAX_PATH);
    ASSERT_GT(length, 3u);
    EXPECT_EQ(dir[1], ':');
    EXPECT_EQ(_stricmp(dir + 2, "\\windows"), 0) << dir;

    // A 32-bit program on 64-bit Windows runs under WoW64, as the shipped panel does for most
    // users; the lane that stands for that system says so (KESTREL_WOW64), every other lane
    // runs the build natively.
    const char* lane = std::getenv("KESTREL_WOW64");
    const bool expected = lane != nullptr && std::string(lane) == "1";
    BOOL wow64 = !expected;
    ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
    EXPECT_EQ(wow64 != FALSE, expected) << "the prefix's architecture must be the lane's";
    SYSTEM_INFO system = {};
    GetNativeSystemInfo(&system);
    EXPECT_EQ(system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64,
              sizeof(void*) == 8 || wow64 != FALSE);
}

// Wine 8 is Windows 7 (6.1, build 7601). Wine 10 is Windows 10, which shows a program without a
// compatibility manifest, as the panel is, Windows 8 (6.2, build 9200).
TEST(WineSmoke, NtdllIsWinesAndReportsWindows7) {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    ASSERT_NE(ntdll, nullptr);
    const auto wineVersion = reinterpret_cast<const char* (*)()>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")));
    ASSERT_NE(wineVersion, nullptr);
    const std::string wine = wineVersion();
    const DWORD version = GetVersion();
    const std::string shown = std::to_string(LOBYTE(LOWORD(version))) + "." +
                              std::to_string(HIBYTE(LOWORD(version))) + "." +
                              std::to_string(HIWORD(version));
    EXPECT_EQ(shown, wine.rfind("8.", 0) == 0 ? "6.1.7601" : "6.2.9200") << "Wine " << wine;
}

TEST(WineSmoke, PrefixIsSetUpAt96DpiWithoutCrashDialog) {
    DWORD value = 1, size = sizeof(value), type = 0;
    EXPECT_EQ(RegGetValueA(HKEY_CURRENT_USER, "Software\\Wine\\WineDbg", "ShowCrashDialog",
                           RRF_RT_ANY, &type, &value, &size),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(value, 0u);

    char fonts[MAX_PATH] = {};
    GetWindowsDirectoryA(fonts, MAX_PATH);
    std::string tahoma = std::string(fonts) + "\\Fonts\\tahoma.ttf";
    EXPECT_NE(GetFileAttributesA(tahoma.c_str()), INVALID_FILE_ATTRIBUTES)
        << "Wine's own fonts belong in the prefix";
}

} // namespace
