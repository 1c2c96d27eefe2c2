#pragma once

#include <cstdint>

// Records exchanged with the driver's control device. Words are 32-bit little-endian, laid out
// exactly as the driver reads and writes them. The panel keeps the rate and the buffer size
// signed and uses -1 there for "unknown"; a set request never carries -1.

inline constexpr std::uint32_t MaxUnitListEntries = 64;

// Output of the unit-list request: only the first `count` identifiers are meaningful, and the
// driver may report a count above the 64 places the record has.
struct UnitList {
    std::uint32_t count = 0;
    std::uint32_t ids[MaxUnitListEntries] = {};
};

// One unit's information, laid out by the driver. Nothing here reads it: a record is kept only
// to count the units that answered.
struct UnitInfo {
    std::uint8_t bytes[424];
};

struct SampleRateRecord {
    std::uint32_t driverWord = 0; // sent back on a write as last read
    std::int32_t rate = 0;        // Hz
};

struct CpuLevelRecord {
    std::uint32_t driverWords[3] = {};
    std::int32_t level = 0; // 1000 "High", 2000 "Medium", 4000 "Low"
};

struct BufferSizeRecord {
    std::int32_t microseconds = 0;
    std::uint32_t driverWords[3] = {};
};

static_assert(sizeof(UnitList) == 260);
static_assert(sizeof(UnitInfo) == 424);
static_assert(sizeof(SampleRateRecord) == 8);
static_assert(sizeof(CpuLevelRecord) == 16);
static_assert(sizeof(BufferSizeRecord) == 16);
