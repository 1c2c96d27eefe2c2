#include "SimulatorClient.h"

#include "KestrelSimProtocol.h"

#include <setupapi.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace sim {

const GUID kUnitInterface = {
    0x995949F0, 0x6D7F, 0x4C14, {0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25, 0x5C, 0x2B}};

namespace {

constexpr std::uint32_t kLogBatch = 64;

int CountPresentInterfaces() {
    HDEVINFO set = SetupDiGetClassDevsA(&kUnitInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return -1;
    }
    int count = 0;
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    while (SetupDiEnumDeviceInterfaces(set, nullptr, &kUnitInterface, count, &data)) {
        ++count;
    }
    SetupDiDestroyDeviceInfoList(set);
    return count;
}

struct NamedCode {
    std::uint32_t code;
    const char* name;
};

constexpr NamedCode kRequestNames[] = {
    {KSIM_GET_SAMPLE_RATE, "GetSampleRate"},
    {KSIM_SET_SAMPLE_RATE, "SetSampleRate"},
    {KSIM_GET_UNIT_LIST, "GetUnitList"},
    {KSIM_GET_UNIT_INFO, "GetUnitInfo"},
    {KSIM_APPLY_STAGE_TWO, "ApplyStageTwo"},
    {KSIM_APPLY_STAGE_ONE, "ApplyStageOne"},
    {KSIM_GET_CPU_LEVEL, "GetCpuLevel"},
    {KSIM_SET_CPU_LEVEL, "SetCpuLevel"},
    {KSIM_GET_BUFFER_SIZE, "GetBufferSize"},
    {KSIM_SET_BUFFER_SIZE, "SetBufferSize"},
    {KSIM_SET_SECOND_BUFFER_SIZE, "SetSecondBufferSize"},
    {KSIM_SEND_REQUEST, "SendRequest"},
    {KSIM_GET_NOTIFY_RESPONSE, "GetNotifyResponse"},
    {KSIM_REGISTER_NOTIFY_EVENT, "RegisterNotifyResponseEvent"},
    {KSIM_UNREGISTER_NOTIFY_EVENT, "UnregisterNotifyResponseEvent"},
};

} // namespace

SimulatorClient::SimulatorClient()
    : device_(CreateFileA(KSIM_SIM_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr)) {
}

SimulatorClient::~SimulatorClient() {
    if (IsConnected()) {
        CloseHandle(device_);
    }
}

bool SimulatorClient::IsConnected() const {
    return device_ != INVALID_HANDLE_VALUE && device_ != nullptr;
}

bool SimulatorClient::Call(std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
                           std::uint32_t outSize, std::uint32_t* returned) {
    if (!IsConnected()) {
        SetLastError(ERROR_NOT_READY);
        return false;
    }
    DWORD bytes = 0;
    BOOL ok = DeviceIoControl(device_, code, const_cast<void*>(in), inSize, out, outSize, &bytes,
                              nullptr);
    if (returned) {
        *returned = bytes;
    }
    return ok != FALSE;
}

bool SimulatorClient::Reset() {
    return Call(KSIM_IOCTL_RESET, nullptr, 0, nullptr, 0) &&
           WaitForInterfaces(static_cast<int>(KSIM_DEFAULT_UNITS));
}

std::vector<std::uint32_t> SimulatorClient::Plug(int count) {
    std::uint32_t n = static_cast<std::uint32_t>(count);
    KsimIdList ids = {};
    if (count < 0 || !Call(KSIM_IOCTL_PLUG, &n, sizeof(n), &ids, sizeof(ids))) {
        return {};
    }
    if (!WaitForInterfaces(static_cast<int>(State().units.size()))) {
        return {};
    }
    return std::vector<std::uint32_t>(ids.ids, ids.ids + ids.count);
}

bool SimulatorClient::Unplug(std::uint32_t id) {
    return Call(KSIM_IOCTL_UNPLUG, &id, sizeof(id), nullptr, 0) &&
           WaitForInterfaces(static_cast<int>(State().units.size()));
}

bool SimulatorClient::UnplugAll() {
    std::uint32_t all = KSIM_ALL_UNITS;
    return Call(KSIM_IOCTL_UNPLUG, &all, sizeof(all), nullptr, 0) && WaitForInterfaces(0);
}

bool SimulatorClient::SetRate(std::uint32_t hz) {
    KsimValue value = {KSIM_VALUE_RATE, hz};
    return Call(KSIM_IOCTL_SET_VALUE, &value, sizeof(value), nullptr, 0);
}

bool SimulatorClient::SetBuffer(std::uint32_t microseconds) {
    KsimValue value = {KSIM_VALUE_BUFFER, microseconds};
    return Call(KSIM_IOCTL_SET_VALUE, &value, sizeof(value), nullptr, 0);
}

bool SimulatorClient::SetCpu(std::uint32_t level) {
    KsimValue value = {KSIM_VALUE_CPU, level};
    return Call(KSIM_IOCTL_SET_VALUE, &value, sizeof(value), nullptr, 0);
}

bool SimulatorClient::Fail(std::uint32_t code, std::uint32_t win32Error, std::uint32_t count) {
    return Fail(Fault{code, win32Error, count});
}

bool SimulatorClient::Fail(const Fault& fault) {
    KsimFault raw = {fault.code, fault.win32Error, fault.count, fault.unit, fault.from};
    return Call(KSIM_IOCTL_FAIL, &raw, sizeof(raw), nullptr, 0);
}

bool SimulatorClient::OpenFail(std::uint32_t unitId, bool failing) {
    KsimOpenFault fault = {unitId, failing ? 1u : 0u};
    return Call(KSIM_IOCTL_OPEN_FAIL, &fault, sizeof(fault), nullptr, 0);
}

bool SimulatorClient::SetControlPathPresent(bool present) {
    std::uint32_t word = present ? 1 : 0;
    return Call(KSIM_IOCTL_CONTROL_PATH, &word, sizeof(word), nullptr, 0);
}

bool SimulatorClient::ClearFaults() {
    return Call(KSIM_IOCTL_CLEAR_FAULTS, nullptr, 0, nullptr, 0);
}

bool SimulatorClient::InfoFail(std::uint32_t unitId) {
    return Call(KSIM_IOCTL_INFO_FAIL, &unitId, sizeof(unitId), nullptr, 0);
}

bool SimulatorClient::ReplaceUnitList(std::uint32_t count, const std::vector<std::uint32_t>& ids) {
    KsimUnitListOverride list = {};
    list.active = 1;
    list.count = count;
    for (std::size_t i = 0; i < ids.size() && i < KSIM_MAX_UNITS; ++i) {
        list.ids[i] = ids[i];
    }
    return Call(KSIM_IOCTL_UNIT_LIST, &list, sizeof(list), nullptr, 0);
}

bool SimulatorClient::ClearUnitList() {
    KsimUnitListOverride list = {};
    return Call(KSIM_IOCTL_UNIT_LIST, &list, sizeof(list), nullptr, 0);
}

bool SimulatorClient::ShortReply(std::uint32_t code, std::uint32_t bytes) {
    KsimShortReply reply = {code, bytes};
    return Call(KSIM_IOCTL_SHORT_REPLY, &reply, sizeof(reply), nullptr, 0);
}

bool SimulatorClient::Respond(UnitResponse response) {
    std::uint32_t code = static_cast<std::uint32_t>(response);
    return Call(KSIM_IOCTL_RESPOND, &code, sizeof(code), nullptr, 0);
}

bool SimulatorClient::Pend(std::uint32_t milliseconds) {
    return Call(KSIM_IOCTL_PEND, &milliseconds, sizeof(milliseconds), nullptr, 0);
}

std::vector<LogEntry> SimulatorClient::Log() {
    std::vector<LogEntry> entries;
    ReadLog(entries);
    return entries;
}

bool SimulatorClient::ReadLog(std::vector<LogEntry>& entries) {
    entries.clear();
    std::vector<KsimLogEntry> batch(kLogBatch);
    std::uint32_t first = 0;
    for (;;) {
        std::uint32_t bytes = 0;
        if (!Call(KSIM_IOCTL_READ_LOG, &first, sizeof(first), batch.data(),
                  static_cast<std::uint32_t>(batch.size() * sizeof(KsimLogEntry)), &bytes)) {
            entries.clear();
            return false;
        }
        std::uint32_t n = bytes / sizeof(KsimLogEntry);
        for (std::uint32_t i = 0; i < n; ++i) {
            const KsimLogEntry& raw = batch[i];
            LogEntry entry;
            entry.sequence = raw.sequence;
            entry.target = raw.target;
            entry.code = raw.code;
            std::uint32_t kept =
                raw.inputSize < KSIM_LOG_INPUT_MAX ? raw.inputSize : KSIM_LOG_INPUT_MAX;
            entry.input.assign(raw.input, raw.input + kept);
            entry.outputSize = raw.outputSize;
            entry.status = raw.status;
            entries.push_back(std::move(entry));
        }
        if (n < kLogBatch) {
            return true;
        }
        first = batch[n - 1].sequence + 1;
    }
}

bool SimulatorClient::ClearLog() {
    return Call(KSIM_IOCTL_CLEAR_LOG, nullptr, 0, nullptr, 0);
}

SimulatorState SimulatorClient::State() {
    SimulatorState state;
    ReadState(state);
    return state;
}

std::vector<std::uint32_t> SimulatorClient::UnitIds() {
    std::vector<std::uint32_t> ids;
    for (const UnitState& unit : State().units) {
        ids.push_back(unit.id);
    }
    return ids;
}

bool SimulatorClient::ReadState(SimulatorState& state) {
    state = SimulatorState();
    KsimState raw = {};
    if (!Call(KSIM_IOCTL_GET_STATE, nullptr, 0, &raw, sizeof(raw))) {
        return false;
    }
    for (std::uint32_t i = 0; i < raw.unitCount && i < KSIM_MAX_UNITS; ++i) {
        state.units.push_back({raw.units[i].id, raw.units[i].plug});
    }
    state.rate = raw.rateRecord[1];
    state.bufferMicroseconds = raw.bufferRecord[0];
    state.cpuLevel = raw.cpuRecord[3];
    std::copy(std::begin(raw.rateRecord), std::end(raw.rateRecord), state.rateRecord.begin());
    std::copy(std::begin(raw.bufferRecord), std::end(raw.bufferRecord), state.bufferRecord.begin());
    std::copy(std::begin(raw.secondBufferRecord), std::end(raw.secondBufferRecord),
              state.secondBufferRecord.begin());
    std::copy(std::begin(raw.cpuRecord), std::end(raw.cpuRecord), state.cpuRecord.begin());
    state.applyStageOneCount = raw.applyStageOneCount;
    state.applyStageTwoCount = raw.applyStageTwoCount;
    return true;
}

bool SimulatorClient::WaitForInterfaces(int count, DWORD timeoutMs) {
    return test::WaitUntil([count] { return CountPresentInterfaces() == count; }, timeoutMs);
}

std::string RequestName(std::uint32_t code) {
    for (const NamedCode& entry : kRequestNames) {
        if (entry.code == code) {
            return entry.name;
        }
    }
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(code));
    return text;
}

std::string FormatLogLine(const LogEntry& entry) {
    char head[80];
    std::string target =
        entry.IsControl() ? std::string("control") : "unit:" + std::to_string(entry.target);
    std::snprintf(head, sizeof(head), "%u %s 0x%08X in=", static_cast<unsigned>(entry.sequence),
                  target.c_str(), static_cast<unsigned>(entry.code));
    std::string line = head;
    static const char kHex[] = "0123456789abcdef";
    for (std::uint8_t byte : entry.input) {
        line += kHex[byte >> 4];
        line += kHex[byte & 0xF];
    }
    line += " out=" + std::to_string(entry.outputSize);
    line += " status=" + std::to_string(entry.status);
    return line;
}

} // namespace sim
