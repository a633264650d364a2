// Gathering variadic arguments into 8-byte slots. The formatting code works
// on a list of consecutive 8-byte slots, which is what a va_list is on
// 64-bit Windows. Where a va_list is something else, the caller's arguments
// are read once, guided by the format: floating conversions as doubles,
// everything else as 64-bit words, positional groups in index order.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

namespace faultkit {

// Reads the arguments of a format without positional directives from
// `*arguments` into `slots`, which hold `capacity`, in one walk over the
// format, and zero-fills the rest of the slots to gather. Returns how many
// slots there are to gather (as ArgumentSlotCount), or 0 when the format
// has a positional directive or more slots than `capacity`: the list has
// then been read in part, and the caller starts it again to gather with
// ArgumentSlotCount and GatherArgumentSlots.
size_t GatherPlainArgumentSlots(const char* format, va_list* arguments, uint64_t* slots,
                                size_t capacity);

// Slots to gather for `format`: enough for any formatter that reads at
// most a width, a precision and a value per '%'.
size_t ArgumentSlotCount(const char* format);

// Reads the arguments that `format` names into `slots` (`count` from
// ArgumentSlotCount) and zero-fills the rest.
void GatherArgumentSlots(const char* format, va_list arguments, uint64_t* slots, size_t count);

}  // namespace faultkit
