// DeviceInterfaceNameLength: the name of a WM_DEVICECHANGE record, measured only within the size
// the record states, for device-interface records only, in the ANSI form Windows sends and the
// UTF-16 form Wine 8 sends.
//
// Besides no record at all, the rows:
//  1-3. records too short for any name: a bare header, a header with the interface fields but
//       no name byte, a stated size smaller than the header;
//  4-5. records of other device types (a volume, a port named "COM12"), which reach every
//       top-level window without registration;
//  6-11. names of 4 and 5 characters in both forms, and a full interface path in both forms;
//  12-17. the terminator one byte (ANSI) or half a character (UTF-16) outside the stated size
//       (the size then ends the name), just inside it, and with a spare byte after it;
//  18. an empty name.
// Each record has zero bytes after its stated end, so that a reader going past dbch_size finds
// a terminator there and gives itself away by its result.
// Not covered: a record whose stated size runs past the memory it lies in. Nothing can tell it
// from a good one; the system writes the size it allocated.
#include "ChangeRecords.h"

#include "DeviceChangeRecord.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace e2e {
namespace {

struct Row {
    const char* name;
    ChangeRecord record;
    size_t length;
};

std::vector<std::uint8_t> Bytes(const std::string& text) {
    return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<Row> Rows() {
    const DWORD ansiFive = kNameOffset + 6;
    const DWORD wideFive = kNameOffset + 12;
    const std::string path = UnitInterfacePath();
    return {
        {"header only", ChangeRecord::Raw(DBT_DEVTYP_DEVICEINTERFACE, {}), 0},
        {"interface fields, no name byte", ChangeRecord::Ansi("abcde").StateSize(kNameOffset), 0},
        {"stated size below the header", ChangeRecord::Ansi("abcde").StateSize(8), 0},
        {"volume", ChangeRecord::Raw(DBT_DEVTYP_VOLUME, std::vector<std::uint8_t>(8, 0x41)), 0},
        {"port COM12", ChangeRecord::Raw(DBT_DEVTYP_PORT, Bytes(std::string("COM12") + '\0')), 0},
        {"ANSI, 4 characters", ChangeRecord::Ansi("abcd"), 4},
        {"ANSI, 5 characters", ChangeRecord::Ansi("abcde"), 5},
        {"UTF-16, 4 characters", ChangeRecord::Wide("abcd"), 4},
        {"UTF-16, 5 characters", ChangeRecord::Wide("abcde"), 5},
        {"ANSI interface path", ChangeRecord::Ansi(path), path.size()},
        {"UTF-16 interface path", ChangeRecord::Wide(path), path.size()},
        {"ANSI, terminator outside", ChangeRecord::Ansi("abcde").StateSize(ansiFive - 1), 5},
        {"ANSI, terminator last", ChangeRecord::Ansi("abcde").StateSize(ansiFive), 5},
        {"ANSI, a byte after the terminator", ChangeRecord::Ansi("abcde").StateSize(ansiFive + 1),
         5},
        {"UTF-16, half the terminator outside", ChangeRecord::Wide("abcde").StateSize(wideFive - 1),
         5},
        {"UTF-16, cut inside the fifth character",
         ChangeRecord::Wide("abcde").StateSize(wideFive - 3), 4},
        {"ANSI path cut after 12 bytes", ChangeRecord::Ansi(path).StateSize(kNameOffset + 12), 12},
        {"UTF-16, terminator last", ChangeRecord::Wide("abcde").StateSize(wideFive), 5},
        {"UTF-16, a byte after the terminator", ChangeRecord::Wide("abcde").StateSize(wideFive + 1),
         5},
        {"empty name", ChangeRecord::Ansi(""), 0},
    };
}

TEST(DeviceChangeRecord, NoRecordHasNoName) {
    EXPECT_EQ(DeviceInterfaceNameLength(nullptr), 0u);
}

TEST(DeviceChangeRecord, NamesAreMeasuredWithinTheStatedSizeInBothForms) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(DeviceInterfaceNameLength(row.record.Data()), row.length)
            << "stated size " << row.record.StatedSize();
    }
}

} // namespace
} // namespace e2e
