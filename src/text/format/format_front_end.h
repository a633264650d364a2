// The positional formatting front end. It prepares a UTF-16 format and its
// argument slots for a formatter that reads its arguments strictly in
// order: positional directives ("%2$s") become plain ones with the arguments
// re-ordered, and "ll", "z", "t" and "c" are respelled "I64", "I", "I" and
// "C". A narrow (UTF-8) string argument that is plain ASCII reads the same
// in every single-byte reading and is passed on as it is ("hs"); any other
// becomes a UTF-16 copy ("ls").
//
// An argument list is a pointer to consecutive 8-byte slots, one per
// argument whatever its type. A directive consumes one slot per '*' and one for
// its value: its argument group. A positional index names a whole group.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/format/format_scan.h"

namespace faultkit {

using ArgumentSlots = const uint64_t*;

// Where a block may go besides the heap: storage of the caller's (on its
// stack), used when the block fits. The block is the same either way.
struct BlockStorage {
    void* local;  // 8-byte aligned
    size_t local_bytes;
};

// Builds one block holding the re-ordered slots, the rewritten format and
// the UTF-16 string copies, and points `format` and `arguments` into it.
// Returns null, leaving both unchanged, when the format needs no rewriting
// or cannot be handled: the caller then uses them as they are. `scan` is
// the format's (`*format`) scan; where its walk went elsewhere than the
// front end's, the format is scanned again into it. The block comes from
// the heap, or from `storage` when it fits there.
void* BuildArgumentBlock(FormatScan* scan, const char16_t** format, ArgumentSlots* arguments,
                         BlockStorage storage);

// Scans and prepares a format for the formatter; see BuildArgumentBlock.
// The block comes from the heap.
void* PrepareWideFormat(const char16_t** format, ArgumentSlots* arguments);

// Frees a prepared block (null is fine; a block in `storage` is left
// alone) and returns `result`.
int32_t ReleaseWideFormat(void* block, int32_t result);
int32_t ReleaseWideFormat(void* block, BlockStorage storage, int32_t result);

}  // namespace faultkit
