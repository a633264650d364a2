#include "base/spin_lock.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

TEST(SpinLock, ExcludesAndReleases) {
    faultkit::SpinLock lock;
    ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
    EXPECT_EQ(lock.counter.load(), 1u);
    EXPECT_EQ(faultkit::ReleaseWithResult(&lock, nullptr, 42), 42);
    EXPECT_EQ(lock.counter.load(), 0u);
    // A stray release does not wrap the counter around.
    faultkit::ReleaseWithResult(&lock, nullptr, 0);
    EXPECT_EQ(lock.counter.load(), 0u);
}

TEST(SpinLock, ReleaseWithResultFreesTheBlock) {
    faultkit::SpinLock lock;
    ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
    void* block = std::malloc(64);
    EXPECT_TRUE(faultkit::ReleaseWithResult(&lock, block, true));  // LSan sees a leak otherwise
    EXPECT_FALSE(faultkit::ReleaseWithResult<bool>(nullptr, std::malloc(8), false));
}

TEST(SpinLock, GivesUpWhileHeld) {
    faultkit::SpinLock lock;
    ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
    EXPECT_FALSE(faultkit::SpinLockAcquire(lock));  // about 1000 short sleeps
    EXPECT_EQ(lock.counter.load(), 1u);             // failed attempts left nothing behind
    faultkit::SpinLockReleaseBlock(&lock, nullptr);
}

TEST(SpinLock, ProtectsACounterAcrossThreads) {
    faultkit::SpinLock lock;
    long total = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 2000; ++i) {
                ASSERT_TRUE(faultkit::SpinLockAcquire(lock));
                ++total;
                faultkit::SpinLockReleaseBlock(&lock, nullptr);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(total, 8000);
}

}  // namespace
