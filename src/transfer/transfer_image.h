// The transfer image: a thread's errors as a self-contained big-endian byte
// sequence that can be carried to another thread or process.
//   0                 u32 length (whole image, trailer included)
//   4                 u32 count of error records
//   8                 count records of 25 bytes (see image_record.h)
//   8 + 25 * count    context blobs, in network order, one per record with
//                     a context, in record order
//   ...               strings: per record its component name, aux_text1
//                     and aux_text2 where present, each NUL-terminated
//   length - 4        u32 trailer, equal to length
// These functions work on plain slot arrays; the caller holds the record
// lock that guards the slots. Writing and reading take the FacilityTable
// lock for each UUID inside it (always record lock, then FacilityTable lock).
#pragma once

#include <cstdint>

#include "threads/error_slot.h"

namespace faultkit {

inline constexpr uint64_t kImageHeaderSize = 8;
inline constexpr uint64_t kImageTrailerSize = 4;
inline constexpr uint64_t kEmptyImageSize = kImageHeaderSize + kImageTrailerSize;
// Extent to pass when the caller cannot say how many bytes the image has:
// its length field is then trusted as its extent.
inline constexpr uint64_t kImageExtentUnknown = UINT64_MAX;

// Writes the image of `count` slots. size 0: returns the length the image
// needs and writes nothing. Otherwise writes it when buffer is not null and
// size is at least that length, and returns the length; else returns 0 and
// writes nothing. Also 0 when the image would exceed 32-bit lengths, or when
// a caller's string changed length while it was written.
uint64_t WriteImage(const ErrorSlot* slots, int32_t count, void* buffer, uint64_t size);

// Parses an image received from anywhere. On success with a count of 0 it
// yields a null list and n = 0. Otherwise it yields a new working list (heap
// array) holding the imported entries, then the `existing` slots moved
// behind them, and n = their total. Every imported UUID is registered in the
// FacilityTable. Refuses, allocating nothing and leaving `existing` alone,
// any image whose parts do not lie inside its length or inside `available`
// bytes; refuses malformed context blobs. No byte beyond
// min(length, available) is read.
bool ReadImageWithin(const ErrorSlot* existing, int32_t existing_count, const void* image,
                     uint64_t available, ErrorSlot** list, int32_t* n);

// ReadImageWithin for an image whose extent is its length field.
bool ReadImage(const ErrorSlot* existing, int32_t existing_count, const void* image,
               ErrorSlot** list, int32_t* n);

// Frees the context and strings blocks of the first n entries, then the array.
void DiscardEntries(ErrorSlot* list, int32_t n);

// Moves a working list of n >= 1 entries into two slots: slot 0 takes the
// first entry, slot 1 the last; the blocks of entries between are freed.
// Sets *count to min(n, 2). The array itself stays with the caller.
void FoldIntoSlots(ErrorSlot* list, int32_t n, ErrorSlot slots[2], int32_t* count);

// The whole import into a thread's two slots: read the image with the slots
// as the existing errors, fold, free the working array. On false the slots
// and count are as they were.
bool ImportIntoSlots(ErrorSlot slots[2], int32_t* count, const void* image);

}  // namespace faultkit
