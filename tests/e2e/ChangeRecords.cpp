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

std::vector<ChangeRow> ChangeRows() {
    const std::string path = UnitInterfacePath();
    const std::string port = "COM1234567";
    const ChangeRecord nothing = ChangeRecord::Raw(0, {}).EndAt(0); // an address, no bytes
    return {
        {"arrival without a record", DBT_DEVICEARRIVAL, std::nullopt, false},
        // Events without the 0x8000 bit come from another program with whatever lParam it wrote.
        {"devnodes changed, lParam 0", DBT_DEVNODES_CHANGED, std::nullopt, false},
        {"devnodes changed, lParam at nothing", DBT_DEVNODES_CHANGED, nothing, false},
        {"devnodes changed, lParam 1", DBT_DEVNODES_CHANGED, nothing, false, 1},
        {"configuration query, lParam at nothing", DBT_QUERYCHANGECONFIG, nothing, false},
        {"user-defined event, lParam 1", DBT_USERDEFINED, nothing, false, 1},
        {"removal query, lParam at nothing", DBT_DEVICEQUERYREMOVE, nothing, false},
        {"custom event, lParam at nothing", DBT_CUSTOMEVENT, nothing, false},
        {"query remove", DBT_DEVICEQUERYREMOVE, ChangeRecord::Wide(path), false},
        {"remove pending", DBT_DEVICEREMOVEPENDING, ChangeRecord::Wide(path), false},
        {"custom event, long name", DBT_CUSTOMEVENT, ChangeRecord::Wide(path), false},
        // Records of other types, or too short for a name.
        {"arrival of a volume", DBT_DEVICEARRIVAL,
         ChangeRecord::Raw(DBT_DEVTYP_VOLUME, std::vector<std::uint8_t>(8, 0x41)), false},
        {"port record with a long unterminated name", DBT_DEVICEREMOVECOMPLETE,
         ChangeRecord::Raw(DBT_DEVTYP_PORT, std::vector<std::uint8_t>(port.begin(), port.end())),
         false},
        {"OEM record", DBT_DEVICEARRIVAL,
         ChangeRecord::Raw(DBT_DEVTYP_OEM, std::vector<std::uint8_t>(8, 'Y')), false},
        {"header only, interface type", DBT_DEVICEARRIVAL,
         ChangeRecord::Raw(DBT_DEVTYP_DEVICEINTERFACE, {}), false},
        {"interface record with dbch_size 0", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi("ABCDEFGH").StateSize(0), false},
        {"interface record without name bytes", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi("").EndAt(kNameOffset), false},
        // Names: four characters are too few, five are enough; the stated size ends a name
        // whose terminator lies beyond it.
        {"empty ANSI name", DBT_DEVICEARRIVAL, ChangeRecord::Ansi(""), false},
        {"ANSI name of 4", DBT_DEVICEARRIVAL, ChangeRecord::Ansi("abcd"), false},
        {"ANSI name of 5", DBT_DEVICEARRIVAL, ChangeRecord::Ansi("abcde"), true},
        {"UTF-16 name of 4", DBT_DEVICEARRIVAL, ChangeRecord::Wide("abcd"), false},
        {"UTF-16 name of 5", DBT_DEVICEARRIVAL, ChangeRecord::Wide("abcde"), true},
        {"ANSI path cut by the record at 4", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi(path).StateSize(kNameOffset + 4), false},
        {"ANSI path cut by the record at 10", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi(path).StateSize(kNameOffset + 10), true},
        {"UTF-16 path cut by the record at 5", DBT_DEVICEARRIVAL,
         ChangeRecord::Wide(path).StateSize(kNameOffset + 11), true},
        {"ANSI name of 4 without terminator in dbch_size", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi("ABCD").EndAt(kNameOffset + 4), false},
        {"UTF-16 name of 4 without terminator in dbch_size", DBT_DEVICEREMOVECOMPLETE,
         ChangeRecord::Wide("ABCD").EndAt(kNameOffset + 8), false},
        {"UTF-16 name of 4 and a half characters", DBT_DEVICEARRIVAL,
         ChangeRecord::Wide("ABCDE").EndAt(kNameOffset + 10).StateSize(kNameOffset + 9), false},
        {"ANSI name of 10 without terminator in dbch_size", DBT_DEVICEARRIVAL,
         ChangeRecord::Ansi("ABCDEFGHIJ").EndAt(kNameOffset + 10), true},
        {"UTF-16 name of 10 without terminator in dbch_size", DBT_DEVICEREMOVECOMPLETE,
         ChangeRecord::Wide("ABCDEFGHIJ").EndAt(kNameOffset + 20), true},
        // The terminator's first byte is inside dbch_size, its second just outside.
        {"UTF-16 terminator cut by dbch_size", DBT_DEVICEARRIVAL,
         ChangeRecord::Wide("ABCDEF").StateSize(kNameOffset + 13), true},
        {"arrival, ANSI path", DBT_DEVICEARRIVAL, ChangeRecord::Ansi(path), true},
        {"removal complete, UTF-16 path", DBT_DEVICEREMOVECOMPLETE, ChangeRecord::Wide(path), true},
    };
}

} // namespace e2e
