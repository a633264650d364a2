#include "components/component_handle.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "components/tagged_block.h"
#include "faultkit.h"
#include "platform/platform.h"
#include "support/test_uuids.h"

using faultkit::test::kLibraryUuidForTests;
using faultkit::test::TestUuid;

namespace {

TEST(ComponentHandle, CreateFillsTheHandleAndDeleteFreesIt) {
    _qel_bos_uuid uuid = TestUuid(100);
    auto* const sentinel = reinterpret_cast<_qel_error_manager*>(0x1234);
    _qel_error_manager* handle = sentinel;
    EXPECT_FALSE(ErrorMgrCreate(&handle, nullptr));
    EXPECT_EQ(handle, sentinel);
    ASSERT_TRUE(ErrorMgrCreate(&handle, &uuid));
    EXPECT_EQ(handle->thread_id, faultkit::platform::CurrentThreadId());
    _qel_bos_uuid zero{};
    EXPECT_EQ(std::memcmp(&handle->uuid, &zero, sizeof zero), 0);
    EXPECT_EQ(handle->facility, ErrorMgrGetFacility(&uuid));
    EXPECT_NE(handle->facility, 0u);
    EXPECT_TRUE(ErrorMgrDelete(&handle, true));
    EXPECT_EQ(handle, nullptr);
    // With nothing to delete, the second argument comes back.
    EXPECT_TRUE(ErrorMgrDelete(&handle, true));
    EXPECT_FALSE(ErrorMgrDelete(&handle, false));
    EXPECT_TRUE(ErrorMgrDelete(nullptr, true));
    EXPECT_FALSE(ErrorMgrDelete(nullptr, false));
    // Deleting with false still frees.
    ASSERT_TRUE(ErrorMgrCreate(&handle, &uuid));
    EXPECT_FALSE(ErrorMgrDelete(&handle, false));
    EXPECT_EQ(handle, nullptr);
}

TEST(ComponentHandle, DeleteRefusesForeignAndDamagedBlocks) {
    // A pointer into our own buffer: a readable "header" that does not
    // validate. Nothing may be freed (the sanitizers would notice).
    std::vector<unsigned char> buffer(128, 0xCC);
    auto* foreign = reinterpret_cast<_qel_error_manager*>(buffer.data() + 64);
    _qel_error_manager* slot = foreign;
    EXPECT_FALSE(ErrorMgrDelete(&slot, true));
    EXPECT_EQ(slot, foreign);

    _qel_bos_uuid uuid = TestUuid(102);
    _qel_error_manager* handle = nullptr;
    ASSERT_TRUE(ErrorMgrCreate(&handle, &uuid));
    auto* header = reinterpret_cast<unsigned char*>(handle) - 32;
    // A broken magic, then a header that does not point at its payload.
    for (const size_t at : {size_t{0}, size_t{8}}) {
        header[at] ^= 0xFF;
        _qel_error_manager* damaged = handle;
        EXPECT_FALSE(ErrorMgrDelete(&damaged, true)) << at;
        EXPECT_EQ(damaged, handle);
        header[at] ^= 0xFF;
    }
    EXPECT_TRUE(ErrorMgrDelete(&handle, true));

    EXPECT_EQ(faultkit::TaggedBlockAllocate(24, nullptr), nullptr);
    // The header would wrap the size around to a few bytes.
    EXPECT_EQ(faultkit::TaggedBlockAllocate(SIZE_MAX - 16, &uuid), nullptr);
    EXPECT_EQ(faultkit::TaggedBlockRelease(nullptr), nullptr);
}

TEST(ComponentHandle, InitialiseQueriesPlacesAndResolvesOnce) {
    // The size query: c_header_test and ErrorSlots.CppMembersForward.
    unsigned char memory[24];
    std::memset(memory, 0x5A, sizeof memory);
    void* identity = ErrorMgrInitialise(memory, nullptr);
    ASSERT_NE(identity, nullptr);
    EXPECT_EQ(std::memcmp(identity, &kLibraryUuidForTests, 16), 0);
    EXPECT_EQ(std::vector<unsigned char>(memory, memory + 24),
              std::vector<unsigned char>(24, 0x5A));

    _qel_bos_uuid uuid = TestUuid(103);
    EXPECT_EQ(ErrorMgrInitialise(nullptr, &uuid), nullptr);
    auto* placed = static_cast<_qel_error_manager*>(ErrorMgrInitialise(memory, &uuid));
    ASSERT_EQ(static_cast<void*>(placed), static_cast<void*>(memory));
    EXPECT_EQ(placed->thread_id, faultkit::platform::CurrentThreadId());
    EXPECT_EQ(std::memcmp(&placed->uuid, &uuid, sizeof uuid), 0);
    EXPECT_EQ(placed->facility, 0xFFFFFFFFu);
    EXPECT_EQ(ErrorMgrGetFacility(&uuid), 0u);  // not registered before first use

    // Resolved by its first use: ErrorSlots.PlacedHandleIsResolvedOnFirstStore.
    EXPECT_FALSE(faultkit::HandleCheck(nullptr));
    _qel_error_manager library_placed;
    ErrorMgrInitialise(&library_placed, const_cast<_qel_bos_uuid*>(&kLibraryUuidForTests));
    ASSERT_TRUE(faultkit::HandleCheck(&library_placed));
    EXPECT_EQ(library_placed.facility, 0u);
}

}  // namespace
