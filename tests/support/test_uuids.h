// UUIDs for tests: distinct values derived from a number.
#pragma once

#include <cstdint>

#include "faultkit.h"

namespace faultkit::test {

inline _qel_bos_uuid TestUuid(uint32_t n, uint8_t salt = 0xA5) {
    return _qel_bos_uuid{0xFA000000u | n, static_cast<uint16_t>(n * 7u), 0x4242,
                         {salt, 1, 2, 3, 4, 5, 6, static_cast<uint8_t>(n)}};
}

inline const _qel_bos_uuid kLibraryUuidForTests = {
    0x5A3E91C7, 0x2B4D, 0x4F08, {0x9C, 0x61, 0x7D, 0x2E, 0x0B, 0x8A, 0x4F, 0x13}};

}  // namespace faultkit::test
