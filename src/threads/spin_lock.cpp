#include "threads/spin_lock.h"

#include "platform/platform.h"

namespace faultkit {

// An attempt increments the counter and owns the lock when the new value is
// 1. A failed attempt takes its increment back *before* it sleeps: while a
// contender sleeps holding an increment, the counter stays above zero and no
// thread, not even the next one after the holder releases, could take the
// lock. With three or more contenders that starves everybody and operations
// fail; giving the increment back first keeps the lock takeable.
bool SpinLockAcquire(SpinLock& lock) {
    for (int attempt = 0; attempt < kSpinLockAttempts; ++attempt) {
        if (lock.counter.fetch_add(1, std::memory_order_acquire) + 1 == 1) {
            return true;
        }
        lock.counter.fetch_sub(1, std::memory_order_relaxed);
        platform::SleepMs(platform::TickCount() & 7);
    }
    return false;
}

void SpinLockReleaseBlock(SpinLock* lock, void* block) {
    std::free(block);
    if (lock != nullptr) {
        // A release without a matching acquire must not leave the counter
        // wrapped around: undo a decrement that went below zero.
        const uint32_t before = lock->counter.fetch_sub(1, std::memory_order_release);
        if (before == 0) {
            lock->counter.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

}  // namespace faultkit
