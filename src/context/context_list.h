// Context value lists: one heap block of ContextItem records back to back.
// Each record sits at an offset that is a multiple of 12 and is laid out as
//   0  u16 type    ContextType code
//   2  u16         unused (zero in lists this library builds)
//   4  u32 size    payload bytes
//   8  u32 next    offset to the next record, 0 in the last one
//   12 payload     host order; padding up to the record size is zero
// The same layout, converted by ContextChainSwap, travels in transfer images.
#pragma once

#include <cstdint>

#include "faultkit.h"

namespace faultkit {

enum ContextType : uint16_t {
    CtxInt32 = 1,
    CtxInt64 = 2,
    CtxPtrDiff = 3,
    CtxHex32 = 4,
    CtxDouble = 5,
    CtxLongDouble = 6,
    CtxChar = 7,
    CtxString = 8,
    CtxPointer = 9,
    CtxMemory = 10,
    CtxUnsigned = 0x80,
    CtxUInt32 = CtxUnsigned | CtxInt32,
    CtxUInt64 = CtxUnsigned | CtxInt64,
    CtxSize = CtxUnsigned | CtxPtrDiff,
};

inline constexpr uint64_t kContextHeaderSize = 12;
inline constexpr uint64_t kContextTypeOffset = 0;
inline constexpr uint64_t kContextSizeOffset = 4;
inline constexpr uint64_t kContextNextOffset = 8;

// The smallest multiple of 12 that holds the header and `payload_size` bytes.
inline uint64_t ContextRecordSize(uint64_t payload_size) {
    return (payload_size + 23) - ((payload_size + 23) % 12);
}

// The payload width a type always has, or 0 for types of any width
// (strings, memory blocks, codes this library does not know).
uint32_t ContextPayloadWidth(uint16_t type);

// One record's header fields in host terms and its payload.
struct ContextItemView {
    uint16_t type;
    uint32_t size;
    uint32_t next;
    const uint8_t* payload;
};

// Reads the record at `record`; from_network says the header is big-endian.
ContextItemView ReadContextItem(const void* record, bool from_network);

// Bytes from the first record to the last payload byte (the last record's
// padding excluded); 0 for a null list. The list must be well formed.
uint64_t ContextChainSize(const void* list, bool from_network);

// Converts a well-formed list in place between host and network order and
// returns it. from_network tells which order the list is in now. Payloads of
// CtxInt32, CtxInt64, CtxHex32, CtxDouble, CtxLongDouble and CtxPointer are
// reversed on little-endian hosts; the others stay as they stand.
void* ContextChainSwap(void* list, bool from_network);

}  // namespace faultkit
