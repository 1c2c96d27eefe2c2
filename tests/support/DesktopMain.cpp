// main() of the test programs that run on a Wine virtual desktop with a taskbar
// (KESTREL_TEST_DESKTOP). A program that ctest starts lands on the desktop that Wine picks for a
// program started from Unix: some Wines take it from the per-application setting, others always
// use "Default". So a copy that is not on the test desktop starts itself again there, with the
// same command line and standard handles, and ends with that copy's exit code. The programs it
// starts inherit the desktop.
#include "ChildProcess.h"

#include <gtest/gtest.h>

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

} // namespace

int main(int argc, char** argv) {
    // Once only: a copy that still is not there runs its tests, whose fixtures say so.
    int code = 0;
    if (!ListsOnly(argc, argv) &&
        test::RanAgainOnDesktop(KESTREL_TEST_DESKTOP, kRestartedVariable, code)) {
        return code;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
