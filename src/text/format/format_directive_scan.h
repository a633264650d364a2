// Scanning one conversion directive of a UTF-16 format for the positional
// formatting front end. A directive, after its '%', is:
//   [index$] [one flag of "-+ #0"] [* | digits] [. (* | digits)]
//   [h | hh | l | ll | L | j | z | t] conversion
#pragma once

#include <cstdint>

namespace faultkit {

// What the string argument of a directive is.
enum StringKind : uint32_t {
    kNotString = 0,
    kWideString = 1,    // "ls": a UTF-16 string, passed on as it is
    kNarrowString = 2,  // "s" with any other prefix: UTF-8, converted to UTF-16
};

// Summary of a whole format, filled directive by directive in summary mode.
struct ScanSummary {
    uint8_t rewrite_needed;
    uint64_t length;  // UTF-16 units of the rewritten format, terminator included
};

// Negative results of ScanFormatDirective.
enum ScanError : int32_t {
    kScanBadIndex = -1,  // positional index below 1
    kScanEndAfterFlag = -2,
    kScanEndAfterWidth = -3,
    kScanEndAfterPrecision = -4,
    kScanBadIntegerPrefix = -5,
    kScanBadFloatPrefix = -6,
    kScanBadCharPrefix = -7,
    kScanBadStringPrefix = -8,
    kScanNoArgument = -9,  // consumes no slot, or ends before the conversion
};

// Scans the directive that starts at `directive` (the character after '%').
// Summary mode (group_bytes null): the text is left alone and `summary` is
// updated. Rewrite mode (group_bytes given): the directive is rewritten in place
// ("ll" -> "I64", "z"/"t" -> "I", "c" -> "C", narrow "s" -> "ls", the index
// removed) in a buffer with room for the growth, and `kind` receives the
// directive's StringKind. Returns the positional index (>= 1), 0 for a directive
// without one, or a ScanError. On success `end` receives the position of
// the conversion character and, in rewrite mode, `group_bytes` the bytes of
// argument slots the directive consumes.
int32_t ScanFormatDirective(char16_t* directive, char16_t** end, uint64_t* group_bytes,
                            ScanSummary* summary, uint32_t* kind);

}  // namespace faultkit
