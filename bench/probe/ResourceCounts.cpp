#include "ResourceCounts.h"

#include "ChildProcess.h"

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

constexpr std::size_t kGdiTableRows = 0x10000;
// Offsets of GdiSharedHandleTable in the 32-bit and the 64-bit PEB.
constexpr std::uint64_t kPeb32GdiTableOffset = 0x94;
constexpr std::uint64_t kPeb64GdiTableOffset = 0xF8;

// Reads `size` bytes at `address` of another process into `out`; false if it cannot.
using MemoryReader = bool (*)(HANDLE process, std::uint64_t address, void* out, std::size_t size);

bool ReadNative(HANDLE process, std::uint64_t address, void* out, std::size_t size) {
    return ReadProcessMemory(process, reinterpret_cast<const void*>(address), out, size, nullptr);
}

// The PEB of `process` in this process's own view, and how to read that view.
struct PebView {
    std::uint64_t address = 0;
    std::uint64_t gdiTableOffset = 0;
    std::size_t pointerSize = 0;
    MemoryReader read = nullptr;
};

PebView NativePeb(HANDLE process) {
    PROCESS_BASIC_INFORMATION basic = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof(basic),
                                  nullptr) != 0) {
        return {};
    }
    return {reinterpret_cast<std::uintptr_t>(basic.PebBaseAddress),
            sizeof(void*) == 8 ? kPeb64GdiTableOffset : kPeb32GdiTableOffset, sizeof(void*),
            ReadNative};
}

#if !defined(_WIN64)
// A 32-bit observer of a 32-bit process on 64-bit Windows (WoW64) sees the process's 32-bit
// PEB. Wine's WoW64 keeps the GDI table's address in the 64-bit PEB only; these functions of
// the WoW64 ntdll read that one.
struct ProcessBasicInformation64 {
    std::uint64_t exitStatus;
    std::uint64_t pebBaseAddress;
    std::uint64_t affinityMask;
    std::uint64_t basePriority;
    std::uint64_t uniqueProcessId;
    std::uint64_t inheritedFromUniqueProcessId;
};
using QueryInformationProcess64 = NTSTATUS(NTAPI*)(HANDLE, PROCESSINFOCLASS, void*, ULONG, ULONG*);
using ReadVirtualMemory64 = NTSTATUS(NTAPI*)(HANDLE, std::uint64_t, void*, std::uint64_t,
                                             std::uint64_t*);

template <typename Function>
Function Wow64Function(const char* name) {
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), name)));
}

bool ReadWow64(HANDLE process, std::uint64_t address, void* out, std::size_t size) {
    const auto read = Wow64Function<ReadVirtualMemory64>("NtWow64ReadVirtualMemory64");
    return read != nullptr && read(process, address, out, size, nullptr) == 0;
}

PebView Wow64Peb(HANDLE process) {
    BOOL wow64 = FALSE;
    const auto query = Wow64Function<QueryInformationProcess64>("NtWow64QueryInformationProcess64");
    ProcessBasicInformation64 basic = {};
    if (query == nullptr || !IsWow64Process(process, &wow64) || !wow64 ||
        query(process, ProcessBasicInformation, &basic, sizeof(basic), nullptr) != 0) {
        return {};
    }
    return {basic.pebBaseAddress, kPeb64GdiTableOffset, 8, ReadWow64};
}
#endif

// The address of the process's GDI handle table as `peb` names it, or 0.
std::uint64_t GdiTableAddress(HANDLE process, const PebView& peb) {
    std::uint64_t table = 0; // little-endian: a 32-bit address fills the low half
    if (peb.address == 0 ||
        !peb.read(process, peb.address + peb.gdiTableOffset, &table, peb.pointerSize)) {
        return 0;
    }
    return table;
}

int GdiObjectsFromProcessTable(HANDLE process, DWORD processId) {
    PebView peb = NativePeb(process);
    std::uint64_t table = GdiTableAddress(process, peb);
#if !defined(_WIN64)
    if (table == 0) {
        peb = Wow64Peb(process);
        table = GdiTableAddress(process, peb);
    }
#endif
    std::vector<GdiHandleEntry> rows(kGdiTableRows);
    if (table == 0 || !peb.read(process, table, rows.data(), rows.size() * sizeof(rows[0]))) {
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

BOOL CALLBACK CountChild(HWND /*window*/, LPARAM context) {
    ++*reinterpret_cast<int*>(context);
    return TRUE;
}

// All windows of a process: top-level (hidden ones too), message-only, and their children.
int CountWindowsOfProcess(DWORD processId) {
    std::vector<HWND> windows = test::TopLevelWindows(processId);
    // Message-only windows are not enumerated with the top-level ones.
    HWND messageOnly = nullptr;
    while ((messageOnly = FindWindowExA(HWND_MESSAGE, messageOnly, nullptr, nullptr)) != nullptr) {
        if (test::ProcessOf(messageOnly) == processId) {
            windows.push_back(messageOnly);
        }
    }
    int count = 0;
    for (HWND window : windows) {
        count += 1;
        EnumChildWindows(window, CountChild, reinterpret_cast<LPARAM>(&count));
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
