// The SpinLock's retry loop in the literal order: a failed attempt sleeps
// with its increment still on the counter and takes it back only afterwards.
// Built only into bench_contention's second copy of the library, in place of
// src/base/spin_lock.cpp, so that the cost of that order stays on record.
#include "base/spin_lock.h"
#include "platform/platform.h"

namespace faultkit {

bool SpinLockAcquireContended(SpinLock& lock) {
    for (int attempt = 1;; ++attempt) {
        platform::SleepMs(platform::TickCount() & 7);
        lock.counter.fetch_sub(1, std::memory_order_relaxed);
        if (attempt == kSpinLockAttempts) {
            return false;
        }
        if (lock.counter.fetch_add(1, std::memory_order_acquire) == 0) {
            return true;
        }
    }
}

}  // namespace faultkit
