#include "platform/platform.h"

namespace faultkit::platform {

// The va_lists of System V x86-64 and of 64-bit ARM (a structure there)
// keep register and stack arguments apart; neither is a slot list.
bool VaListSlots(va_list /*arguments*/, const uint64_t** slots) {
    *slots = nullptr;
    return false;
}

}  // namespace faultkit::platform
