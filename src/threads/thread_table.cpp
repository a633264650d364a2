#include "threads/thread_table.h"

#include <array>
#include <utility>

#include "threads/library_lifetime.h"
#include "threads/thread_starter.h"

namespace faultkit {

ThreadRecord g_record_cells[kThreadTableCapacity];

namespace {

constexpr std::array<uint8_t, kThreadTableCapacity> IdentityOrder() {
    std::array<uint8_t, kThreadTableCapacity> order{};
    for (uint32_t i = 0; i < kThreadTableCapacity; ++i) {
        order[i] = static_cast<uint8_t>(i);
    }
    return order;
}
constexpr std::array<uint8_t, kThreadTableCapacity> kIdentityOrder = IdentityOrder();

// How a record stays put while an operation uses it.
//
// Records live in 32 fixed cells (g_record_cells) and are never copied. The table's
// positions 0..count-1 hold the numbers of the cells in use and positions
// count..31 the free ones; removing a record moves the number of the last
// record in use into its position, so the records in use stay contiguous
// while the records themselves stay where they are.
//
// An operation finds its record under the table lock, notes the cell's
// generation, lets go of the table lock and only then takes the record lock.
// Holding the record lock it checks the generation: if the record was
// removed in between (its cell may even serve another thread by now) it lets
// go and searches again.
//
// The watcher removes a record in two steps. Under the table lock it takes
// the record out of the positions in use and bumps its generation, so later
// operations search again. Then, under the record lock alone, it frees the
// slots' storage; an operation that locked the record before it was taken
// out, or entered it by its thread's pass, finishes first (the watcher ends
// the pass, owner_pass.h). Only after that may the cell serve a new record.
//
// No lock is ever held together with another, except that Export and Import
// take the facility lock inside a record lock, and a forking thread holds
// the table lock across the fork. The table lock is held for a search or an
// update of a few words only: threads are opened and started outside it, so
// it stays free nearly all the time.
//
// A redirect keeps the end of its target thread (redirect_end), opened when
// the redirect is made: a search that follows the redirect fails once that
// end is signalled, so a later thread that receives the target's id is
// never taken for it.
//
// Each thread keeps the records it found last (RecordHint) and locks them
// again without searching as long as their generations show that neither
// its own record nor the record it works on has been removed since; its own
// record's redirect_id changes only through the thread itself, which then
// drops the hint. So the table lock is taken only when a record must be
// found anew, and threads working on their own records do not contend.
// Where threads have flags, a thread working on its own record does not
// even take the record lock: it enters by its pass (owner_pass.h).
struct ThreadTable {
    std::array<uint8_t, kThreadTableCapacity> order = kIdentityOrder;  // cell of each position
    std::atomic<uint32_t> count{0};  // changed under `lock`; Shutdown polls it without
    // Guards `order`, `count`, publishing records and the records' thread_id
    // and thread fields.
    SpinLock lock;
    // Set while a removed record's storage is being freed: its cell is not
    // free yet.
    std::atomic<bool> releasing[kThreadTableCapacity] = {};
    // The watcher of each cell's latest record, kept so that a shutdown (or
    // the library's unloading) can wait until watchers have left the
    // library's code, and no finished watcher is left unjoined. Guarded by
    // `lock`.
    platform::Handle watchers[kThreadTableCapacity] = {};
    // Made under `lock`; released when the library is unloaded.
    std::atomic<platform::Handle> shutdown_event{nullptr};
    // Set when the library is being unloaded or the process exits: no
    // record is made from then on. Read under `lock`.
    std::atomic<bool> closed{false};
    // The thread that holds `lock` across a fork, 0 when none does; written
    // under `lock`.
    uint32_t fork_owner = 0;
};

ThreadTable g_table;

// Searches an operation makes when the record it found is removed before
// it can lock it.
constexpr int kFindAttempts = 4;

// Searches within one find: a search that finds a record missing makes it
// and searches again; one more search allows for a record that was removed
// again at once (a shutdown running meanwhile).
constexpr int kSearchesPerFind = 3;

RecordRef RefOf(ThreadRecord* record) {
    return RecordRef{record, GenerationOf(record)};
}

uint32_t LoadRedirect(const ThreadRecord* record) {
    return __atomic_load_n(&record->redirect_id, __ATOMIC_RELAXED);
}

uint32_t Count() {
    return g_table.count.load(std::memory_order_relaxed);
}

ThreadRecord& RecordAt(uint32_t position) {
    return g_record_cells[g_table.order[position]];
}

// Takes a lock where giving up is no option, trying as long as it takes.
void AcquireForGood(SpinLock& lock) {
    while (!SpinLockAcquire(lock)) {
    }
}

// The functions below up to Unlink run under the table lock.

ThreadRecord* Search(uint32_t id) {
    for (uint32_t position = 0; position < Count(); ++position) {
        if (RecordAt(position).thread_id == id) {
            return &RecordAt(position);
        }
    }
    return nullptr;
}

bool HaveShutdownEvent() {
    if (g_table.shutdown_event.load(std::memory_order_relaxed) != nullptr) {
        return true;
    }
    platform::Handle event = platform::CreateManualResetEvent();
    g_table.shutdown_event.store(event, std::memory_order_release);
    return event != nullptr;
}

// Puts a record for `id` into the first free cell whose storage has been
// released and returns the cell's number, or -1 when none is free. A cell's
// count is already 0: releasing resets it.
int Publish(uint32_t id, platform::Handle thread) {
    const uint32_t count = Count();
    for (uint32_t position = count; position < kThreadTableCapacity; ++position) {
        if (!g_table.releasing[g_table.order[position]].load(std::memory_order_acquire)) {
            std::swap(g_table.order[position], g_table.order[count]);
            ThreadRecord& record = RecordAt(count);
            record.thread_id = id;
            __atomic_store_n(&record.redirect_id, 0u, __ATOMIC_RELAXED);
            record.thread = thread;
            g_table.count.store(count + 1, std::memory_order_relaxed);
            return g_table.order[count];
        }
    }
    return -1;
}

// Whether the thread that `own` is redirected to has ended (or did not
// live when the redirect was made): its id may belong to another thread by
// now. Only the record's own thread changes the redirect, and only that
// thread searches for it; the record is not removed while the table lock
// is held.
bool RedirectTargetEnded(const ThreadRecord& own) {
    return own.redirect_end == nullptr || platform::IsSignalled(own.redirect_end);
}

// Looks for the records of the thread `id`: its own and the one its
// operations work on, which with `follow_redirect` is the record of the
// thread it is redirected to (one step at most: a redirect on the target
// record is ignored). When one is missing, `missing` names its thread; it
// is 0 when the table lock was not acquired.
bool SearchRecords(uint32_t id, bool follow_redirect, RecordHint* found, uint32_t* missing) {
    *missing = 0;
    if (!SpinLockAcquire(g_table.lock)) {
        return false;
    }
    ThreadRecord* own = Search(id);
    const uint32_t redirect = own != nullptr && follow_redirect ? LoadRedirect(own) : 0;
    if (redirect != 0 && RedirectTargetEnded(*own)) {
        return ReleaseWithResult(&g_table.lock, nullptr, false);
    }
    ThreadRecord* record = redirect != 0 ? Search(redirect) : own;
    if (record != nullptr) {
        *found = RecordHint{RefOf(own), RefOf(record)};
    } else {
        *missing = own == nullptr ? id : redirect;
    }
    return ReleaseWithResult(&g_table.lock, nullptr, record != nullptr);
}

// Takes the record of `thread` out of the positions in use and marks its
// cell as releasing; returns the cell's number, or -1 when no record holds
// the handle.
int Unlink(platform::Handle thread) {
    const uint32_t count = Count();
    for (uint32_t position = 0; position < count; ++position) {
        const uint8_t cell = g_table.order[position];
        if (g_record_cells[cell].thread == thread) {
            g_record_cells[cell].generation.fetch_add(1, std::memory_order_relaxed);
            g_table.releasing[cell].store(true, std::memory_order_relaxed);
            std::swap(g_table.order[position], g_table.order[count - 1]);
            g_table.count.store(count - 1, std::memory_order_relaxed);
            return cell;
        }
    }
    return -1;
}

// Removes the record of `thread` and gives the handle back; keeps record
// and handle when the table lock is not acquired or no record holds the
// handle.
void Retire(platform::Handle thread) {
    if (!SpinLockAcquire(g_table.lock)) {
        return;
    }
    const int cell = Unlink(thread);
    SpinLockRelease(g_table.lock);
    if (cell < 0) {
        return;
    }
    // Nothing waits for this, and giving up would lose the cell for good.
    ThreadRecord& record = g_record_cells[cell];
    AcquireForGood(record.lock);
    while (!EndOtherPass(record)) {
    }
    ReleaseSlotStorage(&record, true);
    record.shared = false;
    platform::Handle redirect_end = std::exchange(record.redirect_end, nullptr);
    record.thread = nullptr;  // a free cell names no handle
    SpinLockRelease(record.lock);
    g_table.releasing[cell].store(false, std::memory_order_release);
    platform::ReleaseHandle(thread);
    platform::ReleaseHandle(redirect_end);
}

// The watcher of one record: waits for the record's thread to end or for
// the shutdown event, then removes the record.
uint32_t WatchRecord(void* thread) {
    auto* handle = static_cast<platform::Handle>(thread);
    platform::WaitForEither(g_table.shutdown_event.load(std::memory_order_acquire), handle);
    Retire(handle);
    return 1;
}

// Waits until a watcher that has retired its record has ended, and gives
// its handle back.
void AwaitRetiredWatcher(platform::Handle watcher) {
    if (watcher != nullptr) {
        platform::AwaitThreadExit(watcher);
        platform::ReleaseHandle(watcher);
    }
}

// Keeps the watcher of the record published in `cell` with `generation`.
// The cell's previous watcher retired the previous record before the cell
// could be published again, so it is at most returning now: it is waited
// for here. If the new record is gone already, its watcher has retired it
// and is the one waited for.
void KeepWatcher(int cell, uint32_t generation, platform::Handle watcher) {
    // Giving up would leave a watcher nobody waits for.
    AcquireForGood(g_table.lock);
    platform::Handle retired = watcher;
    if (GenerationOf(&g_record_cells[cell]) == generation) {
        std::swap(retired, g_table.watchers[cell]);
    }
    SpinLockRelease(g_table.lock);
    AwaitRetiredWatcher(retired);
}

// Makes a record for the live thread `id`, with a watcher of its own,
// unless another thread made it meanwhile. The watcher starts after the
// record is in the table; if the thread has already ended by then, it
// finds it so at once. True when the record exists.
bool CreateRecord(uint32_t id) {
    WatchLibraryLifetime();
    platform::Handle thread = platform::OpenThreadEnd(id);
    if (thread == nullptr || !SpinLockAcquire(g_table.lock)) {
        platform::ReleaseHandle(thread);
        return false;
    }
    const bool present = Search(id) != nullptr;
    const int cell =
        !present && !g_table.closed.load(std::memory_order_relaxed) &&
                Count() < kThreadTableCapacity && HaveShutdownEvent()
            ? Publish(id, thread)
            : -1;
    const uint32_t generation = cell >= 0 ? GenerationOf(&g_record_cells[cell]) : 0;
    SpinLockRelease(g_table.lock);
    if (cell < 0) {
        platform::ReleaseHandle(thread);
        return present;
    }
    platform::Handle watcher = ThreadStart(0, WatchRecord, thread, false, nullptr);
    if (watcher == nullptr) {
        Retire(thread);
        return false;
    }
    KeepWatcher(cell, generation, watcher);
    return true;
}

// Finds the records of the thread `id`, making the missing ones.
bool FindRecord(uint32_t id, bool follow_redirect, RecordHint* found) {
    for (int search = 0; search < kSearchesPerFind; ++search) {
        uint32_t missing = 0;
        if (SearchRecords(id, follow_redirect, found, &missing)) {
            return true;
        }
        if (missing == 0 || !CreateRecord(missing)) {
            return false;
        }
    }
    return false;
}

}  // namespace

ThreadRecord* LockRecordAfterSearch(bool follow_redirect) {
    RecordHint hint{};
    for (int search = 0; search < kFindAttempts; ++search) {
        if (!FindRecord(platform::CurrentThreadId(), follow_redirect, &hint)) {
            return nullptr;
        }
        StoreHint(follow_redirect, hint);
        switch (LockHinted(hint)) {
            case HintLock::kLocked: return LockedRecord(hint);
            case HintLock::kFailed: return nullptr;
            case HintLock::kRemoved: break;
        }
    }
    return nullptr;
}

platform::Handle RedirectRecord(ThreadRecord* record, uint32_t target_id,
                                platform::Handle target_end) {
    __atomic_store_n(&record->redirect_id, target_id, __ATOMIC_RELAXED);
    DropOwnPass(record);
    StoreHint(true, RecordHint{});
    return std::exchange(record->redirect_end, target_end);
}

uint32_t ThreadTableCount() {
    return Count();
}

namespace {

using WatcherHandles = platform::Handle[kThreadTableCapacity];

// Takes the handles of the watchers of the cells at `first` and after out
// of the table; from Count() on, the watchers whose records are gone. The
// caller holds the table lock.
void TakeWatchers(uint32_t first, WatcherHandles& taken) {
    for (uint32_t position = first; position < kThreadTableCapacity; ++position) {
        std::swap(taken[position], g_table.watchers[g_table.order[position]]);
    }
}

}  // namespace

void AwaitRetiredWatchers() {
    WatcherHandles retired = {};
    if (!SpinLockAcquire(g_table.lock)) {
        return;  // a stalled holder: the watchers stay for a later call
    }
    TakeWatchers(Count(), retired);
    SpinLockRelease(g_table.lock);
    for (platform::Handle watcher : retired) {
        AwaitRetiredWatcher(watcher);
    }
}

platform::Handle ThreadTableShutdownEvent() {
    return g_table.shutdown_event.load(std::memory_order_acquire);
}

void CloseThreadTable() {
    g_table.closed.store(true, std::memory_order_relaxed);
}

// Gives back the watchers' handles, without waiting for the watchers (Windows
// runs this under its loader lock, which an ending thread needs; a watcher
// still running keeps its thread object itself), and the shutdown event
// unless a record remains whose watcher may still wait on it. Threads may
// have been stopped in the middle of an operation by then (Windows ends
// them before a process's exit work), so the table lock gets a single
// attempt.
void ReleaseThreadTable() {
    WatcherHandles watchers = {};
    platform::Handle event = nullptr;
    if (SpinLockTryOnce(g_table.lock)) {
        TakeWatchers(0, watchers);
        event = Count() == 0 ? g_table.shutdown_event.exchange(nullptr) : nullptr;
        SpinLockRelease(g_table.lock);
    }
    for (platform::Handle watcher : watchers) {
        platform::ReleaseHandle(watcher);
    }
    platform::ReleaseHandle(event);
}

namespace {

// Whether a thread was working on the record at the fork: it held the lock,
// or it was inside by its pass (its flag, in its end object, which the
// record holds, was set).
bool HeldAtFork(const ThreadRecord& record) {
    const std::atomic<uint32_t>* pass = record.owner_flag.load(std::memory_order_relaxed);
    return SpinLockCounter(record.lock.word.load(std::memory_order_relaxed)) != 0 ||
           (pass != nullptr && pass->load(std::memory_order_relaxed) != 0);
}

// Empties a cell in a forked child, where its thread and its watcher are
// gone. Storage of a record held at the fork may be half written: it is
// left alone rather than freed. Handles are given back only when the table
// was whole at the fork (`whole`) and the cell was in use.
void ForgetCell(uint8_t cell, bool in_use, bool whole) {
    ThreadRecord& record = g_record_cells[cell];
    record.generation.fetch_add(1, std::memory_order_relaxed);  // hints to it fail
    if (!HeldAtFork(record)) {
        ReleaseSlotStorage(&record, true);
    }
    record.count = 0;
    record.owner_flag.store(nullptr, std::memory_order_relaxed);
    record.shared = false;
    record.lock.word.store(0, std::memory_order_relaxed);
    if (whole && in_use) {
        platform::ReleaseHandle(record.thread);
        platform::ReleaseHandle(record.redirect_end);
    }
    record.thread = record.redirect_end = nullptr;
    g_table.releasing[cell].store(false, std::memory_order_relaxed);
    platform::Handle watcher = std::exchange(g_table.watchers[cell], nullptr);
    if (whole) {
        platform::ReleaseHandle(watcher);
    }
}

}  // namespace

// The forking thread holds the table lock across the fork, so that the
// child finds the table whole. A lock held for seconds by a stalled thread
// does not hold the fork up for good: then the child forgets the table
// without giving its handles back.
void ThreadTableBeforeFork() {
    if (SpinLockAcquire(g_table.lock)) {
        g_table.fork_owner = platform::CurrentThreadId();
    }
}

void ThreadTableAfterForkInParent() {
    if (g_table.fork_owner != 0 && g_table.fork_owner == platform::CurrentThreadId()) {
        g_table.fork_owner = 0;
        SpinLockRelease(g_table.lock);
    }
}

// In the child every record's thread is gone (the forking thread goes on
// under a new id) and no watcher runs: the table starts afresh, keeping its
// shutdown event, cleared.
void ThreadTableAfterForkInChild() {
    const bool whole = g_table.fork_owner != 0;
    for (uint32_t position = 0; position < kThreadTableCapacity; ++position) {
        const uint8_t cell = g_table.order[position];
        ForgetCell(cell, position < Count() || g_table.releasing[cell].load(), whole);
    }
    g_table.count.store(0, std::memory_order_relaxed);
    g_table.fork_owner = 0;
    g_table.lock.word.store(0, std::memory_order_relaxed);
    platform::ClearEvent(g_table.shutdown_event.load(std::memory_order_relaxed));
}

}  // namespace faultkit
