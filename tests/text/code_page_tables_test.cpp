#include "text/code_page_tables.h"

#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "text/reverse_tables.h"

namespace faultkit {
namespace {

// CRC-32 as zlib computes it (reflected, polynomial 0xEDB88320).
uint32_t Crc32(const std::vector<uint8_t>& bytes) {
    uint32_t crc = 0xFFFFFFFF;
    for (const uint8_t byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
        }
    }
    return ~crc;
}

std::vector<uint8_t> TableBytes(int first_id, int count) {
    std::vector<uint8_t> bytes;
    for (int i = 0; i < count * 256; ++i) {
        const uint16_t entry = CodePageTableOf(first_id)[i];
        bytes.push_back(static_cast<uint8_t>(entry));
        bytes.push_back(static_cast<uint8_t>(entry >> 8));
    }
    return bytes;
}

uint16_t Le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

void PutLe16(std::vector<uint8_t>& out, unsigned word) {
    out.push_back(static_cast<uint8_t>(word));
    out.push_back(static_cast<uint8_t>(word >> 8));
}

// The ReverseRecord of code page id, built from its forward table.
std::vector<uint8_t> BuildRecord(EncodingId id) {
    std::vector<uint8_t> page_index(kPageIndexSize, 0);
    std::vector<uint8_t> groups;
    const uint16_t* table = CodePageTableOf(id);
    for (uint32_t block = 0; block < kPageIndexSize; ++block) {
        uint8_t group[8] = {};
        bool used = false;
        for (int b = 0; b < 256; ++b) {
            if (table[b] != kUnmappedCodePoint && table[b] / 8 == block) {
                group[table[b] % 8] = static_cast<uint8_t>(b);
                used = true;
            }
        }
        if (used) {
            groups.insert(groups.end(), group, group + 8);
            page_index[block] = static_cast<uint8_t>(groups.size() / 8);
        }
    }
    std::vector<uint8_t> stream;
    PutLe16(stream, kRunStreamByteOrder);
    PutLe16(stream, kPageIndexSize / 32);
    for (size_t word = 0; word < kPageIndexSize / 2;) {
        const uint16_t value = Le16(&page_index[2 * word]);
        size_t run = 1;
        while (value == 0 && word + run < kPageIndexSize / 2 && Le16(&page_index[2 * (word + run)]) == 0) {
            ++run;
        }
        if (value != 0) {
            PutLe16(stream, value);
        } else {
            PutLe16(stream, 0);
            PutLe16(stream, static_cast<unsigned>(run));
        }
        word += run;
    }
    PutLe16(stream, 0);
    PutLe16(stream, 0);
    std::vector<uint8_t> record;
    PutLe16(record, static_cast<unsigned>(stream.size()));
    record.insert(record.end(), stream.begin(), stream.end());
    PutLe16(record, static_cast<unsigned>(groups.size() / 8));
    record.insert(record.end(), groups.begin(), groups.end());
    return record;
}

TEST(CodePageTables, ChecksumsOfEveryTableAndOfAll) {
    const uint32_t expected[kCodePageCount] = {
        0xA544D9D3, 0x8951B63F, 0x0E20FDB6, 0xDDD075B8, 0xC4CCCBC4, 0x35E3E7E0,
        0x07795173, 0x5E3C714A, 0xC3B579B0, 0x8CA8EDA9, 0x79237572, 0x67211C24,
        0x2DDF241A, 0x5486C48A, 0x52A784DD, 0xE83F9E07, 0x792BD66E};
    for (int id = 1; id <= kCodePageCount; ++id) {
        EXPECT_EQ(Crc32(TableBytes(id, 1)), expected[id - 1]) << "code page " << id;
    }
    const std::vector<uint8_t> all = TableBytes(1, kCodePageCount);
    EXPECT_EQ(all.size(), 8704u);
    EXPECT_EQ(Crc32(all), 0x027BA252u);
}

TEST(CodePageTables, NoTwoBytesShareACodePoint) {
    for (int id = 1; id <= kCodePageCount; ++id) {
        std::set<uint16_t> seen;
        for (int b = 0; b < 256; ++b) {
            const uint16_t cp = CodePageTableOf(id)[b];
            EXPECT_TRUE(cp == kUnmappedCodePoint || seen.insert(cp).second) << id << " " << b;
        }
    }
}

TEST(ReverseRecords, ChecksumAndTheLengthsOfEveryRecord) {
    EXPECT_EQ(Crc32(std::vector<uint8_t>(ReverseRecords, ReverseRecords + kReverseRecordsSize)),
              0x554CDBB8u);
    const uint16_t lengths[kCodePageCount][2] = {
        {28, 16}, {44, 28}, {70, 43}, {68, 36}, {68, 45}, {56, 31}, {50, 27}, {62, 32}, {68, 28},
        {62, 31}, {68, 42}, {44, 28}, {66, 45}, {88, 40}, {60, 32}, {78, 41}, {90, 41}};
    const uint8_t* record = ReverseRecords;
    for (int id = 1; id <= kCodePageCount; ++id) {
        const uint16_t l = Le16(record);
        EXPECT_EQ(l, lengths[id - 1][0]) << id;
        EXPECT_EQ(Le16(record + 2 + l), lengths[id - 1][1]) << id;
        EXPECT_EQ(Le16(record + 2), kRunStreamByteOrder);
        EXPECT_EQ(Le16(record + 4), 256);
        EXPECT_EQ(Le16(record + l - 2), 0);  // the end pair closes the stream
        EXPECT_EQ(Le16(record + l), 0);
        record = ReverseRecordSkip(record, 1);
    }
    EXPECT_EQ(record, ReverseRecords + kReverseRecordsSize);
}

TEST(ReverseRecords, FollowByteForByteFromTheForwardTables) {
    std::vector<uint8_t> rebuilt;
    for (int id = 1; id <= kCodePageCount; ++id) {
        const std::vector<uint8_t> record = BuildRecord(id);
        rebuilt.insert(rebuilt.end(), record.begin(), record.end());
    }
    ASSERT_EQ(rebuilt.size(), kReverseRecordsSize);
    EXPECT_TRUE(std::equal(rebuilt.begin(), rebuilt.end(), ReverseRecords));
}

}  // namespace
}  // namespace faultkit
