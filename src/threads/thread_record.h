// ThreadRecord: the error state of one thread, two slots under a lock of
// their own (or its thread's pass, owner_pass.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "base/spin_lock.h"
#include "platform/platform.h"
#include "threads/error_slot.h"

namespace faultkit {

// A record takes whole cache lines: the records of two threads never share
// one, so threads working on their own records do not slow each other down.
// The fields an operation touches come first.
struct alignas(64) ThreadRecord {
    SpinLock lock;
    // Counts the removals of the record: an operation that found the record
    // checks, once it holds `lock`, that it has not been removed since.
    // Changed under the table lock.
    std::atomic<uint32_t> generation{0};
    // `count` and `slots` are guarded by `lock`, or by the owner's pass.
    int32_t count{0};  // slots in use: 0, 1 or 2
    // The flag of the record's thread while that thread may work on the
    // record by its pass, without `lock` (owner_pass.h); null otherwise.
    // Changed under `lock`; read by the record's thread without it.
    std::atomic<const std::atomic<uint32_t>*> owner_flag{nullptr};
    ErrorSlot slots[2]{};              // root error, then the last error
    uint32_t thread_id{0};             // set when the record is made, under the table lock
    uint32_t redirect_id{0};           // thread this thread's errors go to, 0 for none;
                                       // changed only by RedirectRecord, read atomically
    platform::Handle thread{nullptr};  // signalled when the thread ends
    // The end of the thread `redirect_id` named when the redirect was made
    // (null when no such thread lived then): the redirect holds on to that
    // thread, not to its id, which a later thread may receive. Changed by
    // the record's own thread (RedirectRecord, holding `lock`) and when the
    // record is removed; read by the record's own thread in its searches.
    platform::Handle redirect_end{nullptr};
    // Set once a thread other than the record's own has held the record:
    // the owner gets no pass to it again. Guarded by `lock`; cleared when
    // the record is removed.
    bool shared{false};
};

inline constexpr uint32_t kThreadTableCapacity = 32;

// The cells that hold the records, one record at a time each, for good
// (thread_table.cpp): records never move, and a cell's number names its
// record.
extern ThreadRecord g_record_cells[kThreadTableCapacity];

// Frees the first `count` slots' context and strings; sets count to 0 when
// reset is true; returns reset. The caller holds the record (lock or pass).
inline bool ReleaseSlotStorage(ThreadRecord* record, bool reset) {
    for (int32_t i = 0; i < record->count; ++i) {
        ErrorSlotReleaseStorage(record->slots[i]);
    }
    if (reset) {
        record->count = 0;
    }
    return reset;
}

}  // namespace faultkit
