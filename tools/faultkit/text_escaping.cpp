#include "text_escaping.h"

#include <cstring>

namespace faultkit::cli {
namespace {

bool IsContinuation(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// The smallest and largest second byte after a lead byte; the narrower
// ranges after E0, ED, F0 and F4 refuse overlong forms, surrogates and
// values above U+10FFFF.
void SecondByteRange(unsigned char lead, unsigned char* low, unsigned char* high) {
    *low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    *high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
}

// The code point of a control character of `length` bytes (C0, DEL, or the
// C1 controls U+0080 to U+009F, written C2 80 to C2 9F), or -1.
int ControlCodePoint(const unsigned char* text, size_t length) {
    if (length == 1 && (text[0] < 0x20 || text[0] == 0x7F)) {
        return text[0];
    }
    return length == 2 && text[0] == 0xC2 && text[1] < 0xA0 ? text[1] : -1;
}

// Hands the text to put(bytes, count): runs that stay as they are whole,
// and the escape of each piece that needs one.
template <typename Put>
void Escape(const char* text, bool json, Put&& put) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    const unsigned char* const end = p + std::strlen(text);
    const unsigned char* run = p;
    while (p < end) {
        const size_t length = Utf8CharLength(p, static_cast<size_t>(end - p));
        const int control = ControlCodePoint(p, length);
        const bool quote = json && length == 1 && (*p == '"' || *p == '\\');
        if (length != 0 && control < 0 && !quote) {
            p += length;
            continue;
        }
        put(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
        char escaped[16];
        int size = 0;
        if (quote) {
            size = std::snprintf(escaped, sizeof escaped, "\\%c", *p);
        } else if (length == 0) {
            size = json ? std::snprintf(escaped, sizeof escaped, "\\u%04x", 0xDC00u + *p)
                        : std::snprintf(escaped, sizeof escaped, "\\x%02X", *p);
        } else if (json) {
            size = std::snprintf(escaped, sizeof escaped, "\\u%04x", control);
        } else {
            for (size_t i = 0; i < length; ++i) {
                size += std::snprintf(escaped + size, sizeof escaped - size, "\\x%02X", p[i]);
            }
        }
        put(escaped, static_cast<size_t>(size));
        p += length != 0 ? length : 1;
        run = p;
    }
    put(reinterpret_cast<const char*>(run), static_cast<size_t>(p - run));
}

}  // namespace

size_t Utf8CharLength(const unsigned char* text, size_t available) {
    const unsigned char lead = text[0];
    if (lead < 0x80) {
        return 1;
    }
    const size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                          : lead >= 0xE0 && lead <= 0xEF ? 3
                          : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                         : 0;
    if (length == 0 || available < length) {
        return 0;
    }
    unsigned char low = 0;
    unsigned char high = 0;
    SecondByteRange(lead, &low, &high);
    if (text[1] < low || text[1] > high) {
        return 0;
    }
    for (size_t i = 2; i < length; ++i) {
        if (!IsContinuation(text[i])) {
            return 0;
        }
    }
    return length;
}

void WriteForTerminal(FILE* out, const char* text) {
    Escape(text, false,
           [out](const char* bytes, size_t count) { std::fwrite(bytes, 1, count, out); });
}

std::string EscapeForTerminal(const char* text) {
    std::string escaped;
    Escape(text, false,
           [&escaped](const char* bytes, size_t count) { escaped.append(bytes, count); });
    return escaped;
}

std::string Quoted(const char* text) {
    return "'" + EscapeForTerminal(text) + "'";
}

void WriteJsonStringBody(FILE* out, const char* text) {
    Escape(text, true,
           [out](const char* bytes, size_t count) { std::fwrite(bytes, 1, count, out); });
}

}  // namespace faultkit::cli
