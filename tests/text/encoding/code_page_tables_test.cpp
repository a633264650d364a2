#include "text/encoding/code_page_tables.h"

#include <gtest/gtest.h>

#include <vector>

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

}  // namespace
}  // namespace faultkit
