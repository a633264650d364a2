// Reverse code-page tables: from a code point (U+0000 to U+FFFF) to the byte
// of a code page. Each table is stored compressed as a ReverseRecord (see
// code_page_tables.h): a run-length coded PageIndex with one entry per block
// of 8 code points, and the ReverseGroups it numbers. At load the records
// are expanded; when memory is short lookups read the compressed data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "text/encoding/encoding_id.h"

namespace faultkit {

inline constexpr size_t kPageIndexSize = 8192;
inline constexpr size_t kReverseGroupSize = 8;
inline constexpr uint16_t kRunStreamByteOrder = 0xDEAD;

// At most one field is set once loading has ended. Both have 18 entries, of
// which entry 0 is null and entry id belongs to code page id.
//   compressed: pointers to the ReverseRecords in the constant data.
//   expanded:   owned blocks of 8192 + 8 * G bytes, a PageIndex followed by
//               its G ReverseGroups.
// No lock: the process-wide set is built before any caller can enter the
// library and only read afterwards.
struct ReverseTableSet {
    const uint8_t** compressed;
    uint8_t** expanded;
};

// Allocation function for the tables; std::malloc unless a caller supplies
// another. Whatever it returns is released with std::free.
using AllocateFn = void* (*)(size_t);

// Builds the set: expanded when every allocation succeeds, else the
// compressed array only, else neither. Returns set.
ReverseTableSet* ReverseTablesLoad(ReverseTableSet* set, AllocateFn allocate = std::malloc);

// Frees what the set owns and leaves both fields null.
void ReverseTablesUnload(ReverseTableSet* set);

// Lookup in the compressed records, through set.compressed when it is set,
// else by walking the records from the first.
uint8_t CompressedLookup(const ReverseTableSet& set, uint32_t cp, EncodingId id);

// Lookup in an expanded block: two array reads.
inline uint8_t ExpandedLookup(const uint8_t* block, uint32_t cp) {
    const uint8_t group = block[cp >> 3];
    return group == 0 ? 0 : block[kPageIndexSize + (group - 1u) * kReverseGroupSize + (cp & 7u)];
}

// The bytes of the code points 8 * first to 8 * (first + count) - 1 in an
// expanded block into out, 0 for those without one: the groups of `count`
// PageIndex entries from entry `first` on, copied whole.
inline void ExpandedGroups(const uint8_t* block, uint32_t first, uint32_t count, uint8_t* out) {
    for (uint32_t k = first; k < first + count; ++k, out += kReverseGroupSize) {
        const uint8_t group = block[k];
        if (group == 0) {
            std::memset(out, 0, kReverseGroupSize);
        } else {
            std::memcpy(out, block + kPageIndexSize + (group - 1u) * kReverseGroupSize,
                        kReverseGroupSize);
        }
    }
}

// Byte of cp (0 to 0xFFFF) in code page id (1 to 17); 0 when it has none.
// The same in every state of the set.
inline uint8_t ReverseLookup(const ReverseTableSet& set, uint32_t cp, EncodingId id) {
    return set.expanded != nullptr ? ExpandedLookup(set.expanded[id], cp)
                                   : CompressedLookup(set, cp, id);
}

// Expands a RunStream into a new buffer of (size word * 32) bytes, or null
// when allocation fails; the caller frees it. Never writes past the buffer,
// whatever the stream says; bytes the stream leaves unfilled are zero.
void* RunStreamExpand(const uint8_t* stream, const uint16_t* markers, int marker_count,
                      AllocateFn allocate = std::malloc);

// Entry `index` of width `width` bits (1, 2, 4 or 8) of the expansion,
// read from the stream without expanding it; 0 beyond the stream's end.
unsigned RunStreamPeek(const uint8_t* stream, const uint16_t* markers, int marker_count, int width,
                       size_t index);

// The ReverseRecord n records after `record`.
const uint8_t* ReverseRecordSkip(const uint8_t* record, int n);

// The process-wide set, built when the library is loaded and released when
// it is unloaded.
const ReverseTableSet& ProcessReverseTables();

}  // namespace faultkit
