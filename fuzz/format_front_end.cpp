// Fuzzes the positional formatting front end (PrepareWideFormat).
// Input: a byte k (1 to 4 strings), k strings (a length byte 0-63, then any
// bytes), a count byte n and n choice bytes, then the format as
// little-endian UTF-16. Every slot points at a string, chosen by the choice
// bytes in turn. Strings and format sit in exact heap buffers.
#include "text/format/format_front_end.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "text/convert/encoding_conversion.h"

namespace {

constexpr size_t kMaxStrings = 4;
constexpr size_t kSlotsPerDirective = 3;  // width, precision, value

// The UTF-16 copy the front end must make of a narrow string.
std::u16string Converted(const std::vector<char>& narrow) {
    std::vector<char16_t> wide(narrow.size() + 1, 0);
    return static_cast<const char16_t*>(faultkit::ConvertUtf8Utf16(true, narrow.data(), wide.data(),
                                                                   wide.size() * sizeof(char16_t)));
}

void CheckBlock(const char* block, const char16_t* format, size_t format_units, size_t percents,
                const std::vector<uint64_t>& slots, const std::vector<std::vector<char>>& strings) {
    const auto slot_bytes = static_cast<size_t>(reinterpret_cast<const char*>(format) - block);
    Check(slot_bytes % 8 == 0 && slot_bytes <= percents * kSlotsPerDirective * 8, "slots");
    const size_t rewritten = std::u16string(format).size();
    Check(rewritten <= format_units + percents, "rewritten format length");
    const char* strings_start = reinterpret_cast<const char*>(format + rewritten + 1);
    std::vector<std::u16string> expected{u""};
    for (const auto& narrow : strings) {
        expected.push_back(Converted(narrow));
    }
    const auto* block_slots = reinterpret_cast<const uint64_t*>(block);
    for (size_t i = 0; i < slot_bytes / 8; ++i) {
        const uint64_t value = block_slots[i];
        if (std::find(slots.begin(), slots.end(), value) != slots.end()) {
            continue;
        }
        const auto* copy = reinterpret_cast<const char*>(static_cast<uintptr_t>(value));
        Check(copy >= strings_start && (copy - strings_start) % 2 == 0, "copy behind the format");
        const std::u16string text(reinterpret_cast<const char16_t*>(copy));
        Check(std::find(expected.begin(), expected.end(), text) != expected.end(),
              "copy of one of the strings");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const size_t string_count = in.Byte() % kMaxStrings + 1;
    std::vector<std::vector<char>> strings(string_count);
    for (auto& text : strings) {
        text.resize(in.Byte() % 64);
        for (char& c : text) {
            c = static_cast<char>(in.Byte());
        }
        text.push_back('\0');
        text.shrink_to_fit();
    }
    std::vector<uint8_t> choices(in.Byte());
    for (uint8_t& choice : choices) {
        choice = in.Byte();
    }

    std::vector<char16_t> format_units(in.size / 2 + 1, 0);
    size_t percents = 0;
    for (size_t i = 0; i + 1 < format_units.size(); ++i) {
        format_units[i] = static_cast<char16_t>(in.data[2 * i] | (in.data[2 * i + 1] << 8));
        percents += format_units[i] == u'%' ? 1 : 0;
    }
    std::vector<uint64_t> slots(percents * kSlotsPerDirective + 1);
    for (size_t i = 0; i < slots.size(); ++i) {
        const size_t choice = choices.empty() ? i : choices[i % choices.size()];
        slots[i] = reinterpret_cast<uintptr_t>(strings[choice % string_count].data());
    }

    const char16_t* format = format_units.data();
    faultkit::ArgumentSlots arguments = slots.data();
    void* block = faultkit::PrepareWideFormat(&format, &arguments);
    if (block == nullptr) {
        Check(format == format_units.data() && arguments == slots.data(), "declined: untouched");
    } else {
        Check(static_cast<const void*>(arguments) == block, "the slots start the block");
        CheckBlock(static_cast<const char*>(block), format, format_units.size() - 1, percents,
                   slots, strings);
    }
    Check(faultkit::ReleaseWideFormat(block, 7) == 7, "release passes the result through");
    return 0;
}
