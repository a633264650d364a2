#include "base/spin_lock.h"

#include "platform/platform.h"

namespace faultkit {

// A failed attempt takes its increment back *before* it sleeps: while a
// contender sleeps holding an increment, the counter stays above zero and no
// thread, not even the next one after the holder releases, could take the
// lock. With three or more contenders that starves everybody and operations
// fail; giving the increment back first keeps the lock takeable.
bool SpinLockAcquireContended(SpinLock& lock) {
    for (int attempt = 1;; ++attempt) {
        lock.counter.fetch_sub(1, std::memory_order_relaxed);
        platform::SleepMs(platform::TickCount() & 7);
        if (attempt == kSpinLockAttempts) {
            return false;
        }
        if (lock.counter.fetch_add(1, std::memory_order_acquire) == 0) {
            return true;
        }
    }
}

}  // namespace faultkit
