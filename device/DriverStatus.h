#pragma once

#include <cstdint>

// The result of every operation of the two driver channels. 0 is success; a value with its
// top three bits set is one of the driver codes below; any other value is a Windows error code
// taken from GetLastError and passed on unchanged. Callers test only zero against non-zero.
using DriverStatus = std::uint32_t;

namespace Status {
inline constexpr DriverStatus Success = 0x00000000;
inline constexpr DriverStatus OperationFailed = 0xE0000001;
inline constexpr DriverStatus ApiVersionMismatch = 0xE0000011;
inline constexpr DriverStatus OperationRejected = 0xE0000030;
inline constexpr DriverStatus OutOfMemory = 0xE0000100;
inline constexpr DriverStatus PacketPoolEmpty = 0xE0000110;
inline constexpr DriverStatus InvalidParameter = 0xE0000300;
inline constexpr DriverStatus ByteCountMismatch = 0xE0000304;
inline constexpr DriverStatus InvalidBufferSize = 0xE0000305;
inline constexpr DriverStatus OutputBufferTooSmall = 0xE0000320;
inline constexpr DriverStatus HandleAlreadyUsed = 0xE0000340;
inline constexpr DriverStatus HandleNotAssociated = 0xE0000342;
inline constexpr DriverStatus BusResetDetected = 0xE0000350;
inline constexpr DriverStatus InvalidResetGeneration = 0xE0000351;
inline constexpr DriverStatus InvalidLocalHostInfoType = 0xE0000401;
inline constexpr DriverStatus UnsupportedLockType = 0xE0000403;
inline constexpr DriverStatus UnsupportedSpeed = 0xE0000404;
inline constexpr DriverStatus DeviceNotFound = 0xE0008001;
inline constexpr DriverStatus DeviceNotOpen = 0xE0008002;
inline constexpr DriverStatus RequestTimeout = 0xE0008003;
inline constexpr DriverStatus InvalidFunctionParameter = 0xE0008008;
inline constexpr DriverStatus NoSuchDeviceInstance = 0xE0008010;
inline constexpr DriverStatus MemoryAllocationFailed = 0xE0008020;
} // namespace Status

struct DriverStatusEntry {
    DriverStatus code;
    const char* message; // Windows-1252
};

// The named codes and their texts, ascending by code, Success first, no terminating entry.
inline constexpr int DriverStatusCount = 23;
extern const DriverStatusEntry DriverStatusText[DriverStatusCount];
