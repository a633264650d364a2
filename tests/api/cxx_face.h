// The scenario's face for the 16 C++ functions: the members of
// QelComponent::_qel_error_manager and the functions of QelErrorMgrType.
#pragma once

#include "faultkit.h"

namespace client {

struct CxxFace {
    using Manager = QelComponent::_qel_error_manager;

    static Manager* Initialise(void* memory, void* uuid) {
        return Manager::Initialise(memory, uuid);
    }
    static bool Create(Manager** out, _qel_bos_uuid* component) {
        return Manager::Create(out, component);
    }
    static bool Delete(Manager** handle, bool result) { return Manager::Delete(handle, result); }
    static unsigned GetFacility(_qel_bos_uuid* uuid) { return Manager::GetFacility(uuid); }
    static bool Shutdown() { return Manager::Shutdown(); }
    static bool SetErrorFull(Manager* handle, unsigned code, _qel_error_context* context,
                             char* aux_text1, char* aux_text2, int aux_int) {
        return handle->SetError(code, context, aux_text1, aux_text2, aux_int);
    }
    static bool SetErrorBasic(Manager* handle, unsigned code, _qel_error_context* context) {
        return handle->SetError(code, context);
    }
    static unsigned GetRootError(Manager* handle, _qel_error_enumerate* record) {
        return handle->GetRootError(record);
    }
    static unsigned GetLastError(Manager* handle, _qel_error_enumerate* record) {
        return handle->GetLastError(record);
    }
    static bool EnumErrors(Manager* handle, _qel_error_enumerate* record) {
        return handle->EnumErrors(record);
    }
    static bool Redirect(Manager* object, Manager* target) { return object->Redirect(target); }
    static bool Merge(Manager* handle, Manager* other) { return handle->Merge(other); }
    static unsigned long long Export(Manager* object, void* buffer, unsigned long long size) {
        return object->Export(buffer, size);
    }
    static bool Import(Manager* object, void* image) { return object->Import(image); }
    static _qel_error_context* Context(int number, char* text, double real) {
        static char format[] = "%i%s%f";
        return QelErrorMgrType::BuildContext(format, number, text, real);
    }
    static int GetContextString(_qel_error_enumerate* record, char* buffer, int size) {
        return QelErrorMgrType::GetContextString(record, buffer, size);
    }
};

}  // namespace client
