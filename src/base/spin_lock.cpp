#include "base/spin_lock.h"

#include "platform/platform.h"

namespace faultkit {

// The tick count alone does not spread the sleeps: a millisecond counter
// read right after sleeping its own low three bits has those bits doubled,
// so within three sleeps they reach 0 and stay there, and on Windows the
// count moves in 15.6 ms steps. Mixed with the attempt number and the
// caller's stack address (which tells contenders apart) and then scrambled,
// the tick gives sleeps spread evenly over 0 to 7 ms, 3.5 ms on average:
// about 3.5 seconds for the 1000 attempts before a lock gives up.
uint32_t SpinLockBackoffMs(uint32_t tick, uint32_t attempt, uintptr_t caller) {
    uint64_t x = (static_cast<uint64_t>(tick) << 32 | attempt) ^ caller;
    x ^= x >> 33;
    x *= 0xFF51AFD7ED558CCDull;
    x ^= x >> 33;
    x *= 0xC4CEB9FE1A85EC53ull;
    x ^= x >> 33;
    return static_cast<uint32_t>(x >> 61);
}

// A failed attempt takes its increment back *before* it sleeps, so that the
// counter shows only the holder and the attempts running at that instant.
// Kept through the sleep, the increment would hold the counter above zero
// after the holder let go had the release only decremented, and with three
// or more contenders nobody could take the lock. The release now wipes such
// increments as well; the lock does not rely on that alone.
bool SpinLockAcquireContended(SpinLock& lock, uint64_t failed) {
    const auto caller = reinterpret_cast<uintptr_t>(&failed);
    for (uint32_t attempt = 1;; ++attempt) {
        SpinLockGiveBack(lock, failed);
        platform::SleepMs(SpinLockBackoffMs(platform::TickCount(), attempt, caller));
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
