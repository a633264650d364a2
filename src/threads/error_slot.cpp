#include "threads/error_slot.h"

#include <cstdlib>

namespace faultkit {

void ErrorSlotReleaseStorage(ErrorSlot& slot) {
    std::free(slot.context);
    std::free(slot.strings);
}

}  // namespace faultkit
