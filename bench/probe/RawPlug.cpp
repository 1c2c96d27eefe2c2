#include "RawPlug.h"

#include "KestrelSimProtocol.h"

#include <windows.h>

namespace {

bool SimulatorCall(std::uint32_t code, const void* in, DWORD inSize, void* out, DWORD outSize) {
    HANDLE device =
        CreateFileA(KSIM_SIM_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (device == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD returned = 0;
    const BOOL done = DeviceIoControl(device, code, const_cast<void*>(in), inSize, out, outSize,
                                      &returned, nullptr);
    CloseHandle(device);
    return done != FALSE;
}

} // namespace

std::uint32_t PlugUnitNow() {
    const std::uint32_t count = 1;
    KsimIdList ids = {};
    if (!SimulatorCall(KSIM_IOCTL_PLUG, &count, sizeof(count), &ids, sizeof(ids)) ||
        ids.count != 1) {
        return 0;
    }
    return ids.ids[0];
}

bool UnplugUnitNow(std::uint32_t id) {
    return SimulatorCall(KSIM_IOCTL_UNPLUG, &id, sizeof(id), nullptr, 0);
}
