#include "ChangeRecords.h"

#include "SimulatorClient.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace e2e {

namespace {

const DWORD kHeaderSize = sizeof(DEV_BROADCAST_HDR);
// Zero bytes kept after every record's stated end.
const size_t kSlack = 64;

} // namespace

ChangeRecord::ChangeRecord(const std::vector<std::uint8_t>& bytes)
    : storage_((bytes.size() + kSlack + 7) / 8, 0), length_(bytes.size()) {
    std::memcpy(storage_.data(), bytes.data(), bytes.size());
}

ChangeRecord ChangeRecord::Interface(const std::string& name, size_t characterSize) {
    DEV_BROADCAST_DEVICEINTERFACE_A header = {};
    header.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
    header.dbcc_classguid = sim::kUnitInterface;
    std::vector<std::uint8_t> bytes(kNameOffset + characterSize * (name.size() + 1), 0);
    header.dbcc_size = static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &header, kNameOffset);
    for (size_t i = 0; i < name.size(); ++i) {
        bytes[kNameOffset + characterSize * i] = static_cast<std::uint8_t>(name[i]);
    }
    return ChangeRecord(bytes);
}

ChangeRecord ChangeRecord::Raw(DWORD type, const std::vector<std::uint8_t>& payload) {
    DEV_BROADCAST_HDR header = {};
    header.dbch_size = static_cast<DWORD>(kHeaderSize + payload.size());
    header.dbch_devicetype = type;
    std::vector<std::uint8_t> bytes(kHeaderSize + payload.size(), 0);
    std::memcpy(bytes.data(), &header, kHeaderSize);
    std::copy(payload.begin(), payload.end(), bytes.begin() + kHeaderSize);
    return ChangeRecord(bytes);
}

ChangeRecord& ChangeRecord::StateSize(DWORD size) {
    std::memcpy(storage_.data(), &size, sizeof(size));
    return *this;
}

ChangeRecord& ChangeRecord::EndAt(DWORD size) {
    auto* bytes = reinterpret_cast<std::uint8_t*>(storage_.data());
    length_ = std::min<size_t>(size, length_);
    std::fill(bytes + length_, bytes + storage_.size() * sizeof(storage_[0]), 0);
    return StateSize(size);
}

std::vector<std::uint8_t> ChangeRecord::Bytes() const {
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(storage_.data());
    return std::vector<std::uint8_t>(bytes, bytes + length_);
}

DWORD ChangeRecord::StatedSize() const {
    DWORD size = 0;
    std::memcpy(&size, storage_.data(), sizeof(size));
    return size;
}

std::string UnitInterfacePath() {
    const GUID& id = sim::kUnitInterface;
    char path[96] = {};
    std::snprintf(path, sizeof(path),
                  "\\\\?\\KESTRELBUS#UNIT#7#{%08lx-%04x-%04x-%02x%02x-%02x%02x%02x%02x%02x%02x}",
                  static_cast<unsigned long>(id.Data1), id.Data2, id.Data3, id.Data4[0],
                  id.Data4[1], id.Data4[2], id.Data4[3], id.Data4[4], id.Data4[5], id.Data4[6],
                  id.Data4[7]);
    return path;
}

} // namespace e2e
