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
#include "text/format/format_scan.h"
#include "text/format/plain_format.h"

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
// Directives recorded on the stack; a format with more uses the heap.
constexpr size_t kLocalDirectives = 32;
// Argument slots gathered on the stack; more go to the heap.
constexpr size_t kLocalSlots = 32;
// Argument slots of a plain format; one with more takes the general path.
constexpr size_t kPlainSlots = 64;
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
// before it is written. Plain ASCII needs neither step, and text known to
// be plain ASCII (`plain_ascii`) is not even looked at. Inlined: the
// common call, behind the first attempt, then costs no call of its own.
[[gnu::always_inline]] inline int32_t DeliverText(char* buffer, size_t capacity,
                                                  const char16_t* text, int written,
                                                  bool plain_ascii, int32_t* counted) {
    *counted = written;
    if (written <= 0) {
        return written;
    }
    const auto units = static_cast<size_t>(written);
    if (plain_ascii || IsPlainAscii(text, units)) {
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
                       ArgumentSlots arguments, bool plain_ascii, int32_t* counted) {
    const int32_t need = MeasureWideFormat(format, arguments);
    if (need < 0) {
        return Failed(counted);
    }
    ScratchBuffer<char16_t, 1> text(static_cast<size_t>(need) / sizeof(char16_t));
    if (text.data() == nullptr) {
        return Failed(counted);
    }
    const int written = platform::WideFormat(text.data(), kUnboundedUnits, format, arguments);
    return DeliverText(buffer, capacity, text.data(), written, plain_ascii, counted);
}

// Formats the prepared wide format and converts the text to UTF-8. Most
// texts are short: they are written once into a stack buffer, and only a
// text that does not fit there is measured first. Either way the text and
// the results are the same. Inlined into its two callers: its stack
// buffer is live with their frames anyway, and for a short text the
// call's own setup is a share worth saving.
[[gnu::always_inline]] inline int32_t FormatPrepared(char* buffer, size_t capacity,
                                                     const char16_t* format,
                                                     ArgumentSlots arguments, bool plain_ascii,
                                                     int32_t* counted) {
    char16_t text[kFirstAttemptUnits];
    const int written = platform::WideFormat(text, kFirstAttemptUnits, format, arguments);
    if (written < 0) {
        return FormatMeasured(buffer, capacity, format, arguments, plain_ascii, counted);
    }
    return DeliverText(buffer, capacity, text, written, plain_ascii, counted);
}

// Where a call's arguments come from: a slot list, or a va_list read by
// the plain path and, where that gives up, a second one started alike for
// the general path.
struct ArgumentSource {
    ArgumentSlots slots;
    va_list* list;
    va_list* again;
};

// Prepares the scanned format and formats it. A format that the front end
// declines goes to the formatter as it stands, unless a narrow string would
// reach it as a UTF-16 one.
int32_t FormatScanned(char* buffer, size_t capacity, FormatScan* scan, ArgumentSlots arguments,
                      int32_t* counted) {
    // Most blocks fit on the stack; where they go changes nothing in them.
    alignas(uint64_t) char local[kLocalBlockBytes];
    const BlockStorage storage{local, sizeof local};
    const char16_t* wide = scan->format;
    void* block = BuildArgumentBlock(scan, &wide, &arguments, storage);
    if (block == nullptr && MayHoldNarrowText(*scan)) {
        return Failed(counted);
    }
    return ReleaseWideFormat(block, storage,
                             FormatPrepared(buffer, capacity, wide, arguments, false, counted));
}

// Scans the UTF-16 format once; gathering, where the arguments come as a
// va_list, and the front end work from that scan.
int32_t FormatWide(char* buffer, size_t capacity, const char16_t* wide, size_t units,
                   ArgumentSlots slots, va_list* list, int32_t* counted) {
    ScratchBuffer<ScannedDirective, kLocalDirectives> room(DirectiveRoom(units));
    if (room.data() == nullptr) {
        return Failed(counted);
    }
    FormatScan scan;
    ScanFormat(wide, WalkBy::kGathering, room.data(), &scan);
    if (list == nullptr) {
        return FormatScanned(buffer, capacity, &scan, slots, counted);
    }
    const size_t count = ArgumentSlotCount(scan);
    ScratchBuffer<uint64_t, kLocalSlots> gathered(count);
    if (gathered.data() == nullptr) {
        return Failed(counted);
    }
    GatherArgumentSlots(scan, list, gathered.data(), count);
    return FormatScanned(buffer, capacity, &scan, gathered.data(), counted);
}

// The general path: the format converted to UTF-16 and scanned, the
// arguments gathered from a va_list, the block built from the scan.
int32_t FormatGeneral(char* buffer, size_t capacity, const char* format, ArgumentSlots slots,
                      va_list* list, int32_t* counted) {
    size_t units = Utf8Length(format) + 1;
    ScratchBuffer<char16_t, kShortFormatUnits> wide(units);
    if (wide.data() == nullptr) {
        return Failed(counted);
    }
    // A format that is not UTF-8 throughout is the empty format.
    if (WidenUtf8Text(format, units, wide.data()) == 0) {
        wide.data()[0] = 0;
        units = 1;
    }
    return FormatWide(buffer, capacity, wide.data(), units, slots, list, counted);
}

// FormatUtf8Bounded with the arguments from `source`: a plain format is
// prepared in one walk, any other takes the general path. Where the plain
// path leaves the format as it stands, it checks, as the general path
// does, that no narrow string could reach the formatter as a UTF-16 one.
int32_t FormatFrom(char* buffer, size_t capacity, const char* format, const ArgumentSource& source,
                   int32_t* counted) {
    char16_t wide[kShortFormatUnits];
    uint64_t slots[kPlainSlots];
    PlainFormat plain{wide, kShortFormatUnits, slots, kPlainSlots};
    if (!PreparePlainFormat(format, ArgumentReader{source.slots, source.list}, &plain)) {
        return FormatGeneral(buffer, capacity, format, source.slots, source.again, counted);
    }
    if (MayHoldNarrowText(plain)) {
        return Failed(counted);
    }
    if (plain.text_only) {
        // The formatter would only copy the text.
        return DeliverText(buffer, capacity, wide, static_cast<int>(plain.units), true, counted);
    }
    return FormatPrepared(buffer, capacity, wide, plain.arguments, plain.ascii_text, counted);
}

// Counting is writing into no room at all: the text is counted and not
// converted; an unbounded buffer has room for any text.
int32_t CountOrWrite(char* buffer, const char* format, const ArgumentSource& source) {
    int32_t counted = 0;
    if (buffer == nullptr) {
        FormatFrom(nullptr, 0, format, source, &counted);
        return counted;
    }
    return FormatFrom(buffer, SIZE_MAX, format, source, &counted);
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
    return FormatFrom(buffer, capacity, format, ArgumentSource{arguments, nullptr, nullptr},
                      counted);
}

int32_t FormatUtf8V(char* buffer, const char* format, ArgumentSlots arguments) {
    return CountOrWrite(buffer, format, ArgumentSource{arguments, nullptr, nullptr});
}

// Where the va_list is itself a slot list it is used as it is; elsewhere
// the arguments are read into slots as the format shapes them.
int32_t FormatUtf8(char* buffer, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const uint64_t* slots = nullptr;
    if (platform::VaListSlots(arguments, &slots)) {
        const int32_t result = FormatUtf8V(buffer, format, slots);
        va_end(arguments);
        return result;
    }
    va_list again;
    va_start(again, format);
    const int32_t result =
        CountOrWrite(buffer, format, ArgumentSource{nullptr, &arguments, &again});
    va_end(again);
    va_end(arguments);
    return result;
}

}  // namespace faultkit
