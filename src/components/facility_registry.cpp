#include "components/facility_registry.h"

#include "components/uuid.h"

namespace faultkit {

FacilityTable g_facilities;

namespace {

bool HasFixedFacility(const _qel_bos_uuid* uuid) {
    return UuidEqual(uuid, &kNullUuid) || UuidEqual(uuid, &kLibraryUuid);
}

}  // namespace

uint32_t FacilityFindOrAdd(const _qel_bos_uuid* uuid, bool add) {
    if (!SpinLockAcquire(g_facilities.lock)) {
        return 0;
    }
    const uint32_t count = g_facilities.count.load(std::memory_order_relaxed);
    for (uint32_t i = 0; i < count; ++i) {
        if (UuidEqual(uuid, &g_facilities.entries[i])) {
            return ReleaseWithResult(&g_facilities.lock, nullptr, i + 1);
        }
    }
    if (!add || uuid == nullptr || count >= kFacilityCapacity) {
        return ReleaseWithResult(&g_facilities.lock, nullptr, 0u);
    }
    g_facilities.entries[count] = *uuid;
    g_facilities.count.store(count + 1, std::memory_order_release);
    return ReleaseWithResult(&g_facilities.lock, nullptr, count + 1);
}

bool FacilityOfUuid(const _qel_bos_uuid* uuid, const char* /*component_name*/, uint32_t* facility) {
    if (HasFixedFacility(uuid)) {
        *facility = 0;
        return true;
    }
    const uint32_t index = FacilityFindOrAdd(uuid, true);
    if (index == 0) {
        return false;
    }
    *facility = index << kFacilityShift;
    return true;
}

int32_t FacilityQuery(uint32_t code, _qel_bos_uuid* uuid, const char** component_name) {
    if (component_name != nullptr) {
        *component_name = nullptr;
    }
    const uint32_t f = (code & FAULTKIT_FACILITY_MASK) >> kFacilityShift;
    if (f == 0) {
        return static_cast<int32_t>(FacilityFindOrAdd(uuid, false));
    }
    if (!SpinLockAcquire(g_facilities.lock)) {
        return 0;
    }
    if (f > g_facilities.count.load(std::memory_order_relaxed)) {
        return ReleaseWithResult(&g_facilities.lock, nullptr, 0);
    }
    *uuid = g_facilities.entries[f - 1];
    return ReleaseWithResult(&g_facilities.lock, nullptr, 1);
}

uint32_t RegisteredFacility(const _qel_bos_uuid* uuid) {
    const uint32_t index = uuid != nullptr ? FacilityFindOrAdd(uuid, false) : 0;
    return index << kFacilityShift;
}

void FacilityLockAfterForkInChild() {
    g_facilities.lock.word.store(0, std::memory_order_relaxed);
}

}  // namespace faultkit
