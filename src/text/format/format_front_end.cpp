#include "text/format/format_front_end.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "base/scratch_buffer.h"
#include "text/encoding/utf8.h"
#include "text/format/ascii_fast_path.h"

namespace faultkit {
namespace {

constexpr uint64_t kSlotBytes = 8;

// One argument group, in index order.
struct ArgumentEntry {
    uint64_t size;         // bytes of the group; 0 while no directive names it
    ArgumentSlots source;  // first slot of the group in the caller's list
    StringKind kind;       // of its value; a later directive naming it decides
    bool narrow_only;      // every directive naming it reads a narrow string
    bool as_is;            // such a string in plain ASCII, passed on as it is
    bool copied;           // any other narrow string, converted into the block
    size_t narrow_bytes;   // a copied string's bytes with its terminator
    char16_t* placed;      // its UTF-16 copy inside the block, once made
};

// The group of the i-th directive.
uint32_t EntryOf(const FormatScan& scan, uint32_t i) {
    const int32_t index = scan.directives[i].result;
    return index > 0 ? static_cast<uint32_t>(index - 1) : i;
}

// The block's sizes: its slots and the rewritten format (its string
// copies are measured with the groups).
struct BlockSizes {
    uint64_t slot_bytes;
    size_t format_units;  // terminator included
};

// Gives each group the size and kind its directives say, and sizes the
// slots and the rewritten format: each index dropped, one unit more for
// each "I64" and each "hs" or "ls". False when two directives name one
// index with different sizes.
bool NameGroups(const FormatScan& scan, ArgumentEntry* entries, uint32_t groups,
                BlockSizes* sizes) {
    for (uint32_t i = 0; i < groups; ++i) {
        entries[i].size = 0;
        entries[i].narrow_only = true;
        entries[i].placed = nullptr;
    }
    *sizes = BlockSizes{0, static_cast<size_t>(scan.end - scan.format) + 1};
    for (uint32_t i = 0; i < scan.count; ++i) {
        const ScannedDirective& directive = scan.directives[i];
        const DirectiveReading<char16_t>& reading = directive.reading;
        ArgumentEntry& entry = entries[EntryOf(scan, i)];
        if (entry.size != 0 && entry.size != reading.group_bytes) {
            return false;
        }
        entry.size = reading.group_bytes;
        entry.kind = reading.kind;
        entry.narrow_only = entry.narrow_only && reading.kind == kNarrowString;
        sizes->slot_bytes += reading.group_bytes;
        sizes->format_units -= static_cast<size_t>(reading.body - (directive.percent + 1));
        sizes->format_units +=
            reading.respelling == kLongLong || reading.respelling == kNarrowText ? 1 : 0;
    }
    return true;
}

const char* NarrowStringOf(const ArgumentEntry& entry) {
    return reinterpret_cast<const char*>(
        static_cast<uintptr_t>(entry.source[entry.size / kSlotBytes - 1]));
}

// Finds each group in the caller's list (groups stand in index order) and
// looks at the narrow strings: those in plain ASCII that no directive reads
// otherwise are passed on, the others measured for their copies. False
// when an index is named by no directive.
bool LocateGroups(ArgumentSlots arguments, ArgumentEntry* entries, uint32_t groups,
                  size_t* copy_units) {
    *copy_units = 0;
    for (uint32_t i = 0; i < groups; ++i) {
        ArgumentEntry& entry = entries[i];
        if (entry.size == 0) {
            return false;
        }
        entry.source = arguments;
        arguments += entry.size / kSlotBytes;
        entry.as_is = false;
        entry.copied = false;
        if (entry.kind == kNarrowString) {
            const char* text = NarrowStringOf(entry);
            const size_t length = Utf8Length(text);
            entry.as_is = entry.narrow_only && IsAsciiText(text, length);
            entry.copied = !entry.as_is;
            entry.narrow_bytes = length + 1;
            *copy_units += entry.copied ? entry.narrow_bytes : 0;
        }
    }
    return true;
}

// Text between directives: short runs unit by unit, longer ones in one go.
char16_t* CopyUnits(char16_t* out, const char16_t* from, const char16_t* to) {
    constexpr ptrdiff_t kShortRun = 8;
    if (to - from > kShortRun) {
        std::memcpy(out, from, static_cast<size_t>(to - from) * sizeof(char16_t));
        return out + (to - from);
    }
    while (from < to) {
        *out++ = *from++;
    }
    return out;
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

// Fills the block in one walk over the directives: the format with each
// directive rewritten and the text between as it stands; the groups in
// directive order (a repeated index gets a copy of its own); each copied
// string once, converted straight into its place behind the format when
// the format first names it, the copies one after the other.
void FillBlock(const FormatScan& scan, ArgumentEntry* entries, uint64_t* slot, char16_t* format,
               char* strings) {
    const char16_t* done = scan.format;
    for (uint32_t i = 0; i < scan.count; ++i) {
        const ScannedDirective& directive = scan.directives[i];
        ArgumentEntry& entry = entries[EntryOf(scan, i)];
        format = CopyUnits(format, done, directive.percent + 1);
        format = WriteRespelledDirective(format, directive.reading, entry.as_is);
        done = directive.reading.conversion + 1;
        const uint64_t count = entry.size / kSlotBytes;
        for (uint64_t k = 0; k < count; ++k) {
            slot[k] = entry.source[k];
        }
        if (entry.copied) {
            if (entry.placed == nullptr) {
                entry.placed = reinterpret_cast<char16_t*>(strings);
                strings += PlaceNarrowString(entry, entry.placed);
            }
            slot[count - 1] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(entry.placed));
        }
        slot += count;
    }
    CopyUnits(format, done, scan.end + 1);
}

}  // namespace

// The block: the slots, the rewritten format, the copied strings. Nothing
// is written before every check has passed.
void* BuildArgumentBlock(FormatScan* scan, const char16_t** format, ArgumentSlots* arguments,
                         BlockStorage storage) {
    if (scan->diverged) {
        ScanFormat(scan->format, WalkBy::kFrontEnd, scan->directives, scan);
    }
    if (scan->refused || !scan->rewrite) {
        return nullptr;
    }
    const uint32_t groups = scan->positional ? static_cast<uint32_t>(scan->max_index) : scan->count;
    if (groups > scan->count) {
        return nullptr;
    }
    ScratchBuffer<ArgumentEntry, 16> entries(groups);
    BlockSizes sizes{};
    size_t copy_units = 0;
    if (entries.data() == nullptr || !NameGroups(*scan, entries.data(), groups, &sizes) ||
        !LocateGroups(*arguments, entries.data(), groups, &copy_units)) {
        return nullptr;
    }
    const uint64_t slot_bytes = sizes.slot_bytes;
    const size_t format_bytes = sizes.format_units * sizeof(char16_t);
    const size_t bytes = slot_bytes + format_bytes + copy_units * sizeof(char16_t);
    char* block = bytes <= storage.local_bytes ? static_cast<char*>(storage.local)
                                               : static_cast<char*>(std::malloc(bytes));
    if (block == nullptr) {
        return nullptr;
    }
    auto* rewritten = reinterpret_cast<char16_t*>(block + slot_bytes);
    FillBlock(*scan, entries.data(), reinterpret_cast<uint64_t*>(block), rewritten,
              block + slot_bytes + format_bytes);
    *arguments = reinterpret_cast<ArgumentSlots>(block);
    *format = rewritten;
    return block;
}

void* PrepareWideFormat(const char16_t** format, ArgumentSlots* arguments) {
    const size_t units = std::char_traits<char16_t>::length(*format) + 1;
    ScratchBuffer<ScannedDirective, 16> room(DirectiveRoom(units));
    if (room.data() == nullptr) {
        return nullptr;
    }
    FormatScan scan;
    ScanFormat(*format, WalkBy::kFrontEnd, room.data(), &scan);
    return BuildArgumentBlock(&scan, format, arguments, BlockStorage{nullptr, 0});
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
