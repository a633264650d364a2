// The lock word's counter through acquire, release and give-back; many
// threads at once are the lock stress test's (tests/threads).
#include "base/spin_lock.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

uint32_t Counter(const faultkit::SpinLock& lock) {
    return faultkit::SpinLockCounter(lock.word.load());
}

TEST(SpinLock, ExcludesAndReleases) {
    faultkit::SpinLock lock;
    ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
    EXPECT_EQ(Counter(lock), 1u);
    EXPECT_FALSE(faultkit::SpinLockTryOnce(lock));
    EXPECT_EQ(Counter(lock), 1u);  // the failed attempt gave its increment back
    EXPECT_EQ(faultkit::ReleaseWithResult(&lock, std::malloc(8), 42), 42);  // LSan: freed
    EXPECT_EQ(Counter(lock), 0u);
    // A stray release does not wrap the counter around.
    faultkit::ReleaseWithResult(&lock, nullptr, 0);
    EXPECT_EQ(Counter(lock), 0u);
    EXPECT_TRUE(faultkit::SpinLockTryOnce(lock));
    EXPECT_FALSE(faultkit::ReleaseWithResult<bool>(nullptr, std::malloc(8), false));
}

// A failed attempt's increment, made while the lock is held, is wiped by the
// holder's release; the attempt must then give nothing back, or the counter
// would wrap and the lock could never be taken again. Before a release it is
// given back.
TEST(SpinLock, FailedIncrementIsGivenBackOnlyWithinItsEpoch) {
    faultkit::SpinLock lock;
    ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
    const uint64_t before = lock.word.fetch_add(1);  // a contender's attempt
    EXPECT_EQ(faultkit::SpinLockCounter(before), 1u);
    faultkit::SpinLockGiveBack(lock, before);
    EXPECT_EQ(Counter(lock), 1u);  // the holder's unit alone

    const uint64_t wiped = lock.word.fetch_add(1);
    faultkit::SpinLockRelease(lock);
    EXPECT_EQ(Counter(lock), 0u);
    faultkit::SpinLockGiveBack(lock, wiped);
    EXPECT_EQ(Counter(lock), 0u);
    ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
    EXPECT_EQ(Counter(lock), 1u);

    // A give-back after the lock was released and taken again must not take
    // the new holder's unit.
    faultkit::SpinLockGiveBack(lock, wiped);
    EXPECT_EQ(Counter(lock), 1u);
    faultkit::SpinLockRelease(lock);
}

}  // namespace
