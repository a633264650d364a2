#include "platform/format_directive.h"

#include <climits>

namespace faultkit::platform {
namespace {

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// Reads decimal digits; false when the value exceeds INT_MAX.
bool ReadNumber(const char16_t*& p, int& value) {
    int64_t number = 0;
    for (; IsDigit(*p); ++p) {
        number = number * 10 + (*p - u'0');
        if (number > INT_MAX) {
            return false;
        }
    }
    value = static_cast<int>(number);
    return true;
}

void ReadFlags(const char16_t*& p, FormatDirective& directive) {
    for (;; ++p) {
        switch (*p) {
            case u'-': directive.left = true; break;
            case u'+': directive.plus = true; break;
            case u' ': directive.space = true; break;
            case u'#': directive.alternate = true; break;
            case u'0': directive.zero = true; break;
            default: return;
        }
    }
}

// A "*" width is a 32-bit int; a negative one left-aligns the field.
bool ReadWidth(const char16_t*& p, SlotReader& slots, FormatDirective& directive) {
    int width = 0;
    if (*p != u'*') {
        if (!ReadNumber(p, width)) {
            return false;
        }
    } else {
        ++p;
        width = static_cast<int32_t>(NextSlot(slots));
        if (width == INT_MIN) {
            return false;
        }
        if (width < 0) {
            directive.left = true;
            width = -width;
        }
    }
    directive.width = static_cast<size_t>(width);
    return true;
}

// "." alone is precision 0; a negative "*" precision counts as absent.
bool ReadPrecision(const char16_t*& p, SlotReader& slots, FormatDirective& directive) {
    directive.precision = -1;
    if (*p != u'.') {
        return true;
    }
    ++p;
    if (*p != u'*') {
        directive.precision = 0;
        return ReadNumber(p, directive.precision);
    }
    ++p;
    const int precision = static_cast<int32_t>(NextSlot(slots));
    directive.precision = precision < 0 ? -1 : precision;
    return true;
}

// Size prefixes; a later one overrides an earlier one, as in the runtime.
void ReadSize(const char16_t*& p, FormatDirective& directive) {
    directive.integer_bits = 32;
    directive.text = TextWidth::kDefault;
    for (;;) {
        switch (*p) {
            case u'h':
                p += p[1] == u'h' ? 2 : 1;
                directive.integer_bits = 16;
                directive.text = TextWidth::kNarrow;
                break;
            case u'l':
                directive.integer_bits = p[1] == u'l' ? 64 : 32;
                p += p[1] == u'l' ? 2 : 1;
                directive.text = TextWidth::kWide;
                break;
            case u'w':
                ++p;
                directive.text = TextWidth::kWide;
                break;
            case u'I':
                if (p[1] == u'6' && p[2] == u'4') {
                    p += 3;
                    directive.integer_bits = 64;
                } else if (p[1] == u'3' && p[2] == u'2') {
                    p += 3;
                    directive.integer_bits = 32;
                } else {
                    ++p;
                    directive.integer_bits = 64;  // pointer-sized
                }
                break;
            case u'j':
            case u'z':
            case u't':
                ++p;
                directive.integer_bits = 64;
                break;
            case u'L':
                ++p;  // long double is double
                break;
            default: return;
        }
    }
}

bool IsConversion(char16_t c) {
    switch (c) {
        case u'd':
        case u'i':
        case u'o':
        case u'u':
        case u'x':
        case u'X':
        case u'p':
        case u'e':
        case u'E':
        case u'f':
        case u'g':
        case u'G':
        case u'a':
        case u'A':
        case u'c':
        case u'C':
        case u's':
        case u'S': return true;
        default: return false;
    }
}

// Flags, width digits, "*" and "." all lie in " " to "9"; a directive that
// starts elsewhere has none of them, and reads as without width and
// precision.
bool StartsWithFlagOrField(char16_t c) {
    return c >= u' ' && c <= u'9';
}

}  // namespace

bool ParseFormatDirective(const char16_t*& format, SlotReader& slots, FormatDirective& directive) {
    directive = FormatDirective{};
    directive.precision = -1;
    const char16_t* p = format;
    if (StartsWithFlagOrField(*p)) {
        ReadFlags(p, directive);
        if (!ReadWidth(p, slots, directive) || !ReadPrecision(p, slots, directive)) {
            return false;
        }
    }
    ReadSize(p, directive);
    if (!IsConversion(*p)) {
        return false;  // also the terminator: nothing behind it is read
    }
    directive.conversion = *p;
    format = p + 1;
    return true;
}

}  // namespace faultkit::platform
