#include "base/scratch_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

namespace {

// Small counts stay on the stack, larger ones go to the heap (AddressSanitizer
// checks the size). A count whose byte size does not fit size_t gets no
// storage, rather than the small block its wrapped size would ask for.
TEST(ScratchBuffer, HoldsTheCountOrNothing) {
    faultkit::ScratchBuffer<uint64_t, 4> small(4), large(5), impossible(SIZE_MAX / 8 + 2);
    ASSERT_NE(small.data(), nullptr);
    ASSERT_NE(large.data(), nullptr);
    std::memset(large.data(), 0, 5 * sizeof(uint64_t));
    EXPECT_NE(small.data(), large.data());
    EXPECT_EQ(impossible.data(), nullptr);
}

}  // namespace
