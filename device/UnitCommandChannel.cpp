#include "UnitCommandChannel.h"

#include "LastErrorStatus.h"

#include <cstring>
#include <new>

namespace {

// Device type 0x8088, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr std::uint32_t UnitCode(std::uint32_t function) {
    return (0x8088u << 16) | (function << 2);
}

constexpr std::uint32_t SendRequestCode = UnitCode(0xC01);
constexpr std::uint32_t GetNotifyResponseCode = UnitCode(0xC02);
constexpr std::uint32_t RegisterNotifyResponseEventCode = UnitCode(0xC03);
constexpr std::uint32_t UnregisterNotifyResponseEventCode = UnitCode(0xC04);
static_assert(SendRequestCode == 0x80883004 && UnregisterNotifyResponseEventCode == 0x80883010);

// The 32-bit product hands the driver these platform layouts.
#if !defined(_WIN64)
static_assert(sizeof(SP_DEVINFO_DATA) == 28);
static_assert(sizeof(SP_DEVICE_INTERFACE_DATA) == 28);
static_assert(sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) == 5);
#endif

} // namespace

UnitCommandChannel::UnitCommandChannel()
    : device_(), overlapped_(), requestLock_(), deviceInfo_(), interfaceDetail_(),
      completionEvent_() {}

UnitCommandChannel::~UnitCommandChannel() = default;

DriverStatus UnitCommandChannel::Open(std::uint32_t memberIndex, HDEVINFO deviceInfoSet,
                                      const GUID* interfaceClass) {
    if (IsOpen()) {
        return Status::OperationRejected;
    }
    if (deviceInfoSet == nullptr || interfaceClass == nullptr) {
        return Status::InvalidFunctionParameter;
    }
    deviceInfo_.reset();
    interfaceDetail_.reset();

    SP_DEVICE_INTERFACE_DATA interfaceData = {};
    interfaceData.cbSize = sizeof(interfaceData);
    if (!SetupDiEnumDeviceInterfaces(deviceInfoSet, nullptr, interfaceClass, memberIndex,
                                     &interfaceData)) {
        const DWORD error = GetLastError();
        return error == ERROR_NO_MORE_ITEMS ? Status::NoSuchDeviceInstance : LastErrorStatus();
    }

    // Asked only for the size; the call is expected to fail with ERROR_INSUFFICIENT_BUFFER.
    // A size too small to hold even the size member and one path character is no answer.
    DWORD detailSize = 0;
    SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, &interfaceData, nullptr, 0, &detailSize,
                                     nullptr);
    if (detailSize < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        const DWORD error = GetLastError();
        return error != ERROR_INSUFFICIENT_BUFFER ? LastErrorStatus()
                                                  : DriverStatus{ERROR_INVALID_DATA};
    }

    interfaceDetail_.reset(new (std::nothrow) std::uint8_t[detailSize]);
    if (!interfaceDetail_) {
        return Status::MemoryAllocationFailed;
    }
    deviceInfo_.reset(new (std::nothrow) SP_DEVINFO_DATA);
    if (!deviceInfo_) {
        return Status::MemoryAllocationFailed;
    }
    *deviceInfo_ = {};
    deviceInfo_->cbSize = sizeof(SP_DEVINFO_DATA);
    std::memset(interfaceDetail_.get(), 0, detailSize);
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(interfaceDetail_.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);

    if (!SetupDiGetDeviceInterfaceDetailA(deviceInfoSet, &interfaceData, detail, detailSize,
                                          nullptr, deviceInfo_.get())) {
        return LastErrorStatus();
    }

    device_.Reset(CreateFileA(detail->DevicePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr));
    if (!IsOpen()) {
        return Status::DeviceNotFound;
    }
    completionEvent_.Reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
    if (!completionEvent_.IsValid()) {
        Close();
        return Status::OutOfMemory;
    }
    overlapped_.hEvent = completionEvent_.Get();
    return Status::Success;
}

void UnitCommandChannel::Close() {
    device_.Reset();
    completionEvent_.Reset();
    overlapped_.hEvent = nullptr;
}

DriverStatus UnitCommandChannel::IoControl(std::uint32_t code, const void* input,
                                           std::uint32_t inputSize, void* output,
                                           std::uint32_t outputSize, std::uint32_t* bytesReturned) {
    if (!IsOpen()) {
        return Status::DeviceNotOpen;
    }
    DWORD bytes = 0;
    DriverStatus status = Status::Success;
    {
        // The overlapped record and its event serve one request at a time, until completion.
        CriticalSection::Guard guard(requestLock_);
        if (!DeviceIoControl(device_.Get(), code, const_cast<void*>(input), inputSize, output,
                             outputSize, &bytes, &overlapped_)) {
            if (GetLastError() == ERROR_IO_PENDING) {
                status = GetOverlappedResult(device_.Get(), &overlapped_, &bytes, TRUE)
                             ? Status::Success
                             : LastErrorStatus();
            } else {
                status = LastErrorStatus();
            }
        }
    }
    if (bytesReturned != nullptr) {
        *bytesReturned = bytes;
    }
    return status;
}

DriverStatus UnitCommandChannel::SendRequest(const FcpRequestBlock& request,
                                             FcpResponseBlock& response) {
    return IoControl(SendRequestCode, &request, sizeof(request), &response, sizeof(response));
}

DriverStatus UnitCommandChannel::RegisterNotifyResponseEvent(HANDLE event) {
    // The driver takes the handle's value as a 32-bit word; handle values fit in 32 bits on
    // 64-bit Windows too.
    const std::uint32_t value = HandleToULong(event);
    return IoControl(RegisterNotifyResponseEventCode, &value, sizeof(value), nullptr, 0);
}

DriverStatus UnitCommandChannel::GetNotifyResponse(FcpResponseBlock& response) {
    return IoControl(GetNotifyResponseCode, nullptr, 0, &response, sizeof(response));
}

DriverStatus UnitCommandChannel::UnregisterNotifyResponseEvent() {
    return IoControl(UnregisterNotifyResponseEventCode, nullptr, 0, nullptr, 0);
}
