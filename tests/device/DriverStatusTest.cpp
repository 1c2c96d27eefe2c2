#include "DriverStatus.h"

#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <string>

namespace {

struct ExpectedEntry {
    DriverStatus code;
    const char* message;
};

// Written out independently of the table, in the driver's documented order.
const ExpectedEntry kExpected[] = {
    {0x00000000, "No error."},
    {0xE0000001, "Operation failed."},
    {0xE0000011, "API Version does not match."},
    {0xE0000030, "Operation rejected."},
    {0xE0000100, "Out of memory."},
    {0xE0000110, "Packet pool empty."},
    {0xE0000300, "Invalid parameter."},
    {0xE0000304, "Requested byte count doesn\xB4t match buffer size."},
    {0xE0000305, "Size of buffer is invalid."},
    {0xE0000320, "Output buffer too small."},
    {0xE0000340, "Handle already used by an object of this type."},
    {0xE0000342, "Handle not associated with required object."},
    {0xE0000350, "Bus reset detected."},
    {0xE0000351, "Invalid reset generation count."},
    {0xE0000401, "Invalid local host info type."},
    {0xE0000403, "Unsupported type of lock operation."},
    {0xE0000404, "Unsupported speed selected."},
    {0xE0008001, "Device not found."},
    {0xE0008002, "Device not open."},
    {0xE0008003, "Request timeout interval has expired."},
    {0xE0008008, "Invalid parameter in function call."},
    {0xE0008010, "No such device instance."},
    {0xE0008020, "Memory allocation failed."},
};

TEST(DriverStatusText, HoldsTheTwentyThreeCodesInOrderWithTheirExactTexts) {
    ASSERT_EQ(std::size(DriverStatusText), 23u);
    ASSERT_EQ(std::size(kExpected), std::size(DriverStatusText));
    for (size_t i = 0; i < std::size(kExpected); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_EQ(DriverStatusText[i].code, kExpected[i].code);
        EXPECT_STREQ(DriverStatusText[i].message, kExpected[i].message);
    }
}

TEST(DriverStatusText, IsAscendingWithSuccessFirstAndDriverBitsOnEveryFailure) {
    EXPECT_EQ(DriverStatusText[0].code, Status::Success);
    for (size_t i = 1; i < std::size(DriverStatusText); ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        EXPECT_GT(DriverStatusText[i].code, DriverStatusText[i - 1].code);
        EXPECT_EQ(DriverStatusText[i].code & 0xE0000000u, 0xE0000000u);
    }
}

TEST(DriverStatusText, ByteCountMessageUsesTheSingleByteAcuteAccent) {
    const char* text = DriverStatusText[7].message;
    ASSERT_EQ(DriverStatusText[7].code, Status::ByteCountMismatch);
    const char* accent = std::strchr(text, '\xB4');
    ASSERT_NE(accent, nullptr);
    EXPECT_EQ(std::string(text, accent), "Requested byte count doesn");
    EXPECT_EQ(std::string(accent + 1), "t match buffer size.");
    EXPECT_EQ(std::strchr(text, '\''), nullptr);
    EXPECT_EQ(std::strlen(text), 47u);
}

TEST(DriverStatusCodes, NamedConstantsMatchTheirValues) {
    EXPECT_EQ(Status::OperationFailed, 0xE0000001u);
    EXPECT_EQ(Status::OperationRejected, 0xE0000030u);
    EXPECT_EQ(Status::OutOfMemory, 0xE0000100u);
    EXPECT_EQ(Status::DeviceNotFound, 0xE0008001u);
    EXPECT_EQ(Status::DeviceNotOpen, 0xE0008002u);
    EXPECT_EQ(Status::InvalidFunctionParameter, 0xE0008008u);
    EXPECT_EQ(Status::NoSuchDeviceInstance, 0xE0008010u);
    EXPECT_EQ(Status::MemoryAllocationFailed, 0xE0008020u);
    static_assert(sizeof(DriverStatus) == 4);
}

} // namespace
