#pragma once

#include <windows.h>

// Owns one kernel handle (device, event) and closes it when dropped. The empty value is null:
// INVALID_HANDLE_VALUE, which CreateFileA returns on failure, is never stored.
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(HANDLE handle);
    ~UniqueHandle();
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != nullptr; }

    // Takes `handle` (null or INVALID_HANDLE_VALUE leaves the owner empty) after closing the
    // one held. The caller's last error survives the close.
    void Reset(HANDLE handle = nullptr);

    // Closes the held handle and forgets it only when CloseHandle succeeds; on failure the
    // handle stays owned and the last error is CloseHandle's. True when nothing was held.
    bool Close();

private:
    HANDLE handle_ = nullptr;
};
