// Merging a read image into a thread's two slots: imported errors go ahead
// of the thread's own, the first becomes the root, the thread's most recent
// error stays the last.
#include <cstdlib>

#include "transfer/transfer_image.h"

namespace faultkit {

void DiscardEntries(ErrorSlot* list, int32_t n) {
    for (int32_t i = 0; i < n; ++i) {
        ErrorSlotReleaseStorage(list[i]);
    }
    std::free(list);
}

// Entries are moved, not copied: their blocks go with them. The aux texts of
// discarded entries are not freed: they point into `strings` or belong to
// the caller that set them.
void FoldIntoSlots(ErrorSlot* list, int32_t n, ErrorSlot slots[2], int32_t* count) {
    slots[0] = list[0];
    if (n >= 2) {
        slots[1] = list[n - 1];
    }
    for (int32_t i = 1; i < n - 1; ++i) {
        ErrorSlotReleaseStorage(list[i]);
    }
    *count = n < 2 ? n : 2;
}

bool ImportIntoSlots(ErrorSlot slots[2], int32_t* count, const void* image) {
    ErrorSlot* list = nullptr;
    int32_t n = 0;
    if (!ReadImage(slots, *count, image, &list, &n)) {
        return false;
    }
    if (list != nullptr) {
        FoldIntoSlots(list, n, slots, count);
        std::free(list);
    }
    return true;
}

}  // namespace faultkit
