#include "ResourceCounts.h"

#include "ProcessUnderTest.h"

#include <winternl.h>

#include <cstdint>
#include <vector>

namespace {

// One row of the system handle table (SystemHandleInformation, class 16).
struct SystemHandleEntry {
    ULONG processId;
    UCHAR type;
    UCHAR flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
};

struct SystemHandleTable {
    ULONG count;
    SystemHandleEntry entries[1];
};

// One row of a process's GDI handle table, which the process's PEB points to.
struct GdiHandleEntry {
    std::uint64_t object;
    std::uint32_t owner;
    std::uint16_t unique; // bit 7: a stock object
    std::uint8_t type;    // 0: a free row
    std::uint8_t flags;
    std::uint64_t user;
};
static_assert(sizeof(GdiHandleEntry) == 24);

constexpr std::size_t kGdiTableRows = 0x10000;
// Offset of GdiSharedHandleTable in the PEB.
constexpr std::size_t kPebGdiTableOffset = sizeof(void*) == 8 ? 0xF8 : 0x94;

int HandlesFromSystemTable(DWORD processId) {
    constexpr auto SystemHandleInformation = static_cast<SYSTEM_INFORMATION_CLASS>(16);
    constexpr NTSTATUS kLengthMismatch = static_cast<NTSTATUS>(0xC0000004);
    std::vector<std::uint8_t> buffer(1 << 20);
    NTSTATUS status;
    while ((status = NtQuerySystemInformation(SystemHandleInformation, buffer.data(),
                                              static_cast<ULONG>(buffer.size()), nullptr)) ==
               kLengthMismatch &&
           buffer.size() < (64u << 20)) {
        buffer.resize(buffer.size() * 2);
    }
    if (status != 0) {
        return -1;
    }
    const auto* table = reinterpret_cast<const SystemHandleTable*>(buffer.data());
    int count = 0;
    for (ULONG i = 0; i < table->count; ++i) {
        count += table->entries[i].processId == processId ? 1 : 0;
    }
    return count;
}

int GdiObjectsFromProcessTable(HANDLE process, DWORD processId) {
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic),
                                  nullptr) != 0 ||
        basic.PebBaseAddress == nullptr) {
        return -1;
    }
    void* tableAddress = nullptr;
    const auto* peb = reinterpret_cast<const std::uint8_t*>(basic.PebBaseAddress);
    if (!ReadProcessMemory(process, peb + kPebGdiTableOffset, &tableAddress, sizeof(tableAddress),
                           nullptr) ||
        tableAddress == nullptr) {
        return -1;
    }
    std::vector<GdiHandleEntry> rows(kGdiTableRows);
    if (!ReadProcessMemory(process, tableAddress, rows.data(), rows.size() * sizeof(rows[0]),
                           nullptr)) {
        return -1;
    }
    int count = 0;
    for (const GdiHandleEntry& row : rows) {
        // Windows shares one table among all processes and names the owner; Wine keeps one per
        // process and leaves the owner 0.
        const bool ours = row.owner == 0 || (row.owner & 0xFFFF) == (processId & 0xFFFF);
        count += row.type != 0 && (row.unique & 0x80) == 0 && ours ? 1 : 0;
    }
    return count;
}

} // namespace

ResourceCounts CountResources(HANDLE process, DWORD processId) {
    ResourceCounts counts;
    DWORD handles = 0;
    counts.handles = GetProcessHandleCount(process, &handles) && handles != 0
                         ? static_cast<int>(handles)
                         : HandlesFromSystemTable(processId);

    SetLastError(0);
    DWORD gdi = GetGuiResources(process, GR_GDIOBJECTS);
    const bool guiCounted = gdi != 0 || GetLastError() != ERROR_CALL_NOT_IMPLEMENTED;
    if (guiCounted) {
        counts.gdi = static_cast<int>(gdi);
        counts.user = static_cast<int>(GetGuiResources(process, GR_USEROBJECTS));
    } else {
        counts.gdi = GdiObjectsFromProcessTable(process, processId);
        counts.user = CountWindowsOfProcess(processId);
    }
    return counts;
}
