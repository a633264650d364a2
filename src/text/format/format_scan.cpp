#include "text/format/format_scan.h"

#include "text/format/directive_char_sets.h"

namespace faultkit {
namespace {

// Where the front end accepts a directive, the loose reading agrees with it
// up to its conversion character: the index is read alike, and everything
// the front end skips before the conversion (flag, digits, "*", ".",
// modifier) is part of a directive to the loose reading too. It goes on
// from there.
const char16_t* ReadBothShapes(const char16_t* p, ScannedDirective* directive) {
    directive->result = ReadFormatDirective(p, &directive->reading);
    if (directive->result < 0) {
        return ReadArgumentShape(p, &directive->shape);
    }
    directive->shape = ArgumentShape{directive->result, directive->reading.stars, false};
    return ReadShapeFrom(directive->reading.conversion, &directive->shape);
}

// What the front end learns from one more directive of its walk.
void NoteForFrontEnd(const ScannedDirective& directive, bool first, FormatScan* scan) {
    if (directive.result < 0) {
        scan->refused = true;
        return;
    }
    const bool positional = directive.result > 0;
    if (!first && positional != scan->positional) {
        scan->refused = true;
        return;
    }
    const DirectiveReading<char16_t>& reading = directive.reading;
    scan->positional = positional;
    scan->max_index = directive.result > scan->max_index ? directive.result : scan->max_index;
    scan->rewrite = scan->rewrite || positional || reading.respelling != kKeepSpelling;
    scan->narrow = scan->narrow || reading.kind == kNarrowString;
    scan->unlettered = scan->unlettered || !IsInSet(*reading.conversion, kConversionLetters);
}

}  // namespace

bool HasNarrowStringDirective(const char16_t* format) {
    for (const char16_t* p = format; *p != 0; ++p) {
        if (*p != u'%') {
            continue;
        }
        if (p[1] == u'%') {
            ++p;
            continue;
        }
        do {
            ++p;
        } while (*p != 0 && !IsInSet(*p, kConversionLetters));
        if (*p == u's' && p[-1] != u'l') {
            return true;
        }
        if (*p == 0) {
            break;
        }
    }
    return false;
}

size_t DirectiveRoom(size_t units) {
    return units / 2 + 1;
}

void ScanFormat(const char16_t* format, WalkBy walk, ScannedDirective* room, FormatScan* scan) {
    *scan = FormatScan{};
    FormatScan& made = *scan;
    made.format = format;
    made.directives = room;
    bool in_step = true;  // the front end's walk has met the same directives
    const char16_t* p = format;
    for (; *p != 0; ++p) {
        if (*p != u'%') {
            continue;
        }
        ++made.percents;
        if (p[1] == u'%') {
            ++made.percents;
            ++p;
            continue;
        }
        ScannedDirective& directive = room[made.count++];
        directive.percent = p;
        const char16_t* loose_end = ReadBothShapes(p + 1, &directive);
        made.gathers_positional = made.gathers_positional || directive.shape.index > 0;
        if (in_step) {
            NoteForFrontEnd(directive, made.count == 1, &made);
            in_step = !made.refused;
        }
        if (walk == WalkBy::kFrontEnd) {
            if (made.refused) {
                break;
            }
            p = directive.reading.conversion;
            continue;
        }
        if (in_step && directive.reading.conversion != loose_end) {
            made.diverged = true;
            in_step = false;
        }
        p = loose_end;
        if (*p == 0) {
            break;
        }
        made.percents += *p == u'%' ? 1 : 0;
    }
    made.end = p;
}

// Where the walks agree, every directive ends in a conversion letter and
// none is refused, the text's check meets the directives the front end
// read, each at its conversion character, and finds what the front end
// found: an "s" whose prefix is not "l".
bool MayHoldNarrowText(const FormatScan& scan) {
    if (scan.refused || scan.diverged || scan.unlettered) {
        return HasNarrowStringDirective(scan.format);
    }
    return scan.narrow;
}

}  // namespace faultkit
