// RecordHint: the records a thread found last, kept per thread so that its
// operations lock them again without searching the table. Defined with the
// table (thread_table.cpp), which says when a hint is still good; the check
// is here, inline, because every operation runs it.
#pragma once

#include <cstdint>

#include "base/spin_lock.h"
#include "platform/platform.h"
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

// The calling thread's last search results, without and with redirects, in
// its platform words, four per hint: each record's address and generation.
inline int HintWord(bool follow_redirect) {
    return follow_redirect ? 4 : 0;
}

inline RecordRef LoadRecordRef(int word) {
    return RecordRef{
        reinterpret_cast<ThreadRecord*>(static_cast<uintptr_t>(platform::ThreadWord(word))),
        static_cast<uint32_t>(platform::ThreadWord(word + 1))};
}

inline void StoreRecordRef(int word, const RecordRef& ref) {
    platform::SetThreadWord(word, reinterpret_cast<uintptr_t>(ref.record));
    platform::SetThreadWord(word + 1, ref.generation);
}

static_assert(platform::kThreadWords >= 8, "two hints of four words each");

inline RecordHint LoadHint(bool follow_redirect) {
    const int word = HintWord(follow_redirect);
    return RecordHint{LoadRecordRef(word), LoadRecordRef(word + 2)};
}

inline void StoreHint(bool follow_redirect, const RecordHint& hint) {
    const int word = HintWord(follow_redirect);
    StoreRecordRef(word, hint.own);
    StoreRecordRef(word + 2, hint.found);
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
