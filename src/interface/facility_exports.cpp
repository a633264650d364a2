#include "faultkit.h"
#include "interface/facility_registry.h"

using namespace faultkit;

extern "C" FAULTKIT_API unsigned int ErrorMgrGetFacility(_qel_bos_uuid* uuid) {
    if (uuid == nullptr) {
        return 0;
    }
    const int32_t index = FacilityQuery(0, uuid, nullptr);
    return index >= 1 ? static_cast<uint32_t>(index) << kFacilityShift : 0u;
}
