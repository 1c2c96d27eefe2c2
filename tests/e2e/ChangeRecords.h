#pragma once

// WM_DEVICECHANGE records as tests build them: well-formed device-interface records in the ANSI
// form (Windows) and the UTF-16 form (Wine 8), and the hostile ones a window can be sent.

#include <windows.h>

#include <dbt.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace e2e {

// The bytes of one record, 8-byte aligned, with room after the stated size so that a reader
// that ignores dbch_size finds a terminator there instead of faulting.
class ChangeRecord {
public:
    // A device-interface record of the unit class whose name is `name` in ANSI, its size as
    // Windows states it (the name's terminator included).
    static ChangeRecord Ansi(const std::string& name) { return Interface(name, 1); }
    // The same in UTF-16, as Wine 8 delivers it even to ANSI windows.
    static ChangeRecord Wide(const std::string& name) { return Interface(name, 2); }
    // A header of `type` stating the record's length, followed by `payload`.
    static ChangeRecord Raw(DWORD type, const std::vector<std::uint8_t>& payload);

    // Changes the stated size (dbch_size) only.
    ChangeRecord& StateSize(DWORD size);
    // Ends the record after `size` bytes (zeros after them), and states that size: a name cut
    // there has no terminator.
    ChangeRecord& EndAt(DWORD size);
    DWORD StatedSize() const;
    const void* Data() const { return storage_.data(); }
    // The record's bytes up to its end, without the zeros after it.
    std::vector<std::uint8_t> Bytes() const;

private:
    explicit ChangeRecord(const std::vector<std::uint8_t>& bytes);
    static ChangeRecord Interface(const std::string& name, size_t characterSize);
    std::vector<std::uint64_t> storage_;
    size_t length_;
};

// The name offset of a device-interface record: 28 bytes.
inline constexpr DWORD kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);

// A unit's interface path as a record names it: "\\?\KESTRELBUS#UNIT#7#{<the unit class>}".
std::string UnitInterfacePath();

// A WM_DEVICECHANGE as a test sends it to the panel, and whether the panel reopens the driver
// for it: only for an arrival or a completed removal of a device interface whose name, read
// within the record's stated size, has five or more characters.
struct ChangeRow {
    const char* name;
    UINT event;
    std::optional<ChangeRecord> record; // none: lParam 0
    bool reopens;
    LPARAM at = 0; // sent instead of the record's address when set
};
// The well-formed records, the hostile ones and the lParams of other programs.
std::vector<ChangeRow> ChangeRows();

} // namespace e2e
