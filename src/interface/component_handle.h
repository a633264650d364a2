// Component handles: creation in the library's heap or in caller memory,
// and the check every handle-taking operation runs first.
#pragma once

#include "faultkit.h"

namespace faultkit {

inline constexpr uint32_t kFacilityUnresolved = 0xFFFFFFFFu;

// A null handle fails. An unresolved handle has its facility resolved from
// its UUID (registering it); the check fails when that fails.
bool HandleCheck(_qel_error_manager* handle);

// The facility of a handle that passed the check. Read atomically: another
// thread may be resolving the same caller-placed handle.
inline uint32_t HandleFacility(const _qel_error_manager* handle) {
    return __atomic_load_n(&handle->facility, __ATOMIC_ACQUIRE);
}

}  // namespace faultkit
