// RecordHint: the records a thread found last, kept per thread so that its
// operations lock them again without searching the table. Defined with the
// table (thread_table.cpp), which says when a hint is still good; the check
// is here, inline, because every operation runs it.
#pragma once

#include <cstdint>

#include "base/spin_lock.h"
#include "platform/platform.h"
#include "threads/owner_pass.h"
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

// A RecordRef in one platform word: the generation in the high half, the
// record's cell number + 1 in the low byte (0: no record).
inline uint64_t PackRecordRef(const RecordRef& ref) {
    const uint64_t cell = ref.record != nullptr ? ref.record - g_record_cells + 1 : 0;
    return uint64_t{ref.generation} << 32 | cell;
}

inline RecordRef UnpackRecordRef(uint64_t word) {
    const uint64_t cell = word & 0xFF;
    return RecordRef{cell != 0 ? &g_record_cells[cell - 1] : nullptr,
                     static_cast<uint32_t>(word >> 32)};
}

// The calling thread's hints, without and with redirects, two platform
// words each: the found record, marked when the thread's own record is
// another one, and then the own record. Most operations read one word.
inline constexpr uint64_t kOwnRecordElsewhere = 0x100;

inline int HintWord(bool follow_redirect) {
    return follow_redirect ? 2 : 0;
}

static_assert(platform::kThreadWords >= 4, "two hints of two words each");

inline RecordHint LoadHint(bool follow_redirect) {
    const int word = HintWord(follow_redirect);
    const uint64_t found = platform::ThreadWord(word);
    const RecordRef own = UnpackRecordRef(
        (found & kOwnRecordElsewhere) != 0 ? platform::ThreadWord(word + 1) : found);
    return RecordHint{own, UnpackRecordRef(found)};
}

inline void StoreHint(bool follow_redirect, const RecordHint& hint) {
    const int word = HintWord(follow_redirect);
    const bool elsewhere = hint.own.record != hint.found.record;
    platform::SetThreadWord(word,
                            PackRecordRef(hint.found) | (elsewhere ? kOwnRecordElsewhere : 0));
    if (elsewhere) {
        platform::SetThreadWord(word + 1, PackRecordRef(hint.own));
    }
}

inline uint32_t GenerationOf(const ThreadRecord* record) {
    return record->generation.load(std::memory_order_relaxed);
}

enum class HintLock { kLocked, kRemoved, kFailed };

// Locks the record the hint names if neither of the hint's records has been
// removed since it was found; the found record is checked under its lock,
// and then no other thread may still be inside it by its pass.
inline HintLock LockHinted(const RecordHint& hint) {
    ThreadRecord* record = hint.found.record;
    if (record == nullptr || GenerationOf(hint.own.record) != hint.own.generation) {
        return HintLock::kRemoved;
    }
    if (!SpinLockAcquire(record->lock)) {
        return HintLock::kFailed;
    }
    const HintLock outcome = GenerationOf(record) != hint.found.generation ? HintLock::kRemoved
                             : EndOtherPass(*record)                       ? HintLock::kLocked
                                                                           : HintLock::kFailed;
    if (outcome != HintLock::kLocked) {
        SpinLockRelease(record->lock);
    }
    return outcome;
}

}  // namespace faultkit
