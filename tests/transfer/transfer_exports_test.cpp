// ErrorMgrExport and ErrorMgrImport on the real thread state: sizes and
// buffer limits, how an image folds into a thread's errors (contexts of
// every value type come back byte for byte), refused images, and the C++
// members, whose object does not matter. Both follow redirects (tests/threads);
// examples/move_to_process.c and `faultkit demo` carry images between processes.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

#include "support/context_test_util.h"
#include "support/thread_errors.h"
#include "threads/thread_test_support.h"

namespace faultkit::test {
namespace {

char kOpening[] = "opening";
char kPath[] = "caf\xC3\xA9/settings.json";

// Same error, read in the same place.
bool SameError(const _qel_error_enumerate& x, const _qel_error_enumerate& y) {
    return Describe(x) == Describe(y) && x.context == y.context && x.aux_text1 == y.aux_text1 &&
           x.aux_text2 == y.aux_text2;
}

class TransferThroughExports : public ::testing::Test {
protected:
    Component a{kExampleUuid};
    Component b{kOtherUuid};

    void SetUp() override { ClearThreadErrors(); }

    // Root A and last B with texts and contexts of every value type,
    // exported from this thread, which is left without errors. *described
    // gets them as read.
    std::vector<uint8_t> ImageOfAAndB(std::vector<std::string>* described) {
        static const uint8_t block[] = {0, 1, 2, 0xFF, 0x80, 7, 0};
        static int target = 0;
        static char empty[] = "";
        ErrorMgrSetErrorFull(
            a.handle, 0xA000001A,
            ErrorMgrBuildContext(Format("%c%i%u%r%f%p%s%hi%hhu%li%lli%llu%ti%zu%Lf"), 'q', -5,
                                 4000000000u, 0xDEADBEEFu, -1.25, &target, kPath, -300, 200, -70000,
                                 -(1LL << 40), 0xFEDCBA9876543210ULL, -(1LL << 33), 1ULL << 34,
                                 3.5),
            kOpening, empty, INT_MIN);
        b.handle->SetError(0x9000001B,
                           ErrorMgrBuildContext(Format("%m%s%m"), 7ULL, block, empty, 0ULL, block),
                           nullptr, kPath, 11);
        *described = DescribeThreadErrors();
        std::vector<uint8_t> image = ExportImage();
        ClearThreadErrors();
        return image;
    }
};

TEST_F(TransferThroughExports, SizeQueryAndBufferLimits) {
    std::vector<uint8_t> buffer(13, 0xEE);
    EXPECT_EQ(ErrorMgrExport(buffer.data(), 0), 12u);
    EXPECT_EQ(ErrorMgrExport(buffer.data(), buffer.size()), 12u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 12, 0xEE}));

    // Exactly the length writes every byte, one short nothing, as does a
    // null buffer with a size; exporting changes nothing.
    char ab[] = "ab";
    ErrorMgrSetErrorFull(a.handle, 0x30000005, nullptr, ab, nullptr, -1);
    b.handle->SetError(6, ErrorMgrBuildContext(Format("%s%f"), ab, 0.5), ab, ab, 3);
    const std::vector<std::string> before = DescribeThreadErrors();
    const uint64_t length = ErrorMgrExport(nullptr, 0);
    ASSERT_GT(length, 40u);
    buffer.assign(length + 1, 0xEE);
    EXPECT_EQ(ErrorMgrExport(buffer.data(), length - 1) + ErrorMgrExport(nullptr, length), 0u);
    EXPECT_EQ(buffer, std::vector<uint8_t>(length + 1, 0xEE));
    EXPECT_EQ(ErrorMgrExport(buffer.data(), length), length);
    EXPECT_EQ(LoadBe32(buffer.data() + 4), 2u);
    EXPECT_EQ(LoadBe32(buffer.data() + length - 4), length);
    EXPECT_EQ(buffer[length], 0xEE);
    EXPECT_EQ(DescribeThreadErrors(), before);
}

TEST_F(TransferThroughExports, ImportFoldsIntoRootAndLast) {
    std::vector<std::string> ab;
    std::vector<uint8_t> image = ImageOfAAndB(&ab);
    ASSERT_EQ(ab.size(), 2u);
    char r[] = "R", l[] = "L";

    // R, L + A, B: root A, last L (moved, not copied); B and R are freed.
    ErrorMgrSetErrorFull(a.handle, 1, ErrorMgrBuildContext(Format("%i"), 1), r, nullptr, 1);
    ErrorMgrSetErrorFull(b.handle, 2, ErrorMgrBuildContext(Format("%i"), 2), nullptr, l, 2);
    const std::vector<_qel_error_enumerate> own = ThreadErrors();
    ASSERT_TRUE(ErrorMgrImport(image.data()));
    std::vector<_qel_error_enumerate> now = ThreadErrors();
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(Describe(now[0]), ab[0]);
    EXPECT_TRUE(SameError(now[1], own[1]));

    // R + A: root A, last R.
    ClearThreadErrors();
    ErrorMgrSetErrorFull(a.handle, 1, ErrorMgrBuildContext(Format("%i"), 1), r, nullptr, 1);
    const std::string root = Describe(ThreadErrors()[0]);
    ASSERT_TRUE(ErrorMgrImport(image.data()));
    EXPECT_EQ(DescribeThreadErrors(), (std::vector<std::string>{ab[0], root}));
    // Nothing + A, B: MembersIgnoreTheirObject.
}

TEST_F(TransferThroughExports, RefusedOrEmptyImagesChangeNothing) {
    std::vector<std::string> ab;
    std::vector<uint8_t> bad_trailer = ImageOfAAndB(&ab);
    bad_trailer.back() ^= 0x01;
    std::vector<uint8_t> empty = ExportImage();
    std::vector<uint8_t> padded = ImageBytes().Raw({1, 2, 3}).Finish(0);  // count 0, padding

    char r[] = "R";
    ErrorMgrSetErrorFull(a.handle, 1, ErrorMgrBuildContext(Format("%i"), 1), r, nullptr, 1);
    ErrorMgrSetErrorFull(b.handle, 2, ErrorMgrBuildContext(Format("%i"), 2), nullptr, r, 2);
    const std::vector<_qel_error_enumerate> before = ThreadErrors();
    EXPECT_TRUE(ErrorMgrImport(empty.data()));
    EXPECT_TRUE(ErrorMgrImport(padded.data()));
    EXPECT_FALSE(ErrorMgrImport(bad_trailer.data()));
    EXPECT_FALSE(ErrorMgrImport(nullptr));
    const std::vector<_qel_error_enumerate> after = ThreadErrors();
    EXPECT_TRUE(std::equal(after.begin(), after.end(), before.begin(), before.end(), SameError));
}

// The members work on the calling thread's errors whatever object they are
// called on: 24 bytes of junk, or a handle placed on a thread that has ended.
TEST_F(TransferThroughExports, MembersIgnoreTheirObject) {
    std::vector<std::string> ab;
    std::vector<uint8_t> image = ImageOfAAndB(&ab);
    QelComponent::_qel_error_manager junk, ended;
    std::memset(static_cast<void*>(&junk), 0xA5, sizeof junk);
    std::thread([&ended] {
        _qel_bos_uuid uuid = TestUuid(0x4410);
        ErrorMgrInitialise(&ended, &uuid);
    }).join();
    for (QelComponent::_qel_error_manager* object : {&junk, &ended}) {
        ASSERT_TRUE(object->Import(image.data()));
        EXPECT_EQ(DescribeThreadErrors(), ab);
        std::vector<uint8_t> again(object->Export(nullptr, 0));
        EXPECT_EQ(object->Export(again.data(), again.size()), image.size());
        EXPECT_EQ(again, image);
        EXPECT_FALSE(object->Import(nullptr));
        ClearThreadErrors();
    }
}

}  // namespace
}  // namespace faultkit::test
