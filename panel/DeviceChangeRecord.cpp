#include "DeviceChangeRecord.h"

#include <windows.h>

#include <dbt.h>

namespace {

const std::size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);

// Counts units of `unitSize` bytes up to the first all-zero one, or up to the last whole unit
// inside `available` bytes when the name has no terminator there. Byte-wise, so that no
// alignment is assumed of the record.
std::size_t NameLength(const unsigned char* name, std::size_t available, std::size_t unitSize) {
    for (std::size_t offset = 0; offset + unitSize <= available; offset += unitSize) {
        bool zero = true;
        for (std::size_t i = 0; i < unitSize; ++i) {
            zero = zero && name[offset + i] == 0;
        }
        if (zero) {
            return offset / unitSize;
        }
    }
    return available / unitSize; // the record's size ends the name
}

} // namespace

std::size_t DeviceInterfaceNameLength(const void* record) {
    if (record == nullptr) {
        return 0;
    }
    const auto* header = static_cast<const DEV_BROADCAST_HDR*>(record);
    if (header->dbch_size <= kNameOffset || header->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
        return 0;
    }
    const std::size_t available = header->dbch_size - kNameOffset;
    const auto* name = static_cast<const unsigned char*>(record) + kNameOffset;
    // A UTF-16 name of a path has a zero high byte in its first character; an ANSI name of
    // more than one character never has a zero second byte.
    const bool wide = available >= 2 && name[0] != 0 && name[1] == 0;
    return NameLength(name, available, wide ? 2 : 1);
}
