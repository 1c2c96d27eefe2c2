// Device-change records laid against an inaccessible page, delivered to the panel's handler in
// its own process: each record ends at the last readable byte before a guard page, so that any
// read past its stated size (dbch_size) faults and ends the test program. The records are those
// that tests/e2e sends in ordinary memory (e2e::ChangeRows: names without a terminator inside the
// stated size, a UTF-16 terminator cut in half, a stated size of 0, other device types, other
// programs' lParams), and a few hundred random ones. A refresh shows in the simulator's log as a
// unit-list request; every record gets TRUE.
#include "ChangeRecords.h"
#include "DeviceChangeRecord.h"
#include "PanelHarness.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

struct PagesRelease {
    void operator()(unsigned char* base) const { VirtualFree(base, 0, MEM_RELEASE); }
};

// Bytes placed so that the last of them is the last readable byte before a guard page (up to
// three bytes before it, to keep the record 4-byte aligned; those are filled with 'X', never a
// terminator).
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<unsigned char>& bytes) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        const SIZE_T page = system.dwPageSize;
        pages_.reset(static_cast<unsigned char*>(
            VirtualAlloc(nullptr, page * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE)));
        if (!pages_) {
            return;
        }
        DWORD old = 0;
        VirtualProtect(pages_.get() + page, page, PAGE_NOACCESS, &old);
        const SIZE_T offset = (page - bytes.size()) & ~static_cast<SIZE_T>(3);
        std::memset(pages_.get(), 'X', page);
        record_ = pages_.get() + offset;
        std::memcpy(record_, bytes.data(), bytes.size());
    }

    LPARAM Address() const { return reinterpret_cast<LPARAM>(record_); }

private:
    std::unique_ptr<unsigned char, PagesRelease> pages_;
    unsigned char* record_ = nullptr;
};

// A small deterministic generator, so that a failing record can be made again.
class Random {
public:
    explicit Random(std::uint32_t seed) : state_(seed) {}
    std::uint32_t Next(std::uint32_t bound) {
        state_ = state_ * 1664525u + 1013904223u;
        return (state_ >> 8) % bound;
    }

private:
    std::uint32_t state_;
};

// A record of a random type, stated size and content; names are mostly letters, with zeros
// sprinkled in (some in the high byte of a UTF-16 character) and often no terminator at all.
std::vector<unsigned char> RandomRecord(Random& random) {
    const DWORD types[] = {DBT_DEVTYP_OEM,
                           DBT_DEVTYP_VOLUME,
                           DBT_DEVTYP_PORT,
                           DBT_DEVTYP_DEVICEINTERFACE,
                           DBT_DEVTYP_DEVICEINTERFACE,
                           DBT_DEVTYP_HANDLE,
                           0x77};
    std::vector<unsigned char> bytes(8 + random.Next(80));
    for (size_t i = 8; i < bytes.size(); ++i) {
        const std::uint32_t roll = random.Next(10);
        bytes[i] = roll == 0                 ? 0
                   : roll == 1 && i % 2 == 1 ? 0
                                             : static_cast<unsigned char>('A' + roll);
    }
    const DWORD type = types[random.Next(std::size(types))];
    std::memcpy(bytes.data() + 4, &type, sizeof(type));
    // The stated size is the record's, or anything from 0 up to it.
    const DWORD size = random.Next(3) == 0
                           ? random.Next(static_cast<std::uint32_t>(bytes.size()) + 1)
                           : static_cast<DWORD>(bytes.size());
    std::memcpy(bytes.data(), &size, sizeof(size));
    return bytes;
}

class HostileDeviceChangeTest : public PanelTestBase {};

TEST_F(HostileDeviceChangeTest, RecordsEndingAtAGuardPageAreReadOnlyWithinTheirSize) {
    ModelPanel().Run([&](ModelPanel& self) {
        for (const e2e::ChangeRow& row : e2e::ChangeRows()) {
            SCOPED_TRACE(row.name);
            GuardedBytes record(row.record ? row.record->Bytes() : std::vector<std::uint8_t>());
            ASSERT_TRUE(sim_.ClearLog());
            const LPARAM data = row.at != 0 ? row.at : row.record ? record.Address() : 0;
            EXPECT_EQ(SendMessageA(self.GetSafeHwnd(), WM_DEVICECHANGE, row.event, data), TRUE);
            EXPECT_EQ(test::CountOf(sim_.Log(), KSIM_GET_UNIT_LIST), row.reopens ? 1 : 0);
            // Whatever came, the panel still shows the one unit.
            EXPECT_EQ(ListTexts(self.RateList()).size(), 4u);
            EXPECT_EQ(SelectedText(self.RateList()), "48.0 kHz");
        }
    });
}

TEST_F(HostileDeviceChangeTest, RandomRecordsAreAnsweredAndNeverReadPastTheirSize) {
    const WPARAM events[] = {DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE, DBT_DEVICEQUERYREMOVE,
                             DBT_DEVICEREMOVEPENDING, DBT_CUSTOMEVENT};
    const int kRecords = 400;
    Random random(20240607);
    // Each record that the separately tested measure of its name (DeviceChangeRecordTest) finds
    // five or more characters in, sent as an arrival or a removal, refreshes the panel once.
    int refreshes = 0;
    int expected = 0;
    RunPanel([&](ModelPanel& self) {
        for (int i = 0; i < kRecords; ++i) {
            const std::vector<unsigned char> bytes = RandomRecord(random);
            const WPARAM event = events[random.Next(std::size(events))];
            GuardedBytes record(bytes);
            ASSERT_EQ(SendMessageA(self.GetSafeHwnd(), WM_DEVICECHANGE, event, record.Address()),
                      TRUE)
                << "record " << i;
            expected += (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE) &&
                                DeviceInterfaceNameLength(bytes.data()) >= 5
                            ? 1
                            : 0;
        }
        refreshes = test::CountOf(sim_.Log(), KSIM_GET_UNIT_LIST);
        EXPECT_EQ(ListTexts(self.RateList()).size(), 4u);
        EXPECT_EQ(SelectedText(self.RateList()), "48.0 kHz");
        EXPECT_EQ(SelectedText(self.BufferList()), "2.5 ms");
    });
    EXPECT_GT(expected, 0) << "no record of this seed names a unit";
    EXPECT_EQ(refreshes, expected) << "refreshes after " << kRecords << " random records";
}

} // namespace
