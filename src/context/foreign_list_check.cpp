#include "context/foreign_list_check.h"

#include "context/context_list.h"

namespace faultkit {
namespace {

// The payload is known to lie inside the blob.
bool PayloadIsWellFormed(const ContextItemView& item) {
    const uint32_t width = ContextPayloadWidth(item.type);
    if (width != 0) {
        return item.size == width;
    }
    if (item.type == CtxString && item.size != 0) {
        return item.payload[item.size - 1] == '\0';
    }
    return true;
}

}  // namespace

uint64_t ContextBlobExtent(const void* blob, uint64_t available) {
    const auto* base = static_cast<const uint8_t*>(blob);
    uint64_t offset = 0;
    for (;;) {
        if (available - offset < kContextHeaderSize) {
            return 0;
        }
        const ContextItemView item = ReadContextItem(base + offset, true);
        const uint64_t payload_end = offset + kContextHeaderSize + item.size;
        if (payload_end > available || !PayloadIsWellFormed(item)) {
            return 0;
        }
        if (item.next == 0) {
            return payload_end;
        }
        if (item.next != ContextRecordSize(item.size)) {
            return 0;
        }
        offset += item.next;
        if (offset > available) {
            return 0;
        }
    }
}

}  // namespace faultkit
