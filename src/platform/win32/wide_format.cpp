// Wide formatted output through the C runtime's _vswprintf_c_l.
#include <wchar.h>

#include <cstdlib>

#include "platform/platform.h"
#include "platform/win32/long_integer_directives.h"
#include "platform/win32/slots_as_va_list.h"

namespace faultkit::platform {
namespace {

// Texts shorter than this are counted on the stack in one call.
constexpr size_t kCountingUnits = 512;

int Format(char16_t* buffer, size_t count, const char16_t* format, const uint64_t* args) {
    return _vswprintf_c_l(reinterpret_cast<wchar_t*>(buffer), count,
                          reinterpret_cast<const wchar_t*>(format), nullptr, SlotList(args));
}

// Counting. The runtime counts with a null buffer and a count of 0, but some
// runtimes (Wine's msvcrt among them) then store a terminator at index -1
// when the text is empty or the format is refused. So the text is written
// into a stack buffer instead; a longer text is measured by _vscwprintf_l
// and written once into a heap buffer of that size, so that the result is
// always that of a real writing call.
int Count(const char16_t* format, const uint64_t* args) {
    char16_t local[kCountingUnits];
    const int result = Format(local, kCountingUnits, format, args);
    if (result >= 0) {
        return result;
    }
    const int needed =
        _vscwprintf_l(reinterpret_cast<const wchar_t*>(format), nullptr, SlotList(args));
    if (needed < static_cast<int>(kCountingUnits)) {
        return -1;  // it would have fitted: the format was refused
    }
    const size_t units = static_cast<size_t>(needed) + 1;
    auto* heap = static_cast<char16_t*>(std::malloc(units * sizeof(char16_t)));
    if (heap == nullptr) {
        return -1;
    }
    const int written = Format(heap, units, format, args);
    std::free(heap);
    return written;
}

}  // namespace

int WideFormat(char16_t* buffer, size_t count, const char16_t* format, const uint64_t* args) {
    if ((buffer == nullptr) != (count == 0)) {
        return -1;  // the runtime would store a terminator at index count - 1
    }
    RuntimeFormat runtime;
    if (!PrepareRuntimeFormat(format, args, runtime)) {
        return -1;
    }
    const int result = buffer == nullptr ? Count(runtime.format, runtime.args)
                                         : Format(buffer, count, runtime.format, runtime.args);
    ReleaseRuntimeFormat(runtime);
    return result;
}

}  // namespace faultkit::platform
