// Rendering a context as UTF-8 text: one NUL-terminated string per value,
// in list order, and one more NUL after the last. A capacity of 0 asks for
// the size; the measuring pass and the writing pass read the same table.
#include "context/context_rendering.h"

#include <cstdint>
#include <cstring>

#include "context/context_list.h"
#include "text/format/utf8_format.h"

namespace faultkit {
namespace {

// How the measuring pass counts a value's text.
enum class Measure {
    kFormatted,  // the counting result of the formatter (text + 1)
    kFixed,      // a known count
};

// What one context item turns into.
struct ValueText {
    const char* format;  // null: the value has no text
    uint64_t argument;   // the single argument slot handed to the formatter
    Measure measure;
    uint32_t fixed;  // the count when `measure` is kFixed
};

constexpr ValueText kNoText{nullptr, 0, Measure::kFixed, 0};
constexpr uint32_t kQuotedCharBytes = 3;  // 'x'
// The longest text of a number: %f of -DBL_MAX has a sign, 309 digits, the
// decimal point and six decimals, 317 bytes; a locale's decimal point may
// take up to four bytes of UTF-8.
constexpr uint32_t kLongestNumberText = 320;
constexpr char kCharFormat[] = "'%c'";

template <typename T>
bool ReadPayload(const ContextItemView& item, T* value) {
    if (item.size < sizeof(T)) {
        return false;
    }
    std::memcpy(value, item.payload, sizeof(T));
    return true;
}

// A signed value widened into its slot, or no text when the payload is
// too short for it.
template <typename T>
ValueText Signed(const ContextItemView& item, const char* format) {
    T value{};
    if (!ReadPayload(item, &value)) {
        return kNoText;
    }
    return {format, static_cast<uint64_t>(static_cast<int64_t>(value)), Measure::kFormatted, 0};
}

template <typename T>
ValueText Unsigned(const ContextItemView& item, const char* format) {
    T value{};
    if (!ReadPayload(item, &value)) {
        return kNoText;
    }
    return {format, static_cast<uint64_t>(value), Measure::kFormatted, 0};
}

ValueText Floating(const ContextItemView& item, const char* format) {
    double value = 0;
    if (!ReadPayload(item, &value)) {
        return kNoText;
    }
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return {format, bits, Measure::kFormatted, 0};
}

ValueText Character(const ContextItemView& item) {
    int8_t value = 0;
    if (!ReadPayload(item, &value)) {
        return kNoText;
    }
    return {kCharFormat, static_cast<uint64_t>(static_cast<int64_t>(value)), Measure::kFixed,
            kQuotedCharBytes};
}

// A string payload renders between double quotes; one without a NUL inside
// its size renders as the two quotes alone.
ValueText String(const ContextItemView& item) {
    if (item.size == 0) {
        return {"<null>", 0, Measure::kFixed, 6};
    }
    const auto* text = reinterpret_cast<const char*>(item.payload);
    const size_t length = strnlen(text, item.size);
    if (length == item.size) {
        return {"\"\"", 0, Measure::kFixed, 2};
    }
    return {"\"%s\"", static_cast<uint64_t>(reinterpret_cast<uintptr_t>(text)), Measure::kFixed,
            static_cast<uint32_t>(length + 2)};
}

ValueText DescribeItem(const ContextItemView& item) {
    switch (item.type) {
        case CtxInt32: return Signed<int32_t>(item, "%li");
        case CtxInt64: return Signed<int64_t>(item, "%I64d");
        case CtxPtrDiff: return Signed<int64_t>(item, "%ti");
        case CtxHex32: return Unsigned<uint32_t>(item, "%lX");
        case CtxDouble: return Floating(item, "%f");
        case CtxLongDouble: return Floating(item, "%Lf");
        case CtxChar: return Character(item);
        case CtxString: return String(item);
        case CtxPointer: return Unsigned<uint64_t>(item, "%p");
        case CtxUInt32: return Unsigned<uint32_t>(item, "%lu");
        case CtxUInt64: return Unsigned<uint64_t>(item, "%I64u");
        case CtxSize: return Unsigned<uint64_t>(item, "%zu");
        default: return kNoText;  // memory blocks and unknown types
    }
}

// A number that could not be counted (memory was short) is counted at the
// longest a number's text can be: the writing pass may get the memory back
// and must still stay within the count.
uint32_t MeasureValue(const ValueText& text) {
    if (text.measure == Measure::kFixed) {
        return text.fixed;
    }
    const int32_t counted = FormatUtf8V(nullptr, text.format, &text.argument);
    return counted >= 0 ? static_cast<uint32_t>(counted) : kLongestNumberText + 1;
}

// Writes a value's text and its NUL at `out`, never more than measured;
// returns the text's bytes. The formatter's text holds no NUL of its own,
// so these are the bytes before the first NUL at `out`.
size_t WriteValue(const ValueText& text, char* out) {
    out[0] = '\0';
    if (text.format == nullptr) {
        return 0;
    }
    if (text.format != kCharFormat) {
        const int32_t written = FormatUtf8V(out, text.format, &text.argument);
        return written > 0 ? static_cast<size_t>(written) : 0;
    }
    // A byte outside ASCII goes through the locale and may grow past the
    // three bytes counted for it; such a character is shown as '?'.
    char quoted[16];
    const int32_t written = FormatUtf8V(quoted, text.format, &text.argument);
    if (written > 0 && static_cast<uint32_t>(written) <= kQuotedCharBytes) {
        std::memcpy(out, quoted, static_cast<size_t>(written) + 1);
        return static_cast<size_t>(written);
    }
    std::memcpy(out, "'?'", kQuotedCharBytes + 1);
    return kQuotedCharBytes;
}

// Calls visit(item) for every item of the list, in order.
template <typename Visit>
void ForEachItem(const _qel_error_context* context, Visit visit) {
    const auto* record = reinterpret_cast<const uint8_t*>(context);
    while (record != nullptr) {
        const ContextItemView item = ReadContextItem(record, false);
        visit(item);
        record = item.next != 0 ? record + item.next : nullptr;
    }
}

uint32_t MeasureContext(const _qel_error_context* context) {
    uint32_t total = 1;  // the final NUL
    ForEachItem(context, [&total](const ContextItemView& item) {
        total += MeasureValue(DescribeItem(item)) + 1;
    });
    return total;
}

// The texts of the formatted values, in list order, each with its NUL (a
// lone NUL for a value that writes nothing), kept from the measuring pass
// of a call that writes, so that the writing pass copies them instead of
// formatting each value again: one formatting gives the count and the
// text that a counting and a writing one would. From the first text that
// does not fit on, the values are formatted again.
struct KeptTexts {
    char bytes[1024];
    size_t used = 0;     // bytes the kept texts take
    uint32_t count = 0;  // values whose texts are kept
    bool full = false;   // a text did not fit: none after it is kept
};

uint32_t MeasureAndKeep(const ValueText& text, KeptTexts& kept) {
    if (text.measure == Measure::kFixed) {
        return text.fixed;
    }
    const size_t room = kept.full ? 0 : sizeof kept.bytes - kept.used;
    char* at = kept.bytes + kept.used;
    int32_t counted = 0;
    const int32_t written = FormatUtf8Bounded(at, room, text.format, &text.argument, &counted);
    if (room == 0 || (counted > 0 && static_cast<size_t>(counted) > room)) {
        kept.full = true;
    } else {
        if (written <= 0) {
            at[0] = '\0';
        }
        kept.used += static_cast<size_t>(written > 0 ? written : 0) + 1;
        kept.count += 1;
    }
    return counted > 0 ? static_cast<uint32_t>(counted) : 0;
}

uint32_t MeasureContextKeeping(const _qel_error_context* context, KeptTexts& kept) {
    uint32_t total = 1;  // the final NUL
    ForEachItem(context, [&](const ContextItemView& item) {
        total += MeasureAndKeep(DescribeItem(item), kept) + 1;
    });
    return total;
}

// Writes the values, the kept texts in turn where there are; `out` moves
// one byte past each value's NUL: the first NUL at `out`, where searching
// for it would find it.
void WriteContext(const _qel_error_context* context, const KeptTexts& kept, char* out) {
    const char* next_kept = kept.bytes;
    uint32_t taken = 0;
    ForEachItem(context, [&](const ContextItemView& item) {
        const ValueText text = DescribeItem(item);
        size_t length = 0;
        if (text.measure == Measure::kFormatted && taken < kept.count) {
            length = std::strlen(next_kept);
            std::memcpy(out, next_kept, length + 1);
            next_kept += length + 1;
            taken += 1;
        } else {
            length = WriteValue(text, out);
        }
        out += length + 1;
    });
    *out = '\0';
}

}  // namespace

int RenderContextText(const _qel_error_enumerate* record, char* buffer, int size) {
    if (record == nullptr || size < 0 || (buffer == nullptr && size != 0)) {
        return 0;
    }
    if (size == 0) {
        return static_cast<int32_t>(MeasureContext(record->context));
    }
    KeptTexts kept;
    const auto needed = static_cast<int32_t>(MeasureContextKeeping(record->context, kept));
    if (size < needed) {
        return 0;
    }
    WriteContext(record->context, kept, buffer);
    return needed;
}

}  // namespace faultkit
