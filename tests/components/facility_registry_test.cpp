#include "components/facility_registry.h"

#include <gtest/gtest.h>

#include <cstring>

#include "faultkit.h"
#include "support/test_uuids.h"
#include "threads/thread_test_support.h"

using faultkit::test::FacilityOfNewHandle;
using faultkit::test::kLibraryUuidForTests;
using faultkit::test::TestUuid;

namespace {

// Facilities follow the order of registration (the whole table in
// facility_capacity_test); the fixed UUIDs have facility 0 and take no
// entry; a null pointer is never registered.
TEST(FacilityRegistry, FixedUuidsTakeNoEntry) {
    _qel_bos_uuid a = TestUuid(210), null_uuid{}, library = kLibraryUuidForTests;
    const uint32_t fa = FacilityOfNewHandle(a);
    for (_qel_bos_uuid* fixed : {&null_uuid, &library}) {
        EXPECT_EQ(FacilityOfNewHandle(*fixed), 0u);
        EXPECT_EQ(ErrorMgrGetFacility(fixed), 0u);
    }
    EXPECT_EQ(FacilityOfNewHandle(TestUuid(211)), fa + 0x10000u);

    uint32_t facility = 0x1234;
    EXPECT_FALSE(faultkit::FacilityOfUuid(nullptr, nullptr, &facility));
    EXPECT_EQ(facility, 0x1234u);
    EXPECT_EQ(faultkit::FacilityFindOrAdd(nullptr, true), 0u);
    EXPECT_EQ(ErrorMgrGetFacility(nullptr), 0u);
}

TEST(FacilityRegistry, QueryWorksInBothDirections) {
    _qel_bos_uuid uuid = TestUuid(220);
    const uint32_t facility = FacilityOfNewHandle(uuid);
    const char* name = "not cleared";
    _qel_bos_uuid found{};
    EXPECT_EQ(faultkit::FacilityQuery(facility | 0xF0000005u, &found, &name), 1);
    EXPECT_EQ(name, nullptr);
    EXPECT_EQ(std::memcmp(&found, &uuid, sizeof uuid), 0);
    EXPECT_EQ(faultkit::FacilityQuery(0x5, &uuid, nullptr), static_cast<int32_t>(facility >> 16));
    EXPECT_EQ(faultkit::FacilityQuery(0x0FFF0000u, &found, nullptr), 0);

    _qel_bos_uuid by_code = faultkit::FacilityUuidOfCode(facility | 7);
    EXPECT_EQ(std::memcmp(&by_code, &uuid, sizeof uuid), 0);
    _qel_bos_uuid none = faultkit::FacilityUuidOfCode(7);
    _qel_bos_uuid zero{};
    EXPECT_EQ(std::memcmp(&none, &zero, sizeof zero), 0);
}

}  // namespace
