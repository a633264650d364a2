// Helpers for the thread error state tests.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "faultkit.h"
#include "support/parked_thread.h"
#include "support/test_uuids.h"
#include "threads/thread_table.h"

namespace faultkit::test {

// Stands in for a built context: a heap block the library must free.
// LeakSanitizer reports it if it is not.
inline _qel_error_context* NewContext() {
    return static_cast<_qel_error_context*>(std::malloc(24));
}

// Waits (up to kPatience) for watchers to bring the table to `count` records.
inline bool WaitForRecordCount(uint32_t count) {
    return Eventually([count] { return ThreadTableCount() == count; });
}

// A component handle for the lifetime of a test.
struct Component {
    _qel_error_manager* handle = nullptr;

    explicit Component(_qel_bos_uuid uuid) { EXPECT_TRUE(ErrorMgrCreate(&handle, &uuid)); }
    ~Component() { ErrorMgrDelete(&handle, true); }
    Component(const Component&) = delete;
    Component& operator=(const Component&) = delete;
};

// The facility of a new handle for `uuid`, which is deleted again; 0xDEAD
// when none was made (a refused Create must leave the handle null).
inline uint32_t FacilityOfNewHandle(_qel_bos_uuid uuid) {
    _qel_error_manager* handle = reinterpret_cast<_qel_error_manager*>(0x10);
    const uint32_t facility = ErrorMgrCreate(&handle, &uuid) ? handle->facility : 0xDEAD;
    EXPECT_TRUE(ErrorMgrDelete(&handle, true));
    EXPECT_EQ(handle, nullptr);
    return facility;
}

}  // namespace faultkit::test
