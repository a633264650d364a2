// ErrorSlot: one stored error of a thread.
#pragma once

#include <cstdint>

#include "faultkit.h"

namespace faultkit {

struct ErrorSlot {
    uint32_t code;                // full error code, facility included
    char* aux_text1;              // caller-owned, or inside `strings` when imported
    char* aux_text2;              // same ownership as aux_text1
    int32_t aux_int;
    _qel_error_context* context;  // owned by the slot, or null
    char* strings;                // imported strings block owned by the slot, or null
};

// Frees the blocks the slot owns (context and strings), not the aux texts.
void ErrorSlotReleaseStorage(ErrorSlot& slot);

}  // namespace faultkit
