// Our own wide formatter in the Windows runtime's dialect (see
// format_directive.h), standing in for _vswprintf_c_l with a null locale.
#include <cstdint>

#include "platform/platform.h"
#include "platform/posix/wide_printf/format_conversions.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace faultkit::platform {
namespace {

bool FormatConversion(WideSink& sink, const FormatDirective& directive, SlotReader& slots) {
    const uint64_t slot = NextSlot(slots);
    switch (directive.conversion) {
        case u'c':
        case u'C': return FormatCharacter(sink, directive, slot);
        case u's':
        case u'S': return FormatString(sink, directive, slot);
        case u'e':
        case u'E':
        case u'f':
        case u'g':
        case u'G':
        case u'a':
        case u'A': return FormatFloating(sink, directive, slot);
        default: return FormatInteger(sink, directive, slot);
    }
}

#if defined(__SSE2__)
// Reads past the terminator of a format: see LiteralEnd.
#define FAULTKIT_READS_PAST_END __attribute__((no_sanitize("address", "thread")))

// Two bits for each unit of the aligned block that is a '%' or the
// terminator.
FAULTKIT_READS_PAST_END unsigned LiteralEnds(const __m128i* block) {
    const __m128i units = _mm_load_si128(block);
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(units, _mm_setzero_si128()),
                                       _mm_cmpeq_epi16(units, _mm_set1_epi16(u'%')))));
}

// The end of the literal text at `p`: its first '%' or its terminator.
// Eight units a round, from 16-byte aligned blocks: such a block never
// crosses a page, so the units it holds past the terminator can be read,
// though they are not the format's; the sanitizers are told not to check
// these reads (as C libraries' strlen does).
FAULTKIT_READS_PAST_END const char16_t* LiteralEnd(const char16_t* p) {
    const auto address = reinterpret_cast<uintptr_t>(p);
    const auto* block = reinterpret_cast<const __m128i*>(address & ~uintptr_t{15});
    // The bits of the units before p shifted out.
    unsigned found = LiteralEnds(block) >> (address & 15);
    if (found != 0) {
        return p + __builtin_ctz(found) / 2;
    }
    do {
        found = LiteralEnds(++block);
    } while (found == 0);
    return reinterpret_cast<const char16_t*>(block) + __builtin_ctz(found) / 2;
}
#else
const char16_t* LiteralEnd(const char16_t* p) {
    while (*p != 0 && *p != u'%') {
        ++p;
    }
    return p;
}
#endif

}  // namespace

int WideFormat(char16_t* buffer, size_t count, const char16_t* format, const uint64_t* args) {
    if (format == nullptr || (buffer == nullptr) != (count == 0)) {
        return -1;
    }
    WideSink sink{buffer, count, 0, false};
    SlotReader slots{args};
    const char16_t* p = format;
    while (*p != 0 && !sink.refused) {
        if (*p != u'%') {
            const char16_t* literal = p;
            p = LiteralEnd(p);
            PutUnits(sink, literal, static_cast<size_t>(p - literal));
        } else if (p[1] == u'%') {
            PutUnit(sink, u'%');
            p += 2;
        } else {
            ++p;
            FormatDirective directive;
            sink.refused = !ParseFormatDirective(p, slots, directive) ||
                           !FormatConversion(sink, directive, slots);
        }
    }
    return FinishSink(sink);
}

}  // namespace faultkit::platform
