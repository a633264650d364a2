// RecordHint: the records a thread found last, kept per thread so that its
// operations lock them again without searching the table. Defined with the
// table (thread_table.cpp), which says when a hint is still good; the check
// is here, inline, because every operation runs it.
#pragma once

#include <cstdint>

#include "base/spin_lock.h"
#include "threads/thread_record.h"

namespace faultkit {

struct RecordRef {
    ThreadRecord* record;
    uint32_t generation;
};

// What a search found for a thread: its own record and the record its
// operations work on (the same one unless redirected).
struct RecordHint {
    RecordRef own;
    RecordRef found;
};

// On ELF the hints use the initial-exec model: a shared library then
// reaches them with one thread-pointer-relative load instead of a call to
// __tls_get_addr. They take 64 bytes of the static TLS reserve.
#if defined(__ELF__)
#define FAULTKIT_INITIAL_EXEC_TLS __attribute__((tls_model("initial-exec")))
#else
#define FAULTKIT_INITIAL_EXEC_TLS
#endif

// The calling thread's last search results, without ([0]) and with ([1])
// redirects. __thread rather than thread_local: plain data, no wrapper call
// from other files.
extern __thread RecordHint t_record_hints[2] FAULTKIT_INITIAL_EXEC_TLS;

inline RecordHint& HintOf(bool follow_redirect) {
    return t_record_hints[follow_redirect ? 1 : 0];
}

inline uint32_t GenerationOf(const ThreadRecord* record) {
    return record->generation.load(std::memory_order_relaxed);
}

enum class HintLock { kLocked, kRemoved, kFailed };

// Locks the record the hint names if neither of the hint's records has been
// removed since it was found; the found record is checked under its lock.
inline HintLock LockHinted(const RecordHint& hint) {
    ThreadRecord* record = hint.found.record;
    if (record == nullptr || GenerationOf(hint.own.record) != hint.own.generation) {
        return HintLock::kRemoved;
    }
    if (!SpinLockAcquire(record->lock)) {
        return HintLock::kFailed;
    }
    if (GenerationOf(record) == hint.found.generation) {
        return HintLock::kLocked;
    }
    SpinLockRelease(record->lock);
    return HintLock::kRemoved;
}

}  // namespace faultkit
