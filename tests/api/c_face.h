// The scenario's face for the 16 C functions.
#pragma once

#include "faultkit.h"

namespace client {

struct CFace {
    using M = _qel_error_manager;
    using U = _qel_bos_uuid;
    using E = _qel_error_enumerate;

    static void* Initialise(void* memory, void* uuid) { return ErrorMgrInitialise(memory, uuid); }
    static bool Create(M** out, U* component) { return ErrorMgrCreate(out, component); }
    static bool Delete(M** handle, bool result) { return ErrorMgrDelete(handle, result); }
    static unsigned GetFacility(U* uuid) { return ErrorMgrGetFacility(uuid); }
    static bool Shutdown() { return ErrorMgrShutdown(); }
    static bool SetErrorFull(M* h, unsigned code, _qel_error_context* context, char* text1,
                             char* text2, int aux_int) {
        return ErrorMgrSetErrorFull(h, code, context, text1, text2, aux_int);
    }
    static bool SetErrorBasic(M* h, unsigned code, _qel_error_context* context) {
        return ErrorMgrSetErrorBasic(h, code, context);
    }
    static unsigned GetRootError(M* h, E* record) { return ErrorMgrGetRootError(h, record); }
    static unsigned GetLastError(M* h, E* record) { return ErrorMgrGetLastError(h, record); }
    static bool EnumErrors(M* h, E* record) { return ErrorMgrEnumErrors(h, record); }
    static bool Redirect(M* /*object*/, M* target) { return ErrorMgrRedirect(target); }
    static bool Merge(M* h, M* other) { return ErrorMgrMerge(h, other); }
    static unsigned long long Export(M* /*object*/, void* buffer, unsigned long long size) {
        return ErrorMgrExport(buffer, size);
    }
    static bool Import(M* /*object*/, void* image) { return ErrorMgrImport(image); }
    static _qel_error_context* Context(int number, char* text, double real) {
        static char format[] = "%i%s%f";
        return ErrorMgrBuildContext(format, number, text, real);
    }
    static int GetContextString(E* record, char* buffer, int size) {
        return ErrorMgrGetContextString(record, buffer, size);
    }
};

}  // namespace client
