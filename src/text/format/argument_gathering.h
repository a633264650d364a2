// Gathering variadic arguments into 8-byte slots. The formatting code works
// on a list of consecutive 8-byte slots, which is what a va_list is on
// 64-bit Windows. Where a va_list is something else, the caller's arguments
// are read once, as the loose reading of the format's scan shapes them:
// floating conversions as doubles, everything else as 64-bit words,
// positional groups in index order.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

#include "text/format/format_scan.h"

namespace faultkit {

// Reads argument groups in order: from a va_list, stars as ints and the
// value as a double or a 64-bit word, or from a slot list as they stand.
struct ArgumentReader {
    const uint64_t* slots;  // used when `list` is null
    va_list* list;

    // The group's `stars` + 1 slots into `out`.
    void ReadGroup(uint8_t stars, bool floating, uint64_t* out);
};

// Slots to gather for a scanned format (a kGathering walk): enough for any
// formatter that reads at most a width, a precision and a value per '%'.
size_t ArgumentSlotCount(const FormatScan& scan);

// Reads the arguments that the scanned format names from `*arguments` into
// `slots` (`count` from ArgumentSlotCount) and zero-fills the rest.
void GatherArgumentSlots(const FormatScan& scan, va_list* arguments, uint64_t* slots, size_t count);

}  // namespace faultkit
