// Images from a broken or hostile sender: every one is refused before
// anything is allocated or registered, and nothing outside the image is read.
// Arbitrary bytes are the import_image fuzz target's; its corpus is replayed
// by the fuzz_replay_import_image test.
#include <gtest/gtest.h>

#include <memory>

#include "components/uuid.h"
#include "support/context_test_util.h"
#include "support/test_uuids.h"

namespace faultkit::test {
namespace {

// Reads `image` from a heap block of exactly its size, so that AddressSanitizer
// sees any read beyond it.
bool Accepts(const std::vector<uint8_t>& image, uint64_t available) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[image.size()]);
    std::copy(image.begin(), image.end(), exact.get());
    ErrorSlot existing = Slot(0x10005, "mine");
    ErrorSlot* list = nullptr;
    int32_t n = -1;
    const bool accepted = ReadImageWithin(&existing, 1, exact.get(), available, &list, &n);
    if (accepted && list != nullptr) {
        EXPECT_TRUE(SameSlot(list[n - 1], existing));
        DiscardEntries(list, n - 1);
    } else if (!accepted) {
        EXPECT_EQ(list, nullptr);
        EXPECT_EQ(n, -1);
    }
    return accepted;
}

bool Accepts(const std::vector<uint8_t>& image) {
    return Accepts(image, image.size());
}

std::vector<uint8_t> ContextImage(const _qel_bos_uuid& uuid, std::vector<uint8_t> blob) {
    return ImageBytes().Raw(RecordBytes(1, uuid, 0, kRecordFlagContext)).Raw(blob).Finish(1);
}

TEST(HostileImage, FrameMustBeConsistent) {
    EXPECT_FALSE(Accepts({0, 0, 0}));
    EXPECT_FALSE(Accepts({0, 0, 0, 4}));                            // trailer is the length itself
    EXPECT_FALSE(Accepts({0, 0, 0, 8, 0, 0, 0, 8}));                // below 12
    EXPECT_FALSE(Accepts({0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 12}));  // record cannot fit
    EXPECT_FALSE(Accepts({0, 0, 0, 12, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 12}));
    EXPECT_FALSE(Accepts({0xFF, 0xFF, 0xFF, 0xF0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF0}));
    EXPECT_TRUE(Accepts({0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 12, 0xAB}));
}

TEST(HostileImage, EveryTruncationIsRefused) {
    ListPtr context = Build("%i%s", 7, "ab");
    const ErrorSlot slots[2] = {Slot(0, "ab", "cd"), Slot(0, nullptr, "x", 0, context.get())};
    const std::vector<uint8_t> image = Image(slots, 2);
    ASSERT_TRUE(Accepts(image));
    EXPECT_FALSE(Accepts(image, image.size() - 1));
    for (size_t size = 0; size < image.size(); ++size) {
        EXPECT_FALSE(Accepts(std::vector<uint8_t>(image.begin(), image.begin() + size))) << size;
    }
}

TEST(HostileImage, StringsMustEndExactlyAtTheTrailer) {
    const auto record = [](uint8_t flags) { return RecordBytes(1, kNullUuid, 0, flags); };
    EXPECT_FALSE(Accepts(ImageBytes().Raw(record(0x02)).Raw({'a', 'b'}).Finish(1)));
    EXPECT_FALSE(Accepts(ImageBytes().Raw(record(0x03)).Text("ab").Finish(1)));
    EXPECT_FALSE(Accepts(ImageBytes().Raw(record(0x02)).Text("ab").Text("").Finish(1)));
    EXPECT_FALSE(Accepts(ImageBytes().Raw(record(0x00)).Raw({0}).Finish(1)));
    EXPECT_TRUE(Accepts(ImageBytes().Raw(record(0x03)).Text("ab").Text("").Finish(1)));
}

TEST(HostileImage, MalformedContextBlobsAreRefusedBeforeAnythingIsRegistered) {
    const std::vector<std::vector<uint8_t>> blobs = {
        {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 24, 0, 0, 0, 7},  // next beyond the image
        // next inside its own payload, where a valid last header stands
        {0, 10, 0, 0, 0, 0, 0, 12, 0, 0, 0, 12, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0},      // payload cut by the trailer
        {0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 7},         // CtxInt32 of two bytes
        {0, 2, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 7},   // CtxInt64 of four bytes
        {0, 8, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 'a', 'b'},     // string without its NUL
        {0, 8, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0},   // header cut by the trailer
        {0, 10, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0},  // payload far beyond
        {0, 10, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF4, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (size_t i = 0; i < blobs.size(); ++i) {
        const _qel_bos_uuid uuid = TestUuid(0x4400 + static_cast<uint32_t>(i));
        EXPECT_FALSE(Accepts(ContextImage(uuid, blobs[i]))) << i;
        EXPECT_FALSE(IsRegistered(uuid)) << i;
    }
    // The well-formed neighbours of those blobs are accepted.
    EXPECT_TRUE(Accepts(ContextImage(kNullUuid, {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 7})));
    EXPECT_TRUE(Accepts(ContextImage(
        kNullUuid, {0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 12, 0, 8, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0})));
}

}  // namespace
}  // namespace faultkit::test
