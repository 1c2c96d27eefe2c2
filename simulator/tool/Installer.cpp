#include "Installer.h"

#include <windows.h>

#include <newdev.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

// The "System" device setup class.
const GUID kSystemClass = {
    0x4d36e97d, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

const char kInstanceId[] = "ROOT\\KESTRELBUS\\0000";
const char kHardwareId[] = "root\\kestrelbus";

std::string InfBesideProgram() {
    char path[MAX_PATH] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string text(path, length);
    std::string::size_type slash = text.find_last_of("\\/");
    text.resize(slash == std::string::npos ? 0 : slash + 1);
    return text + "kestrelsim.inf";
}

// Registers the bus device; an existing one counts as done.
unsigned long RegisterBusDevice() {
    HDEVINFO set = SetupDiCreateDeviceInfoList(&kSystemClass, nullptr);
    if (set == INVALID_HANDLE_VALUE) {
        return GetLastError();
    }
    unsigned long error = 0;
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (SetupDiCreateDeviceInfoA(set, kInstanceId, &kSystemClass, nullptr, nullptr, 0, &device)) {
        // A multi-string: the id, its NUL and the list's closing NUL.
        char ids[sizeof(kHardwareId) + 1] = {};
        std::memcpy(ids, kHardwareId, sizeof(kHardwareId));
        if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                               reinterpret_cast<const BYTE*>(ids), sizeof(ids)) ||
            !SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device)) {
            error = GetLastError();
        }
    } else if (GetLastError() != ERROR_DEVINST_ALREADY_EXISTS) {
        error = GetLastError();
    }
    SetupDiDestroyDeviceInfoList(set);
    return error;
}

} // namespace

unsigned long InstallSimulator() {
    std::string inf = InfBesideProgram();
    if (GetFileAttributesA(inf.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fprintf(stderr, "kestrelsim: %s not found\n", inf.c_str());
        return ERROR_FILE_NOT_FOUND;
    }
    unsigned long error = RegisterBusDevice();
    if (error != 0) {
        std::fprintf(stderr, "kestrelsim: registering %s failed (error %lu)\n", kInstanceId, error);
        return error;
    }
    BOOL reboot = FALSE;
    if (!UpdateDriverForPlugAndPlayDevicesA(nullptr, kHardwareId, inf.c_str(), 0, &reboot)) {
        error = GetLastError();
        std::fprintf(stderr, "kestrelsim: installing the driver from %s failed (error %lu)\n",
                     inf.c_str(), error);
        return error;
    }
    return 0;
}
