// Images from a broken or hostile sender: every one is refused, with the
// problem that `faultkit inspect` names, before anything is allocated or
// registered, and nothing outside the image is read. Arbitrary bytes are the
// import_image fuzz target's; its corpus is replayed by fuzz_replay_import_image.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "components/uuid.h"
#include "support/context_test_util.h"
#include "support/test_uuids.h"
#include "transfer/image_layout.h"

namespace faultkit::test {
namespace {

// The problem CheckImage names ("" when it accepts the image) and its
// offset, from a heap block of exactly the image's size, so that
// AddressSanitizer sees any read beyond it. ReadImageWithin agrees, and
// leaves what it was given alone when it refuses.
std::string Problem(const std::vector<uint8_t>& image, uint64_t* offset = nullptr) {
    const uint64_t available = image.size();
    std::unique_ptr<uint8_t[]> exact(new uint8_t[available]);
    std::copy_n(image.begin(), available, exact.get());
    ImageLayout layout{};
    ImageProblem problem{"", 0};
    const bool checked = CheckImage(exact.get(), available, &layout, &problem);
    if (offset != nullptr) {
        *offset = problem.offset;
    }
    ErrorSlot existing = Slot(0x10005, "mine");
    ErrorSlot* list = nullptr;
    int32_t n = -1;
    EXPECT_EQ(ReadImageWithin(&existing, 1, exact.get(), available, &list, &n), checked);
    if (checked && list != nullptr) {
        EXPECT_TRUE(SameSlot(list[n - 1], existing));
        DiscardEntries(list, n - 1);
    } else if (!checked) {
        EXPECT_TRUE(list == nullptr && n == -1);
    }
    return checked ? "" : problem.what;
}

std::vector<uint8_t> ContextImage(const _qel_bos_uuid& uuid, std::vector<uint8_t> blob) {
    return ImageBytes().Raw(RecordBytes(1, uuid, 0, kRecordFlagContext)).Raw(blob).Finish(1);
}

// More cases go through `faultkit inspect` in tests/cli/cli_test.py.
TEST(HostileImage, FrameProblemsAreNamedWithTheirOffset) {
    const auto record = [](uint8_t flags) { return RecordBytes(1, kNullUuid, 0, flags); };
    const struct {
        std::vector<uint8_t> image;
        const char* problem;
        uint64_t offset;
    } cases[] = {
        {{0, 0, 0}, "image too short for its length field", 0},
        {{0, 0, 0, 11, 0, 0, 0, 0, 0, 0, 0, 11}, "length field below 12", 0},
        {{0xFF, 0xFF, 0xFF, 0xF0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF0},
         "length field larger than the image",
         0},
        {{0, 0, 0, 12, 0, 0, 0, 1, 0, 0, 0, 12}, "record count does not fit the length", 4},
        {{0, 0, 0, 12, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 12},
         "record count does not fit the length",
         4},
        {ImageBytes().Raw(record(0x03)).Text("ab").Finish(1), "string runs into the trailer", 36},
        {ImageBytes().Raw(record(0x02)).Text("ab").Text("").Finish(1),
         "strings end before the trailer", 36},
        {ImageBytes().Raw(record(0x00)).Raw({0}).Finish(1), "strings end before the trailer", 33},
        {ContextImage(kNullUuid, {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0}),
         "malformed context", 33},
        {{0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 12, 0xAB}, "", 0},  // a byte after the image
        {ImageBytes().Raw(record(0x03)).Text("ab").Text("").Finish(1), "", 0},
    };
    for (const auto& c : cases) {
        uint64_t offset = 0;
        EXPECT_EQ(Problem(c.image, &offset), c.problem) << (&c - cases);
        EXPECT_EQ(offset, c.offset) << (&c - cases);
    }
}

TEST(HostileImage, MalformedContextBlobsAreRefusedBeforeAnythingIsRegistered) {
    const std::vector<std::vector<uint8_t>> blobs = {
        {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 24, 0, 0, 0, 7},  // next beyond the image
        // next inside its own payload, where a valid last header stands
        {0, 10, 0, 0, 0, 0, 0, 12, 0, 0, 0, 12, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
        {0, 1, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 7},         // CtxInt32 of two bytes
        {0, 2, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 7},   // CtxInt64 of four bytes
        {0, 8, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 'a', 'b'},     // string without its NUL
        {0, 8, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0},   // header cut by the trailer
        {0, 10, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0},  // payload far beyond
        {0, 10, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xF4, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (size_t i = 0; i < blobs.size(); ++i) {
        const _qel_bos_uuid uuid = TestUuid(0x4400 + static_cast<uint32_t>(i));
        EXPECT_EQ(Problem(ContextImage(uuid, blobs[i])), "malformed context") << i;
        EXPECT_FALSE(IsRegistered(uuid)) << i;
    }
    // Well-formed contexts of every type are accepted: transfer_exports_test.
}

}  // namespace
}  // namespace faultkit::test
