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

// Slots to gather for `format`: enough for any formatter that reads at
// most a width, a precision and a value per '%'.
size_t ArgumentSlotCount(const char* format);

// Reads the arguments that `format` names into `slots` (`count` from
// ArgumentSlotCount) and zero-fills the rest.
void GatherArgumentSlots(const char* format, va_list arguments, uint64_t* slots, size_t count);

}  // namespace faultkit
