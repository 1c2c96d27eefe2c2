#pragma once

#include <windows.h>

// Owns an open registry key (null when empty) and closes it on destruction.
class UniqueRegKey {
public:
    UniqueRegKey() = default;
    explicit UniqueRegKey(HKEY key);
    ~UniqueRegKey();
    UniqueRegKey(const UniqueRegKey&) = delete;
    UniqueRegKey& operator=(const UniqueRegKey&) = delete;
    UniqueRegKey(UniqueRegKey&& other) noexcept;
    UniqueRegKey& operator=(UniqueRegKey&& other) noexcept;

    HKEY Get() const;
    // Closes the key it holds (keeping the caller's last error) and takes `key`.
    void Reset(HKEY key = nullptr);
    HKEY Release();
    explicit operator bool() const;

private:
    HKEY m_key = nullptr;
};
