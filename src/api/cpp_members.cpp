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

bool _qel_error_manager::Shutdown() {
    return ErrorMgrShutdown();
}

bool _qel_error_manager::SetError(unsigned int code, _qel_error_context* context, char* aux_text1,
                                  char* aux_text2, int aux_int) {
    return ErrorMgrSetErrorFull(this, code, context, aux_text1, aux_text2, aux_int);
}

bool _qel_error_manager::SetError(unsigned int code, _qel_error_context* context) {
    return ErrorMgrSetErrorFull(this, code, context, nullptr, nullptr, -1);
}

unsigned int _qel_error_manager::GetRootError(_qel_error_enumerate* record) {
    return ErrorMgrGetRootError(this, record);
}

unsigned int _qel_error_manager::GetLastError(_qel_error_enumerate* record) {
    return ErrorMgrGetLastError(this, record);
}

bool _qel_error_manager::EnumErrors(_qel_error_enumerate* record) {
    return ErrorMgrEnumErrors(this, record);
}

bool _qel_error_manager::Redirect(_qel_error_manager* target) {
    return ErrorMgrRedirect(target);
}

bool _qel_error_manager::Merge(_qel_error_manager* other) {
    return ErrorMgrMerge(this, other);
}

unsigned long long _qel_error_manager::Export(void* buffer, unsigned long long size) {
    return ErrorMgrExport(buffer, size);
}

bool _qel_error_manager::Import(void* image) {
    return ErrorMgrImport(image);
}

}  // namespace QelComponent

namespace QelErrorMgrType {

int GetContextString(_qel_error_enumerate* record, char* buffer, int size) {
    return ErrorMgrGetContextString(record, buffer, size);
}

_qel_error_context* BuildContext(char* format, ...) {
    va_list args;
    va_start(args, format);
    _qel_error_context* list = faultkit::BuildContextList(format, args);
    va_end(args);
    return list;
}

}  // namespace QelErrorMgrType
