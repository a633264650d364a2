// The owner's pass: how a thread works on its own record without a locked
// instruction, while every other thread takes the record lock.
//
// Nearly every operation is a thread working on its own record, which no
// other thread touches. Taking the record lock costs such an operation an
// atomic read-modify-write, most of its time. With a pass the thread sets
// its thread flag (platform.h) with a plain store, checks that the record
// still names that flag as its owner's (owner_flag), works on the record,
// and clears the flag with a release store.
//
// Why a record stays exclusive:
//  - Lock holders exclude each other: the SpinLock's own argument.
//  - owner_flag changes only under the record lock. The owner gets its pass
//    holding the lock (GrantOwnerPass). Any other thread that takes the
//    lock ends the pass before it touches the record (EndOtherPass): it
//    clears owner_flag, flushes the other threads and waits until the
//    owner's flag reads 0.
//  - The owner stores its flag and then reads owner_flag with only a
//    compiler barrier between; the flush puts a full barrier somewhere into
//    the owner's instruction stream. If the flag store came before that
//    barrier, the flushing thread sees the flag set and waits for the
//    clear, which the owner stores with release after its last access to
//    the record and the waiter reads with acquire. If it came after, so did
//    the read of owner_flag, which then sees null: the owner does not enter
//    and takes the lock like everyone else. (An owner not running at the
//    flush passed a full barrier when it was switched out.)
//  - A holder that gives up waiting (an owner stalled inside for seconds)
//    puts owner_flag back before it lets go of the lock and fails, so the
//    next holder waits for the flag as well.
//  - The flag is the owner's alone and lives in its end object, which the
//    record holds until it is removed, after its pass has been ended. A
//    thread whose pass word names a record that has since been removed, or
//    given to another thread, sets only its own flag, finds owner_flag
//    naming another (or none) and leaves.
//  - A forked child, where the owner is gone, counts a record whose owner's
//    flag was set at the fork as held, like one whose lock was, and leaves
//    its storage alone.
// Ending a pass costs a flush, a system call that interrupts every CPU
// running a thread of the process; so a record that another thread has
// held is `shared`, and its owner gets no pass to it again. Where threads
// have no flags (Windows) nobody has a pass and every operation takes the
// lock (platform.h says why).
#pragma once

#include <atomic>
#include <cstdint>

#include "base/spin_lock.h"
#include "platform/platform.h"
#include "threads/thread_record.h"

namespace faultkit {

// One operation's hold on a record: its pass or its lock.
struct RecordHold {
    ThreadRecord* record;  // null: no record, the operation fails
    // The holder's flag when it holds the record by its pass; null when it
    // holds record->lock.
    std::atomic<uint32_t>* pass;
};

// The platform word naming the record the calling thread last got a pass
// to; that pass may have been ended since.
inline constexpr int kPassWord = 4;
static_assert(platform::kThreadWords > kPassWord, "a word for the pass");

// Enters the calling thread's record by its pass; a hold on nothing when
// the thread has no pass.
inline RecordHold EnterByPass() {
    std::atomic<uint32_t>* flag = platform::OwnThreadFlag();
    if (flag == nullptr) {  // always on Windows: no word is read there
        return RecordHold{nullptr, nullptr};
    }
    auto* record =
        reinterpret_cast<ThreadRecord*>(static_cast<uintptr_t>(platform::ThreadWord(kPassWord)));
    if (record == nullptr) {
        return RecordHold{nullptr, nullptr};
    }
    flag->store(1, std::memory_order_relaxed);
    // The full barrier that belongs here comes from the flush of a thread
    // that ends the pass.
    std::atomic_signal_fence(std::memory_order_seq_cst);
    if (record->owner_flag.load(std::memory_order_relaxed) == flag) {
        return RecordHold{record, flag};
    }
    // Release all the same: a thread that reads this 0 must also see what
    // the thread's earlier passes wrote.
    flag->store(0, std::memory_order_release);
    return RecordHold{nullptr, nullptr};
}

// Lets go of a record held by the pass.
inline void LeavePass(const RecordHold& hold) {
    hold.pass->store(0, std::memory_order_release);
}

// Ends an operation in one step: frees `block` (if any), lets go of the
// record, by clearing the flag or releasing the lock, and returns `result`.
template <typename Result>
Result ReleaseHoldWithResult(const RecordHold& hold, void* block, Result result) {
    SpinLockReleaseBlock(nullptr, block);
    if (hold.pass != nullptr) {
        LeavePass(hold);
    } else {
        SpinLockRelease(hold.record->lock);
    }
    return result;
}

// Gives the calling thread a pass to `record`, its own record, which it
// holds locked; nothing when the thread is redirected, the record is shared
// or does not hold the thread's end (made for a redirect before the thread
// reported its end), or the thread has no flag.
void GrantOwnerPass(ThreadRecord* record);

// Called holding record.lock, before touching the record: ends the pass of
// the record's thread unless that is the caller, waiting while the thread is
// inside. False when it stays inside through the lock's 1000 sleeps; the
// pass is kept then, and the caller must let go of the lock and fail.
bool EndOtherPassSlowly(ThreadRecord& record);
inline bool EndOtherPass(ThreadRecord& record) {
    const std::atomic<uint32_t>* flag = record.owner_flag.load(std::memory_order_relaxed);
    return flag == nullptr || flag == platform::OwnThreadFlag() || EndOtherPassSlowly(record);
}

// Called by a thread holding its own record locked: its pass, if any, ends
// (the thread is about to redirect its errors elsewhere).
void DropOwnPass(ThreadRecord* record);

}  // namespace faultkit
