// Runs alone in its process: it fills the FacilityTable for good.
#include <gtest/gtest.h>

#include "components/component_handle.h"
#include "faultkit.h"
#include "test_uuids.h"

using faultkit::test::kLibraryUuidForTests;
using faultkit::test::TestUuid;

TEST(FacilityCapacity, SixtyFourComponentsFitAndTheNextIsRefused) {
    for (uint32_t i = 1; i <= 64; ++i) {
        _qel_bos_uuid uuid = TestUuid(i, 0x3C);
        _qel_error_manager* handle = nullptr;
        ASSERT_TRUE(ErrorMgrCreate(&handle, &uuid)) << i;
        EXPECT_EQ(handle->facility, i << 16);
        ErrorMgrDelete(&handle, true);
    }

    _qel_bos_uuid extra = TestUuid(65, 0x3C);
    _qel_error_manager* handle = reinterpret_cast<_qel_error_manager*>(0x10);
    EXPECT_FALSE(ErrorMgrCreate(&handle, &extra));
    EXPECT_EQ(handle, nullptr);
    EXPECT_EQ(ErrorMgrGetFacility(&extra), 0u);

    _qel_error_manager placed;
    ErrorMgrInitialise(&placed, &extra);
    EXPECT_FALSE(faultkit::HandleCheck(&placed));
    EXPECT_EQ(placed.facility, 0xFFFFFFFFu);

    // Known UUIDs and the fixed ones keep working.
    _qel_bos_uuid first = TestUuid(1, 0x3C);
    EXPECT_TRUE(ErrorMgrCreate(&handle, &first));
    EXPECT_EQ(handle->facility, 0x10000u);
    ErrorMgrDelete(&handle, true);
    _qel_bos_uuid library = kLibraryUuidForTests;
    EXPECT_TRUE(ErrorMgrCreate(&handle, &library));
    EXPECT_EQ(handle->facility, 0u);
    ErrorMgrDelete(&handle, true);
}
