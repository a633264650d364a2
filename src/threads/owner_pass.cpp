#include "threads/owner_pass.h"

namespace faultkit {
namespace {

// Waits, with the lock's sleeps, until the flag reads 0; false when it is
// still set after kSpinLockAttempts sleeps.
bool AwaitClearFlag(const std::atomic<uint32_t>& flag) {
    const auto caller = reinterpret_cast<uintptr_t>(&flag);
    for (uint32_t attempt = 1; flag.load(std::memory_order_acquire) != 0; ++attempt) {
        if (attempt > kSpinLockAttempts) {
            return false;
        }
        platform::SleepMs(SpinLockBackoffMs(platform::TickCount(), attempt, caller));
    }
    return true;
}

}  // namespace

// A thread with a pass works on its own record whatever it asks for: so a
// redirected thread gets none, whichever way it locked its record.
void GrantOwnerPass(ThreadRecord* record) {
    std::atomic<uint32_t>* flag = platform::OwnThreadFlag();
    if (flag == nullptr || record->shared || platform::ThreadFlagOf(record->thread) != flag ||
        __atomic_load_n(&record->redirect_id, __ATOMIC_RELAXED) != 0) {
        return;
    }
    record->owner_flag.store(flag, std::memory_order_relaxed);
    platform::SetThreadWord(kPassWord, reinterpret_cast<uintptr_t>(record));
}

bool EndOtherPassSlowly(ThreadRecord& record) {
    const std::atomic<uint32_t>* flag = record.owner_flag.load(std::memory_order_relaxed);
    record.owner_flag.store(nullptr, std::memory_order_relaxed);
    record.shared = true;
    if (platform::FlushOtherThreads() && AwaitClearFlag(*flag)) {
        return true;
    }
    record.owner_flag.store(flag, std::memory_order_relaxed);  // the owner may be inside
    return false;
}

void DropOwnPass(ThreadRecord* record) {
    if (record->owner_flag.load(std::memory_order_relaxed) == platform::OwnThreadFlag()) {
        record->owner_flag.store(nullptr, std::memory_order_relaxed);
    }
}

}  // namespace faultkit
