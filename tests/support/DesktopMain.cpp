// main() of the test programs that run on a Wine virtual desktop with a taskbar
// (KESTREL_TEST_DESKTOP). A program that ctest starts lands on the desktop that Wine picks for a
// program started from Unix: some Wines take it from the per-application setting, others always
// use "Default". So a copy that is not on the test desktop starts itself again there, with the
// same command line and standard handles, and ends with that copy's exit code. The programs it
// starts inherit the desktop.
#include "StartProcess.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

const char kRestartedVariable[] = "KESTREL_TEST_DESKTOP_RESTARTED";

bool ListsOnly(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--gtest_list_tests") == 0) {
            return true;
        }
    }
    return false;
}

int RunAgainOnDesktop(const char* desktop) {
    // Once only: a copy that still is not there runs its tests, whose fixtures say so.
    SetEnvironmentVariableA(kRestartedVariable, "1");
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string desktopName = desktop;
    startup.lpDesktop = desktopName.data();
    PassStandardHandles(startup);
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, sizeof(path));
    std::string line = GetCommandLineA();
    PROCESS_INFORMATION info = {};
    if (!StartProcess(path, line.data(), TRUE, 0, &startup, &info)) {
        std::fprintf(stderr, "%s: could not start again on the desktop %s: error %lu\n", path,
                     desktop, GetLastError());
        return 1;
    }
    CloseHandle(info.hThread);
    WaitForSingleObject(info.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    return static_cast<int>(code);
}

} // namespace

int main(int argc, char** argv) {
    if (!ListsOnly(argc, argv) && DesktopName() != KESTREL_TEST_DESKTOP &&
        std::getenv(kRestartedVariable) == nullptr) {
        std::fflush(stdout);
        return RunAgainOnDesktop(KESTREL_TEST_DESKTOP);
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
