#include "text/argument_block.h"

#include <cstdlib>
#include <cstring>

#include "base/scratch_buffer.h"
#include "text/encoding_conversion.h"
#include "text/format_directive_scan.h"
#include "text/utf8.h"

namespace faultkit {
namespace {

constexpr uint64_t kSlotBytes = 8;

// One argument group, in index order.
struct ArgumentEntry {
    uint64_t size;         // bytes of the group; 0 while no directive names it
    ArgumentSlots source;  // first slot of the group in the caller's list
    uint32_t kind;         // StringKind of the group's value
    size_t narrow_bytes;   // a narrow string's bytes with its terminator
    const char16_t* text;  // UTF-16 text to copy into the block (narrow strings)
    uint64_t text_bytes;   // bytes of `text` with its terminator; 0: none
    char16_t* placed;      // the copy inside the block, once made
};

// What the summary scan learnt about the whole format.
struct FormatSummary {
    size_t format_units;  // of the caller's format, terminator included
    ScanSummary scan;
    uint32_t directives;
    int32_t max_index;
    bool positional;
};

size_t Utf16Length(const char16_t* text) {
    size_t length = 0;
    while (text[length] != 0) {
        ++length;
    }
    return length;
}

// Calls scan_one(directive) for the text after every '%' that does not start
// "%%"; scan_one returns the position of the directive's conversion character,
// or null to end the walk with failure.
template <typename ScanOne>
bool WalkDirectives(char16_t* format, ScanOne scan_one) {
    for (char16_t* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            continue;
        }
        if (p[1] == u'%') {
            ++p;
            continue;
        }
        p = scan_one(p + 1);
        if (p == nullptr) {
            return false;
        }
    }
    return true;
}

bool SummariseFormat(const char16_t* format, FormatSummary* summary) {
    const size_t units = Utf16Length(format) + 1;
    *summary = FormatSummary{units, {0, units}, 0, 0, false};
    // Summary mode leaves the text as it is.
    return WalkDirectives(
        const_cast<char16_t*>(format), [summary](char16_t* directive) -> char16_t* {
            char16_t* end = nullptr;
            const int32_t index =
                ScanFormatDirective(directive, &end, nullptr, &summary->scan, nullptr);
            const bool positional = index > 0;
            if (index < 0 || (summary->directives > 0 && positional != summary->positional)) {
                return nullptr;
            }
            summary->positional = positional;
            summary->directives += 1;
            if (index > summary->max_index) {
                summary->max_index = index;
            }
            return end;
        });
}

// Rewrites the copy directive by directive, filling the order table and the entries.
bool RewriteFormat(char16_t* copy, const FormatSummary& summary, int32_t* order,
                   ArgumentEntry* entries, uint32_t groups, uint64_t* slot_total) {
    uint32_t directive = 0;
    return WalkDirectives(copy, [&](char16_t* text) -> char16_t* {
        char16_t* end = nullptr;
        uint64_t group = 0;
        uint32_t kind = kNotString;
        const int32_t index = ScanFormatDirective(text, &end, &group, nullptr, &kind);
        const uint32_t entry = index > 0 ? static_cast<uint32_t>(index - 1) : directive;
        if (index < 0 || directive >= summary.directives || entry >= groups ||
            (entries[entry].size != 0 && entries[entry].size != group)) {
            return nullptr;
        }
        order[directive++] = static_cast<int32_t>(entry);
        *slot_total += group;
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

// Converts the narrow strings to UTF-16 into `scratch`; a string that is
// not UTF-8 throughout becomes the empty text. Returns the bytes of all
// copies.
uint64_t ConvertNarrowStrings(ArgumentEntry* entries, uint32_t groups, char16_t* scratch) {
    uint64_t total = 0;
    for (uint32_t i = 0; i < groups; ++i) {
        ArgumentEntry& entry = entries[i];
        if (entry.kind != kNarrowString) {
            continue;
        }
        const uint64_t bytes =
            ConvertUtf8TextToUtf16(NarrowStringOf(entry), entry.narrow_bytes, scratch);
        entry.text = bytes != 0 ? scratch : u"";
        entry.text_bytes = bytes != 0 ? bytes : sizeof(char16_t);
        total += entry.text_bytes;
        scratch += entry.narrow_bytes;
    }
    return total;
}

// Lays out the block: the groups in directive order (a repeated index gets a
// copy of its own), then the format, then each string copy once.
void FillBlock(char* block, uint64_t slot_total, const char16_t* copy, size_t copy_bytes,
               const int32_t* order, uint32_t directives, ArgumentEntry* entries) {
    auto* slot = reinterpret_cast<uint64_t*>(block);
    std::memcpy(block + slot_total, copy, copy_bytes);
    char* strings = block + slot_total + copy_bytes;
    for (uint32_t i = 0; i < directives; ++i) {
        ArgumentEntry& entry = entries[order[i]];
        const uint64_t count = entry.size / kSlotBytes;
        std::memcpy(slot, entry.source, entry.size);
        if (entry.text_bytes != 0) {
            if (entry.placed == nullptr) {
                std::memcpy(strings, entry.text, entry.text_bytes);
                entry.placed = reinterpret_cast<char16_t*>(strings);
                strings += entry.text_bytes;
            }
            slot[count - 1] = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(entry.placed));
        }
        slot += count;
    }
}

}  // namespace

void* BuildArgumentBlock(const char16_t** format, ArgumentSlots* arguments) {
    FormatSummary summary{};
    if (!SummariseFormat(*format, &summary) || summary.scan.length <= 1 ||
        !summary.scan.rewrite_needed) {
        return nullptr;
    }
    const uint32_t groups =
        summary.positional ? static_cast<uint32_t>(summary.max_index) : summary.directives;
    if (groups > summary.directives) {
        return nullptr;
    }
    ScratchBuffer<int32_t, 64> order(summary.directives);
    ScratchBuffer<ArgumentEntry, 16> entries(groups);
    ScratchBuffer<char16_t, 256> copy(summary.scan.length);
    if (order.data() == nullptr || entries.data() == nullptr || copy.data() == nullptr) {
        return nullptr;
    }
    std::memset(entries.data(), 0, groups * sizeof(ArgumentEntry));
    std::memcpy(copy.data(), *format, summary.format_units * sizeof(char16_t));

    uint64_t slot_total = 0;
    size_t narrow_units = 0;
    if (!RewriteFormat(copy.data(), summary, order.data(), entries.data(), groups, &slot_total) ||
        !LocateGroups(*arguments, entries.data(), groups, &narrow_units)) {
        return nullptr;
    }
    ScratchBuffer<char16_t, 512> narrow(narrow_units);
    if (narrow.data() == nullptr) {
        return nullptr;
    }
    const uint64_t string_total = ConvertNarrowStrings(entries.data(), groups, narrow.data());
    const size_t copy_bytes = (Utf16Length(copy.data()) + 1) * sizeof(char16_t);
    char* block = static_cast<char*>(std::malloc(slot_total + copy_bytes + string_total));
    if (block == nullptr) {
        return nullptr;
    }
    FillBlock(block, slot_total, copy.data(), copy_bytes, order.data(), summary.directives,
              entries.data());
    *arguments = reinterpret_cast<ArgumentSlots>(block);
    *format = reinterpret_cast<const char16_t*>(block + slot_total);
    return block;
}

void* PrepareWideFormat(const char16_t** format, ArgumentSlots* arguments) {
    return BuildArgumentBlock(format, arguments);
}

int32_t ReleaseWideFormat(void* block, int32_t result) {
    std::free(block);
    return result;
}

}  // namespace faultkit
