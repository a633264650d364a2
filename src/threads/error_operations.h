// The operations a component performs on the calling thread's errors: store
// (or clear), read the root or the last error, enumerate, redirect. Each
// checks the handle first, then works on the thread's record (or the record
// it is redirected to), held by its lock or its thread's pass only.
#pragma once

#include <cstdint>

#include "faultkit.h"

namespace faultkit {

// Stores `code` with the handle's facility in the next slot, or clears the
// thread's errors when its error number is 0. The context is consumed
// whatever happens. True exactly when the errors were cleared (so a bad
// handle gives true for code 0 only); a refused or stored error gives false.
bool SetThreadError(_qel_error_manager* handle, uint32_t code, _qel_error_context* context,
                    char* aux_text1, char* aux_text2, int aux_int);

// Fills `out` (a library-side record when null) with the root error, which
// clears the thread's errors, or with the last error. Returns the code, the
// handle's own facility stripped; 0 when there is none or on failure.
uint32_t ReadThreadError(_qel_error_manager* handle, _qel_error_enumerate* out, bool root);

// One stored error per call, oldest first, from record->index (0 starts a
// walk and captures the count). False at the end or on failure.
bool EnumThreadErrors(_qel_error_manager* handle, _qel_error_enumerate* record);

// Sends the calling thread's later errors to the thread that created
// `target` (only its thread_id is read); null sends them back home.
bool RedirectThreadErrors(const _qel_error_manager* target);

}  // namespace faultkit
