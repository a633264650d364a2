#include "transfer/image_layout.h"

#include "base/byte_order.h"

namespace faultkit {

bool ReadFrame(const uint8_t* bytes, uint64_t available, ImageLayout* layout,
               ImageProblem* problem) {
    if (bytes == nullptr || available < 4) {
        *problem = {"image too short for its length field", 0};
        return false;
    }
    const uint64_t length = LoadBe32(bytes);
    if (length < kEmptyImageSize) {
        *problem = {"length field below 12", 0};
        return false;
    }
    if (length > available) {
        *problem = {"length field larger than the image", 0};
        return false;
    }
    if (LoadBe32(bytes + length - kImageTrailerSize) != length) {
        *problem = {"trailer differs from the length field", length - kImageTrailerSize};
        return false;
    }
    layout->bytes = bytes;
    layout->count = LoadBe32(bytes + 4);
    layout->strings_end = length - kImageTrailerSize;
    layout->blobs_begin = kImageHeaderSize + kImageRecordSize * layout->count;
    if (layout->blobs_begin > layout->strings_end) {
        *problem = {"record count does not fit the length", 4};
        return false;
    }
    return true;
}

const uint8_t* RecordAt(const ImageLayout& layout, uint32_t index) {
    return layout.bytes + kImageHeaderSize + kImageRecordSize * index;
}

bool FindStrings(ImageLayout* layout, ImageProblem* problem) {
    uint64_t offset = layout->blobs_begin;
    for (uint32_t i = 0; i < layout->count; ++i) {
        if ((RecordAt(*layout, i)[24] & kRecordFlagContext) != 0) {
            const uint64_t size =
                ContextBlobExtent(layout->bytes + offset, layout->strings_end - offset);
            if (size == 0) {
                *problem = {"malformed context", offset};
                return false;
            }
            offset += size;
        }
    }
    layout->strings_begin = offset;
    return true;
}

namespace {

// When `present`, steps over one NUL-terminated string at *text that must
// end before the trailer, and stores its offset from `base` in *at.
bool TakeString(bool present, const ImageLayout& layout, uint64_t base, uint64_t* text,
                uint64_t* at, ImageProblem* problem) {
    if (!present) {
        return true;
    }
    const void* nul =
        std::memchr(layout.bytes + *text, 0, static_cast<size_t>(layout.strings_end - *text));
    if (nul == nullptr) {
        *problem = {"string runs into the trailer", *text};
        return false;
    }
    *at = *text - base;
    *text = static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - layout.bytes) + 1;
    return true;
}

}  // namespace

bool TakeStrings(const ImageLayout& layout, uint8_t flags, uint64_t* text, RecordParts* parts,
                 ImageProblem* problem) {
    const uint64_t base = *text;
    parts->strings = layout.bytes + base;
    if (!TakeString(flags & kRecordFlagComponentName, layout, base, text, &parts->name_at,
                    problem) ||
        !TakeString(flags & kRecordFlagAuxText1, layout, base, text, &parts->aux_text1_at,
                    problem) ||
        !TakeString(flags & kRecordFlagAuxText2, layout, base, text, &parts->aux_text2_at,
                    problem)) {
        return false;
    }
    parts->strings_size = *text - base;
    return true;
}

bool CheckImage(const void* image, uint64_t available, ImageLayout* layout, ImageProblem* problem) {
    if (!ReadFrame(static_cast<const uint8_t*>(image), available, layout, problem)) {
        return false;
    }
    return layout->count == 0 ||
           (FindStrings(layout, problem) &&
            WalkRecords(*layout, problem, [](uint32_t, const RecordParts&) { return true; }));
}

}  // namespace faultkit
