#include "ChangeRecords.h"

#include <cstring>

namespace e2e {

namespace {

const DWORD kHeaderSize = sizeof(DEV_BROADCAST_HDR);
// Zero bytes kept after every record's stated end.
const size_t kSlack = 64;
// The unit interface class.
const GUID kUnitClass = {
    0x995949F0, 0x6D7F, 0x4C14, {0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25, 0x5C, 0x2B}};

} // namespace

ChangeRecord::ChangeRecord(const std::vector<std::uint8_t>& bytes)
    : storage_((bytes.size() + kSlack + 7) / 8, 0) {
    std::memcpy(storage_.data(), bytes.data(), bytes.size());
}

ChangeRecord ChangeRecord::Ansi(const std::string& name) {
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = kUnitClass;
    std::vector<std::uint8_t> bytes(kNameOffset + name.size() + 1, 0);
    header.dbcc_size = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &header, kNameOffset);
    std::memcpy(bytes.data() + kNameOffset, name.data(), name.size());
    return ChangeRecord(bytes);
}

ChangeRecord ChangeRecord::Wide(const std::string& name) {
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = kUnitClass;
    std::vector<std::uint8_t> bytes(kNameOffset + 2 * (name.size() + 1), 0);
    header.dbcc_size = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &header, kNameOffset);
    for (size_t i = 0; i < name.size(); ++i) {
        bytes[kNameOffset + 2 * i] = static_cast<std::uint8_t>(name[i]);
    }
    return ChangeRecord(bytes);
}

ChangeRecord ChangeRecord::Raw(DWORD type, DWORD size, const std::vector<std::uint8_t>& payload) {
    DEV_BROADCAST_HDR header = {};
    header.dbch_size = size;
    header.dbch_devicetype = type;
    std::vector<std::uint8_t> bytes(kHeaderSize + payload.size(), 0);
    std::memcpy(bytes.data(), &header, kHeaderSize);
    if (!payload.empty()) {
        std::memcpy(bytes.data() + kHeaderSize, payload.data(), payload.size());
    }
    return ChangeRecord(bytes);
}

ChangeRecord& ChangeRecord::StateSize(DWORD size) {
    std::memcpy(storage_.data(), &size, sizeof(size));
    return *this;
}

DWORD ChangeRecord::StatedSize() const {
    DWORD size = 0;
    std::memcpy(&size, storage_.data(), sizeof(size));
    return size;
}

} // namespace e2e
