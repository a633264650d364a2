// Component UUIDs: equality and the two UUIDs with fixed roles.
#pragma once

#include "faultkit.h"

namespace faultkit {

// All-zero UUID: "no component".
extern const _qel_bos_uuid kNullUuid;
// {5A3E91C7-2B4D-4F08-9C61-7D2E0B8A4F13}: the library's own identity.
extern const _qel_bos_uuid kLibraryUuid;

// 16-byte equality; a null pointer equals nothing.
bool UuidEqual(const _qel_bos_uuid* a, const _qel_bos_uuid* b);

}  // namespace faultkit
