// Fuzzes reading transfer images: any bytes are refused or accepted without
// reading past them or leaking; an accepted image folded into slots exports
// to an image that is itself accepted.
#include <vector>

#include "faultkit.h"
#include "fuzz_input.h"
#include "transfer/transfer_image.h"

using namespace faultkit;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The errors the thread already has: 0, 1 or 2, each owning a context.
    static char own_text[] = "own";
    ErrorSlot slots[2] = {};
    auto count = static_cast<int32_t>(size % 3);
    for (int32_t i = 0; i < count; ++i) {
        slots[i] = ErrorSlot{0x10001u + static_cast<uint32_t>(i), own_text, nullptr, i,
                             ErrorMgrBuildContext(const_cast<char*>("%i%s"), i, "ctx"), nullptr};
    }
    ErrorSlot* list = nullptr;
    int32_t n = 0;
    if (ReadImageWithin(slots, count, data, size, &list, &n) && list != nullptr) {
        FoldIntoSlots(list, n, slots, &count);
        std::free(list);
        const uint64_t length = WriteImage(slots, count, nullptr, 0);
        std::vector<uint8_t> image(length);
        Check(length != 0 && WriteImage(slots, count, image.data(), length) == length, "export");
        Check(ReadImageWithin(nullptr, 0, image.data(), length, &list, &n) && n == count,
              "the export is accepted");
        DiscardEntries(list, n);
    }
    for (int32_t i = 0; i < count; ++i) {
        ErrorSlotReleaseStorage(slots[i]);
    }
    return 0;
}
