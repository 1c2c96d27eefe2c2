#pragma once

#include "DeviceInfoSet.h"

#include <windows.h>

// The driver publishes one device interface of this class per connected unit. The same GUID
// names the control device and selects the device-change notifications for units.
// {995949F0-6D7F-4C14-9F0A-2F26E3255C2B}
extern const GUID UnitInterfaceGuid;

// The present devices that expose an interface of `interfaceClass`; empty when SetupAPI fails.
DeviceInfoSet GetUnitDeviceInfoSet(const GUID& interfaceClass);
