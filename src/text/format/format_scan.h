// The one walk over a UTF-16 format that the formatting stages share. At
// each directive it takes two readings: the front end's (the strict grammar
// of format_directive_scan.h, which decides the rewrite and the argument
// groups) and argument gathering's (a loose one: any formatter that reads at
// most a width, a precision and a value per '%' reads no other slots, so
// the caller's arguments can be read by it for every format, also one that
// reaches the platform formatter unchanged). Gathering, the front end and
// the check for narrow text then work from the records, not from the text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/format/format_directive_scan.h"
#include "text/format/loose_directive.h"

namespace faultkit {

struct ScannedDirective {
    const char16_t* percent;             // its '%'
    int32_t result;                      // ReadFormatDirective's
    DirectiveReading<char16_t> reading;  // when `result` is not negative
    ArgumentShape shape;
};

// Where the walk goes on behind a directive: behind the end that argument
// gathering reads, or behind the front end's conversion character. The two
// differ only where a directive the front end accepts ends in a character
// that the loose reading takes as part of the directive ("%*I64d"); there
// the walks may meet different directives further on.
enum class WalkBy : uint8_t { kGathering, kFrontEnd };

struct FormatScan {
    const char16_t* format;
    const char16_t* end;  // its terminator, or where a kFrontEnd walk stopped
    ScannedDirective* directives;
    uint32_t count;
    size_t percents;  // '%' characters (kGathering)
    // Argument gathering's view: a directive with an index.
    bool gathers_positional;
    // The front end's view, as far as its walk went in step with this one.
    bool refused;     // a directive it refuses, or plain and positional ones mixed
    bool diverged;    // its walk goes on elsewhere (kGathering only): scan again
    bool positional;  // directives with indices
    bool rewrite;     // an index to drop or a directive to respell
    bool narrow;      // a narrow string directive
    bool unlettered;  // a directive that ends in no conversion letter
    int32_t max_index;
};

// Records that a walk over a format of `units` (terminator included) can
// fill: every directive but the last takes two units at least.
size_t DirectiveRoom(size_t units);

// Walks `format`, recording its directives into `room` (DirectiveRoom of
// its units). A kFrontEnd walk stops at the first directive that the front
// end refuses.
void ScanFormat(const char16_t* format, WalkBy walk, ScannedDirective* room, FormatScan* scan);

// True when the format holds an "s" conversion without the "l" prefix in a
// loose reading: from each '%' (not of "%%") to the first conversion letter.
bool HasNarrowStringDirective(const char16_t* format);

// True when the format, given to the platform formatter as it stands,
// could hand it a narrow (UTF-8) string as a UTF-16 one: a directive ending
// in "s" without "l" in a loose reading of the format. Read from the
// records where the walks agree on it, else from the text.
bool MayHoldNarrowText(const FormatScan& scan);

}  // namespace faultkit
