#include "DriverStatus.h"

const DriverStatusEntry DriverStatusText[DriverStatusCount] = {
    {Status::Success, "No error."},
    {Status::OperationFailed, "Operation failed."},
    {Status::ApiVersionMismatch, "API Version does not match."},
    {Status::OperationRejected, "Operation rejected."},
    {Status::OutOfMemory, "Out of memory."},
    {Status::PacketPoolEmpty, "Packet pool empty."},
    {Status::InvalidParameter, "Invalid parameter."},
    // 0xB4 is the acute accent of Windows-1252, as the driver's own texts have it.
    {Status::ByteCountMismatch, "Requested byte count doesn\xB4t match buffer size."},
    {Status::InvalidBufferSize, "Size of buffer is invalid."},
    {Status::OutputBufferTooSmall, "Output buffer too small."},
    {Status::HandleAlreadyUsed, "Handle already used by an object of this type."},
    {Status::HandleNotAssociated, "Handle not associated with required object."},
    {Status::BusResetDetected, "Bus reset detected."},
    {Status::InvalidResetGeneration, "Invalid reset generation count."},
    {Status::InvalidLocalHostInfoType, "Invalid local host info type."},
    {Status::UnsupportedLockType, "Unsupported type of lock operation."},
    {Status::UnsupportedSpeed, "Unsupported speed selected."},
    {Status::DeviceNotFound, "Device not found."},
    {Status::DeviceNotOpen, "Device not open."},
    {Status::RequestTimeout, "Request timeout interval has expired."},
    {Status::InvalidFunctionParameter, "Invalid parameter in function call."},
    {Status::NoSuchDeviceInstance, "No such device instance."},
    {Status::MemoryAllocationFailed, "Memory allocation failed."},
};
