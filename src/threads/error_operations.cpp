#include "threads/error_operations.h"

#include "components/component_handle.h"
#include "components/facility_registry.h"
#include "threads/thread_table.h"

namespace faultkit {
namespace {

constexpr uint32_t kNumberMask = FAULTKIT_ERROR_NUMBER_MASK;
constexpr uint32_t kFacilityMask = FAULTKIT_FACILITY_MASK;

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
    // The root stays in slot 0; every error after the second replaces slot 1.
    if (record->count >= 2) {
        record->count = 1;
        ErrorSlotReleaseStorage(record->slots[1]);
    }
    record->slots[record->count++] =
        ErrorSlot{code, aux_text1, aux_text2, aux_int, context, nullptr};
    return ReleaseHoldWithResult(hold, nullptr, false);
}

void Fill(_qel_error_enumerate* out, const ErrorSlot& slot) {
    out->uuid = FacilityUuidOfCode(slot.code);
    out->code = slot.code;
    out->aux_text1 = slot.aux_text1;
    out->aux_text2 = slot.aux_text2;
    out->aux_int = slot.aux_int;
    out->reserved = nullptr;
    out->context = slot.context;
}

// A component sees its own errors without its facility.
uint32_t StripOwnFacility(const _qel_error_manager* handle, _qel_error_enumerate* out) {
    if ((out->code & kFacilityMask) == HandleFacility(handle)) {
        out->code &= ~kFacilityMask;
    }
    return out->code;
}

}  // namespace

uint32_t ReadThreadError(_qel_error_manager* handle, _qel_error_enumerate* out, bool root) {
    if (!HandleCheck(handle)) {
        return 0;
    }
    _qel_error_enumerate unused;
    if (out == nullptr) {
        out = &unused;
    }
    const RecordHold hold = HoldRecordOfCurrentThread(true);
    ThreadRecord* record = hold.record;
    if (record == nullptr) {
        return 0;
    }
    const int32_t count = record->count;
    if (count >= 1) {
        out->count = static_cast<uint32_t>(count);
        out->index = root ? 1 : count;
        Fill(out, record->slots[out->index - 1]);
    }
    if (root) {
        ReleaseSlotStorage(record, true);
    }
    ReleaseHoldWithResult(hold, nullptr, 0);
    return count >= 1 ? StripOwnFacility(handle, out) : 0;
}

bool SetThreadError(_qel_error_manager* handle, uint32_t code, _qel_error_context* context,
                    char* aux_text1, char* aux_text2, int aux_int) {
    if (!HandleCheck(handle)) {
        return ReleaseWithResult(nullptr, context, code == 0);
    }
    return StoreError(code | HandleFacility(handle), context, aux_text1, aux_text2, aux_int);
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
