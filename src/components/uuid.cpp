#include "components/uuid.h"

#include <cstring>

namespace faultkit {

const _qel_bos_uuid kNullUuid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
const _qel_bos_uuid kLibraryUuid = {
    0x5A3E91C7, 0x2B4D, 0x4F08, {0x9C, 0x61, 0x7D, 0x2E, 0x0B, 0x8A, 0x4F, 0x13}};

bool UuidEqual(const _qel_bos_uuid* a, const _qel_bos_uuid* b) {
    return a != nullptr && b != nullptr && std::memcmp(a, b, sizeof *a) == 0;
}

}  // namespace faultkit
