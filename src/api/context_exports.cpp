// Exports that build an error context and render one as text.
#include <cstdarg>

#include "context/context_builder.h"
#include "context/context_rendering.h"
#include "faultkit.h"

using namespace faultkit;

extern "C" {

FAULTKIT_API _qel_error_context* ErrorMgrBuildContext(char* format, ...) {
    va_list args;
    va_start(args, format);
    _qel_error_context* list = BuildContextList(format, args);
    va_end(args);
    return list;
}

FAULTKIT_API int ErrorMgrGetContextString(_qel_error_enumerate* record, char* buffer, int size) {
    return RenderContextText(record, buffer, size);
}

}  // extern "C"
