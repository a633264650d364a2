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

// Takes the lock; false after kSpinLockAttempts failed attempts, which every
// caller treats as failure of its operation.
bool SpinLockAcquire(SpinLock& lock);

// Ends a locked operation in one step: frees `block` (if any), releases
// `lock` (if any) and returns `result`.
void SpinLockReleaseBlock(SpinLock* lock, void* block);

template <typename Result>
Result ReleaseWithResult(SpinLock* lock, void* block, Result result) {
    SpinLockReleaseBlock(lock, block);
    return result;
}

}  // namespace faultkit
