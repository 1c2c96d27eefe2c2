// The stored clock source as something other than the panel left it: a string, binary data,
// -1 and 5. Only a REG_DWORD counts; anything else reads as "Internal". An index out of range
// is kept as it is, sends the internal clock to every unit, and shows "S/PDIF" with one unit
// (the list's rule for one unit) and no selection with two. The user's next choice stores a
// REG_DWORD over whatever was there.
#include "PanelHarness.h"

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

const Stored kRows[] = {
    {"REG_SZ \"1\"", REG_SZ, {'1', 0}, 0, "Internal", "Internal"},
    {"REG_SZ \"2\" of four bytes", REG_SZ, {'2', 0, 0, 0}, 0, "Internal", "Internal"},
    {"REG_BINARY 01 00 00 00", REG_BINARY, {1, 0, 0, 0}, 0, "Internal", "Internal"},
    {"REG_DWORD -1", REG_DWORD, test::BytesOf(DWORD{0xFFFFFFFF}), -1, "S/PDIF", "<none>"},
    {"REG_DWORD 5", REG_DWORD, test::BytesOf(DWORD{5}), 5, "S/PDIF", "<none>"},
};

class StoredClockSourceTest : public PanelTestBase {
protected:
    void Store(const Stored& row) {
        ASSERT_TRUE(panel::StoreClockSourceAs(row.type, row.data.data(),
                                              static_cast<DWORD>(row.data.size()), app_));
    }

    void RunWithUnits(const Stored& row, int units) {
        SCOPED_TRACE(std::to_string(units) + " unit(s)");
        const std::vector<std::uint32_t> ids = sim_.UnitIds();
        ASSERT_EQ(ids.size(), static_cast<size_t>(units));
        // Any index but 1 and 2 selects the internal clock on every unit.
        std::vector<test::Request> frames;
        for (std::uint32_t unit : ids) {
            frames.push_back(test::FrameTo(unit, 1));
        }
        RunPanel([&](ModelPanel& self) {
            EXPECT_EQ(self.m_clockSource, row.index);
            EXPECT_EQ(SelectedText(self.ClockList()), units == 1 ? row.oneUnit : row.twoUnits);
            EXPECT_TRUE(test::LogIs(sim_.Log(), RefreshSending(frames)));
        });
    }
};

TEST_F(StoredClockSourceTest, OddStoredValuesReadSafelyWithOneAndTwoUnits) {
    for (int units : {1, 2}) {
        PlugUpTo(units);
        for (const Stored& row : kRows) {
            SCOPED_TRACE(row.name);
            Store(row);
            RunWithUnits(row, units);
        }
    }
}

TEST_F(StoredClockSourceTest, NextChoiceStoresADwordOverAnyOtherType) {
    for (const Stored& row : kRows) {
        SCOPED_TRACE(row.name);
        Store(row);
        ModelPanel().Run([&](ModelPanel& self) { self.Pick(self.ClockList(), 1); });
        EXPECT_EQ(panel::StoredClockSource(app_), 1);
    }
}

} // namespace
