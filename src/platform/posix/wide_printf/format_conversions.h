// The conversions of our own wide formatter, and the padded field they
// put their text in.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/format_directive.h"
#include "platform/posix/wide_printf/wide_sink.h"

namespace faultkit::platform {

// The conversions; each returns false when it refuses its argument.
bool FormatInteger(WideSink& sink, const FormatDirective& directive, uint64_t slot);
bool FormatFloating(WideSink& sink, const FormatDirective& directive, uint64_t slot);
bool FormatCharacter(WideSink& sink, const FormatDirective& directive, uint64_t slot);
bool FormatString(WideSink& sink, const FormatDirective& directive, uint64_t slot);

// A padded field: [spaces][prefix][zeros][body][spaces]. The width counts
// the prefix, `zeros` and the body's units; the padding is zeros behind
// the prefix when `zero_pad` is set and the field is right-aligned.
struct Field {
    const char* prefix;  // sign and radix prefix, ASCII
    size_t prefix_length;
    size_t zeros;  // zeros the value itself needs (precision)
    size_t body_units;
    bool zero_pad;
};

template <typename Body>
void PutField(WideSink& sink, const FormatDirective& directive, const Field& field, Body&& body) {
    const size_t used = field.prefix_length + field.zeros + field.body_units;
    const size_t padding = directive.width > used ? directive.width - used : 0;
    const bool zero_pad = field.zero_pad && !directive.left;
    if (!directive.left && !zero_pad) {
        PutRepeated(sink, u' ', padding);
    }
    PutAscii(sink, field.prefix, field.prefix_length);
    PutRepeated(sink, u'0', field.zeros + (zero_pad ? padding : 0));
    body();
    if (directive.left) {
        PutRepeated(sink, u' ', padding);
    }
}

}  // namespace faultkit::platform
