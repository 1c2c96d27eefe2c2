// The stored clock source as something other than the panel left it: a string, binary data,
// -1 and 5. Only a REG_DWORD counts; anything else reads as "Internal". An index out of range
// is kept as it is, sends the internal clock to every unit, and shows "S/PDIF" with one unit
// (the list's rule for one unit) and no selection with two. The user's next choice stores a
// REG_DWORD over whatever was there.
#include "PanelHarness.h"

#include "DeviceGlobals.h"
#include "KestrelSimProtocol.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Stored {
    const char* name;
    DWORD type;
    std::vector<BYTE> data;
    int index;            // what the panel reads
    const char* oneUnit;  // selected with one unit
    const char* twoUnits; // selected with two
};

std::vector<BYTE> Dword(DWORD value) {
    return {static_cast<BYTE>(value), static_cast<BYTE>(value >> 8), static_cast<BYTE>(value >> 16),
            static_cast<BYTE>(value >> 24)};
}

const Stored kRows[] = {
    {"REG_SZ \"1\"", REG_SZ, {'1', 0}, 0, "Internal", "Internal"},
    {"REG_SZ \"2\" of four bytes", REG_SZ, {'2', 0, 0, 0}, 0, "Internal", "Internal"},
    {"REG_BINARY 01 00 00 00", REG_BINARY, {1, 0, 0, 0}, 0, "Internal", "Internal"},
    {"REG_DWORD -1", REG_DWORD, Dword(0xFFFFFFFF), -1, "S/PDIF", "<none>"},
    {"REG_DWORD 5", REG_DWORD, Dword(5), 5, "S/PDIF", "<none>"},
};

void Store(const Stored& row) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, ClockKeyPath().c_str(), 0, nullptr, 0, KEY_WRITE,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "SPDIFSync", 0, row.type, row.data.data(),
                             static_cast<DWORD>(row.data.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

class StoredClockSourceTest : public PanelTestBase {
protected:
    // The plug byte of each selector frame sent since the last clear, in order.
    std::vector<int> PlugsSent() {
        std::vector<int> plugs;
        for (const sim::LogEntry& entry : sim_.Log()) {
            if (entry.code == KSIM_SEND_REQUEST && entry.input.size() > 15) {
                plugs.push_back(entry.input[15]);
            }
        }
        return plugs;
    }

    void RunWithUnits(const Stored& row, int units) {
        SCOPED_TRACE(std::to_string(units) + " unit(s)");
        ModelPanel panel;
        ASSERT_TRUE(sim_.ClearLog());
        panel.Run([&](ModelPanel& self) {
            EXPECT_EQ(self.m_clockSource, row.index);
            EXPECT_EQ(SelectedText(self.ClockList()), units == 1 ? row.oneUnit : row.twoUnits);
            // Any index but 1 and 2 selects the internal clock on every unit.
            EXPECT_EQ(PlugsSent(), std::vector<int>(static_cast<size_t>(units), 1));
        });
    }
};

TEST_F(StoredClockSourceTest, OddStoredValuesReadSafelyWithOneAndTwoUnits) {
    for (const Stored& row : kRows) {
        SCOPED_TRACE(row.name);
        Store(row);
        RunWithUnits(row, 1);
    }
    ASSERT_EQ(sim_.Plug(1).size(), 1u);
    for (const Stored& row : kRows) {
        SCOPED_TRACE(row.name);
        Store(row);
        RunWithUnits(row, 2);
    }
}

TEST_F(StoredClockSourceTest, NextChoiceStoresADwordOverAnyOtherType) {
    for (const Stored& row : kRows) {
        SCOPED_TRACE(row.name);
        Store(row);
        ModelPanel panel;
        panel.Run([&](ModelPanel& self) { self.Pick(self.ClockList(), 1); });
        EXPECT_EQ(StoredClockSource(), 1);
    }
}

} // namespace
