// Runs alone in its process: it fills the FacilityTable for good.
#include <gtest/gtest.h>

#include <cstring>

#include "components/component_handle.h"
#include "components/uuid.h"
#include "support/context_test_util.h"
#include "support/thread_errors.h"
#include "threads/thread_test_support.h"

namespace faultkit::test {
namespace {

TEST(FacilityCapacity, SixtyFourComponentsFitAndTheNextIsRefused) {
    for (uint32_t i = 1; i <= 64; ++i) {
        EXPECT_EQ(FacilityOfNewHandle(TestUuid(i, 0x3C)), i << 16);
    }
    _qel_bos_uuid extra = TestUuid(65, 0x3C);
    EXPECT_EQ(FacilityOfNewHandle(extra), 0xDEADu);
    EXPECT_EQ(ErrorMgrGetFacility(&extra), 0u);
    _qel_error_manager placed;
    ErrorMgrInitialise(&placed, &extra);
    EXPECT_FALSE(HandleCheck(&placed));
    EXPECT_EQ(placed.facility, 0xFFFFFFFFu);
    // Known UUIDs and the fixed ones keep working.
    EXPECT_EQ(FacilityOfNewHandle(TestUuid(1, 0x3C)), 0x10000u);
    EXPECT_EQ(FacilityOfNewHandle(kLibraryUuidForTests), 0u);

    // An imported error of a component that cannot be registered is kept,
    // without a facility.
    std::vector<uint8_t> image = ImageBytes().Raw(RecordBytes(0x80000005, extra, 9, 0)).Finish(1);
    ASSERT_TRUE(ErrorMgrImport(image.data()));
    _qel_error_enumerate e{};
    EXPECT_EQ(ErrorMgrGetRootError(Observer(), &e), 0x80000005u);
    EXPECT_EQ(e.aux_int, 9);
    EXPECT_EQ(std::memcmp(&e.uuid, &kNullUuid, sizeof e.uuid), 0);
    EXPECT_EQ(ErrorMgrGetFacility(&extra), 0u);
}

}  // namespace
}  // namespace faultkit::test
