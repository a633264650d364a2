// ErrorSlot: one stored error of a thread.
#pragma once

#include <cstdint>
#include <cstdlib>

#include "faultkit.h"

namespace faultkit {

struct ErrorSlot {
    uint32_t code;    // full error code, facility included
    char* aux_text1;  // caller-owned, or inside `strings` when imported
    char* aux_text2;  // same ownership as aux_text1
    int32_t aux_int;
    _qel_error_context* context;  // owned by the slot, or null
    char* strings;                // imported strings block owned by the slot, or null
};

// Frees the blocks the slot owns (context and strings), not the aux texts.
// Errors set without a context own nothing: no call into the heap then.
inline void ErrorSlotReleaseStorage(ErrorSlot& slot) {
    if (slot.context != nullptr) {
        std::free(slot.context);
    }
    if (slot.strings != nullptr) {
        std::free(slot.strings);
    }
}

}  // namespace faultkit
