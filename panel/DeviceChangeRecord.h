#pragma once

#include <cstddef>

// The length, in characters, of the device name in a WM_DEVICECHANGE record, read only within
// the record's stated size (dbch_size). 0 for no record, a record too short for a name, a record
// of another type than a device interface, an empty name, or a name without its terminator
// inside the record. Windows writes the name in ANSI for ANSI windows; Wine 8 writes it in
// UTF-16 even then, so both forms are measured.
std::size_t DeviceInterfaceNameLength(const void* record);
