#include "text/format/utf8_format.h"

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "base/scratch_buffer.h"
#include "platform/platform.h"
#include "text/convert/encoding_conversion.h"
#include "text/encoding/utf8.h"
#include "text/format/argument_gathering.h"
#include "text/format/ascii_fast_path.h"
#include "text/format/directive_char_sets.h"

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
// Units of a format converted on the stack; longer formats go to the heap.
constexpr size_t kShortFormatUnits = 256;
// Argument slots gathered on the stack; more go to the heap.
constexpr size_t kLocalSlots = 32;
// Bytes of stack storage for the argument block of a prepared format; a
// block that does not fit goes to the heap.
constexpr size_t kLocalBlockBytes = 1024;

// Bytes of a text of `units` UTF-16 units with its terminator, or -1 when
// the formatter failed or the text is too long to be written at all (its
// bytes would not fit the result either).
int32_t MeasuredBytes(int units) {
    if (units < 0 || static_cast<size_t>(units) >= kUnboundedUnits) {
        return -1;
    }
    return (units + 1) * 2;
}

// The lower-case letters but the size letters "h", "j", "l", "t", "w", "z".
constexpr CharSet kConversionLetters = MakeCharSet("abcdefgikmnopqrsuvxy");

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

// Both results of a call from the formatter's: the UTF-16 text up to its
// first NUL converted to UTF-8 is counted (bytes + 1, into *counted) and
// written into the buffer (result: its bytes) when the counted size fits
// `capacity`. Text that does not convert writes nothing: it is counted
// before it is written. Plain ASCII needs neither step.
int32_t DeliverText(char* buffer, size_t capacity, const char16_t* text, int written,
                    int32_t* counted) {
    *counted = written;
    if (written <= 0) {
        return written;
    }
    const auto units = static_cast<size_t>(written);
    if (IsPlainAscii(text, units)) {
        *counted = written + 1;
        if (units + 1 > capacity) {
            return 0;
        }
        NarrowAscii(text, units, buffer);
        return written;
    }
    const uint64_t bytes =
        ConvertToUtf8(kEncodingUtf16, text, kNulTerminated, nullptr, 0, nullptr, nullptr);
    if (bytes == 0 || bytes > INT32_MAX) {
        *counted = 0;
        return -1;
    }
    *counted = static_cast<int32_t>(bytes);
    if (bytes > capacity) {
        return 0;
    }
    ConvertToUtf8(kEncodingUtf16, text, kNulTerminated, buffer, bytes, nullptr, nullptr);
    return static_cast<int32_t>(bytes - 1);
}

// Both results of a call that fails before its text is made.
int32_t Failed(int32_t* counted) {
    *counted = -1;
    return -1;
}

// A text that did not fit the first attempt: measured, then written into
// a buffer of the measured size.
int32_t FormatMeasured(char* buffer, size_t capacity, const char16_t* format,
                       ArgumentSlots arguments, int32_t* counted) {
    const int32_t need = MeasureWideFormat(format, arguments);
    if (need < 0) {
        return Failed(counted);
    }
    ScratchBuffer<char16_t, 1> text(static_cast<size_t>(need) / sizeof(char16_t));
    if (text.data() == nullptr) {
        return Failed(counted);
    }
    const int written = platform::WideFormat(text.data(), kUnboundedUnits, format, arguments);
    return DeliverText(buffer, capacity, text.data(), written, counted);
}

// Formats the prepared wide format and converts the text to UTF-8. Most
// texts are short: they are written once into a stack buffer, and only a
// text that does not fit there is measured first. Either way the text and
// the results are the same.
int32_t FormatPrepared(char* buffer, size_t capacity, const char16_t* format,
                       ArgumentSlots arguments, int32_t* counted) {
    char16_t text[kFirstAttemptUnits];
    const int written = platform::WideFormat(text, kFirstAttemptUnits, format, arguments);
    if (written < 0) {
        return FormatMeasured(buffer, capacity, format, arguments, counted);
    }
    return DeliverText(buffer, capacity, text, written, counted);
}

// FormatUtf8Bounded of the format in UTF-16.
int32_t FormatWide(char* buffer, size_t capacity, const char16_t* wide, ArgumentSlots arguments,
                   int32_t* counted) {
    // Most blocks fit on the stack; where they go changes nothing in them.
    alignas(uint64_t) char local[kLocalBlockBytes];
    const BlockStorage storage{local, sizeof local};
    bool marked = false;
    void* block = PrepareWideFormat(&wide, &arguments, storage, &marked);
    if (block == nullptr && marked && HasNarrowStringDirective(wide)) {
        return Failed(counted);
    }
    return ReleaseWideFormat(block, storage,
                             FormatPrepared(buffer, capacity, wide, arguments, counted));
}

// Gathers the arguments into slots in two walks over the format (the
// first counts them) and formats.
int32_t FormatGathered(char* buffer, const char* format, va_list arguments) {
    const size_t count = ArgumentSlotCount(format);
    ScratchBuffer<uint64_t, kLocalSlots> gathered(count);
    if (gathered.data() == nullptr) {
        return -1;
    }
    GatherArgumentSlots(format, arguments, gathered.data(), count);
    return FormatUtf8V(buffer, format, gathered.data());
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

int32_t FormatUtf8Bounded(char* buffer, size_t capacity, const char* format,
                          ArgumentSlots arguments, int32_t* counted) {
    char16_t ascii[kShortFormatUnits];
    if (WidenShortAscii(format, ascii, kShortFormatUnits)) {
        return FormatWide(buffer, capacity, ascii, arguments, counted);
    }
    const size_t units = Utf8Length(format) + 1;
    ScratchBuffer<char16_t, kShortFormatUnits> converted(units);
    if (converted.data() == nullptr) {
        return Failed(counted);
    }
    // A format that is not UTF-8 throughout is the empty format.
    const char16_t* wide =
        WidenUtf8Text(format, units, converted.data()) != 0 ? converted.data() : u"";
    return FormatWide(buffer, capacity, wide, arguments, counted);
}

// Counting is writing into no room at all: the text is counted and not
// converted; an unbounded buffer has room for any text.
int32_t FormatUtf8V(char* buffer, const char* format, ArgumentSlots arguments) {
    int32_t counted = 0;
    if (buffer == nullptr) {
        FormatUtf8Bounded(nullptr, 0, format, arguments, &counted);
        return counted;
    }
    return FormatUtf8Bounded(buffer, SIZE_MAX, format, arguments, &counted);
}

// Where the va_list is itself a slot list it is used as it is; elsewhere
// the arguments are gathered into slots first. A plain format's fit the
// stack and are read in one walk straight from the list (a copy of a list
// just started is slow to make); other formats start the list again.
int32_t FormatUtf8(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t* slots = nullptr;
    if (platform::VaListSlots(arguments, &slots)) {
        const int32_t result = FormatUtf8V(buffer, format, slots);
        va_end(arguments);
        return result;
    }
    uint64_t local[kLocalSlots];
    const bool gathered = GatherPlainArgumentSlots(format, &arguments, local, kLocalSlots) != 0;
    va_end(arguments);
    if (gathered) {
        return FormatUtf8V(buffer, format, local);
    }
    va_start(arguments, format);
    const int32_t result = FormatGathered(buffer, format, arguments);
    va_end(arguments);
    return result;
}

}  // namespace faultkit
