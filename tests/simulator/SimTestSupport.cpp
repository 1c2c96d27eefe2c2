#include "SimTestSupport.h"
#include "StartProcess.h"

#include <setupapi.h>

#include <cstring>

namespace simtest {
namespace {

const GUID kUnitInterface = {
    0x995949F0, 0x6D7F, 0x4C14, {0x9F, 0x0A, 0x2F, 0x26, 0xE3, 0x25, 0x5C, 0x2B}};

FileHandle InheritableFile(const char* path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    return FileHandle(CreateFileA(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  disposition, FILE_ATTRIBUTE_TEMPORARY, nullptr));
}

std::string ReadWhole(const char* path) {
    FileHandle file(CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr));
    std::string text;
    char chunk[4096];
    DWORD got = 0;
    while (file.IsValid() && ReadFile(file.Get(), chunk, sizeof(chunk), &got, nullptr) && got) {
        text.append(chunk, got);
    }
    return text;
}

std::string TempPath(const char* prefix) {
    char dir[MAX_PATH] = {};
    char path[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, dir);
    GetTempFileNameA(dir, prefix, 0, path);
    return path;
}

} // namespace

FileHandle OpenControlDevice() {
    return FileHandle(CreateFileA(KSIM_CONTROL_DEVICE_PATH, GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                                  nullptr));
}

std::vector<std::string> UnitInterfacePaths() {
    std::vector<std::string> paths;
    HDEVINFO set = SetupDiGetClassDevsA(&kUnitInterface, nullptr, nullptr,
                                        DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
        return paths;
    }
    SP_DEVICE_INTERFACE_DATA data = {};
    data.cbSize = sizeof(data);
    for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &kUnitInterface, i, &data); ++i) {
        DWORD size = 0;
        SetupDiGetDeviceInterfaceDetailA(set, &data, nullptr, 0, &size, nullptr);
        std::vector<std::uint8_t> storage(size);
        auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
        detail->cbSize = sizeof(*detail);
        if (size && SetupDiGetDeviceInterfaceDetailA(set, &data, detail, size, nullptr, nullptr)) {
            paths.emplace_back(detail->DevicePath);
        }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
}

FileHandle OpenUnit(const std::string& path) {
    return FileHandle(CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED, nullptr));
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
    KernelHandle event(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    OVERLAPPED overlapped = {};
    overlapped.hEvent = event.Get();
    SetLastError(0xdeadbeef);
    result.ok = DeviceIoControl(unit, code, inSize ? const_cast<void*>(in) : nullptr, inSize,
                                outSize ? out : nullptr, outSize, &result.bytes, &overlapped);
    if (!result.ok && GetLastError() == ERROR_IO_PENDING) {
        result.ok = GetOverlappedResult(unit, &overlapped, &result.bytes, TRUE);
    }
    result.error = result.ok ? 0 : GetLastError();
    return result;
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

ToolResult RunTool(const std::string& arguments) {
    ToolResult result;
    std::string outPath = TempPath("kso");
    std::string errPath = TempPath("kse");
    {
        FileHandle out = InheritableFile(outPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
        FileHandle err = InheritableFile(errPath.c_str(), GENERIC_WRITE, CREATE_ALWAYS);
        FileHandle in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
        STARTUPINFOA startup = {};
        startup.cb = sizeof(startup);
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdInput = in.Get();
        startup.hStdOutput = out.Get();
        startup.hStdError = err.Get();
        PROCESS_INFORMATION process = {};
        std::string line = std::string("\"") + KESTRELSIM_EXE + "\" " + arguments;
        if (!StartProcess(nullptr, line.data(), TRUE, 0, &startup, &process)) {
            result.errors = "CreateProcess failed: " + std::to_string(GetLastError());
            return result;
        }
        KernelHandle thread(process.hThread);
        KernelHandle child(process.hProcess);
        WaitForSingleObject(child.Get(), INFINITE);
        GetExitCodeProcess(child.Get(), &result.exitCode);
    }
    result.output = ReadWhole(outPath.c_str());
    result.errors = ReadWhole(errPath.c_str());
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    return result;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::string current;
    for (char c : text) {
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else if (c != '\r') {
            current += c;
        }
    }
    if (!current.empty()) {
        lines.push_back(current);
    }
    return lines;
}

void SimulatorTest::SetUp() {
    ASSERT_TRUE(client_.IsConnected())
        << "the driver simulator is not running (error " << GetLastError() << ")";
    ASSERT_TRUE(client_.Reset());
}

void SimulatorTest::TearDown() {
    if (client_.IsConnected()) {
        EXPECT_TRUE(client_.Reset());
    }
}

} // namespace simtest
