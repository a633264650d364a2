// Why integer directives with a large width or precision are formatted
// here: Wine's C runtime (8.0) writes an integer's digits into a 32-unit
// stack buffer, or, when the directive's width or precision plus 10 is
// larger, into a heap block of that many bytes. Its wide formatters write
// 2-byte units into that block, so "%.25I64d" puts 52 bytes into a block of
// 35 and damages the heap; the damage shows later, as a page fault inside
// the runtime while the process exits. The runtime's narrow formatter
// sizes the same block right (its units are bytes), and an integer's text
// is plain ASCII, so such a directive is formatted narrow, widened, and
// handed to the wide formatter as a "%ls" argument. On Windows' own
// runtime the result is the same text.
#include "platform/win32/long_integer_directives.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/format_directive.h"
#include "platform/win32/slots_as_va_list.h"

namespace faultkit::platform {
namespace {

constexpr size_t kRuntimeDigitUnits = 32;
constexpr size_t kRuntimeDigitExtra = 10;

// "%", five flags, a width and a precision of up to ten digits each, ".",
// "I64", the conversion and the terminator.
constexpr size_t kNarrowDirectiveBytes = 32;

bool IsIntegerConversion(char16_t conversion) {
    switch (conversion) {
        case u'd':
        case u'i':
        case u'o':
        case u'u':
        case u'x':
        case u'X': return true;
        default: return false;
    }
}

bool OverrunsRuntime(const FormatDirective& directive) {
    const size_t precision = directive.precision > 0 ? static_cast<size_t>(directive.precision) : 0;
    const size_t largest = directive.width > precision ? directive.width : precision;
    return IsIntegerConversion(directive.conversion) &&
           largest + kRuntimeDigitExtra > kRuntimeDigitUnits;
}

char* PutDecimal(char* out, size_t value) {
    char digits[20];
    size_t count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (count != 0) {
        *out++ = digits[--count];
    }
    return out;
}

// The directive as the narrow formatter reads it, "*" values written as
// digits so that it takes only the value's slot.
void NarrowDirective(const FormatDirective& directive, char (&out)[kNarrowDirectiveBytes]) {
    char* p = out;
    *p++ = '%';
    const bool flags[] = {directive.left, directive.plus, directive.space, directive.alternate,
                          directive.zero};
    for (size_t i = 0; i < sizeof flags; ++i) {
        if (flags[i]) {
            *p++ = "-+ #0"[i];
        }
    }
    if (directive.width != 0) {
        p = PutDecimal(p, directive.width);
    }
    if (directive.precision >= 0) {
        *p++ = '.';
        p = PutDecimal(p, static_cast<size_t>(directive.precision));
    }
    const char* size = directive.integer_bits == 16   ? "h"
                       : directive.integer_bits == 64 ? "I64"
                                                      : "";
    p = std::strcpy(p, size) + std::strlen(size);
    *p++ = static_cast<char>(directive.conversion);
    *p = '\0';
}

// A directive met by the walk over the format.
struct Directive {
    const char16_t* start;  // its "%"
    const char16_t* end;    // behind its conversion character
    const uint64_t* slots;  // its first slot ("*" values come first)
    const uint64_t* value;  // the slot of its value, its last
    FormatDirective parsed;
};

enum class Step { kDirective, kEnd, kRefused };

// Moves `p` to the next directive and reads it, "%%" being text.
Step NextDirective(const char16_t*& p, SlotReader& slots, Directive& out) {
    for (; *p != 0; ++p) {
        if (*p != u'%') {
            continue;
        }
        if (p[1] == u'%') {
            ++p;
            continue;
        }
        out.start = p;
        out.slots = slots.next;
        ++p;
        if (!ParseFormatDirective(p, slots, out.parsed)) {
            return Step::kRefused;
        }
        out.value = slots.next;
        NextSlot(slots);
        out.end = p;
        return Step::kDirective;
    }
    return Step::kEnd;
}

// What the rewritten format needs.
struct Survey {
    size_t slots;         // slots the whole format takes
    size_t rewrites;      // directives formatted narrow
    size_t dropped;       // slots those directives take beyond one each
    size_t text_units;    // units of their texts, terminators included
    size_t format_units;  // units of the format, terminator included
};

// False when a directive is refused by the parser: the runtime refuses such
// a format too, but its counting entry reads on behind the directive, and
// where the slots of the directives behind it lie is not known.
bool SurveyFormat(const char16_t* format, const uint64_t* args, Survey& survey) {
    survey = Survey{};
    const char16_t* p = format;
    SlotReader slots{args};
    Directive directive;
    for (Step step; (step = NextDirective(p, slots, directive)) != Step::kEnd;) {
        if (step == Step::kRefused) {
            return false;
        }
        if (!OverrunsRuntime(directive.parsed)) {
            continue;
        }
        char narrow[kNarrowDirectiveBytes];
        NarrowDirective(directive.parsed, narrow);
        const int length = _vscprintf_l(narrow, nullptr, SlotList(directive.value));
        if (length < 0) {
            return false;
        }
        ++survey.rewrites;
        survey.dropped += static_cast<size_t>(directive.value - directive.slots);
        survey.text_units += static_cast<size_t>(length) + 1;
    }
    survey.slots = static_cast<size_t>(slots.next - args);
    survey.format_units = static_cast<size_t>(p - format) + 1;
    return true;
}

// Writes the directive's text at `text` as UTF-16: narrow first, then
// widened in place from the end. Returns the units written with the
// terminator, 0 when the text is not the length the survey measured.
size_t WriteText(const Directive& directive, char16_t* text, size_t units) {
    char narrow[kNarrowDirectiveBytes];
    NarrowDirective(directive.parsed, narrow);
    auto* bytes = reinterpret_cast<char*>(text);
    const int length = _vsnprintf_l(bytes, units, narrow, nullptr, SlotList(directive.value));
    if (length < 0 || static_cast<size_t>(length) + 1 > units) {
        return 0;
    }
    for (size_t i = static_cast<size_t>(length) + 1; i-- != 0;) {
        text[i] = static_cast<unsigned char>(bytes[i]);
    }
    return static_cast<size_t>(length) + 1;
}

// Block layout: the slots, the rewritten format, the texts.
bool BuildRewrite(const char16_t* format, const uint64_t* args, const Survey& survey,
                  RuntimeFormat& out) {
    const size_t slot_count = survey.slots - survey.dropped;
    void* block = std::malloc(slot_count * sizeof(uint64_t) +
                              (survey.format_units + survey.text_units) * sizeof(char16_t));
    if (block == nullptr) {
        return false;
    }
    auto* slot_out = static_cast<uint64_t*>(block);
    auto* format_out = reinterpret_cast<char16_t*>(slot_out + slot_count);
    char16_t* text = format_out + survey.format_units;
    out = RuntimeFormat{format_out, slot_out, block};

    const char16_t* format_done = format;
    const uint64_t* slots_done = args;
    const char16_t* p = format;
    SlotReader slots{args};
    Directive directive;
    size_t text_left = survey.text_units;
    while (NextDirective(p, slots, directive) == Step::kDirective) {
        if (!OverrunsRuntime(directive.parsed)) {
            continue;
        }
        const size_t units = WriteText(directive, text, text_left);
        if (units == 0) {
            std::free(block);
            return false;
        }
        format_out = std::copy(format_done, directive.start, format_out);
        format_out = std::copy(u"%ls", u"%ls" + 3, format_out);
        slot_out = std::copy(slots_done, directive.slots, slot_out);
        *slot_out++ = reinterpret_cast<uintptr_t>(text);
        text += units;
        text_left -= units;
        format_done = directive.end;
        slots_done = directive.value + 1;
    }
    std::copy(format_done, format + survey.format_units, format_out);
    std::copy(slots_done, args + survey.slots, slot_out);
    return true;
}

}  // namespace

bool PrepareRuntimeFormat(const char16_t* format, const uint64_t* args, RuntimeFormat& out) {
    out = RuntimeFormat{format, args, nullptr};
    Survey survey;
    if (!SurveyFormat(format, args, survey)) {
        return false;
    }
    return survey.rewrites == 0 || BuildRewrite(format, args, survey, out);
}

void ReleaseRuntimeFormat(const RuntimeFormat& prepared) {
    std::free(prepared.block);
}

}  // namespace faultkit::platform
