// Runs alone in its process: it fills the FacilityTable for good.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "components/component_handle.h"
#include "components/uuid.h"
#include "faultkit.h"
#include "support/context_test_util.h"
#include "support/test_uuids.h"
#include "support/thread_errors.h"

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

    // An imported error of a component that cannot be registered is kept,
    // without a facility.
    std::vector<uint8_t> image = faultkit::test::ImageBytes()
                                     .Raw(faultkit::test::RecordBytes(0x80000005, extra, 9, 0))
                                     .Finish(1);
    ASSERT_TRUE(ErrorMgrImport(image.data()));
    _qel_error_enumerate e{};
    EXPECT_EQ(ErrorMgrGetRootError(faultkit::test::Observer(), &e), 0x80000005u);
    EXPECT_EQ(e.aux_int, 9);
    EXPECT_EQ(std::memcmp(&e.uuid, &faultkit::kNullUuid, sizeof e.uuid), 0);
    EXPECT_EQ(ErrorMgrGetFacility(&extra), 0u);
}
