// One 25-byte error record of a transfer image:
//   0  u32 code without facility bits
//   4  UUID: Data1 (u32), Data2 (u16), Data3 (u16) big-endian; then
//      Data4[1], Data4[0]; then Data4[2..7]
//   20 i32 aux_int
//   24 u8  flags (kRecordFlag*)
#pragma once

#include <cstdint>

#include "faultkit.h"

namespace faultkit {

inline constexpr uint64_t kImageRecordSize = 25;

inline constexpr uint8_t kRecordFlagAuxText2 = 0x01;
inline constexpr uint8_t kRecordFlagAuxText1 = 0x02;
inline constexpr uint8_t kRecordFlagContext = 0x04;
inline constexpr uint8_t kRecordFlagComponentName = 0x08;

struct ImageRecord {
    uint32_t code;
    _qel_bos_uuid uuid;
    int32_t aux_int;
    uint8_t flags;
};

void EncodeImageRecord(const ImageRecord& record, void* out);
ImageRecord DecodeImageRecord(const void* in);

}  // namespace faultkit
