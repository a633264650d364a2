#include "text/format/format_directive_scan.h"

#include <climits>

#include "text/format/directive_char_sets.h"

namespace faultkit {
namespace {

constexpr uint64_t kSlotBytes = 8;

constexpr CharSet kFlags = MakeCharSet("-+ #0");
constexpr CharSet kModifiers = MakeCharSet("hlLjzt");
// What may stand between '%' and the conversion character.
constexpr CharSet kBeforeConversion = MakeCharSet("$-+ #0123456789*.hlLjzt");
// What may stand before a conversion character besides its own modifiers:
// the "$" of an index, the "%" of a directive without anything else.
constexpr CharSet kPrefixes = MakeCharSet("-+ #0123456789*l%$");

template <typename Char>
bool IsDigit(Char c) {
    return c >= '0' && c <= '9';
}

template <typename Char>
const Char* SkipDigits(const Char* p) {
    while (IsDigit(*p)) {
        ++p;
    }
    return p;
}

template <typename Char>
int32_t ParseIndex(const Char* digits, const Char* end) {
    int64_t value = 0;
    for (; digits < end; ++digits) {
        value = value * 10 + (*digits - '0');
        if (value > INT32_MAX) {
            return INT32_MAX;
        }
    }
    return static_cast<int32_t>(value);
}

// A width or precision: "*" (one more argument slot) or decimal digits.
template <typename Char>
const Char* SkipStarOrDigits(const Char* p, uint8_t& stars) {
    if (*p == '*') {
        ++stars;
        return p + 1;
    }
    return SkipDigits(p);
}

// What the conversion character and its prefix (the character before it)
// make of a directive: 0 and its string kind, respelling and value slot
// (none for a character that is no conversion), or a ScanError.
struct Conversion {
    int32_t error;
    StringKind kind;
    Respelling respelling;
    uint8_t values;
};

template <typename Char>
Conversion ReadConversion(const Char* p) {
    const Char prefix = p[-1];
    const bool plain_prefix = IsInSet(prefix, kPrefixes);
    switch (*p) {
        case 'd':
        case 'i':
        case 'o':
        case 'x':
        case 'X':
        case 'u':
            if (prefix == 'l' && p[-2] == 'l') {
                return {0, kNotString, kLongLong, 1};
            }
            if (prefix == 't' || prefix == 'z') {
                return {0, kNotString, kPointerSized, 1};
            }
            return {prefix == 'h' || plain_prefix ? 0 : kScanBadIntegerPrefix, kNotString,
                    kKeepSpelling, 1};
        case 'a':
        case 'A':
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G':
            return {prefix == 'L' || plain_prefix ? 0 : kScanBadFloatPrefix, kNotString,
                    kKeepSpelling, 1};
        case 'c':
            return {plain_prefix ? 0 : kScanBadCharPrefix, kNotString,
                    prefix == 'l' ? kKeepSpelling : kByteCharacter, 1};
        case 'n':
        case 'p': return {0, kNotString, kKeepSpelling, 1};
        case 's':
            return {plain_prefix ? 0 : kScanBadStringPrefix,
                    prefix == 'l' ? kWideString : kNarrowString,
                    prefix == 'l' ? kKeepSpelling : kNarrowText, 1};
        default: return {0, kNotString, kKeepSpelling, 0};
    }
}

// Where the conversion character of a directive stands, behind its
// index, flag, width, precision and length modifier: `error` is a
// ScanError when the text ends before it.
template <typename Char>
struct DirectiveHead {
    int32_t error;
    int32_t index;
    const Char* body;
    const Char* conversion;
    uint8_t stars;
};

template <typename Char>
DirectiveHead<Char> ReadHead(const Char* directive) {
    DirectiveHead<Char> head{0, 0, directive, directive, 0};
    const Char* p = SkipDigits(directive);
    if (*p == '$') {
        head.index = ParseIndex(directive, p);
        if (head.index < 1) {
            head.error = kScanBadIndex;
            return head;
        }
        head.body = p + 1;
    }
    p = head.body;
    if (IsInSet(*p, kFlags) && *++p == 0) {
        head.error = kScanEndAfterFlag;
        return head;
    }
    p = SkipStarOrDigits(p, head.stars);
    if (*p == 0) {
        head.error = kScanEndAfterWidth;
        return head;
    }
    if (*p == '.') {
        p = SkipStarOrDigits(p + 1, head.stars);
        if (*p == 0) {
            head.error = kScanEndAfterPrecision;
            return head;
        }
    }
    if (IsInSet(*p, kModifiers)) {
        const Char modifier = *p++;
        if ((modifier == 'h' || modifier == 'l') && *p == modifier) {
            ++p;
        }
    }
    head.error = *p == 0 ? kScanNoArgument : 0;
    head.conversion = p;
    return head;
}

}  // namespace

// Most directives have nothing before their conversion ("%s", "%d"): their
// head is read by a single test.
template <typename Char>
int32_t ReadFormatDirective(const Char* directive, DirectiveReading<Char>* reading) {
    DirectiveHead<Char> head{0, 0, directive, directive, 0};
    if (*directive == 0 || IsInSet(*directive, kBeforeConversion)) {
        head = ReadHead(directive);
        if (head.error != 0) {
            return head.error;
        }
    }
    const Conversion conversion = ReadConversion(head.conversion);
    if (conversion.error != 0) {
        return conversion.error;
    }
    const uint64_t group = (head.stars + conversion.values) * kSlotBytes;
    if (group == 0) {
        return kScanNoArgument;
    }
    *reading = DirectiveReading<Char>{head.body,       head.conversion,       group,
                                      conversion.kind, conversion.respelling, head.stars};
    return head.index;
}

template <typename Char>
char16_t* WriteRespelledDirective(char16_t* out, const DirectiveReading<Char>& reading,
                                  bool narrow_as_is) {
    const Char* conversion = reading.conversion;
    const Char* kept_end = conversion;
    switch (reading.respelling) {
        case kLongLong: kept_end -= 2; break;
        case kPointerSized: kept_end -= 1; break;
        default: break;
    }
    for (const Char* p = reading.body; p < kept_end; ++p) {
        *out++ = static_cast<char16_t>(*p);
    }
    switch (reading.respelling) {
        case kLongLong:
            *out++ = u'I';
            *out++ = u'6';
            *out++ = u'4';
            break;
        case kPointerSized: *out++ = u'I'; break;
        case kByteCharacter: *out++ = u'C'; return out;
        case kNarrowText: *out++ = narrow_as_is ? u'h' : u'l'; break;
        case kKeepSpelling: break;
    }
    *out++ = static_cast<char16_t>(*conversion);
    return out;
}

template int32_t ReadFormatDirective(const char*, DirectiveReading<char>*);
template int32_t ReadFormatDirective(const char16_t*, DirectiveReading<char16_t>*);
template char16_t* WriteRespelledDirective(char16_t*, const DirectiveReading<char>&, bool);
template char16_t* WriteRespelledDirective(char16_t*, const DirectiveReading<char16_t>&, bool);

}  // namespace faultkit
