#include "text/utf8_format.h"

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/scratch_buffer.h"
#include "platform/platform.h"
#include "text/argument_gathering.h"
#include "text/encoding_conversion.h"
#include "text/utf8.h"

namespace faultkit {
namespace {

// The count handed to the formatter when writing; the measurement has
// already guaranteed the room.
constexpr size_t kUnboundedUnits = 0x3FFFFFFF;
constexpr size_t kFirstTrialUnits = 2048;
// Units of the stack buffer that a text is first written into.
constexpr size_t kFirstAttemptUnits = 512;
// Trial measurement gives up beyond this many units (32 MiB of text).
constexpr size_t kMaxTrialUnits = size_t{1} << 24;

// Bytes of a text of `units` UTF-16 units with its terminator, or -1 when
// the formatter failed or the text is too long to be written at all (its
// bytes would not fit the result either).
int32_t MeasuredBytes(int units) {
    if (units < 0 || static_cast<size_t>(units) >= kUnboundedUnits) {
        return -1;
    }
    return (units + 1) * 2;
}

// True when the format holds an "s" conversion without the "l" prefix: a
// narrow string that must never reach the wide formatter as it stands.
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
        } while (*p != 0 && (*p < u'a' || *p > u'z' || *p == u'h' || *p == u'l' || *p == u'j' ||
                             *p == u'z' || *p == u't' || *p == u'w'));
        if (*p == u's' && p[-1] != u'l') {
            return true;
        }
        if (*p == 0) {
            break;
        }
    }
    return false;
}

int32_t MeasureByTrial(WideFormatter formatter, const char16_t* format, ArgumentSlots arguments) {
    char16_t first[kFirstTrialUnits];
    int result = formatter(first, kFirstTrialUnits, format, arguments);
    char16_t* heap = nullptr;
    for (size_t units = kFirstTrialUnits * 2; result < 0 && units <= kMaxTrialUnits; units *= 2) {
        auto* grown = static_cast<char16_t*>(std::realloc(heap, units * sizeof(char16_t)));
        if (grown == nullptr) {
            break;
        }
        heap = grown;
        result = formatter(heap, units, format, arguments);
    }
    std::free(heap);
    return MeasuredBytes(result);
}

// True when one of the four UTF-16 units in `word` is 0.
bool HasZeroUnit(uint64_t word) {
    constexpr uint64_t kOnes = 0x0001000100010001;
    constexpr uint64_t kHighs = 0x8000800080008000;
    return ((word - kOnes) & ~word & kHighs) != 0;
}

// True when the `units` UTF-16 units at `text` are ASCII and none is 0:
// text that is its own UTF-8, unit for unit. Tested four units at a time.
bool IsPlainAscii(const char16_t* text, size_t units) {
    constexpr uint64_t kNotAscii = 0xFF80FF80FF80FF80;
    size_t i = 0;
    for (; i + 4 <= units; i += 4) {
        uint64_t word = 0;
        std::memcpy(&word, text + i, sizeof word);
        if ((word & kNotAscii) != 0 || HasZeroUnit(word)) {
            return false;
        }
    }
    for (; i < units; ++i) {
        if (text[i] == 0 || text[i] >= 0x80) {
            return false;
        }
    }
    return true;
}

// Copies plain ASCII UTF-16 units as bytes, with a terminator; eight at a
// time, which the compiler turns into vector code.
void NarrowAscii(const char16_t* text, size_t units, char* buffer) {
    constexpr size_t kBlock = 8;
    size_t i = 0;
    for (; i + kBlock <= units; i += kBlock) {
        char16_t wide[kBlock];
        std::memcpy(wide, text + i, sizeof wide);
        char narrow[kBlock];
        for (size_t j = 0; j < kBlock; ++j) {
            narrow[j] = static_cast<char>(wide[j]);
        }
        std::memcpy(buffer + i, narrow, sizeof narrow);
    }
    for (; i < units; ++i) {
        buffer[i] = static_cast<char>(text[i]);
    }
    buffer[units] = '\0';
}

// Hands the formatter's result on: the UTF-16 text up to its first NUL
// converted to UTF-8 into the buffer (result: its bytes) or counted
// (result: bytes + 1). Text that does not convert writes nothing: it is
// counted before it is written. Plain ASCII needs neither step.
int32_t DeliverText(char* buffer, const char16_t* text, int written) {
    if (written <= 0) {
        return written;
    }
    const auto units = static_cast<size_t>(written);
    if (IsPlainAscii(text, units)) {
        if (buffer == nullptr) {
            return written + 1;
        }
        NarrowAscii(text, units, buffer);
        return written;
    }
    const uint64_t bytes =
        ConvertToUtf8(kEncodingUtf16, text, kNulTerminated, nullptr, 0, nullptr, nullptr);
    if (bytes == 0 || bytes > INT32_MAX) {
        return buffer != nullptr ? -1 : 0;
    }
    if (buffer == nullptr) {
        return static_cast<int32_t>(bytes);
    }
    ConvertToUtf8(kEncodingUtf16, text, kNulTerminated, buffer, SIZE_MAX, nullptr, nullptr);
    return static_cast<int32_t>(bytes - 1);
}

// A text that did not fit the first attempt: measured, then written into
// a buffer of the measured size.
int32_t FormatMeasured(char* buffer, const char16_t* format, ArgumentSlots arguments) {
    const int32_t need = MeasureWideFormat(format, arguments);
    if (need < 0) {
        return -1;
    }
    ScratchBuffer<char16_t, 1> text(static_cast<size_t>(need) / sizeof(char16_t));
    if (text.data() == nullptr) {
        return -1;
    }
    const int written = platform::WideFormat(text.data(), kUnboundedUnits, format, arguments);
    return DeliverText(buffer, text.data(), written);
}

// Formats the prepared wide format and converts the text to UTF-8. Most
// texts are short: they are written once into a stack buffer, and only a
// text that does not fit there is measured first. Either way the text and
// the result are the same.
int32_t FormatPrepared(char* buffer, const char16_t* format, ArgumentSlots arguments) {
    char16_t text[kFirstAttemptUnits];
    const int written = platform::WideFormat(text, kFirstAttemptUnits, format, arguments);
    if (written < 0) {
        return FormatMeasured(buffer, format, arguments);
    }
    return DeliverText(buffer, text, written);
}

}  // namespace

int32_t MeasureWideFormatWith(WideFormatter formatter, const char16_t* format,
                              ArgumentSlots arguments) {
    const int counted = formatter(nullptr, 0, format, arguments);
    if (counted >= 0) {
        return MeasuredBytes(counted);
    }
    return MeasureByTrial(formatter, format, arguments);
}

int32_t MeasureWideFormat(const char16_t* format, ArgumentSlots arguments) {
    return MeasureWideFormatWith(platform::WideFormat, format, arguments);
}

int32_t FormatUtf8V(char* buffer, const char* format, ArgumentSlots arguments) {
    const size_t units = Utf8Length(format) + 1;
    ScratchBuffer<char16_t, 256> converted(units);
    if (converted.data() == nullptr) {
        return -1;
    }
    // A format that is not UTF-8 throughout is the empty format.
    const char16_t* wide =
        ConvertUtf8TextToUtf16(format, units, converted.data()) != 0 ? converted.data() : u"";
    void* block = PrepareWideFormat(&wide, &arguments);
    if (block == nullptr && HasNarrowStringDirective(wide)) {
        return -1;
    }
    return ReleaseWideFormat(block, FormatPrepared(buffer, wide, arguments));
}

// Where the va_list is itself a slot list it is used as it is; elsewhere
// the arguments are gathered into slots first.
int32_t FormatUtf8(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t* slots = nullptr;
    int32_t result = -1;
    // LCOV_EXCL_BR_START: the va_list is a slot list on 64-bit Windows only
    if (platform::VaListSlots(arguments, &slots)) {
        result = FormatUtf8V(buffer, format, slots);  // LCOV_EXCL_LINE: as above
    } else {
        // LCOV_EXCL_BR_STOP
        const size_t count = ArgumentSlotCount(format);
        ScratchBuffer<uint64_t, 32> gathered(count);
        if (gathered.data() != nullptr) {
            GatherArgumentSlots(format, arguments, gathered.data(), count);
            result = FormatUtf8V(buffer, format, gathered.data());
        }
    }
    va_end(arguments);
    return result;
}

}  // namespace faultkit
