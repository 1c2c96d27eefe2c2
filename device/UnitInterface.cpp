#include "UnitInterface.h"

const GUID UnitInterfaceGuid = {
    0x995949F0, 0x6D7F, 0x4C14, {0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25, 0x5C, 0x2B}};

DeviceInfoSet GetUnitDeviceInfoSet(const GUID& interfaceClass) {
    return DeviceInfoSet(SetupDiGetClassDevsA(&interfaceClass, nullptr, nullptr,
                                              DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
}
