#pragma once

#include "DriverStatus.h"

#include <windows.h>

// The status of a system call that has just failed: its last error, unchanged. A failure that
// leaves no error behind must still not read as success, so 0 becomes OperationFailed.
inline DriverStatus LastErrorStatus() {
    const DWORD error = GetLastError();
    return error != ERROR_SUCCESS ? error : Status::OperationFailed;
}
