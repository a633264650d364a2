// The FacilityTable: one process-wide, append-only list of component UUIDs.
// The entry at 0-based position i has facility (i + 1) << 16. NullUuid and
// LibraryUuid never enter it and always have facility 0.
#pragma once

#include <atomic>
#include <cstdint>

#include "base/spin_lock.h"
#include "components/uuid.h"
#include "faultkit.h"

namespace faultkit {

inline constexpr uint32_t kFacilityCapacity = 64;
inline constexpr uint32_t kFacilityShift = 16;

// `lock` guards appends and locked searches. `count` is raised (release)
// only after the new entry is written, so a reader that sees count >= f
// (acquire) may read entry f without the lock.
struct FacilityTable {
    _qel_bos_uuid entries[kFacilityCapacity];
    std::atomic<uint32_t> count{0};
    SpinLock lock;
};

// The process's table; outside facility_registry.cpp only FacilityUuidOfCode
// reads it.
extern FacilityTable g_facilities;

// Searches the table under its lock; appends the UUID when it is missing,
// `add` is set and there is room. Returns the 1-based index, or 0 when not
// found, not added, or the lock was not acquired.
uint32_t FacilityFindOrAdd(const _qel_bos_uuid* uuid, bool add);

// Writes the facility of `uuid` (index << 16, or 0 for NullUuid and
// LibraryUuid), registering it if new. False, output untouched, when the
// table is full or the lock was not acquired. The component name is accepted
// and ignored: the table keeps no names.
bool FacilityOfUuid(const _qel_bos_uuid* uuid, const char* component_name, uint32_t* facility);

// Facility query in two directions, chosen by f = (code & 0x0FFF0000) >> 16:
// f = 0 looks `uuid` up and returns its 1-based index (0 when absent);
// f >= 1 copies entry f into `uuid` and returns 1, or 0 when there is none.
// `component_name`, when given, is set to null first.
int32_t FacilityQuery(uint32_t code, _qel_bos_uuid* uuid, const char** component_name);

// The facility of a registered UUID (index << 16); 0 for a null pointer or a
// UUID that is not registered. Never registers.
uint32_t RegisteredFacility(const _qel_bos_uuid* uuid);

// In a forked child: frees the table's lock, which a thread of the parent
// may have held at the fork. An entry is counted only once it is written
// whole, so the entries the child sees are whole.
void FacilityLockAfterForkInChild();

// The UUID of the code's facility, read without the lock (entries never
// change once written); NullUuid for a code without facility or an entry
// that does not exist. Inline: every error read runs it.
inline _qel_bos_uuid FacilityUuidOfCode(uint32_t code) {
    const uint32_t f = (code & FAULTKIT_FACILITY_MASK) >> kFacilityShift;
    if (f == 0 || f > g_facilities.count.load(std::memory_order_acquire)) {
        return kNullUuid;
    }
    return g_facilities.entries[f - 1];
}

}  // namespace faultkit
