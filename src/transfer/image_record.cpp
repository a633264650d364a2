#include "transfer/image_record.h"

#include <cstring>

#include "base/byte_order.h"

namespace faultkit {

// The first two bytes of Data4 travel as one little-endian 16-bit value
// written big-endian, so they stand swapped in the image.
void EncodeImageRecord(const ImageRecord& record, void* out) {
    auto* at = static_cast<uint8_t*>(out);
    StoreBe32(at, record.code);
    StoreBe32(at + 4, record.uuid.Data1);
    StoreBe16(at + 8, record.uuid.Data2);
    StoreBe16(at + 10, record.uuid.Data3);
    at[12] = record.uuid.Data4[1];
    at[13] = record.uuid.Data4[0];
    std::memcpy(at + 14, record.uuid.Data4 + 2, 6);
    StoreBe32(at + 20, static_cast<uint32_t>(record.aux_int));
    at[24] = record.flags;
}

ImageRecord DecodeImageRecord(const void* in) {
    const auto* at = static_cast<const uint8_t*>(in);
    ImageRecord record;
    record.code = LoadBe32(at);
    record.uuid.Data1 = LoadBe32(at + 4);
    record.uuid.Data2 = LoadBe16(at + 8);
    record.uuid.Data3 = LoadBe16(at + 10);
    record.uuid.Data4[1] = at[12];
    record.uuid.Data4[0] = at[13];
    std::memcpy(record.uuid.Data4 + 2, at + 14, 6);
    record.aux_int = static_cast<int32_t>(LoadBe32(at + 20));
    record.flags = at[24];
    return record;
}

}  // namespace faultkit
