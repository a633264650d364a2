// ErrorMgrExport and ErrorMgrImport on the real thread state, called as C
// functions and as C++ members on objects that must not matter.
#include <gtest/gtest.h>

#include <cstring>
#include <thread>

#include "support/context_test_util.h"
#include "support/thread_errors.h"
#include "threads/thread_test_support.h"

namespace faultkit::test {
namespace {

using Object = QelComponent::_qel_error_manager;

char kOpening[] = "opening";
char kPath[] = "settings/user.json";

// Same error, read in the same place.
bool SameError(const _qel_error_enumerate& x, const _qel_error_enumerate& y) {
    return Describe(x) == Describe(y) && x.context == y.context && x.aux_text1 == y.aux_text1 &&
           x.aux_text2 == y.aux_text2;
}

// A handle made on a thread that has ended, for a component of its own.
Object* HandleOfEndedThread() {
    static Object handle;
    static const bool made = [] {
        std::thread maker([] {
            _qel_bos_uuid uuid = TestUuid(0x4410);
            ErrorMgrInitialise(&handle, &uuid);
        });
        maker.join();
        return true;
    }();
    return made ? &handle : nullptr;
}

// 24 bytes of junk.
Object* JunkObject() {
    static Object junk;
    std::memset(static_cast<void*>(&junk), 0xA5, sizeof junk);
    return &junk;
}

struct TransferApi {
    const char* name;
    uint64_t (*export_image)(void* buffer, uint64_t size);
    bool (*import_image)(void* image);
};

void PrintTo(const TransferApi& api, std::ostream* out) {
    *out << api.name;
}

const TransferApi kApis[] = {
    {"C", ErrorMgrExport, ErrorMgrImport},
    {"MemberOfOtherThreadsHandle",
     [](void* buffer, uint64_t size) -> uint64_t {
         return HandleOfEndedThread()->Export(buffer, size);
     },
     [](void* image) { return HandleOfEndedThread()->Import(image); }},
    {"MemberOfJunk",
     [](void* buffer, uint64_t size) -> uint64_t { return JunkObject()->Export(buffer, size); },
     [](void* image) { return JunkObject()->Import(image); }},
};

class TransferThroughExports : public ::testing::TestWithParam<TransferApi> {
protected:
    Component a{kExampleUuid};
    Component b{kOtherUuid};

    void SetUp() override { ClearThreadErrors(); }
    void TearDown() override {
        ErrorMgrRedirect(nullptr);
        ClearThreadErrors();
    }

    std::vector<uint8_t> Export() {
        std::vector<uint8_t> image(GetParam().export_image(nullptr, 0));
        EXPECT_EQ(GetParam().export_image(image.data(), image.size()), image.size());
        return image;
    }
    bool Import(std::vector<uint8_t> image) { return GetParam().import_image(image.data()); }

    // Root A and last B with contexts and strings, exported from this
    // thread, which is left without errors. *described gets them as read.
    std::vector<uint8_t> ImageOfAAndB(std::vector<std::string>* described) {
        ErrorMgrSetErrorFull(a.handle, 0x1A, ErrorMgrBuildContext(Format("%i%llu"), 7, ~0ULL),
                             kOpening, kPath, 10);
        b.handle->SetError(0x9000001B, ErrorMgrBuildContext(Format("%s%r"), kPath, 0xC0DEu),
                           nullptr, kPath, 11);
        *described = DescribeThreadErrors();
        std::vector<uint8_t> image = Export();
        ClearThreadErrors();
        return image;
    }
};

INSTANTIATE_TEST_SUITE_P(Exports, TransferThroughExports, ::testing::ValuesIn(kApis),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_P(TransferThroughExports, SizeQueryAndBufferLimitsOnAThreadWithoutErrors) {
    std::vector<uint8_t> buffer(13, 0xEE);
    const std::vector<uint8_t> untouched = buffer;
    EXPECT_EQ(GetParam().export_image(buffer.data(), 0), 12u);
    EXPECT_EQ(GetParam().export_image(nullptr, 0), 12u);
    EXPECT_EQ(GetParam().export_image(nullptr, 12), 0u);
    EXPECT_EQ(GetParam().export_image(buffer.data(), 11), 0u);
    EXPECT_EQ(buffer, untouched);
    EXPECT_EQ(GetParam().export_image(buffer.data(), buffer.size()), 12u);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{0, 0, 0, 12, 0, 0, 0, 0, 0, 0, 0, 12, 0xEE}));
}

TEST_P(TransferThroughExports, ExactLengthWritesEveryByteOneShortWritesNothing) {
    char ab[] = "ab";
    ErrorMgrSetErrorFull(a.handle, 0x30000005, nullptr, ab, nullptr, -1);
    const std::vector<uint8_t> one_error = {
        0,    0,    0,    40,   0,    0,    0,    1,    0x30, 0, 0, 5,    // length, count, code
        0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,                   // kExampleUuid
        0xAA, 0x99, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00,                   //
        0xFF, 0xFF, 0xFF, 0xFF, 0x02, 'a',  'b',  0,    0,    0, 0, 40};  // aux_int, flags, text
    EXPECT_EQ(Export(), one_error);

    b.handle->SetError(6, ErrorMgrBuildContext(Format("%s%f"), ab, 0.5), ab, ab, 3);
    const std::vector<std::string> before = DescribeThreadErrors();
    const uint64_t length = GetParam().export_image(nullptr, 0);
    ASSERT_GT(length, 40u);
    std::vector<uint8_t> buffer(length + 1, 0xEE);
    const std::vector<uint8_t> untouched = buffer;
    EXPECT_EQ(GetParam().export_image(buffer.data(), length - 1), 0u);
    EXPECT_EQ(GetParam().export_image(nullptr, length), 0u);
    EXPECT_EQ(buffer, untouched);
    EXPECT_EQ(GetParam().export_image(buffer.data(), length), length);
    EXPECT_EQ(LoadBe32(buffer.data()), length);
    EXPECT_EQ(LoadBe32(buffer.data() + length - 4), length);
    EXPECT_EQ(LoadBe32(buffer.data() + 4), 2u);
    EXPECT_EQ(buffer[length], 0xEE);
    EXPECT_EQ(DescribeThreadErrors(), before);  // exporting changes nothing
}

TEST_P(TransferThroughExports, ImportFoldsIntoRootAndLast) {
    std::vector<std::string> ab;
    const std::vector<uint8_t> image = ImageOfAAndB(&ab);
    ASSERT_EQ(ab.size(), 2u);
    char r[] = "R", l[] = "L";

    // R, L + A, B: root A, last L (moved, not copied); B and R are freed.
    ErrorMgrSetErrorFull(a.handle, 1, ErrorMgrBuildContext(Format("%i"), 1), r, nullptr, 1);
    ErrorMgrSetErrorFull(b.handle, 2, ErrorMgrBuildContext(Format("%i"), 2), nullptr, l, 2);
    const std::vector<_qel_error_enumerate> own = ThreadErrors();
    ASSERT_TRUE(Import(image));
    std::vector<_qel_error_enumerate> now = ThreadErrors();
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(Describe(now[0]), ab[0]);
    EXPECT_TRUE(SameError(now[1], own[1]));

    // R + A: root A, last R.
    ClearThreadErrors();
    ErrorMgrSetErrorFull(a.handle, 1, ErrorMgrBuildContext(Format("%i"), 1), r, nullptr, 1);
    const std::string root = Describe(ThreadErrors()[0]);
    ASSERT_TRUE(Import(image));
    EXPECT_EQ(DescribeThreadErrors(), (std::vector<std::string>{ab[0], root}));

    // Nothing + A, B: root A, last B, and exported again they give the image.
    ClearThreadErrors();
    ASSERT_TRUE(Import(image));
    EXPECT_EQ(DescribeThreadErrors(), ab);
    EXPECT_EQ(Export(), image);
}

TEST_P(TransferThroughExports, RefusedOrEmptyImagesChangeNothing) {
    std::vector<std::string> ab;
    std::vector<uint8_t> bad_trailer = ImageOfAAndB(&ab);
    bad_trailer.back() ^= 0x01;
    const std::vector<uint8_t> empty = Export();
    ASSERT_EQ(empty.size(), 12u);

    char r[] = "R";
    ErrorMgrSetErrorFull(a.handle, 1, ErrorMgrBuildContext(Format("%i"), 1), r, nullptr, 1);
    ErrorMgrSetErrorFull(b.handle, 2, ErrorMgrBuildContext(Format("%i"), 2), nullptr, r, 2);
    const std::vector<_qel_error_enumerate> before = ThreadErrors();
    EXPECT_TRUE(Import(empty));
    EXPECT_TRUE(Import(ImageBytes().Raw({1, 2, 3}).Finish(0)));  // count 0 with padding
    EXPECT_FALSE(Import(bad_trailer));
    EXPECT_FALSE(GetParam().import_image(nullptr));
    const std::vector<_qel_error_enumerate> after = ThreadErrors();
    ASSERT_EQ(after.size(), 2u);
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_TRUE(SameError(after[i], before[i])) << i;
    }
}

TEST_P(TransferThroughExports, RedirectedThreadImportsAndExportsTheTargetsErrors) {
    std::vector<std::string> ab;
    const std::vector<uint8_t> image = ImageOfAAndB(&ab);
    Gate handle_made, imported;
    _qel_error_manager* target = nullptr;
    std::vector<std::string> targets_errors;
    std::thread target_thread([&] {
        _qel_bos_uuid uuid = TestUuid(0x4411);
        ErrorMgrCreate(&target, &uuid);
        handle_made.Open();
        imported.Wait();
        targets_errors = DescribeThreadErrors();
        ErrorMgrGetRootError(target, nullptr);
        ErrorMgrDelete(&target, true);
    });
    handle_made.Wait();
    char own[] = "own";
    ErrorMgrSetErrorFull(a.handle, 3, nullptr, own, nullptr, 3);
    const std::vector<std::string> own_errors = DescribeThreadErrors();

    EXPECT_TRUE(ErrorMgrRedirect(target));
    EXPECT_TRUE(Import(image));
    EXPECT_EQ(Export(), image);  // the target's errors
    EXPECT_TRUE(ErrorMgrRedirect(nullptr));
    imported.Open();
    target_thread.join();
    EXPECT_EQ(targets_errors, ab);
    EXPECT_EQ(DescribeThreadErrors(), own_errors);
}

}  // namespace
}  // namespace faultkit::test
