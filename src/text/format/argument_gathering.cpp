#include "text/format/argument_gathering.h"

#include <algorithm>
#include <cstring>

#include "base/scratch_buffer.h"

namespace faultkit {
namespace {

constexpr size_t kSlotsPerDirective = 3;  // width, precision, value

uint64_t ReadStar(va_list* arguments) {
    return static_cast<uint64_t>(static_cast<int64_t>(va_arg(*arguments, int)));
}

uint64_t ReadValue(va_list* arguments, bool floating) {
    if (!floating) {
        return va_arg(*arguments, uint64_t);
    }
    const double value = va_arg(*arguments, double);
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof value);
    return bits;
}

// Appends the slots of one group; stops at the end of the slot list.
struct SlotWriter {
    uint64_t* slots;
    size_t count;
    size_t used;

    void Group(va_list* arguments, uint8_t stars, bool floating) {
        for (uint8_t i = 0; i < stars && used < count; ++i) {
            slots[used++] = ReadStar(arguments);
        }
        if (used < count) {
            slots[used++] = ReadValue(arguments, floating);
        }
    }
};

// Group shapes by index, encoded as stars | floating << 2 | named << 3.
constexpr uint8_t kFloating = 4;
constexpr uint8_t kNamed = 8;

// The groups in index order, up to the highest index named; a later
// directive naming an index decides its shape, an index no directive names
// takes one word.
void GatherPositional(const FormatScan& scan, va_list* arguments, SlotWriter& writer) {
    const uint32_t directives = scan.count;
    ScratchBuffer<uint8_t, 64> groups(directives);
    if (groups.data() == nullptr) {
        return;
    }
    std::memset(groups.data(), 0, directives);
    for (uint32_t i = 0; i < directives; ++i) {
        const ArgumentShape& shape = scan.directives[i].shape;
        if (shape.index >= 1 && static_cast<uint32_t>(shape.index) <= directives) {
            groups.data()[shape.index - 1] =
                static_cast<uint8_t>(shape.stars | (shape.floating ? kFloating : 0) | kNamed);
        }
    }
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

void ArgumentReader::ReadGroup(uint8_t stars, bool floating, uint64_t* out) {
    if (list == nullptr) {
        for (uint8_t i = 0; i <= stars; ++i) {
            out[i] = *slots++;
        }
        return;
    }
    for (uint8_t i = 0; i < stars; ++i) {
        out[i] = ReadStar(list);
    }
    out[stars] = ReadValue(list, floating);
}

size_t ArgumentSlotCount(const FormatScan& scan) {
    return scan.percents * kSlotsPerDirective + 1;
}

// Directives without an index are read as they come; once one has an index,
// all are read in index order.
void GatherArgumentSlots(const FormatScan& scan, va_list* arguments, uint64_t* slots,
                         size_t count) {
    SlotWriter writer{slots, count, 0};
    if (scan.gathers_positional) {
        GatherPositional(scan, arguments, writer);
    } else {
        for (uint32_t i = 0; i < scan.count; ++i) {
            const ArgumentShape& shape = scan.directives[i].shape;
            writer.Group(arguments, shape.stars, shape.floating);
        }
    }
    std::fill(slots + writer.used, slots + count, uint64_t{0});
}

}  // namespace faultkit
