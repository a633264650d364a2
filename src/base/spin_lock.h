// SpinLock: the lock that guards every table and record of the library.
// A 32-bit counter, 0 when free, changed only by atomic increments and
// decrements. Acquisition spins with short sleeps instead of kernel waits.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace faultkit {

struct SpinLock {
    std::atomic<uint32_t> counter{0};
};

// Number of attempts before SpinLockAcquire gives up.
inline constexpr int kSpinLockAttempts = 1000;

// The attempts after a failed first one, whose increment is still on the
// counter. False after kSpinLockAttempts failed attempts in all.
bool SpinLockAcquireContended(SpinLock& lock);

// Takes the lock; false after kSpinLockAttempts failed attempts, which every
// caller treats as failure of its operation. An attempt increments the
// counter and owns the lock when the new value is 1.
inline bool SpinLockAcquire(SpinLock& lock) {
    return lock.counter.fetch_add(1, std::memory_order_acquire) == 0 ||
           SpinLockAcquireContended(lock);
}

// Ends a locked operation in one step: frees `block` (if any) and releases
// `lock` (if any).
inline void SpinLockReleaseBlock(SpinLock* lock, void* block) {
    if (block != nullptr) {
        std::free(block);
    }
    if (lock != nullptr) {
        // A release without a matching acquire must not leave the counter
        // wrapped around: undo a decrement that went below zero.
        const uint32_t before = lock->counter.fetch_sub(1, std::memory_order_release);
        if (before == 0) {
            lock->counter.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

// SpinLockReleaseBlock, then returns `result`.
template <typename Result>
Result ReleaseWithResult(SpinLock* lock, void* block, Result result) {
    SpinLockReleaseBlock(lock, block);
    return result;
}

}  // namespace faultkit
