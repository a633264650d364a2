// Reading a transfer image that may come from a hostile or broken sender.
// Nothing in the image is trusted: a first pass checks that every record,
// context blob and string lies where the length field allows, before any
// byte there is read for real or anything is allocated; the second pass
// builds the entries with the same bounded walk, so that even an image that
// changes while it is read (shared memory) cannot lead a read astray.
#include <cstdlib>
#include <cstring>

#include "context/byte_order.h"
#include "context/context_blob.h"
#include "context/context_list.h"
#include "context/image_record.h"
#include "context/transfer_image.h"
#include "interface/facility_registry.h"

namespace faultkit {
namespace {

inline constexpr uint64_t kWorkingListGranule = 8;

struct ImageLayout {
    const uint8_t* bytes;
    uint32_t count;
    uint64_t blobs_begin;    // right after the records
    uint64_t strings_begin;  // right after the blobs
    uint64_t strings_end;    // where the trailer begins
};

inline constexpr uint64_t kAbsent = UINT64_MAX;

// One record's parts inside the image. String offsets are relative to
// `strings`, kAbsent for strings the record does not carry.
struct RecordParts {
    const uint8_t* record = nullptr;
    const uint8_t* blob = nullptr;
    uint64_t blob_size = 0;
    const uint8_t* strings = nullptr;
    uint64_t strings_size = 0;
    uint64_t name_at = kAbsent;
    uint64_t aux_text1_at = kAbsent;
    uint64_t aux_text2_at = kAbsent;
};

// Length, trailer and count: false unless the length is at least 12, lies
// within `available`, the trailer repeats it and the records fit before it.
bool ReadFrame(const uint8_t* bytes, uint64_t available, ImageLayout* layout) {
    if (bytes == nullptr || available < 4) {
        return false;
    }
    const uint64_t length = LoadBe32(bytes);
    if (length < kEmptyImageSize || length > available ||
        LoadBe32(bytes + length - kImageTrailerSize) != length) {
        return false;
    }
    layout->bytes = bytes;
    layout->count = LoadBe32(bytes + 4);
    layout->strings_end = length - kImageTrailerSize;
    layout->blobs_begin = kImageHeaderSize + kImageRecordSize * layout->count;
    return layout->blobs_begin <= layout->strings_end;
}

const uint8_t* RecordAt(const ImageLayout& layout, uint32_t index) {
    return layout.bytes + kImageHeaderSize + kImageRecordSize * index;
}

// Size of the blob at `offset`, which must end by `limit`; 0 when it does not.
uint64_t BlobAt(const ImageLayout& layout, uint64_t offset, uint64_t limit) {
    return ContextBlobExtent(layout.bytes + offset, limit - offset);
}

// Finds where the strings begin: after the blobs of all records that have one.
bool FindStrings(ImageLayout* layout) {
    uint64_t offset = layout->blobs_begin;
    for (uint32_t i = 0; i < layout->count; ++i) {
        if ((RecordAt(*layout, i)[24] & kRecordFlagContext) != 0) {
            const uint64_t size = BlobAt(*layout, offset, layout->strings_end);
            if (size == 0) {
                return false;
            }
            offset += size;
        }
    }
    layout->strings_begin = offset;
    return true;
}

// When `present`, steps over one NUL-terminated string at *text that must
// end before the trailer, and stores its offset from `base` in *at.
bool TakeString(bool present, const ImageLayout& layout, uint64_t base, uint64_t* text,
                uint64_t* at) {
    if (!present) {
        return true;
    }
    const void* nul = std::memchr(layout.bytes + *text, 0,
                                  static_cast<size_t>(layout.strings_end - *text));
    if (nul == nullptr) {
        return false;
    }
    *at = *text - base;
    *text = static_cast<uint64_t>(static_cast<const uint8_t*>(nul) - layout.bytes) + 1;
    return true;
}

// Walks the records with their blobs and strings, checking every bound, and
// hands each record's parts to `visit` (false from it ends the walk). True
// when every record was visited and the strings end where the trailer begins.
template <typename Visit>
bool WalkRecords(const ImageLayout& layout, Visit&& visit) {
    uint64_t blob = layout.blobs_begin;
    uint64_t text = layout.strings_begin;
    for (uint32_t i = 0; i < layout.count; ++i) {
        RecordParts parts;
        parts.record = RecordAt(layout, i);
        const uint8_t flags = parts.record[24];
        if ((flags & kRecordFlagContext) != 0) {
            parts.blob_size = BlobAt(layout, blob, layout.strings_begin);
            if (parts.blob_size == 0) {
                return false;
            }
            parts.blob = layout.bytes + blob;
            blob += parts.blob_size;
        }
        const uint64_t base = text;
        parts.strings = layout.bytes + base;
        if (!TakeString(flags & kRecordFlagComponentName, layout, base, &text, &parts.name_at) ||
            !TakeString(flags & kRecordFlagAuxText1, layout, base, &text, &parts.aux_text1_at) ||
            !TakeString(flags & kRecordFlagAuxText2, layout, base, &text, &parts.aux_text2_at)) {
            return false;
        }
        parts.strings_size = text - base;
        if (!visit(i, parts)) {
            return false;
        }
    }
    return text == layout.strings_end;
}

char* StringIn(char* block, uint64_t at) {
    return at != kAbsent ? block + at : nullptr;
}

// Copies the record's strings into one block. Its last byte is written as
// NUL again, so every copy stays terminated inside the block even if the
// image changed after it was checked.
bool CopyStrings(const RecordParts& parts, ErrorSlot* entry) {
    if (parts.strings_size == 0) {
        return true;
    }
    entry->strings = static_cast<char*>(std::malloc(static_cast<size_t>(parts.strings_size)));
    if (entry->strings == nullptr) {
        return false;
    }
    std::memcpy(entry->strings, parts.strings, static_cast<size_t>(parts.strings_size));
    entry->strings[parts.strings_size - 1] = '\0';
    entry->aux_text1 = StringIn(entry->strings, parts.aux_text1_at);
    entry->aux_text2 = StringIn(entry->strings, parts.aux_text2_at);
    return true;
}

// Copies the blob and turns the copy to host order; the copy is checked
// again so that the conversion only ever walks checked bytes.
bool CopyContext(const RecordParts& parts, ErrorSlot* entry) {
    if (parts.blob == nullptr) {
        return true;
    }
    void* copy = std::malloc(static_cast<size_t>(parts.blob_size));
    if (copy == nullptr) {
        return false;
    }
    std::memcpy(copy, parts.blob, static_cast<size_t>(parts.blob_size));
    if (ContextBlobExtent(copy, parts.blob_size) != parts.blob_size) {
        std::free(copy);
        return false;
    }
    entry->context = static_cast<_qel_error_context*>(ContextChainSwap(copy, true));
    return true;
}

bool BuildEntry(const RecordParts& parts, ErrorSlot* entry) {
    const ImageRecord record = DecodeImageRecord(parts.record);
    *entry = ErrorSlot{record.code, nullptr, nullptr, record.aux_int, nullptr, nullptr};
    if (!CopyStrings(parts, entry)) {
        return false;
    }
    uint32_t facility = 0;
    const char* name = StringIn(entry->strings, parts.name_at);
    if (FacilityOfUuid(&record.uuid, name, &facility)) {
        entry->code |= facility;
    }
    return CopyContext(parts, entry);
}

}  // namespace

bool ReadImageWithin(const ErrorSlot* existing, int32_t existing_count, const void* image,
                     uint64_t available, ErrorSlot** list, int32_t* n) {
    ImageLayout layout;
    if (!ReadFrame(static_cast<const uint8_t*>(image), available, &layout)) {
        return false;
    }
    if (layout.count == 0) {
        *list = nullptr;
        *n = 0;
        return true;
    }
    if (!FindStrings(&layout) || !WalkRecords(layout, [](uint32_t, const RecordParts&) {
            return true;
        })) {
        return false;
    }
    const uint64_t total = uint64_t{layout.count} + static_cast<uint64_t>(existing_count);
    const uint64_t capacity = (total + kWorkingListGranule - 1) / kWorkingListGranule *
                              kWorkingListGranule;
    auto* entries = static_cast<ErrorSlot*>(std::malloc(static_cast<size_t>(capacity) *
                                                        sizeof(ErrorSlot)));
    if (entries == nullptr) {
        return false;
    }
    int32_t started = 0;  // entries whose blocks Discard must look at
    const bool read = WalkRecords(layout, [&](uint32_t i, const RecordParts& parts) {
        started = static_cast<int32_t>(i) + 1;
        return BuildEntry(parts, &entries[i]);
    });
    if (!read) {
        DiscardEntries(entries, started);
        return false;
    }
    if (existing_count > 0) {
        std::memcpy(entries + layout.count, existing,
                    static_cast<size_t>(existing_count) * sizeof(ErrorSlot));
    }
    *list = entries;
    *n = static_cast<int32_t>(total);
    return true;
}

bool ReadImage(const ErrorSlot* existing, int32_t existing_count, const void* image,
               ErrorSlot** list, int32_t* n) {
    return ReadImageWithin(existing, existing_count, image, kImageExtentUnknown, list, n);
}

}  // namespace faultkit
