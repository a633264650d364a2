// ThreadTable: one ThreadRecord for each thread that uses the library, at
// most 32 at a time. A record is made on its thread's first operation (or
// on the first operation of a thread redirected to it) and removed, with
// every context and string block its slots own, by a watcher thread when
// its thread ends or when ErrorMgrShutdown asks all watchers to stop.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/spin_lock.h"
#include "platform/platform.h"
#include "threads/error_slot.h"

namespace faultkit {

inline constexpr uint32_t kThreadTableCapacity = 32;

struct ThreadRecord {
    int32_t count{0};      // slots in use: 0, 1 or 2; guarded by `lock`
    ErrorSlot slots[2]{};  // root error, then the last error; guarded by `lock`
    SpinLock lock;
    uint32_t thread_id{0};             // set when the record is made, under the table lock
    uint32_t redirect_id{0};           // thread this thread's errors go to, 0 for none;
                                       // changed only by RedirectRecord, read atomically
    platform::Handle thread{nullptr};  // signalled when the thread ends
    // Counts the removals of the record: an operation that found the record
    // checks, once it holds `lock`, that it has not been removed since.
    // Changed under the table lock.
    std::atomic<uint32_t> generation{0};
};

// Finds (creating if needed) the calling thread's record, following one
// redirect when asked, and returns it LOCKED (record lock held) or null.
// Release with ReleaseWithResult(&record->lock, ...).
ThreadRecord* LockRecordOfCurrentThread(bool follow_redirect);

// Frees the first `count` slots' context and strings; sets count to 0 when
// reset is true; returns reset. The caller holds the record lock.
bool ReleaseSlotStorage(ThreadRecord* record, bool reset);

// Sends later errors of the record's thread to the thread `target_id` (0:
// none). `record` is the calling thread's own record, locked.
void RedirectRecord(ThreadRecord* record, uint32_t target_id);

// Number of records in use; read without the table lock.
uint32_t ThreadTableCount();

// Waits until the watchers of every record removed so far have ended, so
// that none runs library code any longer.
void AwaitRetiredWatchers();

// The event that makes every watcher remove its record; null until the
// first record is made.
platform::Handle ThreadTableShutdownEvent();

}  // namespace faultkit
