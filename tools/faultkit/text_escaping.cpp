#include "text_escaping.h"

#include <cstring>

#include "utf8_form.h"

namespace faultkit::cli {
namespace {

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
        const Utf8Form form = ScanUtf8Form(p, static_cast<size_t>(end - p));
        const size_t length = form.kind == Utf8Form::kChar ? form.length : 0;
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
