// The front end's fast path. A format of ASCII text whose directives have
// no index, or each the next one in turn ("%1$s %2$d"), and whose narrow
// strings are plain ASCII, is prepared in one walk over its UTF-8 text:
// each directive is read both ways (by the front end and loosely, by
// argument gathering), its group taken and the directive written
// respelled, with the text between widened as it is passed. A bare "%s"
// whose string fits the room goes into the format as text instead, its
// slot dropped: the formatter's text is the same, with a directive less
// to read; a format left with no '%' is its own text, which needs no
// formatter. Where the front end refuses a directive, the format goes to the
// formatter as it stands, and the walk only takes the groups from there
// on. Any other format is left to the general path (format_scan.h,
// format_front_end.h), which gives the formats taken here the same format
// and argument slots, but for the strings written as text.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/format/argument_gathering.h"

namespace faultkit {

struct PlainFormat {
    char16_t* format;  // room for `format_room` units: the format to hand on
    size_t format_room;
    uint64_t* slots;  // room for `slot_room` slots: the groups in order
    size_t slot_room;
    // What to hand on: `slots` with `slot_count` slots (the slots a
    // va_list gives a format that stands are zero-filled as gathering
    // fills them), or the caller's slot list for a format that stands.
    const uint64_t* arguments = nullptr;
    size_t slot_count = 0;
    bool rewritten = false;   // a directive was respelled: the general path builds a block
    bool refused = false;     // the front end refused a directive: the format stands
    bool unlettered = false;  // a directive the front end read ends in no conversion letter
    bool strings_as_text = false;  // a narrow string went into the format as text
    size_t units = 0;              // of the format
    bool text_only = false;        // no '%' is left: the format is its own text
    // The formatter's text is plain ASCII (no NUL, nothing from 0x80 up):
    // the format's text, integers, pointers and the narrow strings, with no
    // character, UTF-16 string or floating directive (whose decimal point
    // is the locale's), in a format the front end rewrites or accepts.
    bool ascii_text = false;
};

// Prepares `format` into `out`, reading the groups from `arguments`. False
// when the format is not plain or does not fit the room; the arguments may
// then have been read in part.
bool PreparePlainFormat(const char* format, ArgumentReader arguments, PlainFormat* out);

// True when a narrow string could reach the formatter as a UTF-16 one: in
// a format that stands, as the general path finds (MayHoldNarrowText).
bool MayHoldNarrowText(const PlainFormat& plain);

}  // namespace faultkit
