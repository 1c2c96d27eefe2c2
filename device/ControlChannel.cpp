#include "ControlChannel.h"

#include "LastErrorStatus.h"

#include <new>

namespace {

// The control device in the Win32 device namespace; the braces hold the unit interface class.
const char ControlDevicePath[] = "\\\\.\\{995949F0-6D7F-4c14-9F0A-2F26E3255C2B}";
static_assert(sizeof(ControlDevicePath) - 1 == 42);

// Device type 0x8088, METHOD_BUFFERED, FILE_ANY_ACCESS.
constexpr std::uint32_t ControlCode(std::uint32_t function) {
    return (0x8088u << 16) | (function << 2);
}

constexpr std::uint32_t GetSampleRateCode = ControlCode(0x80C);
constexpr std::uint32_t SetSampleRateCode = ControlCode(0x80D);
constexpr std::uint32_t GetUnitListCode = ControlCode(0x810);
constexpr std::uint32_t GetUnitInfoCode = ControlCode(0x811);
constexpr std::uint32_t ApplyStageTwoCode = ControlCode(0x830);
constexpr std::uint32_t ApplyStageOneCode = ControlCode(0x831);
constexpr std::uint32_t GetCpuLevelCode = ControlCode(0x840);
constexpr std::uint32_t SetCpuLevelCode = ControlCode(0x841);
constexpr std::uint32_t GetBufferSizeCode = ControlCode(0x842);
constexpr std::uint32_t SetBufferSizeCode = ControlCode(0x843);
constexpr std::uint32_t SetSecondBufferSizeCode = ControlCode(0x845);
static_assert(GetSampleRateCode == 0x80882030 && SetSecondBufferSizeCode == 0x80882114);

} // namespace

ControlChannel::ControlChannel() : units_(), unitList_(), device_() {}

ControlChannel::~ControlChannel() = default;

DriverStatus ControlChannel::Open() {
    if (IsOpen()) {
        return Status::Success;
    }
    // A synchronous handle: every request returns only when the driver has completed it.
    device_.Reset(CreateFileA(ControlDevicePath, GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                              nullptr));
    return IsOpen() ? Status::Success : Status::OperationFailed;
}

void ControlChannel::Close() {
    units_.clear();
    units_.shrink_to_fit();
    device_.Close();
}

DriverStatus ControlChannel::IoControl(std::uint32_t code, const void* input,
                                       std::uint32_t inputSize, void* output,
                                       std::uint32_t outputSize, std::uint32_t* bytesReturned) {
    if (!IsOpen()) {
        return Status::OperationFailed;
    }
    DWORD bytes = 0;
    const BOOL done = DeviceIoControl(device_.Get(), code, const_cast<void*>(input), inputSize,
                                      output, outputSize, &bytes, nullptr);
    const DriverStatus status = done ? Status::Success : LastErrorStatus();
    if (bytesReturned != nullptr) {
        *bytesReturned = bytes;
    }
    return status;
}

DriverStatus ControlChannel::RefreshUnits() {
    if (!IsOpen()) {
        return Status::OperationFailed;
    }
    units_.clear();
    units_.shrink_to_fit();

    const DriverStatus status =
        IoControl(GetUnitListCode, nullptr, 0, &unitList_, sizeof(unitList_));
    if (status != Status::Success) {
        return status;
    }
    // The driver may report more units than the record has places for; the rest are unknown.
    const std::uint32_t listed =
        unitList_.count < MaxUnitListEntries ? unitList_.count : MaxUnitListEntries;
    for (std::uint32_t i = 0; i < listed; ++i) {
        const std::uint32_t id = unitList_.ids[i];
        std::unique_ptr<UnitInfo> info(new (std::nothrow) UnitInfo);
        if (!info || IoControl(GetUnitInfoCode, &id, sizeof(id), info.get(), sizeof(UnitInfo)) !=
                         Status::Success) {
            continue;
        }
        // Running out of memory for the array drops this unit like a failed request would.
        try {
            units_.push_back(std::move(info));
        } catch (const std::bad_alloc&) {
        }
    }
    return Status::Success;
}

int ControlChannel::UnitCount() const {
    return static_cast<int>(units_.size());
}

const UnitInfo& ControlChannel::Unit(int index) const {
    return *units_[static_cast<size_t>(index)];
}

DriverStatus ControlChannel::GetSampleRate(SampleRateRecord& record) {
    return IoControl(GetSampleRateCode, nullptr, 0, &record, sizeof(record));
}

DriverStatus ControlChannel::SetSampleRate(const SampleRateRecord& record) {
    return IoControl(SetSampleRateCode, &record, sizeof(record), nullptr, 0);
}

DriverStatus ControlChannel::GetCpuLevel(CpuLevelRecord& record) {
    return IoControl(GetCpuLevelCode, nullptr, 0, &record, sizeof(record));
}

DriverStatus ControlChannel::SetCpuLevel(const CpuLevelRecord& record) {
    return IoControl(SetCpuLevelCode, &record, sizeof(record), nullptr, 0);
}

DriverStatus ControlChannel::GetBufferSize(BufferSizeRecord& record) {
    return IoControl(GetBufferSizeCode, nullptr, 0, &record, sizeof(record));
}

DriverStatus ControlChannel::SetBufferSize(const BufferSizeRecord& record) {
    return IoControl(SetBufferSizeCode, &record, sizeof(record), nullptr, 0);
}

DriverStatus ControlChannel::SetSecondBufferSize(const BufferSizeRecord& record) {
    return IoControl(SetSecondBufferSizeCode, &record, sizeof(record), nullptr, 0);
}

DriverStatus ControlChannel::ApplyStageOne() {
    return IoControl(ApplyStageOneCode, nullptr, 0, nullptr, 0);
}

DriverStatus ControlChannel::ApplyStageTwo() {
    return IoControl(ApplyStageTwoCode, nullptr, 0, nullptr, 0);
}
