#include "text_escaping.h"

#include <cstdio>
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

// C0 controls, DEL, and the C1 controls U+0080 to U+009F (C2 80 to C2 9F).
bool IsControl(const unsigned char* text, size_t length) {
    return length == 1 ? (text[0] < 0x20 || text[0] == 0x7F) : text[0] == 0xC2 && text[1] < 0xA0;
}

// Calls emit_char(text, length) for each UTF-8 character and
// emit_byte(byte) for each byte that is not part of one.
template <typename EmitChar, typename EmitByte>
void ForEachPiece(const char* text, EmitChar&& emit_char, EmitByte&& emit_byte) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t left = std::strlen(text);
    while (left > 0) {
        const size_t length = Utf8CharLength(p, left);
        if (length == 0) {
            emit_byte(*p);
            ++p;
            --left;
        } else {
            emit_char(p, length);
            p += length;
            left -= length;
        }
    }
}

void AppendHex(std::string* out, const char* format, unsigned value) {
    char text[16];
    std::snprintf(text, sizeof text, format, value);
    *out += text;
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

std::string EscapeForTerminal(const char* text) {
    std::string out;
    const auto escape_byte = [&out](unsigned char byte) { AppendHex(&out, "\\x%02X", byte); };
    ForEachPiece(
        text,
        [&](const unsigned char* p, size_t length) {
            if (IsControl(p, length)) {
                for (size_t i = 0; i < length; ++i) {
                    escape_byte(p[i]);
                }
            } else {
                out.append(reinterpret_cast<const char*>(p), length);
            }
        },
        escape_byte);
    return out;
}

std::string Quoted(const char* text) {
    return "'" + EscapeForTerminal(text) + "'";
}

std::string EscapeForJson(const char* text) {
    std::string out;
    ForEachPiece(
        text,
        [&out](const unsigned char* p, size_t length) {
            if (length == 1 && (p[0] == '"' || p[0] == '\\')) {
                out += '\\';
                out += static_cast<char>(p[0]);
            } else if (length == 1 && (p[0] < 0x20 || p[0] == 0x7F)) {
                AppendHex(&out, "\\u%04x", p[0]);
            } else {
                out.append(reinterpret_cast<const char*>(p), length);
            }
        },
        [&out](unsigned char byte) { AppendHex(&out, "\\u%04x", 0xDC00u + byte); });
    return out;
}

}  // namespace faultkit::cli
