// The scenario's face for the 16 C++ functions: the members of
// QelComponent::_qel_error_manager and the functions of QelErrorMgrType.
#pragma once

#include "faultkit.h"

namespace client {

struct CxxFace {
    using M = QelComponent::_qel_error_manager;
    using U = _qel_bos_uuid;
    using E = _qel_error_enumerate;

    static M* Initialise(void* memory, void* uuid) { return M::Initialise(memory, uuid); }
    static bool Create(M** out, U* component) { return M::Create(out, component); }
    static bool Delete(M** handle, bool result) { return M::Delete(handle, result); }
    static unsigned GetFacility(U* uuid) { return M::GetFacility(uuid); }
    static bool Shutdown() { return M::Shutdown(); }
    static bool SetErrorFull(M* h, unsigned code, _qel_error_context* context, char* text1,
                             char* text2, int aux_int) {
        return h->SetError(code, context, text1, text2, aux_int);
    }
    static bool SetErrorBasic(M* h, unsigned code, _qel_error_context* context) {
        return h->SetError(code, context);
    }
    static unsigned GetRootError(M* h, E* record) { return h->GetRootError(record); }
    static unsigned GetLastError(M* h, E* record) { return h->GetLastError(record); }
    static bool EnumErrors(M* h, E* record) { return h->EnumErrors(record); }
    static bool Redirect(M* object, M* target) { return object->Redirect(target); }
    static bool Merge(M* h, M* other) { return h->Merge(other); }
    static unsigned long long Export(M* object, void* buffer, unsigned long long size) {
        return object->Export(buffer, size);
    }
    static bool Import(M* object, void* image) { return object->Import(image); }
    static _qel_error_context* Context(int number, char* text, double real) {
        static char format[] = "%i%s%f";
        return QelErrorMgrType::BuildContext(format, number, text, real);
    }
    static int GetContextString(E* record, char* buffer, int size) {
        return QelErrorMgrType::GetContextString(record, buffer, size);
    }
};

}  // namespace client
