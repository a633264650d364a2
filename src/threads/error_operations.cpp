#include "threads/error_operations.h"

#include "components/component_handle.h"
#include "components/facility_registry.h"
#include "threads/thread_table.h"

namespace faultkit {
namespace {

constexpr uint32_t kNumberMask = FAULTKIT_ERROR_NUMBER_MASK;
constexpr uint32_t kFacilityMask = FAULTKIT_FACILITY_MASK;

// Stores and reads run in two parts. In front, for nearly every call, a
// short path: the handle resolved, the thread holding its own record by
// its pass, and no block to free, so that nothing is called and no stack
// frame is needed. Everything else takes the whole path, which checks the
// handle, holds the record by the pass or the lock and frees what the
// operation gives up. What either path does to the record is the same code
// (StoreHeld, ReadHeld), told by `frees` whether blocks may need freeing.

inline void Fill(_qel_error_enumerate* out, const ErrorSlot& slot) {
    out->uuid = FacilityUuidOfCode(slot.code);
    out->code = slot.code;
    out->aux_text1 = slot.aux_text1;
    out->aux_text2 = slot.aux_text2;
    out->aux_int = slot.aux_int;
    out->reserved = nullptr;
    out->context = slot.context;
}

// A component sees its own errors without its facility.
inline uint32_t StripOwnFacility(const _qel_error_manager* handle, _qel_error_enumerate* out) {
    if ((out->code & kFacilityMask) == HandleFacility(handle)) {
        out->code &= ~kFacilityMask;
    }
    return out->code;
}

inline bool OwnsBlocks(const ErrorSlot& slot) {
    return slot.context != nullptr || slot.strings != nullptr;
}

// Whether reading the root, which empties the record, frees a block.
inline bool RootReadFrees(const ThreadRecord& record) {
    return (record.count >= 1 && OwnsBlocks(record.slots[0])) ||
           (record.count >= 2 && OwnsBlocks(record.slots[1]));
}

// Whether storing an error frees a block: the last error it replaces.
inline bool StoreFrees(const ThreadRecord& record) {
    return record.count >= 2 && OwnsBlocks(record.slots[1]);
}

// Puts `slot` into the next slot of a held record: the root stays in slot
// 0; every error after the second replaces slot 1, whose blocks are freed
// unless the caller knows it owns none (`frees` false).
inline void StoreHeld(ThreadRecord* record, const ErrorSlot& slot, bool frees) {
    if (record->count >= 2) {
        record->count = 1;
        if (frees) {
            ErrorSlotReleaseStorage(record->slots[1]);
        }
    }
    record->slots[record->count++] = slot;
}

// Stores `code` (facility included) in the next slot, or clears the
// thread's errors when its error number is 0. The context is consumed in
// every case. True exactly when the errors were cleared.
bool StoreError(uint32_t code, _qel_error_context* context, char* aux_text1, char* aux_text2,
                int aux_int) {
    if ((code & kFacilityMask) == 0 && (code & kNumberMask) != 0) {
        return ReleaseWithResult(nullptr, context, false);
    }
    const RecordHold hold = HoldRecordOfCurrentThread(true);
    ThreadRecord* record = hold.record;
    if (record == nullptr) {
        return ReleaseWithResult(nullptr, context, false);
    }
    if ((code & kNumberMask) == 0) {
        return ReleaseHoldWithResult(hold, context, ReleaseSlotStorage(record, true));
    }
    StoreHeld(record, ErrorSlot{code, aux_text1, aux_text2, aux_int, context, nullptr}, true);
    return ReleaseHoldWithResult(hold, nullptr, false);
}

// The whole path of SetThreadError.
[[gnu::noinline]] bool SetError(_qel_error_manager* handle, uint32_t code,
                                _qel_error_context* context, char* aux_text1, char* aux_text2,
                                int aux_int) {
    if (!HandleCheck(handle)) {
        return ReleaseWithResult(nullptr, context, code == 0);
    }
    return StoreError(code | HandleFacility(handle), context, aux_text1, aux_text2, aux_int);
}

// Fills `out` from the root or the last error of a held record and lets go
// of it; reading the root empties the record, freeing the blocks its slots
// own unless the caller knows there are none (`frees` false).
template <bool kRoot>
inline uint32_t ReadHeld(const _qel_error_manager* handle, _qel_error_enumerate* out,
                         const RecordHold& hold, bool frees) {
    ThreadRecord* record = hold.record;
    const int32_t count = record->count;
    if (count >= 1) {
        out->count = static_cast<uint32_t>(count);
        out->index = kRoot ? 1 : count;
        Fill(out, record->slots[out->index - 1]);
    }
    if (kRoot) {
        if (frees) {
            ReleaseSlotStorage(record, false);
        }
        record->count = 0;
    }
    ReleaseHoldWithResult(hold, nullptr, 0);
    return count >= 1 ? StripOwnFacility(handle, out) : 0;
}

// The whole path of ReadThreadError.
template <bool kRoot>
[[gnu::noinline]] uint32_t ReadError(_qel_error_manager* handle, _qel_error_enumerate* out) {
    if (!HandleCheck(handle)) {
        return 0;
    }
    _qel_error_enumerate unused;
    const RecordHold hold = HoldRecordOfCurrentThread(true);
    if (hold.record == nullptr) {
        return 0;
    }
    return ReadHeld<kRoot>(handle, out != nullptr ? out : &unused, hold, true);
}

// ReadThreadError's short path in front of its whole path.
template <bool kRoot>
uint32_t ReadErrorByPass(_qel_error_manager* handle, _qel_error_enumerate* out) {
    if (out != nullptr && HandleResolved(handle)) {
        const RecordHold pass = EnterByPass();
        if (pass.record != nullptr) {
            if (!kRoot || !RootReadFrees(*pass.record)) {
                return ReadHeld<kRoot>(handle, out, pass, false);
            }
            LeavePass(pass);
        }
    }
    return ReadError<kRoot>(handle, out);
}

}  // namespace

uint32_t ReadThreadError(_qel_error_manager* handle, _qel_error_enumerate* out, bool root) {
    return root ? ReadErrorByPass<true>(handle, out) : ReadErrorByPass<false>(handle, out);
}

// The short path stores errors with a facility that replace no block;
// clearing, refusing and everything else goes to SetError.
bool SetThreadError(_qel_error_manager* handle, uint32_t code, _qel_error_context* context,
                    char* aux_text1, char* aux_text2, int aux_int) {
    if (HandleResolved(handle)) {
        const uint32_t full_code = code | HandleFacility(handle);
        if ((full_code & kFacilityMask) != 0 && (full_code & kNumberMask) != 0) {
            const RecordHold pass = EnterByPass();
            if (pass.record != nullptr) {
                if (!StoreFrees(*pass.record)) {
                    StoreHeld(pass.record,
                              ErrorSlot{full_code, aux_text1, aux_text2, aux_int, context, nullptr},
                              false);
                    return ReleaseHoldWithResult(pass, nullptr, false);
                }
                LeavePass(pass);
            }
        }
    }
    return SetError(handle, code, context, aux_text1, aux_text2, aux_int);
}

bool EnumThreadErrors(_qel_error_manager* handle, _qel_error_enumerate* record) {
    if (record == nullptr || !HandleCheck(handle)) {
        return false;
    }
    const RecordHold hold = HoldRecordOfCurrentThread(true);
    ThreadRecord* thread = hold.record;
    if (thread == nullptr) {
        return false;
    }
    const int32_t index = record->index;
    if (index < 0 || index >= thread->count) {
        return ReleaseHoldWithResult(hold, nullptr, false);
    }
    if (index == 0) {
        record->count = static_cast<uint32_t>(thread->count);
    }
    record->index = index + 1;
    Fill(record, thread->slots[index]);
    ReleaseHoldWithResult(hold, nullptr, 0);
    StripOwnFacility(handle, record);
    return true;
}

// The target's end is opened before the record is locked: no lock is held
// while a thread end is looked up. A target that is not a live thread gets
// no end, and calls that follow the redirect fail.
bool RedirectThreadErrors(const _qel_error_manager* target) {
    const uint32_t target_id = target != nullptr ? target->thread_id : 0;
    platform::Handle target_end = target_id != 0 ? platform::OpenThreadEnd(target_id) : nullptr;
    ThreadRecord* record = LockRecordOfCurrentThread(false);
    if (record == nullptr) {
        platform::ReleaseHandle(target_end);
        return false;
    }
    platform::Handle replaced = RedirectRecord(record, target_id, target_end);
    SpinLockRelease(record->lock);
    platform::ReleaseHandle(replaced);
    return true;
}

}  // namespace faultkit
