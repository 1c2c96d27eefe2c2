#pragma once

#include <windows.h>
#include <setupapi.h>

// Owns a SetupAPI device-information set and destroys it when dropped. Empty is null; the
// INVALID_HANDLE_VALUE that SetupDiGetClassDevsA returns on failure is never stored.
// Move-only, so a function can hand its set to the caller.
class DeviceInfoSet {
public:
    DeviceInfoSet() = default;
    explicit DeviceInfoSet(HDEVINFO set);
    ~DeviceInfoSet();
    DeviceInfoSet(DeviceInfoSet&& other) noexcept;
    DeviceInfoSet& operator=(DeviceInfoSet&& other) noexcept;
    DeviceInfoSet(const DeviceInfoSet&) = delete;
    DeviceInfoSet& operator=(const DeviceInfoSet&) = delete;

    HDEVINFO Get() const { return set_; }
    bool IsValid() const { return set_ != nullptr; }
    void Reset(HDEVINFO set = nullptr);

private:
    HDEVINFO set_ = nullptr;
};
