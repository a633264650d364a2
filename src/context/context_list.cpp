#include "context/context_list.h"

#include "base/byte_order.h"

namespace faultkit {
namespace {

uint32_t LoadField32(const uint8_t* at, bool network) {
    return network ? LoadBe32(at) : LoadHost<uint32_t>(at);
}

bool PayloadIsNumber(uint16_t type) {
    switch (type) {
        case CtxInt32:
        case CtxInt64:
        case CtxHex32:
        case CtxDouble:
        case CtxLongDouble:
        case CtxPointer: return true;
        default: return false;
    }
}

}  // namespace

uint32_t ContextPayloadWidth(uint16_t type) {
    switch (type) {
        case CtxChar: return 1;
        case CtxInt32:
        case CtxHex32:
        case CtxUInt32: return 4;
        case CtxInt64:
        case CtxPtrDiff:
        case CtxDouble:
        case CtxLongDouble:
        case CtxPointer:
        case CtxUInt64:
        case CtxSize: return 8;
        default: return 0;
    }
}

ContextItemView ReadContextItem(const void* record, bool from_network) {
    const auto* at = static_cast<const uint8_t*>(record);
    ContextItemView item;
    item.type = from_network ? LoadBe16(at + kContextTypeOffset)
                             : LoadHost<uint16_t>(at + kContextTypeOffset);
    item.size = LoadField32(at + kContextSizeOffset, from_network);
    item.next = LoadField32(at + kContextNextOffset, from_network);
    item.payload = at + kContextHeaderSize;
    return item;
}

uint64_t ContextChainSize(const void* list, bool from_network) {
    if (list == nullptr) {
        return 0;
    }
    const auto* at = static_cast<const uint8_t*>(list);
    uint64_t sum = 0;
    ContextItemView item = ReadContextItem(at, from_network);
    while (item.next != 0) {
        sum += item.next;
        item = ReadContextItem(at + sum, from_network);
    }
    return sum + kContextHeaderSize + item.size;
}

void* ContextChainSwap(void* list, bool from_network) {
    if (list == nullptr || !HostIsLittleEndian()) {
        return list;  // big-endian hosts already hold lists in network order
    }
    auto* at = static_cast<uint8_t*>(list);
    for (;;) {
        const ContextItemView item = ReadContextItem(at, from_network);
        if (PayloadIsNumber(item.type)) {
            ReverseBytes(at + kContextHeaderSize, item.size);
        }
        ReverseBytes(at + kContextTypeOffset, 2);
        ReverseBytes(at + kContextSizeOffset, 4);
        ReverseBytes(at + kContextNextOffset, 4);
        if (item.next == 0) {
            return list;
        }
        at += item.next;
    }
}

}  // namespace faultkit
