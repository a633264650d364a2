#include "text/format/argument_gathering.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/scratch_buffer.h"
#include "text/format/directive_char_sets.h"

namespace faultkit {
namespace {

constexpr size_t kSlotsPerDirective = 3;  // width, precision, value

// What one directive reads: its positional index (0 for none), its '*' count
// and whether its value is floating point.
struct DirectiveShape {
    int32_t index;
    uint8_t stars;
    bool floating;
};

// What may stand between '%' (or the index) and the conversion character.
constexpr CharSet kDirectiveBody = MakeCharSet("-+ #0123456789.*hlLjztIw");
constexpr CharSet kFloatingConversions = MakeCharSet("aAeEfFgG");

// Reads the directive after a '%'; returns the position of its conversion
// character (or of the terminator).
const char* ReadDirectiveShape(const char* p, DirectiveShape* shape) {
    const char* digits = p;
    int64_t index = 0;
    while (*p >= '0' && *p <= '9') {
        index = index * 10 + (*p++ - '0');
        index = index > INT32_MAX ? INT32_MAX : index;
    }
    *shape = DirectiveShape{0, 0, false};
    if (*p == '$' && p > digits) {
        shape->index = static_cast<int32_t>(index);
        ++p;
    } else {
        p = digits;
    }
    for (; IsInSet(*p, kDirectiveBody); ++p) {
        shape->stars += (*p == '*' && shape->stars < 2) ? 1 : 0;
    }
    shape->floating = IsInSet(*p, kFloatingConversions);
    return p;
}

// Calls visit(shape) for every directive of the format. Returns the number
// of '%' in the format: one starts each directive or "%%", and a directive
// may end in one (no other character of a directive is a '%').
template <typename Visit>
size_t ForEachDirectiveShape(const char* format, Visit visit) {
    size_t percents = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            continue;
        }
        ++percents;
        if (p[1] == '%') {
            ++percents;
            ++p;
            continue;
        }
        DirectiveShape shape;
        p = ReadDirectiveShape(p + 1, &shape);
        visit(shape);
        if (*p == '\0') {
            break;
        }
        percents += *p == '%' ? 1 : 0;
    }
    return percents;
}

// Appends the slots of one group; stops at the end of the slot list.
struct SlotWriter {
    uint64_t* slots;
    size_t count;
    size_t used;

    void Group(va_list* arguments, uint8_t stars, bool floating) {
        for (uint8_t i = 0; i < stars && used < count; ++i) {
            slots[used++] = static_cast<uint64_t>(static_cast<int64_t>(va_arg(*arguments, int)));
        }
        if (used == count) {
            return;
        }
        if (floating) {
            const double value = va_arg(*arguments, double);
            std::memcpy(&slots[used++], &value, sizeof value);
        } else {
            slots[used++] = va_arg(*arguments, uint64_t);
        }
    }
};

// What the walk that reads the plain directives' groups found.
struct PlainWalk {
    size_t percents;
    uint32_t directives;
    bool positional;  // a positional directive showed up; reading stopped there
};

// Reads the groups of the directives as they come, until a positional
// one shows up.
PlainWalk ReadPlainGroups(const char* format, va_list* arguments, SlotWriter& writer) {
    PlainWalk walk{0, 0, false};
    walk.percents = ForEachDirectiveShape(format, [&](const DirectiveShape& shape) {
        ++walk.directives;
        walk.positional = walk.positional || shape.index > 0;
        if (!walk.positional) {
            writer.Group(arguments, shape.stars, shape.floating);
        }
    });
    return walk;
}

// Group shapes by index, encoded as stars | floating << 2 | named << 3.
constexpr uint8_t kFloating = 4;
constexpr uint8_t kNamed = 8;

void GatherPositional(const char* format, uint32_t directives, va_list* arguments,
                      SlotWriter& writer) {
    ScratchBuffer<uint8_t, 64> groups(directives);
    if (groups.data() == nullptr) {
        return;
    }
    std::memset(groups.data(), 0, directives);
    ForEachDirectiveShape(format, [&](const DirectiveShape& shape) {
        if (shape.index >= 1 && static_cast<uint32_t>(shape.index) <= directives) {
            groups.data()[shape.index - 1] =
                static_cast<uint8_t>(shape.stars | (shape.floating ? kFloating : 0) | kNamed);
        }
    });
    uint32_t last = directives;
    while (last > 0 && (groups.data()[last - 1] & kNamed) == 0) {
        --last;
    }
    for (uint32_t i = 0; i < last; ++i) {
        const uint8_t group = groups.data()[i];
        writer.Group(arguments, group & 3, (group & kFloating) != 0);
    }
}

}  // namespace

// The groups take fewer slots than there are to gather, so where these fit
// `capacity` the walk that counts them has read them all.
size_t GatherPlainArgumentSlots(const char* format, va_list* arguments, uint64_t* slots,
                                size_t capacity) {
    SlotWriter writer{slots, capacity, 0};
    const PlainWalk walk = ReadPlainGroups(format, arguments, writer);
    const size_t count = walk.percents * kSlotsPerDirective + 1;
    if (walk.positional || count > capacity) {
        return 0;
    }
    std::fill(slots + writer.used, slots + count, uint64_t{0});
    return count;
}

size_t ArgumentSlotCount(const char* format) {
    size_t percents = 0;
    for (const char* p = format; *p != '\0'; ++p) {
        percents += *p == '%' ? 1 : 0;
    }
    return percents * kSlotsPerDirective + 1;
}

// Plain directives are gathered as they come; once a positional directive shows up
// the gathering starts over, in index order.
void GatherArgumentSlots(const char* format, va_list arguments, uint64_t* slots, size_t count) {
    SlotWriter writer{slots, count, 0};
    va_list copy;
    va_copy(copy, arguments);
    const PlainWalk walk = ReadPlainGroups(format, &copy, writer);
    va_end(copy);
    if (walk.positional) {
        writer.used = 0;
        va_copy(copy, arguments);
        GatherPositional(format, walk.directives, &copy, writer);
        va_end(copy);
    }
    std::fill(slots + writer.used, slots + count, uint64_t{0});
}

}  // namespace faultkit
