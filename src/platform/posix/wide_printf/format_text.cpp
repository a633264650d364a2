// Character and string conversions. In the wide dialect "c" and "s" read
// UTF-16 ("l" and "w" say so explicitly); "C", "S" and the "h" size read
// single-byte text of the current locale.
#include <cstdint>
#include <cstring>

#include "platform/posix/wide_printf/format_conversions.h"
#include "platform/posix/wide_printf/locale_text.h"

namespace faultkit::platform {
namespace {

bool IsNarrow(const FormatDirective& directive, char16_t narrow_conversion) {
    return directive.text == TextWidth::kNarrow ||
           (directive.text == TextWidth::kDefault && directive.conversion == narrow_conversion);
}

// Pads and writes single-byte text; false when it does not decode. Text
// without a width needs no padding, and is not counted first.
bool PutNarrowField(WideSink& sink, const FormatDirective& directive, const char* text,
                    size_t bytes) {
    size_t units = 0;
    if (directive.width == 0) {
        return PutLocaleText(text, bytes, &sink, units);
    }
    if (!PutLocaleText(text, bytes, nullptr, units)) {
        return false;
    }
    PutField(sink, directive, Field{"", 0, 0, units, directive.zero},
             [&] { PutLocaleText(text, bytes, &sink, units); });
    return true;
}

// Bytes of `text` before its first 0 byte, at most `limit`.
size_t UnitsBefore(const char* text, size_t limit) {
    return strnlen(text, limit);
}

// Units of `text` before its first 0 unit, at most `limit`. Without a
// limit two units are tested a round; the second only after the first,
// so that nothing past the terminator is read.
size_t UnitsBefore(const char16_t* text, size_t limit) {
    size_t length = 0;
    if (limit == SIZE_MAX) {
        while (text[length] != 0 && text[length + 1] != 0) {
            length += 2;
        }
        return text[length] != 0 ? length + 1 : length;
    }
    while (length < limit && text[length] != 0) {
        ++length;
    }
    return length;
}

}  // namespace

// A character is a one-character string: precision 0 leaves it out.
bool FormatCharacter(WideSink& sink, const FormatDirective& directive, uint64_t slot) {
    const size_t length = directive.precision == 0 ? 0 : 1;
    if (IsNarrow(directive, u'C')) {
        const char byte = static_cast<char>(slot);
        return PutNarrowField(sink, directive, &byte, length);
    }
    const auto unit = static_cast<char16_t>(slot);
    PutField(sink, directive, Field{"", 0, 0, length, directive.zero},
             [&] { PutUnits(sink, &unit, length); });
    return true;
}

// A null string prints as "(null)"; the precision limits the bytes or
// units taken from the string.
bool FormatString(WideSink& sink, const FormatDirective& directive, uint64_t slot) {
    const size_t limit =
        directive.precision < 0 ? SIZE_MAX : static_cast<size_t>(directive.precision);
    const auto address = static_cast<uintptr_t>(slot);
    if (IsNarrow(directive, u'S')) {
        const char* text = address != 0 ? reinterpret_cast<const char*>(address) : "(null)";
        return PutNarrowField(sink, directive, text, UnitsBefore(text, limit));
    }
    const char16_t* text = address != 0 ? reinterpret_cast<const char16_t*>(address) : u"(null)";
    const size_t length = UnitsBefore(text, limit);
    PutField(sink, directive, Field{"", 0, 0, length, directive.zero},
             [&] { PutUnits(sink, text, length); });
    return true;
}

}  // namespace faultkit::platform
