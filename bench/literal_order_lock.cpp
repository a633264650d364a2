// The SpinLock's retry loop in the literal order: a failed attempt sleeps
// with its increment still on the counter and takes it back only afterwards.
// Built only into bench_contention's second copy of the library, in place of
// src/base/spin_lock.cpp, so that the cost of that order stays on record.
#include "base/spin_lock.h"
#include "platform/platform.h"

namespace faultkit {

bool SpinLockAcquireContended(SpinLock& lock, uint64_t failed) {
    for (uint32_t attempt = 1;; ++attempt) {
        platform::SleepMs(platform::TickCount() & 7);
        SpinLockGiveBack(lock, failed);
        if (attempt == kSpinLockAttempts) {
            return false;
        }
        failed = lock.word.fetch_add(1, std::memory_order_acquire);
        if (SpinLockCounter(failed) == 0) {
            return true;
        }
    }
}

}  // namespace faultkit
