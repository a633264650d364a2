// The C++ face of the library: thin forwards to the undecorated exports, and
// the C++ entry of the context builder.
#include <cstdarg>

#include "context/context_builder.h"
#include "faultkit.h"

namespace QelComponent {

bool _qel_error_manager::Create(_qel_error_manager** out, _qel_bos_uuid* component) {
    return ErrorMgrCreate(out, component);
}

bool _qel_error_manager::Delete(_qel_error_manager** handle, bool result) {
    return ErrorMgrDelete(handle, result);
}

_qel_error_manager* _qel_error_manager::Initialise(void* memory, void* uuid) {
    return static_cast<_qel_error_manager*>(ErrorMgrInitialise(memory, uuid));
}

unsigned int _qel_error_manager::GetFacility(_qel_bos_uuid* uuid) {
    return ErrorMgrGetFacility(uuid);
}

}  // namespace QelComponent

namespace QelErrorMgrType {

_qel_error_context* BuildContext(char* format, ...) {
    va_list args;
    va_start(args, format);
    _qel_error_context* list = faultkit::BuildContextList(format, args);
    va_end(args);
    return list;
}

}  // namespace QelErrorMgrType
