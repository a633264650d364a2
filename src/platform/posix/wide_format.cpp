// Our own wide formatter in the Windows runtime's dialect (see
// format_directive.h), standing in for _vswprintf_c_l with a null locale.
#include "platform/platform.h"
#include "platform/posix/wide_printf/format_conversions.h"

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

// The end of the literal text at `p`: its first '%' or its terminator.
// Both lie at or below '%', so one comparison a unit passes most text;
// two units a round, the second read only once the first does not end
// the text.
const char16_t* LiteralEnd(const char16_t* p) {
    const auto ends = [](char16_t unit) { return unit <= u'%' && (unit == 0 || unit == u'%'); };
    for (;; p += 2) {
        if (ends(p[0])) {
            return p;
        }
        if (ends(p[1])) {
            return p + 1;
        }
    }
}

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
