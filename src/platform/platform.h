// The platform layer: the few operating-system services the library uses.
// Windows builds call the real Win32 services (src/platform/win32); other
// builds get stand-ins with the same behaviour (src/platform/posix). Code
// outside src/platform/ reaches the operating system only through here.
#pragma once

#include <cstdarg>
#include <cstdint>

namespace faultkit::platform {

// Thread identity --------------------------------------------------------

// Id of the calling thread: non-zero, unique among the live threads of the
// process and stable for the thread's life (GetCurrentThreadId).
uint32_t CurrentThreadId();

// Clock ------------------------------------------------------------------

// Millisecond counter whose low bits vary (GetTickCount).
uint32_t TickCount();

// Suspends the calling thread for about `milliseconds` ms; 0 yields (Sleep).
void SleepMs(uint32_t milliseconds);

// Variable argument lists ---------------------------------------------------

// On platforms whose va_list is a pointer to consecutive 8-byte argument
// slots (64-bit Windows), stores that pointer and returns true; elsewhere
// returns false and the caller gathers the arguments itself.
bool VaListSlots(va_list arguments, const uint64_t** slots);

}  // namespace faultkit::platform
