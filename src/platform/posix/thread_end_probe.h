// The end of a live thread that the library has not seen start: a thread
// that never asked for its id has no sentinel to report its end, so a probe
// thread asks the kernel instead and signals the end object once the thread
// is gone.
#pragma once

#include <cstdint>

#include "platform/posix/handle_object.h"

namespace faultkit::platform {

// How the probe learns of the end: from a pidfd of the thread, which wakes
// it at the end (Linux 6.9 or later), or by reading the thread's entry
// under /proc/self/task every few milliseconds.
enum class EndProbe : uint8_t {
    kPidfdFirst,     // a pidfd where the kernel gives one, else the /proc entry
    kProcEntryOnly,  // the /proc entry in any case
};

// An end object for the live thread `id` of this process, watched by a probe
// thread of its own, which stops when nobody else holds the object any
// more; null when no live thread of the process has that id, or when the
// probe cannot be set up.
HandleObject* OpenProbedThreadEnd(uint32_t id, EndProbe probe);

}  // namespace faultkit::platform
