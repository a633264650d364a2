// The platform layer: the few operating-system services the library uses.
// Windows builds call the real Win32 services (src/platform/win32); other
// builds get stand-ins with the same behaviour (src/platform/posix). Code
// outside src/platform/ reaches the operating system only through here.
#pragma once

#include <cstddef>
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

// Wide formatted output -------------------------------------------------

// Wide formatted output with the contract of _vswprintf_c_l called with a
// null locale. `args` points at consecutive 8-byte argument slots (integers
// and pointers as 64-bit words, doubles as their IEEE bits), read strictly
// in order.
// buffer == nullptr && count == 0: returns the UTF-16 units the text needs
// (no terminator), or < 0.
// Otherwise writes at most `count` units including the terminator; returns
// units written (terminator not counted), or a negative value when the text
// does not fit or the format is refused.
int WideFormat(char16_t* buffer, size_t count, const char16_t* format, const uint64_t* args);

}  // namespace faultkit::platform
