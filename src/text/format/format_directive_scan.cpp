#include "text/format/format_directive_scan.h"

#include <climits>
#include <cstddef>
#include <cstring>

#include "text/format/directive_char_sets.h"

namespace faultkit {
namespace {

constexpr uint64_t kSlotBytes = 8;

constexpr CharSet kFlags = MakeCharSet("-+ #0");
constexpr CharSet kModifiers = MakeCharSet("hlLjzt");
constexpr CharSet kIntegerConversions = MakeCharSet("dioxXu");
constexpr CharSet kFloatingConversions = MakeCharSet("aAeEfgG");
constexpr CharSet kRewritePrefixes = MakeCharSet("-+ #0123456789*l%");
constexpr CharSet kSummaryPrefixes = MakeCharSet("-+ #0123456789*l%$");

bool IsDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

char16_t* SkipDigits(char16_t* p) {
    while (IsDigit(*p)) {
        ++p;
    }
    return p;
}

char16_t* TextEnd(char16_t* p) {
    while (*p != 0) {
        ++p;
    }
    return p;
}

// Moves the text from `at` (terminator included) by `shift` units; the
// buffer has room for the growth.
void ShiftText(char16_t* at, ptrdiff_t shift) {
    const size_t units = static_cast<size_t>(TextEnd(at) - at) + 1;
    std::memmove(at + shift, at, units * sizeof(char16_t));
}

int32_t ParseIndex(const char16_t* digits, const char16_t* end) {
    int64_t value = 0;
    for (; digits < end; ++digits) {
        value = value * 10 + (*digits - u'0');
        if (value > INT32_MAX) {
            return INT32_MAX;
        }
    }
    return static_cast<int32_t>(value);
}

// State of one scan: where it stands and what it has learnt.
struct DirectiveScan {
    char16_t* p;
    uint64_t group;
    bool rewrite;  // rewrite mode, else summary mode
    ScanSummary* summary;
    uint32_t kind;
};

const CharSet& PrefixSet(const DirectiveScan& scan) {
    return scan.rewrite ? kRewritePrefixes : kSummaryPrefixes;
}

void NoteLongerRewrite(DirectiveScan& scan) {
    scan.summary->length += 1;
    scan.summary->rewrite_needed = 1;
}

// A width or precision: "*" (one more argument slot) or decimal digits.
void SkipStarOrDigits(DirectiveScan& scan) {
    if (*scan.p == u'*') {
        ++scan.p;
        scan.group += kSlotBytes;
    } else {
        scan.p = SkipDigits(scan.p);
    }
}

// Steps 1-5: index, flag, width, precision and length modifier. Returns 0
// or a ScanError; the index goes to `index`.
int32_t ScanUpToConversion(DirectiveScan& scan, int32_t* index) {
    char16_t* digits_end = SkipDigits(scan.p);
    *index = 0;
    if (*digits_end == u'$') {
        *index = ParseIndex(scan.p, digits_end);
        if (*index < 1) {
            return kScanBadIndex;
        }
        if (scan.rewrite) {
            ShiftText(digits_end + 1, scan.p - (digits_end + 1));
        } else {
            scan.summary->rewrite_needed = 1;
            scan.p = digits_end + 1;
        }
    }
    if (IsInSet(*scan.p, kFlags) && *++scan.p == 0) {
        return kScanEndAfterFlag;
    }
    SkipStarOrDigits(scan);
    if (*scan.p == 0) {
        return kScanEndAfterWidth;
    }
    if (*scan.p == u'.') {
        ++scan.p;
        SkipStarOrDigits(scan);
        if (*scan.p == 0) {
            return kScanEndAfterPrecision;
        }
    }
    if (IsInSet(*scan.p, kModifiers)) {
        const char16_t modifier = *scan.p++;
        if ((modifier == u'h' || modifier == u'l') && *scan.p == modifier) {
            ++scan.p;
        }
    }
    return 0;
}

int32_t ScanInteger(DirectiveScan& scan) {
    const char16_t prefix = scan.p[-1];
    if (prefix == u'l' && scan.p[-2] == u'l') {
        if (scan.rewrite) {  // "ll" -> "I64"
            ShiftText(scan.p, 1);
            scan.p[-2] = u'I';
            scan.p[-1] = u'6';
            scan.p[0] = u'4';
            ++scan.p;
        } else {
            NoteLongerRewrite(scan);
        }
    } else if (prefix == u't' || prefix == u'z') {
        if (scan.rewrite) {
            scan.p[-1] = u'I';
        } else {
            scan.summary->rewrite_needed = 1;
        }
    } else if (prefix != u'h' && prefix != u'l' && !IsInSet(prefix, PrefixSet(scan))) {
        return kScanBadIntegerPrefix;
    }
    scan.group += kSlotBytes;
    return 0;
}

int32_t ScanCharacter(DirectiveScan& scan) {
    const char16_t prefix = scan.p[-1];
    if (!IsInSet(prefix, PrefixSet(scan))) {
        return kScanBadCharPrefix;
    }
    if (prefix != u'l') {
        if (scan.rewrite) {
            scan.p[0] = u'C';
        } else {
            scan.summary->rewrite_needed = 1;
        }
    }
    scan.group += kSlotBytes;
    return 0;
}

int32_t ScanString(DirectiveScan& scan) {
    const char16_t prefix = scan.p[-1];
    if (!IsInSet(prefix, PrefixSet(scan))) {
        return kScanBadStringPrefix;
    }
    if (prefix == u'l') {
        scan.kind = kWideString;
    } else {
        scan.kind = kNarrowString;
        if (scan.rewrite) {  // "s" -> "ls"
            ShiftText(scan.p, 1);
            scan.p[0] = u'l';
            ++scan.p;
        } else {
            NoteLongerRewrite(scan);
        }
    }
    scan.group += kSlotBytes;
    return 0;
}

// Step 6: the conversion character and its prefix.
int32_t ScanConversion(DirectiveScan& scan) {
    const char16_t conversion = *scan.p;
    if (IsInSet(conversion, kIntegerConversions)) {
        return ScanInteger(scan);
    }
    if (IsInSet(conversion, kFloatingConversions)) {
        if (scan.p[-1] != u'L' && !IsInSet(scan.p[-1], PrefixSet(scan))) {
            return kScanBadFloatPrefix;
        }
        scan.group += kSlotBytes;
        return 0;
    }
    if (conversion == u'c') {
        return ScanCharacter(scan);
    }
    if (conversion == u'n' || conversion == u'p') {
        scan.group += kSlotBytes;
        return 0;
    }
    if (conversion == u's') {
        return ScanString(scan);
    }
    return 0;
}

}  // namespace

int32_t ScanFormatDirective(char16_t* directive, char16_t** end, uint64_t* group_bytes,
                            ScanSummary* summary, uint32_t* kind) {
    DirectiveScan scan{directive, 0, group_bytes != nullptr, summary, kNotString};
    if (scan.rewrite) {
        *kind = kNotString;
    }
    int32_t index = 0;
    int32_t result = ScanUpToConversion(scan, &index);
    if (result == 0 && *scan.p == 0) {
        result = kScanNoArgument;
    }
    if (result == 0) {
        result = ScanConversion(scan);
    }
    if (result == 0 && scan.group == 0) {
        result = kScanNoArgument;
    }
    if (result < 0) {
        return result;
    }
    *end = scan.p;
    if (scan.rewrite) {
        *group_bytes = scan.group;
        *kind = scan.kind;
    }
    return index;
}

}  // namespace faultkit
