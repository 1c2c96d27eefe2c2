// Device-change records laid against an inaccessible page, delivered to the panel's handler in
// its own process: each record ends at the last readable byte before a guard page, so that any
// read past its stated size (dbch_size) faults and ends the test program. tests/e2e checks which
// well-formed records refresh the panel; here the records are the ones that tempt a reader to
// run on: names without a terminator inside the stated size (the size ends them, so five
// characters or more still refresh), a UTF-16 terminator cut in half, a stated size of 0, other
// device types with long payloads, and a few hundred random records.
// A refresh shows in the simulator's log as a unit-list request; every record gets TRUE.
#include "PanelHarness.h"

#include <dbt.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Bytes placed so that the last of them is the last readable byte before a guard page (up to
// three bytes before it, to keep the record 4-byte aligned; those are filled with 'X', never a
// terminator).
class GuardedBytes {
public:
    explicit GuardedBytes(const std::vector<unsigned char>& bytes) {
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        const SIZE_T page = system.dwPageSize;
        base_ = static_cast<unsigned char*>(
            VirtualAlloc(nullptr, page * 2, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
        if (base_ == nullptr) {
            return;
        }
        DWORD old = 0;
        VirtualProtect(base_ + page, page, PAGE_NOACCESS, &old);
        const SIZE_T offset = (page - bytes.size()) & ~static_cast<SIZE_T>(3);
        std::memset(base_, 'X', page);
        record_ = base_ + offset;
        std::memcpy(record_, bytes.data(), bytes.size());
    }
    ~GuardedBytes() {
        if (base_ != nullptr) {
            VirtualFree(base_, 0, MEM_RELEASE);
        }
    }
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    LPARAM Address() const { return reinterpret_cast<LPARAM>(record_); }

private:
    unsigned char* base_ = nullptr;
    unsigned char* record_ = nullptr;
};

void PutDword(std::vector<unsigned char>& bytes, size_t offset, DWORD value) {
    if (bytes.size() < offset + 4) {
        bytes.resize(offset + 4);
    }
    std::memcpy(bytes.data() + offset, &value, 4);
}

const size_t kNameOffset = offsetof(DEV_BROADCAST_DEVICEINTERFACE_A, dbcc_name);

// A device-interface record of the unit class carrying `name` as given (terminator included
// or not), with dbch_size `statedSize`, or the record's length when it is 0.
std::vector<unsigned char> InterfaceRecord(const std::vector<unsigned char>& name,
                                           DWORD statedSize = 0) {
    std::vector<unsigned char> bytes(kNameOffset + name.size());
    PutDword(bytes, 4, DBT_DEVTYP_DEVICEINTERFACE);
    std::memcpy(bytes.data() + 12, &sim::kUnitInterface, sizeof(GUID));
    std::copy(name.begin(), name.end(), bytes.begin() + kNameOffset);
    PutDword(bytes, 0, statedSize != 0 ? statedSize : static_cast<DWORD>(bytes.size()));
    return bytes;
}

std::vector<unsigned char> Ansi(const std::string& text, bool terminated = true) {
    std::vector<unsigned char> bytes(text.begin(), text.end());
    if (terminated) {
        bytes.push_back(0);
    }
    return bytes;
}

std::vector<unsigned char> Wide(const std::string& text, bool terminated = true) {
    std::vector<unsigned char> bytes;
    for (char c : text) {
        bytes.push_back(static_cast<unsigned char>(c));
        bytes.push_back(0);
    }
    if (terminated) {
        bytes.push_back(0);
        bytes.push_back(0);
    }
    return bytes;
}

// A record of another device type: its header, then `rest`.
std::vector<unsigned char> OtherRecord(DWORD type, const std::vector<unsigned char>& rest) {
    std::vector<unsigned char> bytes(12 + rest.size());
    PutDword(bytes, 4, type);
    std::copy(rest.begin(), rest.end(), bytes.begin() + 12);
    PutDword(bytes, 0, static_cast<DWORD>(bytes.size()));
    return bytes;
}

const std::string kWinePath = "\\\\?\\KESTRELBUS#UNIT#101#{995949f0-6d7f-4c14-9f0a-2f26e3255c2b}";

struct Row {
    const char* name;
    WPARAM event;
    std::vector<unsigned char> record;
    bool refreshes;
};

std::vector<Row> Rows() {
    std::vector<unsigned char> headerOnly(12);
    PutDword(headerOnly, 0, 12);
    PutDword(headerOnly, 4, DBT_DEVTYP_DEVICEINTERFACE);
    std::vector<unsigned char> zeroSize = InterfaceRecord(Ansi("ABCDEFGH"));
    PutDword(zeroSize, 0, 0);
    const std::vector<unsigned char> sixChars = Wide("ABCDEF");
    // The terminator's first byte is inside dbch_size, its second just outside.
    std::vector<unsigned char> cutTerminator =
        InterfaceRecord(Wide("ABCDEF"), static_cast<DWORD>(kNameOffset + sixChars.size() - 1));
    return {
        {"header only, interface type", DBT_DEVICEARRIVAL, headerOnly, false},
        {"interface record with dbch_size 0", DBT_DEVICEARRIVAL, zeroSize, false},
        {"interface record without name bytes", DBT_DEVICEARRIVAL, InterfaceRecord({}), false},
        {"port record with a long unterminated name", DBT_DEVICEREMOVECOMPLETE,
         OtherRecord(DBT_DEVTYP_PORT, Ansi("COM1234567", false)), false},
        {"OEM record", DBT_DEVICEARRIVAL,
         OtherRecord(DBT_DEVTYP_OEM, std::vector<unsigned char>(8, 'Y')), false},
        {"empty ANSI name", DBT_DEVICEARRIVAL, InterfaceRecord(Ansi("")), false},
        {"ANSI name of 4 without terminator in dbch_size", DBT_DEVICEARRIVAL,
         InterfaceRecord(Ansi("ABCD", false)), false},
        {"UTF-16 name of 4 without terminator in dbch_size", DBT_DEVICEREMOVECOMPLETE,
         InterfaceRecord(Wide("ABCD", false)), false},
        {"UTF-16 name of 4 and a half characters", DBT_DEVICEARRIVAL,
         InterfaceRecord(Wide("ABCDE", false), static_cast<DWORD>(kNameOffset + 9)), false},
        {"ANSI name of 10 without terminator in dbch_size", DBT_DEVICEARRIVAL,
         InterfaceRecord(Ansi("ABCDEFGHIJ", false)), true},
        {"UTF-16 name of 10 without terminator in dbch_size", DBT_DEVICEREMOVECOMPLETE,
         InterfaceRecord(Wide("ABCDEFGHIJ", false)), true},
        {"UTF-16 terminator cut by dbch_size", DBT_DEVICEARRIVAL, cutTerminator, true},
        {"custom event, long name", DBT_CUSTOMEVENT, InterfaceRecord(Wide(kWinePath)), false},
        // Controls: the same placement with a good name refreshes.
        {"ANSI name of 5 characters at the page end", DBT_DEVICEARRIVAL,
         InterfaceRecord(Ansi("\\\\?\\K")), true},
        {"UTF-16 path at the page end, removal", DBT_DEVICEREMOVECOMPLETE,
         InterfaceRecord(Wide(kWinePath)), true},
    };
}

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
    PutDword(bytes, 4, types[random.Next(std::size(types))]);
    // The stated size is the record's, or anything from 0 up to it.
    const DWORD size = random.Next(3) == 0
                           ? random.Next(static_cast<std::uint32_t>(bytes.size()) + 1)
                           : static_cast<DWORD>(bytes.size());
    PutDword(bytes, 0, size);
    return bytes;
}

class HostileDeviceChangeTest : public PanelTestBase {};

TEST_F(HostileDeviceChangeTest, RecordsEndingAtAGuardPageAreReadOnlyWithinTheirSize) {
    ModelPanel().Run([&](ModelPanel& self) {
        for (const Row& row : Rows()) {
            SCOPED_TRACE(row.name);
            GuardedBytes record(row.record);
            ASSERT_TRUE(sim_.ClearLog());
            EXPECT_EQ(
                SendMessageA(self.GetSafeHwnd(), WM_DEVICECHANGE, row.event, record.Address()),
                TRUE);
            EXPECT_EQ(test::CountOf(sim_.Log(), KSIM_GET_UNIT_LIST), row.refreshes ? 1 : 0);
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
    int refreshes = 0;
    int interfaceEvents = 0;
    RunPanel([&](ModelPanel& self) {
        for (int i = 0; i < kRecords; ++i) {
            const std::vector<unsigned char> bytes = RandomRecord(random);
            const WPARAM event = events[random.Next(std::size(events))];
            GuardedBytes record(bytes);
            ASSERT_EQ(SendMessageA(self.GetSafeHwnd(), WM_DEVICECHANGE, event, record.Address()),
                      TRUE)
                << "record " << i;
            DWORD type = 0;
            std::memcpy(&type, bytes.data() + 4, sizeof(type));
            interfaceEvents +=
                type == DBT_DEVTYP_DEVICEINTERFACE &&
                        (event == DBT_DEVICEARRIVAL || event == DBT_DEVICEREMOVECOMPLETE)
                    ? 1
                    : 0;
        }
        refreshes = test::CountOf(sim_.Log(), KSIM_GET_UNIT_LIST);
        EXPECT_EQ(ListTexts(self.RateList()).size(), 4u);
        EXPECT_EQ(SelectedText(self.RateList()), "48.0 kHz");
        EXPECT_EQ(SelectedText(self.BufferList()), "2.5 ms");
    });
    EXPECT_LE(refreshes, interfaceEvents) << "refreshes after " << kRecords << " random records";
}

} // namespace
