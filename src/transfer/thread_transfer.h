// The calling thread's errors as a transfer image, out and in.
#pragma once

#include <cstdint>

namespace faultkit {

// Writes the thread's errors as an image. size 0: returns the length needed,
// writing nothing. Otherwise returns the length written, or 0 (nothing
// written) when the buffer is null or smaller than the length, or the
// thread's record cannot be had.
uint64_t ExportThreadErrors(void* buffer, uint64_t size);

// Adds the image's errors ahead of the thread's own: the first imported
// error becomes the root, the thread's own last error stays the last. The
// image's length field is trusted as its extent. False, errors unchanged,
// for a malformed image or when the record cannot be had.
bool ImportThreadErrors(const void* image);

}  // namespace faultkit
