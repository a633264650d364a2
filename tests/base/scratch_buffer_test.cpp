#include "base/scratch_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

TEST(ScratchBuffer, SmallCountsStayOnTheStackLargeOnesGoToTheHeap) {
    faultkit::ScratchBuffer<uint64_t, 4> small(4);
    faultkit::ScratchBuffer<uint64_t, 4> large(5);
    ASSERT_NE(small.data(), nullptr);
    ASSERT_NE(large.data(), nullptr);
    std::memset(large.data(), 0, 5 * sizeof(uint64_t));  // AddressSanitizer checks the size
    EXPECT_NE(small.data(), large.data());
}

// A count whose byte size does not fit size_t gets no storage, rather than
// a small block that the caller would overrun.
TEST(ScratchBuffer, CountBeyondTheAddressSpaceGivesNull) {
    faultkit::ScratchBuffer<uint64_t, 4> impossible(SIZE_MAX / 4);
    EXPECT_EQ(impossible.data(), nullptr);
}

}  // namespace
