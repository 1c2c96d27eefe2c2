#pragma once

#include "ControlRecords.h"
#include "DriverStatus.h"
#include "UniqueHandle.h"

#include <cstdint>
#include <memory>
#include <vector>

// The synchronous link to the driver's control device: the unit list and the stream settings.
// Every request blocks until the driver completes it. A request on a closed channel returns
// OperationFailed without reaching the system. Used from the user-interface thread only.
class ControlChannel {
public:
    ControlChannel();
    virtual ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Success at once when already open (no second handle); OperationFailed when the control
    // device cannot be opened.
    DriverStatus Open();
    // Drops the unit records, then closes the device. The handle is forgotten only when
    // CloseHandle succeeds; otherwise the channel stays open with it.
    void Close();

    // One DeviceIoControl. `bytesReturned`, when given, receives the driver's byte count on
    // failure too.
    DriverStatus IoControl(std::uint32_t code, const void* input, std::uint32_t inputSize,
                           void* output, std::uint32_t outputSize,
                           std::uint32_t* bytesReturned = nullptr);

    // Reads the unit list, then one information record per listed unit (at most 64). Units
    // whose information request fails are left out without a report.
    DriverStatus RefreshUnits();
    // The number of units that answered the last refresh: 0 when closed or after a failure.
    int UnitCount() const;
    // The record of the `index`th answering unit, in list order; `index` below UnitCount().
    const UnitInfo& Unit(int index) const;

    DriverStatus GetSampleRate(SampleRateRecord& record);
    DriverStatus SetSampleRate(const SampleRateRecord& record);
    DriverStatus GetCpuLevel(CpuLevelRecord& record);
    DriverStatus SetCpuLevel(const CpuLevelRecord& record);
    DriverStatus GetBufferSize(BufferSizeRecord& record);
    DriverStatus SetBufferSize(const BufferSizeRecord& record);
    DriverStatus SetSecondBufferSize(const BufferSizeRecord& record);
    // Sent after every settings write: stage one, then stage two when stage one succeeded.
    DriverStatus ApplyStageOne();
    DriverStatus ApplyStageTwo();

private:
    bool IsOpen() const { return device_.IsValid(); }

    std::vector<std::unique_ptr<UnitInfo>> units_;
    UnitList unitList_;
    UniqueHandle device_;
};
