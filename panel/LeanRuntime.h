#pragma once

// The exit code of the program when it ends through std::terminate (an error that nothing
// caught): the code under which Windows reports an unhandled C++ exception. The program ends at
// once and shows nothing.
constexpr unsigned long kTerminateExitCode = 0xE06D7363;
