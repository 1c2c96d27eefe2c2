#pragma once

// What the simulator's tests share beyond tests/support: they speak to the driver's devices
// directly, as the panel does, one request at a time, and run the kestrelsim tool.

#include "ChildProcess.h"
#include "SimulatorTest.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace simtest {

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// Owns a device or event handle. Empty (null) when the open failed: CreateFile's
// INVALID_HANDLE_VALUE is never stored, and the open's last error survives.
using Handle = std::unique_ptr<void, HandleCloser>;

// The driver's control device, opened as the panel opens it (synchronous).
Handle OpenControlDevice();
// The simulator's own control device.
Handle OpenSimulatorDevice();
// The device paths of the present unit interfaces, in enumeration order.
std::vector<std::string> UnitInterfacePaths();
// A unit interface opened for overlapped requests, as the panel opens it.
Handle OpenUnit(const std::string& path);
// The interface of the one unit the defaults have; empty unless exactly one enumerates.
Handle OpenOnlyUnit();

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

// A get request that fills `record` with its whole size.
template <typename Record>
IoResult Get(HANDLE device, std::uint32_t code, Record& record) {
    return Control(device, code, nullptr, 0, &record, sizeof(record));
}
// The unit-list request's 65 words (0xCC where nothing was written); empty when it fails.
std::vector<std::uint32_t> UnitListWords(HANDLE device);

// The 520-byte request block around an AV/C frame.
std::vector<std::uint8_t> RequestBlock(const std::vector<std::uint8_t>& frame,
                                       std::uint32_t leading = 2000);
// The clock selector CONTROL frame that selects `plug`.
std::vector<std::uint8_t> SelectorFrame(std::uint8_t plug);
// Sends a request block to a unit; `response` gets the 516-byte answer (0xCC before).
IoResult Send(HANDLE unit, const std::vector<std::uint8_t>& block,
              std::vector<std::uint8_t>& response);
IoResult Send(HANDLE unit, const std::vector<std::uint8_t>& block);

// The sizes one byte off a request's own, each named: in and out one more, and one less where
// there is a byte to take.
struct WrongSize {
    const char* what;
    DWORD in;
    DWORD out;
};
std::vector<WrongSize> WrongSizes(DWORD in, DWORD out);

// A request code as the tool reads and prints it: "0x80882030".
std::string Hex(std::uint32_t code);

inline test::ProgramOutput RunTool(const std::string& arguments) {
    return test::RunCaptured(KESTRELSIM_EXE, arguments);
}

// A case that sends control requests of its own.
class ControlDeviceTest : public test::SimulatorTest {
protected:
    void SetUp() override {
        ASSERT_NO_FATAL_FAILURE(test::SimulatorTest::SetUp());
        device_ = OpenControlDevice();
        ASSERT_TRUE(device_) << "control device: error " << GetLastError();
    }

    Handle device_;
};

} // namespace simtest
