// ThreadTable: one ThreadRecord for each thread that uses the library, at
// most 32 at a time. A record is made on its thread's first operation (or
// on the first operation of a thread redirected to it) and removed, with
// every context and string block its slots own, by a watcher thread when
// its thread ends or when ErrorMgrShutdown asks all watchers to stop.
#pragma once

#include <cstdint>

#include "base/spin_lock.h"
#include "platform/platform.h"
#include "threads/record_hint.h"
#include "threads/thread_record.h"

namespace faultkit {

// The record of `hint`, which the calling thread has just locked; when it
// is the thread's own, the thread gets a pass to it for later operations.
inline ThreadRecord* LockedRecord(const RecordHint& hint) {
    if (platform::OwnThreadFlag() != nullptr && hint.own.record == hint.found.record) {
        GrantOwnerPass(hint.found.record);
    }
    return hint.found.record;
}

// The search behind LockRecordOfCurrentThread, for a thread whose hint is
// missing or no longer good.
ThreadRecord* LockRecordAfterSearch(bool follow_redirect);

// Finds (creating if needed) the calling thread's record, following one
// redirect when asked, and returns it LOCKED (record lock held) or null.
// Release with ReleaseWithResult(&record->lock, ...).
// The hint's check is inline: most operations need nothing more.
inline ThreadRecord* LockRecordOfCurrentThread(bool follow_redirect) {
    const RecordHint hint = LoadHint(follow_redirect);
    switch (LockHinted(hint)) {
        case HintLock::kLocked: return LockedRecord(hint);
        case HintLock::kFailed: return nullptr;
        case HintLock::kRemoved: break;
    }
    return LockRecordAfterSearch(follow_redirect);
}

// Holds the calling thread's record, or the record it is redirected to when
// `follow_redirect` is set, for one operation: by the thread's pass to its
// own record if it has one (a thread with a pass is not redirected), else
// by the lock, as LockRecordOfCurrentThread. End with ReleaseHoldWithResult.
inline RecordHold HoldRecordOfCurrentThread(bool follow_redirect) {
    const RecordHold pass = EnterByPass();
    return pass.record != nullptr ? pass
                                  : RecordHold{LockRecordOfCurrentThread(follow_redirect), nullptr};
}

// Sends later errors of the record's thread to the thread `target_id` (0:
// none), whose end `target_end` the record keeps: once that thread has
// ended, operations that follow the redirect fail. `record` is the calling
// thread's own record, locked. Returns the end the record kept before, for
// the caller to give back once the lock is released.
platform::Handle RedirectRecord(ThreadRecord* record, uint32_t target_id,
                                platform::Handle target_end);

// Number of records in use; read without the table lock.
uint32_t ThreadTableCount();

// Waits until the watchers of every record removed so far have ended, so
// that none runs library code any longer; does nothing when the table lock
// cannot be had.
void AwaitRetiredWatchers();

// The event that makes every watcher remove its record; null until the
// first record is made.
platform::Handle ThreadTableShutdownEvent();

// Makes no record from now on: the library is being unloaded or the
// process exits.
void CloseThreadTable();

// Gives back the table's handles when the library is unloaded or the
// process exits; watchers still running are neither stopped nor waited for.
void ReleaseThreadTable();

// Fork handlers: the parent holds the table lock across a fork; the child
// starts with an empty table.
void ThreadTableBeforeFork();
void ThreadTableAfterForkInParent();
void ThreadTableAfterForkInChild();

}  // namespace faultkit
