#pragma once

#include <cstddef>

// The length, in characters, of the device name in a WM_DEVICECHANGE record, read only within
// the record's stated size (dbch_size): up to its terminator, or to the end of the record when
// the terminator lies outside it. 0 for no record, a record too short for a name, a record of
// another type than a device interface, or an empty name. Windows writes the name in ANSI for
// ANSI windows; Wine 8 writes it in UTF-16 even then, so both forms are measured.
std::size_t DeviceInterfaceNameLength(const void* record);
