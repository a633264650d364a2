#include "text/encoding/reverse_tables.h"

#include <cstring>

#include "text/encoding/code_page_tables.h"

namespace faultkit {
namespace {

constexpr int kSetEntries = kCodePageCount + 1;
constexpr uint16_t kZeroRunMarker = 0x0000;

uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

// One item of a RunStream: a literal (count 1) or a run of `count` copies.
struct RunItem {
    uint16_t value;
    uint16_t count;
};

// Reads a RunStream item by item. A stream whose byte-order word is not
// 0xDEAD has its data words byte-swapped; size and counts are taken as
// stored.
struct RunStreamCursor {
    const uint8_t* at;
    bool swapped;
    const uint16_t* markers;
    int marker_count;
};

RunStreamCursor RunStreamOpen(const uint8_t* stream, const uint16_t* markers, int marker_count) {
    return {stream + 4, ReadLe16(stream) != kRunStreamByteOrder, markers, marker_count};
}

bool IsMarker(const RunStreamCursor& cursor, uint16_t word) {
    for (int i = 0; i < cursor.marker_count; ++i) {
        if (cursor.markers[i] == word) {
            return true;
        }
    }
    return false;
}

// Next item; false at the end pair (a marker with count 0).
bool RunStreamNext(RunStreamCursor& cursor, RunItem* item) {
    uint16_t word = ReadLe16(cursor.at);
    cursor.at += 2;
    if (cursor.swapped) {
        word = static_cast<uint16_t>((word >> 8) | (word << 8));
    }
    if (!IsMarker(cursor, word)) {
        *item = {word, 1};
        return true;
    }
    *item = {word, ReadLe16(cursor.at)};
    cursor.at += 2;
    return item->count != 0;
}

const uint8_t* RecordStream(const uint8_t* record) {
    return record + 2;
}

const uint8_t* RecordGroupCountField(const uint8_t* record) {
    return record + 2 + ReadLe16(record);
}

const uint8_t* RecordGroups(const uint8_t* record) {
    return RecordGroupCountField(record) + 2;
}

// The expanded block of one record: its PageIndex followed by its groups.
uint8_t* ExpandRecord(const uint8_t* record, AllocateFn allocate) {
    auto* page_index =
        static_cast<uint8_t*>(RunStreamExpand(RecordStream(record), &kZeroRunMarker, 1, allocate));
    if (page_index == nullptr) {
        return nullptr;
    }
    const size_t groups_size = ReadLe16(RecordGroupCountField(record)) * kReverseGroupSize;
    auto* block = static_cast<uint8_t*>(allocate(kPageIndexSize + groups_size));
    if (block != nullptr) {
        std::memcpy(block, page_index, kPageIndexSize);
        std::memcpy(block + kPageIndexSize, RecordGroups(record), groups_size);
    }
    std::free(page_index);
    return block;
}

// Fills set->expanded, or leaves it null having freed what was built.
void ExpandAll(ReverseTableSet* set, AllocateFn allocate) {
    auto** expanded = static_cast<uint8_t**>(allocate(kSetEntries * sizeof(uint8_t*)));
    if (expanded == nullptr) {
        return;
    }
    expanded[0] = nullptr;
    int built = 0;
    while (built < kCodePageCount) {
        uint8_t* block = ExpandRecord(set->compressed[built + 1], allocate);
        if (block == nullptr) {
            break;
        }
        expanded[++built] = block;
    }
    if (built < kCodePageCount) {
        for (int id = 1; id <= built; ++id) {
            std::free(expanded[id]);
        }
        std::free(expanded);
        return;
    }
    set->expanded = expanded;
}

}  // namespace

void* RunStreamExpand(const uint8_t* stream, const uint16_t* markers, int marker_count,
                      AllocateFn allocate) {
    RunStreamCursor cursor = RunStreamOpen(stream, markers, marker_count);
    const size_t size = ReadLe16(stream + 2) * size_t{32};
    auto* out = static_cast<uint8_t*>(allocate(size));
    if (out == nullptr) {
        return nullptr;
    }
    size_t filled = 0;
    RunItem item;
    while (filled < size && RunStreamNext(cursor, &item)) {
        for (uint16_t i = 0; i < item.count && filled < size; ++i, filled += 2) {
            out[filled] = static_cast<uint8_t>(item.value);
            out[filled + 1] = static_cast<uint8_t>(item.value >> 8);
        }
    }
    std::memset(out + filled, 0, size - filled);
    return out;
}

unsigned RunStreamPeek(const uint8_t* stream, const uint16_t* markers, int marker_count, int width,
                       size_t index) {
    RunStreamCursor cursor = RunStreamOpen(stream, markers, marker_count);
    size_t words_before = index * width / 16;
    RunItem item;
    while (RunStreamNext(cursor, &item)) {
        if (words_before < item.count) {
            const unsigned shift = static_cast<unsigned>(index % (16 / width) * width);
            return (item.value >> shift) & ((1u << width) - 1);
        }
        words_before -= item.count;
    }
    return 0;
}

const uint8_t* ReverseRecordSkip(const uint8_t* record, int n) {
    for (int i = 0; i < n; ++i) {
        const uint8_t* groups = RecordGroups(record);
        record = groups + ReadLe16(groups - 2) * kReverseGroupSize;
    }
    return record;
}

ReverseTableSet* ReverseTablesLoad(ReverseTableSet* set, AllocateFn allocate) {
    set->compressed = nullptr;
    set->expanded = nullptr;
    auto** compressed = static_cast<const uint8_t**>(allocate(kSetEntries * sizeof(uint8_t*)));
    if (compressed == nullptr) {
        return set;
    }
    compressed[0] = nullptr;
    compressed[1] = ReverseRecords;
    for (int id = 2; id <= kCodePageCount; ++id) {
        compressed[id] = ReverseRecordSkip(compressed[id - 1], 1);
    }
    set->compressed = compressed;
    ExpandAll(set, allocate);
    if (set->expanded != nullptr) {
        std::free(set->compressed);
        set->compressed = nullptr;
    }
    return set;
}

void ReverseTablesUnload(ReverseTableSet* set) {
    std::free(set->compressed);
    set->compressed = nullptr;
    if (set->expanded != nullptr) {
        for (int id = 1; id <= kCodePageCount; ++id) {
            std::free(set->expanded[id]);
        }
        std::free(set->expanded);
        set->expanded = nullptr;
    }
}

uint8_t CompressedLookup(const ReverseTableSet& set, uint32_t cp, EncodingId id) {
    const uint8_t* record = set.compressed != nullptr
                                ? set.compressed[id]
                                : ReverseRecordSkip(ReverseRecords, id - kFirstCodePage);
    const unsigned group = RunStreamPeek(RecordStream(record), &kZeroRunMarker, 1, 8, cp / 8);
    return group == 0 ? 0 : RecordGroups(record)[(group - 1) * kReverseGroupSize + (cp & 7u)];
}

}  // namespace faultkit
