#pragma once

// Shared pieces of the simulator's tests: a fixture that starts and ends every test with the
// simulator at its defaults, owners for the handles the tests open, and a runner for the
// kestrelsim tool.

#include "KestrelSimProtocol.h"
#include "SimulatorClient.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace simtest {

// Closes a handle from CreateFile (INVALID_HANDLE_VALUE when empty).
class FileHandle {
public:
    explicit FileHandle(HANDLE handle = INVALID_HANDLE_VALUE) : handle_(handle) {}
    ~FileHandle() { Reset(); }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;
    FileHandle(FileHandle&& other) noexcept : handle_(other.Release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            Reset();
            handle_ = other.Release();
        }
        return *this;
    }

    HANDLE Get() const { return handle_; }
    bool IsValid() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Release() {
        HANDLE handle = handle_;
        handle_ = INVALID_HANDLE_VALUE;
        return handle;
    }
    void Reset() {
        if (IsValid()) {
            CloseHandle(handle_);
        }
        handle_ = INVALID_HANDLE_VALUE;
    }

private:
    HANDLE handle_;
};

// Closes an event or other NULL-when-empty handle.
class KernelHandle {
public:
    explicit KernelHandle(HANDLE handle = nullptr) : handle_(handle) {}
    ~KernelHandle() {
        if (handle_) {
            CloseHandle(handle_);
        }
    }
    KernelHandle(const KernelHandle&) = delete;
    KernelHandle& operator=(const KernelHandle&) = delete;
    HANDLE Get() const { return handle_; }

private:
    HANDLE handle_;
};

// The driver's control device, opened as the panel opens it (synchronous).
FileHandle OpenControlDevice();
// The device paths of the present unit interfaces, in enumeration order.
std::vector<std::string> UnitInterfacePaths();
// A unit interface opened for overlapped requests, as the panel opens it.
FileHandle OpenUnit(const std::string& path);

struct IoResult {
    BOOL ok = FALSE;
    DWORD error = 0; // GetLastError after a failure, 0 after success
    DWORD bytes = 0;
};
// One synchronous DeviceIoControl; buffers are null when their size is 0.
IoResult Control(HANDLE device, std::uint32_t code, const void* in, DWORD inSize, void* out,
                 DWORD outSize);
// One request on an overlapped handle, waiting for completion if the driver pends it.
IoResult UnitRequest(HANDLE unit, std::uint32_t code, const void* in, DWORD inSize, void* out,
                     DWORD outSize);

// The 520-byte request block around an AV/C frame.
std::vector<std::uint8_t> RequestBlock(const std::vector<std::uint8_t>& frame,
                                       std::uint32_t leading = 2000);
// The clock selector CONTROL frame that selects `plug`.
std::vector<std::uint8_t> SelectorFrame(std::uint8_t plug);

struct ToolResult {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output; // stdout
    std::string errors; // stderr
};
// Runs kestrelsim.exe with the given argument line and waits for it.
ToolResult RunTool(const std::string& arguments);
std::vector<std::string> Lines(const std::string& text);

// Every test starts from and leaves the simulator's defaults.
class SimulatorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    sim::SimulatorClient client_;
};

} // namespace simtest
