// The layout of a transfer image received from anywhere, found and checked
// before any part of it is used. Every check names the first problem and
// the byte offset where it lies, so that tools can say what is wrong; the
// library's import only needs the verdict.
#pragma once

#include <cstdint>
#include <cstring>

#include "context/foreign_list_check.h"
#include "transfer/image_record.h"
#include "transfer/transfer_image.h"

namespace faultkit {

// What is wrong with an image, and where.
struct ImageProblem {
    const char* what;
    uint64_t offset;
};

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
bool ReadFrame(const uint8_t* bytes, uint64_t available, ImageLayout* layout,
               ImageProblem* problem);

// Finds where the strings begin: after the blobs of all records that have one.
bool FindStrings(ImageLayout* layout, ImageProblem* problem);

const uint8_t* RecordAt(const ImageLayout& layout, uint32_t index);

// Steps over the record's strings starting at *text, checking each ends
// before the trailer, and fills their offsets in `parts`.
bool TakeStrings(const ImageLayout& layout, uint8_t flags, uint64_t* text, RecordParts* parts,
                 ImageProblem* problem);

// Walks the records with their blobs and strings, checking every bound, and
// hands each record's parts to `visit` (false from it ends the walk). True
// when every record was visited and the strings end where the trailer begins.
template <typename Visit>
bool WalkRecords(const ImageLayout& layout, ImageProblem* problem, Visit&& visit) {
    uint64_t blob = layout.blobs_begin;
    uint64_t text = layout.strings_begin;
    for (uint32_t i = 0; i < layout.count; ++i) {
        RecordParts parts;
        parts.record = RecordAt(layout, i);
        const uint8_t flags = parts.record[24];
        if ((flags & kRecordFlagContext) != 0) {
            parts.blob_size =
                ContextBlobExtent(layout.bytes + blob, layout.strings_begin - blob);
            if (parts.blob_size == 0) {
                *problem = {"malformed context", blob};
                return false;
            }
            parts.blob = layout.bytes + blob;
            blob += parts.blob_size;
        }
        if (!TakeStrings(layout, flags, &text, &parts, problem) || !visit(i, parts)) {
            return false;
        }
    }
    if (text != layout.strings_end) {
        *problem = {"strings end before the trailer", text};
        return false;
    }
    return true;
}

// The whole check that an import makes before it reads an image: frame,
// records, context blobs and strings. `available` bounds every read.
bool CheckImage(const void* image, uint64_t available, ImageLayout* layout,
                ImageProblem* problem);

}  // namespace faultkit
