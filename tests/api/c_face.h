// The scenario's face for the 16 C functions.
#pragma once

#include "faultkit.h"

namespace client {

struct CFace {
    static void* Initialise(void* memory, void* uuid) { return ErrorMgrInitialise(memory, uuid); }
    static bool Create(_qel_error_manager** out, _qel_bos_uuid* component) {
        return ErrorMgrCreate(out, component);
    }
    static bool Delete(_qel_error_manager** handle, bool result) {
        return ErrorMgrDelete(handle, result);
    }
    static unsigned GetFacility(_qel_bos_uuid* uuid) { return ErrorMgrGetFacility(uuid); }
    static bool Shutdown() { return ErrorMgrShutdown(); }
    static bool SetErrorFull(_qel_error_manager* handle, unsigned code, _qel_error_context* context,
                             char* aux_text1, char* aux_text2, int aux_int) {
        return ErrorMgrSetErrorFull(handle, code, context, aux_text1, aux_text2, aux_int);
    }
    static bool SetErrorBasic(_qel_error_manager* handle, unsigned code,
                              _qel_error_context* context) {
        return ErrorMgrSetErrorBasic(handle, code, context);
    }
    static unsigned GetRootError(_qel_error_manager* handle, _qel_error_enumerate* record) {
        return ErrorMgrGetRootError(handle, record);
    }
    static unsigned GetLastError(_qel_error_manager* handle, _qel_error_enumerate* record) {
        return ErrorMgrGetLastError(handle, record);
    }
    static bool EnumErrors(_qel_error_manager* handle, _qel_error_enumerate* record) {
        return ErrorMgrEnumErrors(handle, record);
    }
    static bool Redirect(_qel_error_manager* /*object*/, _qel_error_manager* target) {
        return ErrorMgrRedirect(target);
    }
    static bool Merge(_qel_error_manager* handle, _qel_error_manager* other) {
        return ErrorMgrMerge(handle, other);
    }
    static unsigned long long Export(_qel_error_manager* /*object*/, void* buffer,
                                     unsigned long long size) {
        return ErrorMgrExport(buffer, size);
    }
    static bool Import(_qel_error_manager* /*object*/, void* image) {
        return ErrorMgrImport(image);
    }
    static _qel_error_context* Context(int number, char* text, double real) {
        static char format[] = "%i%s%f";
        return ErrorMgrBuildContext(format, number, text, real);
    }
    static int GetContextString(_qel_error_enumerate* record, char* buffer, int size) {
        return ErrorMgrGetContextString(record, buffer, size);
    }
};

}  // namespace client
