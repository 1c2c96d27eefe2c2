#include "SimTestSupport.h"

#include <setupapi.h>

#include <cstdio>
#include <cstring>

namespace simtest {
namespace {

Handle Open(const char* path, DWORD flags) {
    HANDLE handle =
        CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, flags, nullptr);
    return Handle(handle == INVALID_HANDLE_VALUE ? nullptr : handle);
}

} // namespace

Handle OpenControlDevice() {
    return Open(KSIM_CONTROL_DEVICE_PATH, 0);
}

Handle OpenSimulatorDevice() {
    return Open(KSIM_SIM_DEVICE_PATH, 0);
}

std::vector<std::string> UnitInterfacePaths() {
    std::vector<std::string> paths;
    HDEVINFO set = SetupDiGetClassDevsA(&sim::kUnitInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &sim::kUnitInterface, i, &data);
         ++i) {
        struct {
            SP_DEVICE_INTERFACE_DETAIL_DATA_A detail;
            char rest[MAX_PATH];
        } storage = {};
        storage.detail.cbSize = sizeof(storage.detail);
        if (SetupDiGetDeviceInterfaceDetailA(set, &data, &storage.detail, sizeof(storage), nullptr,
                                             nullptr)) {
            paths.emplace_back(storage.detail.DevicePath);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

Handle OpenUnit(const std::string& path) {
    return Open(path.c_str(), FILE_FLAG_OVERLAPPED);
}

Handle OpenOnlyUnit() {
    const std::vector<std::string> paths = UnitInterfacePaths();
    return paths.size() == 1 ? OpenUnit(paths[0]) : nullptr;
}

IoResult Control(HANDLE device, std::uint32_t code, const void* in, DWORD inSize, void* out,
                 DWORD outSize) {
    IoResult result;
    SetLastError(0xdeadbeef);
    result.ok = DeviceIoControl(device, code, inSize ? const_cast<void*>(in) : nullptr, inSize,
                                outSize ? out : nullptr, outSize, &result.bytes, nullptr);
    result.error = result.ok ? 0 : GetLastError();
    return result;
}

IoResult UnitRequest(HANDLE unit, std::uint32_t code, const void* in, DWORD inSize, void* out,
                     DWORD outSize) {
    IoResult result;
    Handle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.get();
    SetLastError(0xdeadbeef);
    result.ok = DeviceIoControl(unit, code, inSize ? const_cast<void*>(in) : nullptr, inSize,
                                outSize ? out : nullptr, outSize, &result.bytes, &overlapped);
    if (!result.ok && GetLastError() == ERROR_IO_PENDING) {
        result.ok = GetOverlappedResult(unit, &overlapped, &result.bytes, TRUE);
    }
    result.error = result.ok ? 0 : GetLastError();
    return result;
}

std::vector<std::uint32_t> UnitListWords(HANDLE device) {
    std::vector<std::uint32_t> words(65, 0xCCCCCCCC);
    if (!Control(device, KSIM_GET_UNIT_LIST, nullptr, 0, words.data(), KSIM_UNIT_LIST_SIZE).ok) {
        return {};
    }
    return words;
}

std::vector<std::uint8_t> RequestBlock(const std::vector<std::uint8_t>& frame,
                                       std::uint32_t leading) {
    std::vector<std::uint8_t> block(KSIM_REQUEST_BLOCK_SIZE, 0);
    std::uint32_t length = static_cast<std::uint32_t>(frame.size());
    std::memcpy(block.data(), &leading, 4);
    std::memcpy(block.data() + 4, &length, 4);
    std::memcpy(block.data() + 8, frame.data(), frame.size());
    return block;
}

std::vector<std::uint8_t> SelectorFrame(std::uint8_t plug) {
    return {0x00, 0x08, 0xB8, 0x80, 0x01, 0x10, 0x02, plug, 0x01};
}

IoResult Send(HANDLE unit, const std::vector<std::uint8_t>& block,
              std::vector<std::uint8_t>& response) {
    response.assign(KSIM_RESPONSE_BLOCK_SIZE, 0xCC);
    return UnitRequest(unit, KSIM_SEND_REQUEST, block.data(), KSIM_REQUEST_BLOCK_SIZE,
                       response.data(), KSIM_RESPONSE_BLOCK_SIZE);
}

IoResult Send(HANDLE unit, const std::vector<std::uint8_t>& block) {
    std::vector<std::uint8_t> response;
    return Send(unit, block, response);
}

std::vector<WrongSize> WrongSizes(DWORD in, DWORD out) {
    std::vector<WrongSize> wrong = {{"in+1", in + 1, out}, {"out+1", in, out + 1}};
    if (in > 0) {
        wrong.push_back({"in-1", in - 1, out});
    }
    if (out > 0) {
        wrong.push_back({"out-1", in, out - 1});
    }
    return wrong;
}

std::string Hex(std::uint32_t code) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(code));
    return text;
}

} // namespace simtest
