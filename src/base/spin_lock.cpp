#include "base/spin_lock.h"

#include "platform/platform.h"

namespace faultkit {

// A failed attempt takes its increment back *before* it sleeps, so that the
// counter shows only the holder and the attempts running at that instant.
// Kept through the sleep, the increment would hold the counter above zero
// after the holder let go had the release only decremented, and with three
// or more contenders nobody could take the lock. The release now wipes such
// increments as well; the lock does not rely on that alone.
bool SpinLockAcquireContended(SpinLock& lock, uint64_t failed) {
    for (int attempt = 1;; ++attempt) {
        SpinLockGiveBack(lock, failed);
        platform::SleepMs(platform::TickCount() & 7);
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
