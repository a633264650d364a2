// Fuzzes platform::WideFormat with arbitrary UTF-16 formats.
// Input: a byte giving the number of slots (up to 16), that many 8-byte
// slot values (further slots are zero), then the format as little-endian
// UTF-16 (an exact buffer). Slots that the format reads as strings get the
// address of a real string (or null), chosen by the slot's value.
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/platform.h"

namespace {

constexpr size_t kMaxSlots = 16;
constexpr char16_t kCanary = 0xCCCC;
constexpr int kMaxWritten = 1 << 20;

const char16_t kWideText[] = u"wide \u00E9\xD800 text";
// Zero-padded, so that read as UTF-16 it ends too.
alignas(2) const char kNarrowText[16] = "narrow \xC3\xA9\xFF";

enum SlotUse : uint8_t { kValue, kString, kCountTarget };

// Marks the slots that string conversions and "%n" take. A directive is
// taken to run from its "%" to the first conversion character; each "*" in
// it takes a slot. Where the formatter refuses a directive it reads no
// further slots, so this rough walk agrees with it on every slot it reads.
void MarkSlots(const char16_t* format, std::vector<SlotUse>& uses) {
    const std::u16string conversions = u"diouxXpeEfgGaAcCsSn";
    size_t slot = 0;
    for (const char16_t* p = format; *p != 0; ++p) {
        if (*p != u'%' || p[1] == u'%') {
            p += *p == u'%' ? 1 : 0;
            continue;
        }
        for (++p; *p != 0 && conversions.find(*p) == std::u16string::npos; ++p) {
            slot += *p == u'*' ? 1 : 0;
        }
        if (*p == 0) {
            return;
        }
        if (slot < uses.size() && (*p == u's' || *p == u'S' || *p == u'n')) {
            uses[slot] = *p == u'n' ? kCountTarget : kString;
        }
        ++slot;
    }
}

int WriteGuarded(size_t count, const char16_t* format, const uint64_t* slots) {
    std::vector<char16_t> buffer(count + 4, kCanary);
    const int result = faultkit::platform::WideFormat(buffer.data(), count, format, slots);
    for (size_t i = count; i < buffer.size(); ++i) {
        Check(buffer[i] == kCanary, "nothing written past the count");
    }
    Check(result < 0 || (static_cast<size_t>(result) < count && buffer[result] == 0),
          "terminated within the count");
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t slot_count = size == 0 ? 0 : data[0] % (kMaxSlots + 1);
    if (size < 1 + slot_count * 8) {
        return 0;
    }
    const uint8_t* text = data + 1 + slot_count * 8;
    const size_t units = (size - 1 - slot_count * 8) / 2;
    std::vector<char16_t> format(units + 1, 0);
    // Each format unit takes at most one slot; the slots beyond the input's
    // are zero.
    std::vector<uint64_t> slots(kMaxSlots + units, 0);
    std::memcpy(slots.data(), data + 1, slot_count * 8);
    for (size_t i = 0; i < units; ++i) {
        format[i] = static_cast<char16_t>(text[2 * i] | (text[2 * i + 1] << 8));
    }

    std::vector<SlotUse> uses(slots.size(), kValue);
    MarkSlots(format.data(), uses);
    int64_t count_target = 0;  // a runtime that honours "%n" stores here
    const uintptr_t strings[3] = {0, reinterpret_cast<uintptr_t>(kWideText),
                                  reinterpret_cast<uintptr_t>(kNarrowText)};
    for (size_t i = 0; i < slots.size(); ++i) {
        if (uses[i] == kCountTarget) {
            slots[i] = reinterpret_cast<uintptr_t>(&count_target);
        } else if (uses[i] == kString) {
            slots[i] = strings[slots[i] % 3];
        }
    }

    const int counted = faultkit::platform::WideFormat(nullptr, 0, format.data(), slots.data());
    if (counted < 0) {
        Check(WriteGuarded(64, format.data(), slots.data()) < 0,
              "refused when counting, refused when writing");
    } else if (counted <= kMaxWritten) {
        const auto units_counted = static_cast<size_t>(counted);
        Check(WriteGuarded(units_counted + 1, format.data(), slots.data()) == counted,
              "written as counted");
        Check(counted == 0 || WriteGuarded(units_counted, format.data(), slots.data()) < 0,
              "one unit short is refused");
    }
    return 0;
}
