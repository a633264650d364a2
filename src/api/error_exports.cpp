// Exports that store, read, enumerate and redirect the calling thread's
// errors, and the library-wide shutdown of the watcher threads.
#include "faultkit.h"
#include "threads/error_operations.h"
#include "threads/shutdown.h"

using namespace faultkit;

extern "C" {

FAULTKIT_API bool ErrorMgrSetErrorFull(_qel_error_manager* handle, unsigned int code,
                                       _qel_error_context* context, char* aux_text1,
                                       char* aux_text2, int aux_int) {
    return SetThreadError(handle, code, context, aux_text1, aux_text2, aux_int);
}

FAULTKIT_API bool ErrorMgrSetErrorBasic(_qel_error_manager* handle, unsigned int code,
                                        _qel_error_context* context) {
    return SetThreadError(handle, code, context, nullptr, nullptr, -1);
}

FAULTKIT_API unsigned int ErrorMgrGetRootError(_qel_error_manager* handle,
                                               _qel_error_enumerate* record) {
    return ReadThreadError(handle, record, true);
}

FAULTKIT_API unsigned int ErrorMgrGetLastError(_qel_error_manager* handle,
                                               _qel_error_enumerate* record) {
    return ReadThreadError(handle, record, false);
}

FAULTKIT_API bool ErrorMgrEnumErrors(_qel_error_manager* handle, _qel_error_enumerate* record) {
    return EnumThreadErrors(handle, record);
}

FAULTKIT_API bool ErrorMgrRedirect(_qel_error_manager* target) {
    return RedirectThreadErrors(target);
}

// Accepted for compatibility; merging is not supported.
FAULTKIT_API bool ErrorMgrMerge(_qel_error_manager* /*handle*/, _qel_error_manager* /*other*/) {
    return false;
}

FAULTKIT_API bool ErrorMgrShutdown(void) {
    return ShutdownWatchers();
}

}  // extern "C"
