// The context builder behind ErrorMgrBuildContext and
// QelErrorMgrType::BuildContext.
#pragma once

#include <cstdarg>

#include "faultkit.h"

namespace faultkit {

// Scans `format` once and records one typed value per accepted conversion,
// copying strings and memory blocks by content. Accepted: %c %i %u %f %r %p
// %s %m, %i and %u after h, hh, l, ll, t or z, and %Lf. Everything else is
// passed over; a modifier whose conversion is then refused still consumes its
// argument. Returns a new list, or null when nothing was recorded (or on a
// null format). Running out of memory ends the scan with what was recorded.
_qel_error_context* BuildContextList(const char* format, va_list args);

}  // namespace faultkit
