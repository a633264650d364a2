// Rendering of an error's context as UTF-8 text.
#pragma once

#include "faultkit.h"

namespace faultkit {

// Writes the record's context as one NUL-terminated UTF-8 string per value
// and a final NUL. size 0 returns the bytes needed (at least 1) and writes
// nothing; a buffer smaller than that gives 0 and stays untouched. 0 for a
// null record, a negative size or a null buffer with a size.
int RenderContextText(const _qel_error_enumerate* record, char* buffer, int size);

}  // namespace faultkit
