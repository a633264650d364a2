#include "components/component_handle.h"

#include "components/facility_registry.h"
#include "components/tagged_block.h"
#include "components/uuid.h"
#include "platform/platform.h"

namespace faultkit {
namespace {

void FillHandle(_qel_error_manager* handle, const _qel_bos_uuid& uuid, uint32_t facility) {
    handle->thread_id = platform::CurrentThreadId();
    handle->uuid = uuid;
    handle->facility = facility;
}

}  // namespace

// A handle may be shared between threads, and two of them may resolve the
// same caller-placed handle at once; both compute the same value, and the
// field is read and written atomically so that neither sees a torn value.
bool ResolveHandleFacility(_qel_error_manager* handle) {
    uint32_t facility = 0;
    if (!FacilityOfUuid(&handle->uuid, nullptr, &facility)) {
        return false;
    }
    __atomic_store_n(&handle->facility, facility, __ATOMIC_RELEASE);
    return true;
}

bool CreateHandle(_qel_error_manager** out, const _qel_bos_uuid* component) {
    if (component == nullptr) {
        return false;
    }
    auto* handle = static_cast<_qel_error_manager*>(
        TaggedBlockAllocate(sizeof(_qel_error_manager), &kLibraryUuid));
    *out = handle;
    if (handle == nullptr) {
        return false;
    }
    FillHandle(handle, kNullUuid, kFacilityUnresolved);
    if (FacilityOfUuid(component, nullptr, &handle->facility)) {
        return true;
    }
    return DeleteHandle(out, false);
}

bool DeleteHandle(_qel_error_manager** handle, bool result) {
    if (handle == nullptr || *handle == nullptr) {
        return result;
    }
    *handle = static_cast<_qel_error_manager*>(TaggedBlockRelease(*handle));
    return *handle == nullptr && result;
}

void* InitialiseHandle(void* memory, const void* uuid) {
    if (uuid == nullptr) {
        if (memory == nullptr) {
            return reinterpret_cast<void*>(sizeof(_qel_error_manager));
        }
        return const_cast<_qel_bos_uuid*>(&kLibraryUuid);
    }
    if (memory == nullptr) {
        return nullptr;
    }
    auto* handle = static_cast<_qel_error_manager*>(memory);
    FillHandle(handle, *static_cast<const _qel_bos_uuid*>(uuid), kFacilityUnresolved);
    return handle;
}

}  // namespace faultkit
