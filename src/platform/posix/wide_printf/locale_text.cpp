#include "platform/posix/wide_printf/locale_text.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <cwchar>

namespace faultkit::platform {
namespace {

// Decodes the character at `text`, whose first byte is 0x80 or above;
// false when it does not decode.
bool DecodeOne(const char* text, size_t available, std::mbstate_t& state, char32_t& code_point,
               size_t& used) {
    code_point = static_cast<unsigned char>(text[0]);
    used = 1;
    wchar_t wide = 0;
    const size_t result = std::mbrtowc(&wide, text, available, &state);
    if (result == static_cast<size_t>(-1) || result == static_cast<size_t>(-2)) {
        state = std::mbstate_t{};
        return MB_CUR_MAX == 1;
    }
    if (result > 0) {
        code_point = static_cast<char32_t>(wide);
        used = result;
    }
    return code_point <= 0x10FFFF;
}

// Bytes before the first one from 0x80 up; eight a round while there are
// eight.
size_t AsciiRun(const char* text, size_t length) {
    size_t run = 0;
    for (; run + 8 <= length; run += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text + run, sizeof word);
        if ((word & 0x8080808080808080u) != 0) {
            break;
        }
    }
    while (run < length && static_cast<unsigned char>(text[run]) < 0x80) {
        ++run;
    }
    return run;
}

// The text from its first byte from 0x80 up: ASCII runs and single
// characters in turn, `units` counted on. Out of line, so that the plain
// ASCII case does not set up the decoder.
__attribute__((noinline)) bool PutLocaleTail(const char* text, size_t length, size_t i,
                                             WideSink* sink, size_t& units) {
    std::mbstate_t state{};
    while (i < length) {
        char32_t code_point = 0;
        size_t used = 0;
        if (!DecodeOne(text + i, length - i, state, code_point, used)) {
            return false;
        }
        i += used;
        if (code_point < 0x10000) {
            ++units;
            if (sink != nullptr) {
                PutUnit(*sink, static_cast<char16_t>(code_point));
            }
        } else {
            units += 2;
            if (sink != nullptr) {
                code_point -= 0x10000;
                PutUnit(*sink, static_cast<char16_t>(0xD800 + (code_point >> 10)));
                PutUnit(*sink, static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
            }
        }
        const size_t run = AsciiRun(text + i, length - i);
        if (sink != nullptr) {
            PutAscii(*sink, text + i, run);
        }
        units += run;
        i += run;
    }
    return true;
}

}  // namespace

// Most text is plain ASCII: one run, and done.
bool PutLocaleText(const char* text, size_t length, WideSink* sink, size_t& units) {
    const size_t run = AsciiRun(text, length);
    if (sink != nullptr) {
        PutAscii(*sink, text, run);
    }
    units = run;
    return run == length || PutLocaleTail(text, length, run, sink, units);
}

}  // namespace faultkit::platform
