// SpinLock: the lock that guards every table and record of the library.
// Acquisition spins with short sleeps instead of kernel waits: a failed
// attempt sleeps 0 to 7 ms, so a lock gives up after about 3.5 seconds.
//
// The lock word holds two halves. The low half is the counter: 0 when free;
// an attempt to acquire increments it and owns the lock when the new value
// is 1; a failed attempt takes its increment back before it sleeps. The high
// half is the epoch: the number of releases so far.
//
// A release is one plain store with release order, not an atomic decrement:
// it writes the next epoch with a counter of 0. Increments that failed
// attempts put on the counter in the ending epoch are wiped with it, and
// their owners see that: a failed attempt gives its increment back only
// while the epoch is still the one it incremented in (SpinLockGiveBack).
// Why this keeps the lock exclusive and no pending increment is lost:
//  - Only the holder releases, so the epoch does not change while the lock
//    is held; failed attempts change the counter alone. The holder reads the
//    epoch it stores past with a plain load.
//  - Within one epoch the counter is the number of increments made in that
//    epoch and not yet given back: each give-back is a compare-exchange that
//    requires the epoch unchanged, so it pairs with an increment of the same
//    epoch; the counter never goes below the increments still pending and
//    never borrows from the epoch.
//  - The holder's increment found the counter at 0 in its epoch, so every
//    other increment of that epoch still pending came after it and failed.
//    The release store wipes exactly these; their owners, seeing the new
//    epoch, give nothing back. An increment after the store counts in the
//    new epoch from 0, so exactly the first of them owns the lock, and the
//    counter again holds every increment still pending.
//  - Ordering: the owning increment (acquire) reads the release store or a
//    read-modify-write after it, which continues the store's release
//    sequence, so the next holder sees everything the last one wrote.
// The epoch is 32 bits wide: a give-back could be misled only if the epoch
// wrapped all the way round, 2^32 releases, between a failed increment and
// the give-back a few instructions later.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdlib>

namespace faultkit {

struct SpinLock {
    std::atomic<uint64_t> word{0};  // epoch << 32 | counter
};

// Number of attempts before SpinLockAcquire gives up.
inline constexpr uint32_t kSpinLockAttempts = 1000;

// Milliseconds a failed attempt sleeps: 0 to 7, pseudo-random, from the tick
// count, the attempt's number and an address that differs per caller.
uint32_t SpinLockBackoffMs(uint32_t tick, uint32_t attempt, uintptr_t caller);

// The counter, the low half of the lock word.
inline uint32_t SpinLockCounter(uint64_t word) {
    return static_cast<uint32_t>(word);
}

// Takes back the increment of a failed attempt, which returned `failed`,
// unless a release has wiped it since (the epoch moved on).
inline void SpinLockGiveBack(SpinLock& lock, uint64_t failed) {
    uint64_t word = lock.word.load(std::memory_order_relaxed);
    while ((word >> 32) == (failed >> 32)) {
        if (lock.word.compare_exchange_weak(word, word - 1, std::memory_order_relaxed)) {
            return;
        }
    }
}

// The attempts after a failed first one; `failed` is the word that attempt's
// increment returned. False after kSpinLockAttempts failed attempts in all.
bool SpinLockAcquireContended(SpinLock& lock, uint64_t failed);

// Takes the lock; false after kSpinLockAttempts failed attempts, which every
// caller treats as failure of its operation. An attempt increments the
// counter and owns the lock when the new value is 1.
inline bool SpinLockAcquire(SpinLock& lock) {
    const uint64_t before = lock.word.fetch_add(1, std::memory_order_acquire);
    return SpinLockCounter(before) == 0 || SpinLockAcquireContended(lock, before);
}

// One attempt, without sleeping: true when it took the lock; otherwise its
// increment is given back at once.
inline bool SpinLockTryOnce(SpinLock& lock) {
    const uint64_t before = lock.word.fetch_add(1, std::memory_order_acquire);
    if (SpinLockCounter(before) == 0) {
        return true;
    }
    SpinLockGiveBack(lock, before);
    return false;
}

// Lets go of the lock: the next epoch with a counter of 0, in one plain
// store. A release of a free lock leaves it free.
inline void SpinLockRelease(SpinLock& lock) {
    const uint64_t epoch = lock.word.load(std::memory_order_relaxed) >> 32;
    lock.word.store((epoch + 1) << 32, std::memory_order_release);
}

// Ends a locked operation in one step: frees `block` (if any) and releases
// `lock` (if any).
inline void SpinLockReleaseBlock(SpinLock* lock, void* block) {
    if (block != nullptr) {
        std::free(block);
    }
    if (lock != nullptr) {
        SpinLockRelease(*lock);
    }
}

// SpinLockReleaseBlock, then returns `result`.
template <typename Result>
Result ReleaseWithResult(SpinLock* lock, void* block, Result result) {
    SpinLockReleaseBlock(lock, block);
    return result;
}

}  // namespace faultkit
