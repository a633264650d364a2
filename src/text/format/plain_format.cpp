#include "text/format/plain_format.h"

#include <cstring>

#include "text/format/ascii_fast_path.h"
#include "text/format/directive_char_sets.h"
#include "text/format/format_directive_scan.h"
#include "text/format/format_scan.h"
#include "text/format/loose_directive.h"

namespace faultkit {
namespace {

constexpr uint64_t kSlotBytes = 8;
constexpr size_t kSlotsPerPercent = 3;  // width, precision, value

// Conversions whose text may be more than plain ASCII: characters and the
// floating conversions.
constexpr CharSet kNonAsciiConversions = MakeCharSet("caAeEfgG");

const char* StringOf(uint64_t slot) {
    return reinterpret_cast<const char*>(static_cast<uintptr_t>(slot));
}

// The text up to the next '%' or byte from 0x80 up, widened; short text
// (most text between directives) byte by byte, longer text a block at a
// time.
size_t TextRun(const char* p, size_t length, char16_t* out) {
    constexpr size_t kShortText = 16;
    return length >= kShortText ? WidenTextRun(p, length, out) : WidenTextBytes(p, length, out);
}

// The walk's state besides its output.
struct PlainWalk {
    ArgumentReader arguments;
    char16_t* out;
    size_t spare;  // units of the room beyond what the format itself may take
    size_t percents;
    uint32_t directives;    // read so far
    bool positional;        // the first directive has an index
    bool percents_written;  // a directive or "%%" was written into the format
};

void WritePercent(PlainWalk& walk) {
    walk.percents_written = true;
    *walk.out++ = u'%';
}

// A '%' that the formatter reads as text.
void WriteEscapedPercent(PlainWalk& walk) {
    WritePercent(walk);
    *walk.out++ = u'%';
}

// Widens a string's text into the format, each '%' doubled so that the
// formatter reads it as text; false at a byte from 0x80 up.
bool WriteStringAsText(const char* text, size_t length, PlainWalk& walk) {
    const char* end = text + length;
    for (;;) {
        const size_t run = TextRun(text, static_cast<size_t>(end - text), walk.out);
        text += run;
        walk.out += run;
        if (text == end) {
            return true;
        }
        if (*text != '%') {
            return false;
        }
        WriteEscapedPercent(walk);
        ++text;
    }
}

// Directives with indices are taken when every directive has one and the
// k-th names group k: their groups then stand in walk order, where the
// general path would re-order them, and the indices are dropped.
bool InTurn(int32_t index, PlainWalk& walk) {
    if (walk.directives == 0) {
        walk.positional = index > 0;
    }
    return index == (walk.positional ? static_cast<int32_t>(walk.directives + 1) : 0);
}

// A directive that the front end accepts, read both ways: the fast path
// takes it when it is in turn and its conversion takes a value. Such a
// conversion character is none that the loose reading takes as part of a
// directive, so both readings end there and read the same group.
bool ReadAccepted(const char* directive, PlainWalk& walk, DirectiveReading<char>* reading,
                  ArgumentShape* shape, bool* refused, bool* plain) {
    const int32_t index = ReadFormatDirective(directive, reading);
    *refused = index < 0;
    if (*refused) {
        return false;
    }
    *plain = InTurn(index, walk) && reading->group_bytes == (reading->stars + 1u) * kSlotBytes;
    *shape =
        ArgumentShape{0, reading->stars, IsInSet(*reading->conversion, kLooseFloatingConversions)};
    return true;
}

void WriteDirective(const DirectiveReading<char>& reading, PlainWalk& walk) {
    WritePercent(walk);
    walk.out = WriteRespelledDirective(walk.out, reading, true);
}

// A bare "s" (nothing between its '%' or index and the conversion) prints
// its narrow string exactly, and a plain ASCII string reads the same to
// every formatter: such a string goes into the format as text, where it
// fits the spare room (two units a byte at most), and its slot is
// dropped; the check that it is ASCII is the widening itself. Any other
// narrow string directive is written respelled. False when the string is
// not ASCII.
bool WriteNarrowString(const DirectiveReading<char>& reading, uint64_t slot, PlainWalk& walk,
                       PlainFormat* plain) {
    const char* text = StringOf(slot);
    const size_t length = std::strlen(text);
    if (reading.body != reading.conversion || length > walk.spare / 2) {
        WriteDirective(reading, walk);
        return IsAsciiText(text, length);
    }
    walk.spare -= 2 * length;
    --plain->slot_count;
    plain->strings_as_text = true;
    return WriteStringAsText(text, length, walk);
}

// Writes the directive the front end accepted, respelled, or a bare
// narrow string's text; its narrow string is plain ASCII, else the
// directive is not plain (false).
bool WriteAccepted(const DirectiveReading<char>& reading, const uint64_t* group, PlainWalk& walk,
                   PlainFormat* plain) {
    if (reading.kind != kNarrowString) {
        WriteDirective(reading, walk);
    } else if (!WriteNarrowString(reading, group[reading.stars], walk, plain)) {
        return false;
    }
    const char conversion = *reading.conversion;
    plain->rewritten = plain->rewritten || walk.positional || reading.respelling != kKeepSpelling;
    plain->unlettered = plain->unlettered || !IsInSet(conversion, kConversionLetters);
    plain->ascii_text = plain->ascii_text && !IsInSet(conversion, kNonAsciiConversions) &&
                        reading.kind != kWideString;
    return true;
}

// Takes the directive behind the '%' at `percent`: reads it, takes its
// group and, while the front end accepts the format, writes it respelled.
// Returns the position of the loose reading's conversion character (or of
// the terminator), or null when the directive is not plain.
const char* TakeDirective(const char* percent, PlainWalk& walk, PlainFormat* plain) {
    DirectiveReading<char> reading{};
    ArgumentShape shape{};
    const char* end = nullptr;
    bool accepted = false;
    if (!plain->refused) {
        bool is_plain = false;
        accepted = ReadAccepted(percent + 1, walk, &reading, &shape, &plain->refused, &is_plain);
        if (accepted && !is_plain) {
            return nullptr;
        }
        end = reading.conversion;
    }
    if (!accepted) {
        end = ReadArgumentShape(percent + 1, &shape);
        if (shape.index > 0 || walk.positional) {
            return nullptr;  // positional groups: gathered in index order
        }
    }
    ++walk.directives;
    if (plain->slot_count + shape.stars + 1u > plain->slot_room) {
        return nullptr;
    }
    uint64_t* group = plain->slots + plain->slot_count;
    walk.arguments.ReadGroup(shape.stars, shape.floating, group);
    plain->slot_count += shape.stars + 1u;
    return !accepted || WriteAccepted(reading, group, walk, plain) ? end : nullptr;
}

// A format that stands goes to the formatter as its text reads: with the
// caller's slot list, or with the slots read from a va_list. Those of a
// format the front end refused are filled up with zeros as gathering
// fills them, since the formatter may read it otherwise than the loose
// reading did; one it accepted reads the groups and no more.
bool StandAsWritten(const char* format, size_t length, const ArgumentReader& start, size_t percents,
                    PlainFormat* plain) {
    plain->rewritten = false;
    if (start.list == nullptr) {
        plain->arguments = start.slots;
    }
    if (!plain->refused) {
        return true;
    }
    if (plain->strings_as_text) {
        return false;  // a dropped slot: the general path gathers the slots afresh
    }
    plain->ascii_text = false;
    WidenUtf8Text(format, length + 1, plain->format);  // ASCII throughout, within the room
    const size_t count = percents * kSlotsPerPercent + 1;
    if (start.list == nullptr) {
        return true;
    }
    if (count > plain->slot_room) {
        return false;
    }
    for (; plain->slot_count < count; ++plain->slot_count) {
        plain->slots[plain->slot_count] = 0;
    }
    return true;
}

}  // namespace

// The room is checked once: the rewritten format has at most one unit
// more per directive, and every directive takes two bytes at least; the
// text between directives, widened, stays within the room too. Strings
// written as text take their room from what is left beyond that.
bool PreparePlainFormat(const char* format, ArgumentReader arguments, PlainFormat* out) {
    const size_t length = std::strlen(format);
    const size_t format_units = length + length / 2 + 1;
    if (format_units >= out->format_room) {
        return false;
    }
    out->arguments = out->slots;
    out->slot_count = 0;
    out->rewritten = false;
    out->refused = false;
    out->unlettered = false;
    out->ascii_text = true;
    out->strings_as_text = false;
    PlainWalk walk{arguments, out->format, out->format_room - format_units, 0, 0, false, false};
    const char* p = format;
    const char* end = format + length;
    for (;;) {
        const size_t run = TextRun(p, static_cast<size_t>(end - p), walk.out);
        p += run;
        walk.out += run;
        if (*p != '%') {
            break;
        }
        walk.percents += p[1] == '%' ? 2 : 1;
        if (p[1] == '%') {
            WriteEscapedPercent(walk);
            p += 2;
            continue;
        }
        p = TakeDirective(p, walk, out);
        if (p == nullptr) {
            return false;
        }
        if (*p == 0) {
            break;
        }
        if (static_cast<unsigned char>(*p) >= 0x80) {
            return false;  // a conversion byte from 0x80 up: not ASCII
        }
        walk.percents += *p == '%' ? 1 : 0;
        ++p;
    }
    *walk.out = 0;
    if (p != end) {
        return false;  // a byte from 0x80 up
    }
    out->units = static_cast<size_t>(walk.out - out->format);
    out->text_only = !walk.percents_written && !out->refused;
    return (out->rewritten && !out->refused) ||
           StandAsWritten(format, length, arguments, walk.percents, out);
}

bool MayHoldNarrowText(const PlainFormat& plain) {
    return !plain.rewritten && (plain.refused || plain.unlettered) &&
           HasNarrowStringDirective(plain.format);
}

}  // namespace faultkit
