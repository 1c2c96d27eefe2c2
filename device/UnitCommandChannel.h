#pragma once

#include "CriticalSection.h"
#include "DriverStatus.h"
#include "FcpBlocks.h"
#include "UniqueHandle.h"

#include <windows.h>
#include <setupapi.h>

#include <cstdint>
#include <memory>

// Carries AV/C frames to one unit through the driver's device interface for that unit. The
// handle is overlapped, but every request waits for its completion, so callers see synchronous
// requests. Requests share one overlapped record and are serialised by a lock. A request on a
// closed channel returns DeviceNotOpen without reaching the system.
class UnitCommandChannel {
public:
    UnitCommandChannel();
    virtual ~UnitCommandChannel();
    UnitCommandChannel(const UnitCommandChannel&) = delete;
    UnitCommandChannel& operator=(const UnitCommandChannel&) = delete;

    // Opens the interface of class `interfaceClass` at enumeration position `memberIndex` of
    // `deviceInfoSet`. OperationRejected when already open (the open handle is kept),
    // NoSuchDeviceInstance past the last interface, DeviceNotFound when the interface cannot
    // be opened; otherwise a channel code or the platform's error. A failed Open leaves the
    // channel closed.
    DriverStatus Open(std::uint32_t memberIndex, HDEVINFO deviceInfoSet,
                      const GUID* interfaceClass);
    void Close();
    bool IsOpen() const { return device_.IsValid(); }

    // One request, waited for when the driver completes it later. `bytesReturned`, when given,
    // receives the byte count whatever the outcome, but is left alone on a closed channel.
    DriverStatus IoControl(std::uint32_t code, const void* input, std::uint32_t inputSize,
                           void* output, std::uint32_t outputSize,
                           std::uint32_t* bytesReturned = nullptr);

    DriverStatus SendRequest(const FcpRequestBlock& request, FcpResponseBlock& response);
    // A NOTIFY exchange on one open channel: register the caller's event, wait for it, fetch
    // the response into a zero-filled block, unregister; the caller then closes its event.
    DriverStatus RegisterNotifyResponseEvent(HANDLE event);
    DriverStatus GetNotifyResponse(FcpResponseBlock& response);
    DriverStatus UnregisterNotifyResponseEvent();

private:
    UniqueHandle device_;
    OVERLAPPED overlapped_; // hEvent is completionEvent_'s handle while open
    CriticalSection requestLock_;
    std::unique_ptr<SP_DEVINFO_DATA> deviceInfo_;
    // An SP_DEVICE_INTERFACE_DETAIL_DATA_A of the size SetupAPI asked for: the opened path.
    std::unique_ptr<std::uint8_t[]> interfaceDetail_;
    UniqueHandle completionEvent_;
};
