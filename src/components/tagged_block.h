// TaggedBlock: a heap allocation with a 32-byte header that lets the
// library recognise, and refuse to free, pointers it did not hand out.
#pragma once

#include <cstddef>

#include "faultkit.h"

namespace faultkit {

// Allocates `size` payload bytes behind a header tagged with `owner`.
// Null when `owner` is null or memory runs out.
void* TaggedBlockAllocate(size_t size, const _qel_bos_uuid* owner);

// Frees the block and returns null; returns `payload` unchanged, freeing
// nothing, when it is null or its header does not validate.
void* TaggedBlockRelease(void* payload);

}  // namespace faultkit
