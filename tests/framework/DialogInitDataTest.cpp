// Parsing of initial control data: unaligned records, terminator, and records cut short at
// every limit.
#include "DialogInitData.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

void AppendRecord(std::vector<BYTE>& out, WORD id, WORD message, const char* text, DWORD length) {
    BYTE header[8];
    std::memcpy(header, &id, 2);
    std::memcpy(header + 2, &message, 2);
    std::memcpy(header + 4, &length, 4);
    out.insert(out.end(), header, header + 8);
    out.insert(out.end(), text, text + length);
}

std::vector<BYTE> TwoRecords() {
    std::vector<BYTE> data;
    AppendRecord(data, 1000, 0x0403, "44100 Hz", 9); // odd length: the next record is unaligned
    AppendRecord(data, 1003, 0x0403, "1.5 ms", 7);
    data.push_back(0);
    data.push_back(0);
    return data;
}

TEST(DialogInitData, ReadsUnalignedRecordsUpToTheTerminator) {
    std::vector<BYTE> data = TwoRecords();
    std::vector<DialogInitData::Record> records;
    ASSERT_TRUE(DialogInitData::Parse(data.data(), data.size(), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].controlId, 1000);
    EXPECT_EQ(records[0].message, 0x0403);
    EXPECT_EQ(records[0].text, "44100 Hz");
    EXPECT_EQ(records[1].controlId, 1003);
    EXPECT_EQ(records[1].text, "1.5 ms");
}

TEST(DialogInitData, StopsAtTheFirstRecordThatDoesNotFit) {
    const std::vector<BYTE> full = TwoRecords();
    const size_t secondStart = 8 + 9;
    const size_t secondEnd = secondStart + 8 + 7;
    struct Row {
        const char* name;
        size_t size;
        bool ok;
        size_t records;
    };
    const Row rows[] = {
        {"nothing at all", 0, false, 0},
        {"one byte", 1, false, 0},
        {"second header one byte short", secondStart + 7, false, 1},
        {"second text one byte short", secondEnd - 1, false, 1},
        {"second record exactly, no terminator", secondEnd, false, 2},
        {"terminator cut in half", secondEnd + 1, false, 2},
        {"whole", secondEnd + 2, true, 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::vector<DialogInitData::Record> records;
        EXPECT_EQ(DialogInitData::Parse(full.data(), row.size, records), row.ok);
        EXPECT_EQ(records.size(), row.records);
    }
}

TEST(DialogInitData, TextWithoutTerminatorEndsAtItsLength) {
    std::vector<BYTE> data;
    AppendRecord(data, 7, 0x0403, "abcdef", 3);
    AppendRecord(data, 8, 0x0403, "", 0);
    data.push_back(0);
    data.push_back(0);
    std::vector<DialogInitData::Record> records;
    ASSERT_TRUE(DialogInitData::Parse(data.data(), data.size(), records));
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].text, "abc");
    EXPECT_EQ(records[1].text, "");
}

} // namespace
