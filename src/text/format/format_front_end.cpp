#include "text/format/format_front_end.h"

#include <cstdlib>
#include <cstring>

#include "base/scratch_buffer.h"
#include "text/encoding/utf8.h"
#include "text/format/ascii_fast_path.h"
#include "text/format/directive_char_sets.h"
#include "text/format/format_directive_scan.h"

namespace faultkit {
namespace {

constexpr uint64_t kSlotBytes = 8;

// One argument group, in index order.
struct ArgumentEntry {
    uint64_t size;         // bytes of the group; 0 while no directive names it
    ArgumentSlots source;  // first slot of the group in the caller's list
    uint32_t kind;         // StringKind of the group's value
    size_t narrow_bytes;   // a narrow string's bytes with its terminator
    char16_t* placed;      // a narrow string's UTF-16 copy inside the block, once made
};

// What the walk over the format learnt about it.
struct FormatShape {
    uint32_t directives;
    int32_t max_index;
    bool positional;
    uint64_t slot_total;  // bytes of all directives' groups
};

// What one pass over the caller's format finds before any directive is
// scanned.
struct FormatMarks {
    size_t units;     // terminator included
    size_t percents;  // '%' units: no format has more directives than these
    bool may_rewrite;
};

// Every rewrite starts from one of these: the "$" of an index, "c", "s",
// "t", "z", or "l" (of "ll"). A format without one needs no rewrite,
// whatever its directives, and is declined without being scanned.
constexpr CharSet kRewriteMarks = MakeCharSet("$cstz");

FormatMarks FindMarks(const char16_t* format) {
    size_t length = 0;
    size_t percents = 0;
    bool marked = false;
    for (char16_t unit = format[0]; unit != 0; unit = format[++length]) {
        percents += unit == u'%' ? 1 : 0;
        marked =
            marked || IsInSet(unit, kRewriteMarks) || (unit == u'l' && format[length + 1] == u'l');
    }
    return FormatMarks{length + 1, percents, marked};
}

// Calls scan_one(directive) for the text after every '%' that does not start
// "%%"; scan_one returns the position of the directive's conversion character,
// or null to end the walk with failure. Returns the position of the text's
// terminator, or null on failure.
template <typename ScanOne>
char16_t* WalkDirectives(char16_t* format, ScanOne scan_one) {
    char16_t* p = format;
    for (; *p != 0; ++p) {
        if (*p != u'%') {
            continue;
        }
        if (p[1] == u'%') {
            ++p;
            continue;
        }
        p = scan_one(p + 1);
        if (p == nullptr) {
            return nullptr;
        }
    }
    return p;
}

// Rewrites the copy directive by directive, filling the order table and the
// entries (room for `limit` of each); returns the rewritten copy's
// terminator, or null for a format that the front end refuses.
//
// One walk serves where a summary scan of the caller's format and a
// rewrite scan of its copy would each meet the same directives: a
// directive scans alike in both modes (the summary mode differs only by
// reading the "$" of an index as the prefix where the rewrite mode, with
// the index deleted, reads the "%", and both accept either), so they
// refuse the same directives and find the same indices. The copy has room
// for the growth: a directive lengthens the text by one unit at the most.
char16_t* RewriteFormat(char16_t* copy, size_t limit, int32_t* order, ArgumentEntry* entries,
                        FormatShape* shape) {
    *shape = FormatShape{0, 0, false, 0};
    return WalkDirectives(copy, [&](char16_t* text) -> char16_t* {
        char16_t* end = nullptr;
        uint64_t group = 0;
        uint32_t kind = kNotString;
        const int32_t index = ScanFormatDirective(text, &end, &group, nullptr, &kind);
        const bool positional = index > 0;
        if (index < 0 || (shape->directives > 0 && positional != shape->positional)) {
            return nullptr;
        }
        // An index above `limit` exceeds the directive count: refused anyway.
        const uint32_t entry = positional ? static_cast<uint32_t>(index - 1) : shape->directives;
        if (entry >= limit || (entries[entry].size != 0 && entries[entry].size != group)) {
            return nullptr;
        }
        shape->positional = positional;
        shape->max_index = index > shape->max_index ? index : shape->max_index;
        order[shape->directives++] = static_cast<int32_t>(entry);
        shape->slot_total += group;
        entries[entry].size = group;
        entries[entry].kind = kind;
        return end;
    });
}

const char* NarrowStringOf(const ArgumentEntry& entry) {
    return reinterpret_cast<const char*>(
        static_cast<uintptr_t>(entry.source[entry.size / kSlotBytes - 1]));
}

// Finds each group in the caller's list (groups stand in index order) and
// measures the narrow strings. False when an index is named by no directive.
bool LocateGroups(ArgumentSlots arguments, ArgumentEntry* entries, uint32_t groups,
                  size_t* narrow_units) {
    *narrow_units = 0;
    for (uint32_t i = 0; i < groups; ++i) {
        if (entries[i].size == 0) {
            return false;
        }
        entries[i].source = arguments;
        arguments += entries[i].size / kSlotBytes;
        if (entries[i].kind == kNarrowString) {
            entries[i].narrow_bytes = Utf8Length(NarrowStringOf(entries[i])) + 1;
            *narrow_units += entries[i].narrow_bytes;
        }
    }
    return true;
}

// Converts the entry's narrow string to UTF-16 at `at`, which has room for
// one unit per byte; a string that is not UTF-8 throughout becomes the
// empty text. Returns the bytes of the copy with its terminator.
uint64_t PlaceNarrowString(const ArgumentEntry& entry, char16_t* at) {
    const uint64_t bytes = WidenUtf8Text(NarrowStringOf(entry), entry.narrow_bytes, at);
    if (bytes != 0) {
        return bytes;
    }
    at[0] = 0;
    return sizeof(char16_t);
}

// Lays out the block: the groups in directive order (a repeated index gets a
// copy of its own), then the format, then each narrow string once, converted
// straight into its place when the format first names it. The copies stand
// one after the other, as if converted elsewhere and copied in.
void FillBlock(char* block, uint64_t slot_total, const char16_t* copy, size_t copy_bytes,
               const int32_t* order, uint32_t directives, ArgumentEntry* entries) {
    auto* slot = reinterpret_cast<uint64_t*>(block);
    std::memcpy(block + slot_total, copy, copy_bytes);
    char* strings = block + slot_total + copy_bytes;
    for (uint32_t i = 0; i < directives; ++i) {
        ArgumentEntry& entry = entries[order[i]];
        const uint64_t count = entry.size / kSlotBytes;
        std::memcpy(slot, entry.source, entry.size);
        if (entry.kind == kNarrowString) {
            if (entry.placed == nullptr) {
                entry.placed = reinterpret_cast<char16_t*>(strings);
                strings += PlaceNarrowString(entry, entry.placed);
            }
            slot[count - 1] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(entry.placed));
        }
        slot += count;
    }
}

// BuildArgumentBlock of a format with a rewrite mark.
void* BuildMarkedBlock(const char16_t** format, ArgumentSlots* arguments, BlockStorage storage,
                       const FormatMarks& marks) {
    const size_t limit = marks.percents;
    ScratchBuffer<int32_t, 64> order(limit);
    ScratchBuffer<ArgumentEntry, 16> entries(limit);
    ScratchBuffer<char16_t, 256> copy(marks.units + marks.percents);
    if (order.data() == nullptr || entries.data() == nullptr || copy.data() == nullptr) {
        return nullptr;
    }
    // What is read before it is written: whether a directive named the
    // group yet, and whether its string is in the block yet.
    for (size_t i = 0; i < limit; ++i) {
        entries.data()[i].size = 0;
        entries.data()[i].placed = nullptr;
    }
    std::memcpy(copy.data(), *format, marks.units * sizeof(char16_t));

    FormatShape shape{};
    const char16_t* copy_end =
        RewriteFormat(copy.data(), limit, order.data(), entries.data(), &shape);
    if (copy_end == nullptr) {
        return nullptr;
    }
    // A format whose copy reads as it did needed no rewrite and is declined.
    // Nothing else changes the text, and every rewrite leaves a mark that
    // no other undoes: one "$" less, one "I" or "C" more, or one unit more.
    const auto copy_units = static_cast<size_t>(copy_end - copy.data()) + 1;
    if (copy_units == marks.units &&
        std::memcmp(copy.data(), *format, copy_units * sizeof(char16_t)) == 0) {
        return nullptr;
    }
    const uint32_t groups =
        shape.positional ? static_cast<uint32_t>(shape.max_index) : shape.directives;
    size_t narrow_units = 0;
    if (groups > shape.directives ||
        !LocateGroups(*arguments, entries.data(), groups, &narrow_units)) {
        return nullptr;
    }
    const size_t copy_bytes = copy_units * sizeof(char16_t);
    // Room for the strings at their longest, one unit per UTF-8 byte; the
    // block uses what their conversions take.
    const size_t bytes = shape.slot_total + copy_bytes + narrow_units * sizeof(char16_t);
    char* block = bytes <= storage.local_bytes ? static_cast<char*>(storage.local)
                                               : static_cast<char*>(std::malloc(bytes));
    if (block == nullptr) {
        return nullptr;
    }
    FillBlock(block, shape.slot_total, copy.data(), copy_bytes, order.data(), shape.directives,
              entries.data());
    *arguments = reinterpret_cast<ArgumentSlots>(block);
    *format = reinterpret_cast<const char16_t*>(block + shape.slot_total);
    return block;
}

}  // namespace

// Most formats have no rewrite mark: they are declined by a short function
// that does not set up the scratch storage of a rewrite.
void* BuildArgumentBlock(const char16_t** format, ArgumentSlots* arguments, BlockStorage storage,
                         bool* marked) {
    const FormatMarks marks = FindMarks(*format);
    *marked = marks.may_rewrite;
    return marks.may_rewrite ? BuildMarkedBlock(format, arguments, storage, marks) : nullptr;
}

void* BuildArgumentBlock(const char16_t** format, ArgumentSlots* arguments) {
    bool marked = false;
    return BuildArgumentBlock(format, arguments, BlockStorage{nullptr, 0}, &marked);
}

void* PrepareWideFormat(const char16_t** format, ArgumentSlots* arguments, BlockStorage storage,
                        bool* marked) {
    return BuildArgumentBlock(format, arguments, storage, marked);
}

void* PrepareWideFormat(const char16_t** format, ArgumentSlots* arguments) {
    return BuildArgumentBlock(format, arguments);
}

int32_t ReleaseWideFormat(void* block, BlockStorage storage, int32_t result) {
    if (block != nullptr && block != storage.local) {
        std::free(block);
    }
    return result;
}

int32_t ReleaseWideFormat(void* block, int32_t result) {
    return ReleaseWideFormat(block, BlockStorage{nullptr, 0}, result);
}

}  // namespace faultkit
