// Our own wide formatter in the Windows runtime's dialect (see
// format_spec.h), standing in for _vswprintf_c_l with a null locale.
#include "platform/platform.h"
#include "platform/posix/format_spec.h"

namespace faultkit::platform {
namespace {

bool FormatConversion(WideSink& sink, const FormatSpec& spec, SlotReader& slots) {
    const uint64_t slot = NextSlot(slots);
    switch (spec.conversion) {
        case u'c':
        case u'C': return FormatCharacter(sink, spec, slot);
        case u's':
        case u'S': return FormatString(sink, spec, slot);
        case u'e':
        case u'E':
        case u'f':
        case u'g':
        case u'G':
        case u'a':
        case u'A': return FormatFloating(sink, spec, slot);
        default: return FormatInteger(sink, spec, slot);
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
            PutUnit(sink, *p++);
        } else if (p[1] == u'%') {
            PutUnit(sink, u'%');
            p += 2;
        } else {
            ++p;
            FormatSpec spec;
            sink.refused = !ParseFormatSpec(p, slots, spec) || !FormatConversion(sink, spec, slots);
        }
    }
    return FinishSink(sink);
}

}  // namespace faultkit::platform
