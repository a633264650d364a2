#include "platform/posix/wide_printf/locale_text.h"

#include <cstdlib>
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

// Bytes before the first one from 0x80 up.
size_t AsciiRun(const char* text, size_t length) {
    size_t run = 0;
    while (run < length && static_cast<unsigned char>(text[run]) < 0x80) {
        ++run;
    }
    return run;
}

}  // namespace

bool PutLocaleText(const char* text, size_t length, WideSink* sink, size_t& units) {
    std::mbstate_t state{};
    units = 0;
    for (size_t i = 0; i < length;) {
        const size_t run = AsciiRun(text + i, length - i);
        if (run > 0) {
            if (sink != nullptr) {
                PutAscii(*sink, text + i, run);
            }
            units += run;
            i += run;
            continue;
        }
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
            continue;
        }
        units += 2;
        if (sink != nullptr) {
            code_point -= 0x10000;
            PutUnit(*sink, static_cast<char16_t>(0xD800 + (code_point >> 10)));
            PutUnit(*sink, static_cast<char16_t>(0xDC00 + (code_point & 0x3FF)));
        }
    }
    return true;
}

}  // namespace faultkit::platform
