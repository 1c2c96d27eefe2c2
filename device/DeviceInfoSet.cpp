#include "DeviceInfoSet.h"

namespace {

HDEVINFO Normalised(HDEVINFO set) {
    return set == INVALID_HANDLE_VALUE ? nullptr : set;
}

} // namespace

DeviceInfoSet::DeviceInfoSet(HDEVINFO set) : set_(Normalised(set)) {}

DeviceInfoSet::~DeviceInfoSet() {
    Reset();
}

DeviceInfoSet::DeviceInfoSet(DeviceInfoSet&& other) noexcept : set_(other.set_) {
    other.set_ = nullptr;
}

DeviceInfoSet& DeviceInfoSet::operator=(DeviceInfoSet&& other) noexcept {
    if (this != &other) {
        Reset(other.set_);
        other.set_ = nullptr;
    }
    return *this;
}

void DeviceInfoSet::Reset(HDEVINFO set) {
    if (set_ != nullptr) {
        const DWORD error = GetLastError();
        SetupDiDestroyDeviceInfoList(set_);
        SetLastError(error);
    }
    set_ = Normalised(set);
}
