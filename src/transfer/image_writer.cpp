// Writing a transfer image: a sizing pass, then a writing pass with three
// cursors (records, context blobs, strings) straight into the caller's
// buffer. Nothing is allocated.
#include <cstring>

#include "base/byte_order.h"
#include "components/facility_registry.h"
#include "components/uuid.h"
#include "context/context_list.h"
#include "transfer/image_record.h"
#include "transfer/transfer_image.h"

namespace faultkit {
namespace {

inline constexpr uint64_t kMaxImageLength = 0xFFFFFFFFu;
inline constexpr uint32_t kCodeWithoutFacility = ~FAULTKIT_FACILITY_MASK;

struct ImageSizes {
    uint64_t length;
    uint64_t blobs;  // sum of the context chain sizes
};

uint64_t StringSize(const char* text) {
    return text != nullptr ? std::strlen(text) + 1 : 0;
}

ImageSizes MeasureSlots(const ErrorSlot* slots, int32_t count) {
    ImageSizes sizes{kEmptyImageSize + kImageRecordSize * static_cast<uint64_t>(count), 0};
    for (int32_t i = 0; i < count; ++i) {
        sizes.blobs += ContextChainSize(slots[i].context, false);
        sizes.length += StringSize(slots[i].aux_text1) + StringSize(slots[i].aux_text2);
    }
    sizes.length += sizes.blobs;
    return sizes;
}

// NullUuid for a code without facility or a facility the table cannot give.
_qel_bos_uuid UuidOfFacility(uint32_t code) {
    _qel_bos_uuid uuid = kNullUuid;
    if ((code & FAULTKIT_FACILITY_MASK) != 0) {
        FacilityQuery(code, &uuid, nullptr);
    }
    return uuid;
}

struct ImageCursors {
    uint8_t* image;
    uint64_t record;
    uint64_t blob;
    uint64_t text;
    uint64_t text_end;  // where the trailer goes
};

// Copies a caller's string with its NUL; false when it no longer fits (the
// caller changed it after it was measured).
bool PutString(ImageCursors* at, const char* text) {
    const uint64_t size = std::strlen(text) + 1;
    if (size > at->text_end - at->text) {
        return false;  // grown since it was measured
    }
    std::memcpy(at->image + at->text, text, static_cast<size_t>(size));
    at->text += size;
    return true;
}

void PutContext(ImageCursors* at, const _qel_error_context* context) {
    const uint64_t size = ContextChainSize(context, false);
    std::memcpy(at->image + at->blob, context, static_cast<size_t>(size));
    ContextChainSwap(at->image + at->blob, false);
    at->blob += size;
}

bool PutSlot(ImageCursors* at, const ErrorSlot& slot) {
    ImageRecord record{slot.code & kCodeWithoutFacility, UuidOfFacility(slot.code), slot.aux_int,
                       0};
    if (slot.aux_text1 != nullptr) {
        if (!PutString(at, slot.aux_text1)) {
            return false;
        }
        record.flags |= kRecordFlagAuxText1;
    }
    if (slot.aux_text2 != nullptr) {
        if (!PutString(at, slot.aux_text2)) {
            return false;
        }
        record.flags |= kRecordFlagAuxText2;
    }
    if (slot.context != nullptr) {
        PutContext(at, slot.context);
        record.flags |= kRecordFlagContext;
    }
    EncodeImageRecord(record, at->image + at->record);
    at->record += kImageRecordSize;
    return true;
}

}  // namespace

uint64_t WriteImage(const ErrorSlot* slots, int32_t count, void* buffer, uint64_t size) {
    const ImageSizes sizes = MeasureSlots(slots, count);
    if (sizes.length > kMaxImageLength) {
        return 0;
    }
    if (size == 0) {
        return sizes.length;
    }
    if (buffer == nullptr || size < sizes.length) {
        return 0;
    }
    const uint64_t blobs_start = kImageHeaderSize + kImageRecordSize * static_cast<uint64_t>(count);
    ImageCursors at{static_cast<uint8_t*>(buffer), kImageHeaderSize, blobs_start,
                    blobs_start + sizes.blobs, sizes.length - kImageTrailerSize};
    StoreBe32(at.image, static_cast<uint32_t>(sizes.length));
    StoreBe32(at.image + 4, static_cast<uint32_t>(count));
    for (int32_t i = 0; i < count; ++i) {
        if (!PutSlot(&at, slots[i])) {
            return 0;
        }
    }
    StoreBe32(at.image + at.text, static_cast<uint32_t>(sizes.length));
    return at.text + kImageTrailerSize == sizes.length ? sizes.length : 0;
}

}  // namespace faultkit
