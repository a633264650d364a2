#include "text/utf8_format.h"

#include <cstdarg>
#include <cstdlib>

#include "platform/platform.h"
#include "text/argument_gathering.h"
#include "text/encoding_conversion.h"
#include "text/scratch_buffer.h"
#include "text/utf8.h"

namespace faultkit {
namespace {

// The count handed to the formatter when writing; the measurement has
// already guaranteed the room.
constexpr size_t kUnboundedUnits = 0x3FFFFFFF;
constexpr size_t kFirstTrialUnits = 2048;
// Trial measurement gives up beyond this many units (32 MiB of text).
constexpr size_t kMaxTrialUnits = size_t{1} << 24;

// True when the format holds an "s" conversion without the "l" prefix: a
// narrow string that must never reach the wide formatter as it stands.
bool HasNarrowStringSpec(const char16_t* format) {
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
        } while (*p != 0 && (*p < u'a' || *p > u'z' || *p == u'h' || *p == u'l' ||
                             *p == u'j' || *p == u'z' || *p == u't' || *p == u'w'));
        if (*p == u's' && p[-1] != u'l') {
            return true;
        }
        if (*p == 0) {
            break;
        }
    }
    return false;
}

int32_t MeasureByTrial(WideFormatter formatter, const char16_t* format,
                       ArgumentSlots arguments) {
    char16_t first[kFirstTrialUnits];
    int result = formatter(first, kFirstTrialUnits, format, arguments);
    char16_t* heap = nullptr;
    for (size_t units = kFirstTrialUnits * 2; result < 0 && units <= kMaxTrialUnits;
         units *= 2) {
        auto* grown = static_cast<char16_t*>(std::realloc(heap, units * sizeof(char16_t)));
        if (grown == nullptr) {
            break;
        }
        heap = grown;
        result = formatter(heap, units, format, arguments);
    }
    std::free(heap);
    return result < 0 ? -1 : (result + 1) * 2;
}

// Formats the prepared wide format and converts the text to UTF-8.
int32_t FormatPrepared(char* buffer, const char16_t* format, ArgumentSlots arguments) {
    const int32_t need = MeasureWideFormat(format, arguments);
    if (need < 0) {
        return -1;
    }
    ScratchBuffer<char16_t, 1024> text(static_cast<size_t>(need) / sizeof(char16_t));
    if (text.data() == nullptr) {
        return -1;
    }
    const int written = platform::WideFormat(text.data(), kUnboundedUnits, format, arguments);
    if (written <= 0) {
        return written;
    }
    const uint64_t bytes = ConvertToUtf8(kEncodingUtf16, text.data(), kNulTerminated, buffer,
                                         buffer != nullptr ? SIZE_MAX : 0, nullptr, nullptr);
    if (bytes == 0) {
        return buffer != nullptr ? -1 : 0;
    }
    return static_cast<int32_t>(buffer != nullptr ? bytes - 1 : bytes);
}

}  // namespace

int32_t MeasureWideFormatWith(WideFormatter formatter, const char16_t* format,
                              ArgumentSlots arguments) {
    const int counted = formatter(nullptr, 0, format, arguments);
    if (counted >= 0) {
        return (counted + 1) * 2;
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
    const auto* wide = static_cast<const char16_t*>(
        ConvertUtf8Utf16(true, format, converted.data(), units * sizeof(char16_t)));
    void* block = PrepareWideFormat(&wide, &arguments);
    if (block == nullptr && HasNarrowStringSpec(wide)) {
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
    if (platform::VaListSlots(arguments, &slots)) {
        result = FormatUtf8V(buffer, format, slots);
    } else {
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
