// Transfer images byte for byte, and what reading one makes of UUIDs and
// flags. Size queries, buffer limits and folding into a thread's errors are
// tested through the exports (transfer_exports_test.cpp).
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "components/uuid.h"
#include "support/context_test_util.h"
#include "support/test_uuids.h"

namespace faultkit::test {
namespace {

const std::vector<uint8_t> kExampleUuidBytes = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,
                                                0xAA, 0x99, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00};
const std::vector<uint8_t> kOtherUuidBytes = {1,  2, 3,  4,  5,  6,  7,  8,
                                              10, 9, 11, 12, 13, 14, 15, 16};

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Two errors with texts and a context; then flag bits, which travel, and
// facility bits, which do not: an unknown facility gives the null UUID.
TEST(WriteImage, ByteForByte) {
    ListPtr context = Build("%i", 7);
    const ErrorSlot slots[2] = {Slot(FacilityOf(kOtherUuid) | 1, "ab", "cd", 1),
                                Slot(FacilityOf(kExampleUuid) | 2, "ef", "gh", 2, context.get())};
    EXPECT_EQ(Image(slots, 2),
              Concat({{0, 0, 0, 90, 0, 0, 0, 2, 0, 0, 0, 1},
                      kOtherUuidBytes,
                      {0, 0, 0, 1, 0x03, 0, 0, 0, 2},
                      kExampleUuidBytes,
                      {0, 0, 0, 2, 0x07},
                      {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 7},
                      {'a', 'b', 0, 'c', 'd', 0, 'e', 'f', 0, 'g', 'h', 0, 0, 0, 0, 90}}));
    EXPECT_EQ(Items(context.get())[0].type, CtxInt32);  // the slot's list is untouched

    const ErrorSlot slot = Slot(0xF0000000u | 0x0FFF0000u | 9, nullptr, "z", 0);
    EXPECT_EQ(Image(&slot, 1), Concat({{0, 0, 0, 39, 0, 0, 0, 1, 0xF0, 0, 0, 9},
                                       std::vector<uint8_t>(16, 0),
                                       {0, 0, 0, 0, 0x01, 'z', 0, 0, 0, 0, 39}}));
}

// A list whose last record claims nearly 4 GiB: the image would not fit
// its 32-bit length field. Only the record's header is read.
TEST(WriteImage, ImageBeyondThirtyTwoBitLengthsIsRefused) {
    std::vector<uint8_t> huge(kContextHeaderSize);
    StoreHost<uint16_t>(&huge[kContextTypeOffset], CtxMemory);
    StoreHost<uint32_t>(&huge[kContextSizeOffset], 0xFFFFFFF0u);
    const ErrorSlot slot =
        Slot(0x10001, nullptr, nullptr, 0, reinterpret_cast<_qel_error_context*>(huge.data()));
    std::vector<uint8_t> buffer(64, 0xEE);
    EXPECT_EQ(WriteImage(&slot, 1, nullptr, 0), 0u);
    EXPECT_EQ(WriteImage(&slot, 1, buffer.data(), buffer.size()), 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(64, 0xEE));
}

// Unknown UUIDs are registered, the fixed ones get no facility; flag bits
// beyond the four known are ignored and a component name is accepted.
TEST(ReadImage, UuidsFlagsAndComponentName) {
    const _qel_bos_uuid fresh = TestUuid(0x3301);
    ASSERT_FALSE(IsRegistered(fresh));
    const std::vector<uint8_t> image = ImageBytes()
                                           .Raw(RecordBytes(0x90000003u, fresh, 0, 0))
                                           .Raw(RecordBytes(5, kNullUuid, 0, 0))
                                           .Raw(RecordBytes(6, kLibraryUuid, 0, 0))
                                           .Raw(RecordBytes(7, kExampleUuid, 3, 0xFB))
                                           .Text("component")
                                           .Text("ab")
                                           .Text("")
                                           .Finish(4);
    ErrorSlot* list = nullptr;
    int32_t n = 0;
    ASSERT_TRUE(ReadImage(nullptr, 0, image.data(), &list, &n));
    ASSERT_EQ(n, 4);
    EXPECT_NE(FacilityOf(fresh), 0u);
    EXPECT_EQ(list[0].code, 0x90000003u | FacilityOf(fresh));
    EXPECT_EQ(list[1].code, 5u);
    EXPECT_EQ(list[2].code, 6u);
    EXPECT_EQ(list[3].code, FacilityOf(kExampleUuid) | 7);
    EXPECT_EQ(list[3].aux_int, 3);
    EXPECT_EQ(std::string(list[3].strings), "component");
    EXPECT_STREQ(list[3].aux_text1, "ab");
    EXPECT_STREQ(list[3].aux_text2, "");
    EXPECT_EQ(list[3].context, nullptr);
    // Exported again beside a slot with a facility, they carry NullUuid.
    const std::vector<uint8_t> again = Image(list, 3);
    EXPECT_EQ(Bytes(&again[8 + 4], 16), Bytes(&image[8 + 4], 16));
    EXPECT_EQ(Bytes(&again[33 + 4], 16), std::vector<uint8_t>(16, 0));
    EXPECT_EQ(Bytes(&again[58 + 4], 16), std::vector<uint8_t>(16, 0));
    DiscardEntries(list, n);
}

}  // namespace
}  // namespace faultkit::test
