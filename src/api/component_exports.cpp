// Exports that make, release and describe component handles.
#include "components/component_handle.h"
#include "components/facility_registry.h"
#include "faultkit.h"

using namespace faultkit;

extern "C" {

FAULTKIT_API bool ErrorMgrCreate(_qel_error_manager** out, _qel_bos_uuid* component) {
    return CreateHandle(out, component);
}

FAULTKIT_API bool ErrorMgrDelete(_qel_error_manager** handle, bool result) {
    return DeleteHandle(handle, result);
}

FAULTKIT_API void* ErrorMgrInitialise(void* memory, void* uuid) {
    return InitialiseHandle(memory, uuid);
}

FAULTKIT_API unsigned int ErrorMgrGetFacility(_qel_bos_uuid* uuid) {
    return RegisteredFacility(uuid);
}

}  // extern "C"
