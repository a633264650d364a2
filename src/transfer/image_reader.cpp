// Reading a transfer image that may come from a hostile or broken sender.
// Nothing in the image is trusted: a first pass checks that every record,
// context blob and string lies where the length field allows, before any
// byte there is read for real or anything is allocated; the second pass
// builds the entries with the same bounded walk, so that even an image that
// changes while it is read (shared memory) cannot lead a read astray.
#include <cstdlib>
#include <cstring>

#include "base/byte_order.h"
#include "components/facility_registry.h"
#include "context/context_list.h"
#include "context/foreign_list_check.h"
#include "transfer/image_layout.h"
#include "transfer/image_record.h"
#include "transfer/transfer_image.h"

namespace faultkit {
namespace {

inline constexpr uint64_t kWorkingListGranule = 8;

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
    ImageProblem problem;
    if (!CheckImage(image, available, &layout, &problem)) {
        return false;
    }
    if (layout.count == 0) {
        *list = nullptr;
        *n = 0;
        return true;
    }
    const uint64_t total = uint64_t{layout.count} + static_cast<uint64_t>(existing_count);
    const uint64_t capacity =
        (total + kWorkingListGranule - 1) / kWorkingListGranule * kWorkingListGranule;
    auto* entries =
        static_cast<ErrorSlot*>(std::malloc(static_cast<size_t>(capacity) * sizeof(ErrorSlot)));
    if (entries == nullptr) {
        return false;
    }
    int32_t started = 0;  // entries whose blocks Discard must look at
    const bool read = WalkRecords(layout, &problem, [&](uint32_t i, const RecordParts& parts) {
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
