// Component handles: creation in the library's heap or in caller memory,
// and the check every handle-taking operation runs first.
#pragma once

#include "faultkit.h"

namespace faultkit {

inline constexpr uint32_t kFacilityUnresolved = 0xFFFFFFFFu;

// Allocates a handle as a TaggedBlock, stores it in *out and resolves the
// facility of `component` (registering it). False when `component` is null
// (*out untouched), when memory runs out or the registry is full (*out null).
bool CreateHandle(_qel_error_manager** out, const _qel_bos_uuid* component);

// Frees a handle made by CreateHandle and nulls *handle. Returns `result`
// when there was nothing to free or the free succeeded; false, freeing
// nothing, when the block fails validation.
bool DeleteHandle(_qel_error_manager** handle, bool result);

// Places a handle in caller memory (`uuid` non-null), or answers the size
// query (both null: 24) and the identity query (`uuid` null: the library's
// own UUID; `memory` untouched). Null for a UUID without memory.
void* InitialiseHandle(void* memory, const void* uuid);

// The facility of a handle that passed the check. Read atomically: another
// thread may be resolving the same caller-placed handle.
inline uint32_t HandleFacility(const _qel_error_manager* handle) {
    return __atomic_load_n(&handle->facility, __ATOMIC_ACQUIRE);
}

// Resolves the facility of an unresolved handle from its UUID (registering
// it) and stores it; false when that fails.
bool ResolveHandleFacility(_qel_error_manager* handle);

// A handle that passes the check without resolving anything.
inline bool HandleResolved(const _qel_error_manager* handle) {
    return handle != nullptr && HandleFacility(handle) != kFacilityUnresolved;
}

// A null handle fails. An unresolved handle has its facility resolved from
// its UUID (registering it); the check fails when that fails. Inline: every
// error operation runs it, and nearly always the handle is resolved.
inline bool HandleCheck(_qel_error_manager* handle) {
    return HandleResolved(handle) || (handle != nullptr && ResolveHandleFacility(handle));
}

}  // namespace faultkit
