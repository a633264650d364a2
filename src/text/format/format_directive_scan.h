// Reading one conversion directive of a format, UTF-16 or UTF-8 (whose
// directives read alike: every character the grammar names is ASCII), for
// the positional formatting front end. A directive, after its '%', is:
//   [index$] [one flag of "-+ #0"] [* | digits] [. (* | digits)]
//   [h | hh | l | ll | L | j | z | t] conversion
#pragma once

#include <cstdint>

namespace faultkit {

// What the string argument of a directive is.
enum StringKind : uint8_t {
    kNotString = 0,
    kWideString = 1,    // "ls": a UTF-16 string, passed on as it is
    kNarrowString = 2,  // "s" with any other prefix: UTF-8, for the formatter's dialect
};

// How the front end respells a directive for the platform formatter's
// dialect; the index, if any, is dropped as well.
enum Respelling : uint8_t {
    kKeepSpelling = 0,
    kLongLong,       // "ll" -> "I64"
    kPointerSized,   // "z" or "t" -> "I"
    kByteCharacter,  // "c" without "l" -> "C"
    kNarrowText,     // "s" -> "hs" (plain ASCII) or "ls" (a UTF-16 copy)
};

// Negative results of ReadFormatDirective.
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

// What a directive the front end accepts holds.
template <typename Char>
struct DirectiveReading {
    const Char* body;        // behind the '%' and the index "n$"
    const Char* conversion;  // the conversion character
    uint64_t group_bytes;    // argument slots it consumes, 8 bytes each
    StringKind kind;
    Respelling respelling;
    uint8_t stars;  // "*" of width and precision: the group's first slots
};

// Reads the directive that starts at `directive` (the character after '%');
// the text is not changed. Returns the positional index (>= 1), 0 for a
// directive without one, or a ScanError; `reading` is filled unless the
// result is negative. Nothing past the text's terminator is read.
template <typename Char>
int32_t ReadFormatDirective(const Char* directive, DirectiveReading<Char>* reading);

// Writes the directive read, from behind its index through its conversion
// character, respelled for the platform formatter's dialect, as UTF-16 at
// `out` (a UTF-8 directive is ASCII throughout); a narrow string's "s"
// becomes "hs" when `narrow_as_is`, else "ls". Returns the end of what it
// wrote: at most one unit more than it read.
template <typename Char>
char16_t* WriteRespelledDirective(char16_t* out, const DirectiveReading<Char>& reading,
                                  bool narrow_as_is);

extern template int32_t ReadFormatDirective(const char*, DirectiveReading<char>*);
extern template int32_t ReadFormatDirective(const char16_t*, DirectiveReading<char16_t>*);
extern template char16_t* WriteRespelledDirective(char16_t*, const DirectiveReading<char>&, bool);
extern template char16_t* WriteRespelledDirective(char16_t*, const DirectiveReading<char16_t>&,
                                                  bool);

}  // namespace faultkit
