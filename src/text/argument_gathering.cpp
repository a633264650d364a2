#include "text/argument_gathering.h"

#include <algorithm>
#include <climits>
#include <cstring>

#include "base/scratch_buffer.h"
#include "text/char_set.h"

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

// Calls visit(shape) for every directive of the format.
template <typename Visit>
void ForEachDirectiveShape(const char* format, Visit visit) {
    for (const char* p = format; *p != '\0'; ++p) {
        if (*p != '%') {
            continue;
        }
        if (p[1] == '%') {
            ++p;
            continue;
        }
        DirectiveShape shape;
        p = ReadDirectiveShape(p + 1, &shape);
        visit(shape);
        if (*p == '\0') {
            break;
        }
    }
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
    uint32_t directives = 0;
    bool positional = false;
    ForEachDirectiveShape(format, [&](const DirectiveShape& shape) {
        ++directives;
        positional = positional || shape.index > 0;
        if (!positional) {
            writer.Group(&copy, shape.stars, shape.floating);
        }
    });
    va_end(copy);
    if (positional) {
        writer.used = 0;
        va_copy(copy, arguments);
        GatherPositional(format, directives, &copy, writer);
        va_end(copy);
    }
    std::fill(slots + writer.used, slots + count, uint64_t{0});
}

}  // namespace faultkit
