#include "text/format/ascii_fast_path.h"

#include <cstring>

#include "text/convert/encoding_conversion.h"
#include "text/simd/sse2/sse2_helpers.h"

namespace faultkit {
namespace {

// Blocks of text are taken 16 bytes at a time (8 units of UTF-16). A text
// that does not end on a block's end takes its last block where the text
// ends, overlapping the one before: the units they share come out the
// same twice.
#if defined(__SSE2__)

using sse2::Load;
using sse2::Store;

// Widens 16 ASCII bytes; false, storing nothing, when one is not ASCII.
bool WidenBlock(const char* src, char16_t* dst) {
    const __m128i bytes = Load(src);
    if (_mm_movemask_epi8(bytes) != 0) {
        return false;
    }
    Store(dst, _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
    Store(dst + 8, _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
    return true;
}

// Less one, the units 1 to 0x7F are 0 to 0x7E and 0 wraps to 0xFFFF:
// subtracting 0x7E with saturation leaves 0 exactly for plain ASCII.
__m128i NonAsciiUnits(const char16_t* text) {
    const __m128i less_one = _mm_sub_epi16(Load(text), _mm_set1_epi16(1));
    return _mm_subs_epu16(less_one, _mm_set1_epi16(0x7E));
}

void NarrowBlock(const char16_t* text, char* buffer) {
    const __m128i units = Load(text);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(buffer), _mm_packus_epi16(units, units));
}

#endif

// Widens the bytes at `src` while they are ASCII (a NUL included), at most
// `length` of them; returns how many it widened.
size_t WidenAsciiRun(const char* src, size_t length, char16_t* dst) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= length; i += 16) {
        if (!WidenBlock(src + i, dst + i)) {
            break;
        }
    }
    if (i == length ||
        (i >= 16 && i + 16 > length && WidenBlock(src + length - 16, dst + length - 16))) {
        return length;
    }
#endif
    for (; i < length && static_cast<unsigned char>(src[i]) < 0x80; ++i) {
        dst[i] = static_cast<char16_t>(src[i]);
    }
    return i;
}

}  // namespace

// An ASCII byte is a whole character that converts to the unit of the same
// value, so the text splits at the first other byte without changing what
// either part converts to.
uint64_t WidenUtf8Text(const char* src, size_t bytes, char16_t* dst) {
    const size_t ascii = WidenAsciiRun(src, bytes, dst);
    if (ascii == bytes) {
        return bytes * sizeof(char16_t);
    }
    const uint64_t rest = ConvertUtf8TextToUtf16(src + ascii, bytes - ascii, dst + ascii);
    return rest != 0 ? rest + ascii * sizeof(char16_t) : 0;
}

#if defined(__SSE2__)
// Widens the 16 bytes at `src` whole; returns the position of the first
// '%' or byte from 0x80 up among them, or 16.
size_t WidenTextBlock(const char* src, char16_t* dst) {
    const __m128i bytes = Load(src);
    Store(dst, _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
    Store(dst + 8, _mm_unpackhi_epi8(bytes, _mm_setzero_si128()));
    const __m128i percents = _mm_cmpeq_epi8(bytes, _mm_set1_epi8('%'));
    const auto stops = static_cast<unsigned>(_mm_movemask_epi8(_mm_or_si128(bytes, percents)));
    return stops != 0 ? static_cast<size_t>(__builtin_ctz(stops)) : 16;
}
#endif

// A block is widened whole, and the run ends at its first stop, if any.
// Text of 16 bytes or more takes its last block where it ends,
// overlapping blocks already found free of stops: the first stop in it is
// then in the text not yet taken.
size_t WidenTextRun(const char* src, size_t length, char16_t* dst) {
    size_t i = 0;
#if defined(__SSE2__)
    for (; i + 16 <= length; i += 16) {
        const size_t run = WidenTextBlock(src + i, dst + i);
        if (run != 16) {
            return i + run;
        }
    }
    if (i != length && length >= 16) {
        return length - 16 + WidenTextBlock(src + length - 16, dst + length - 16);
    }
#endif
    return i + WidenTextBytes(src + i, length - i, dst + i);
}

bool IsAsciiText(const char* text, size_t bytes) {
#if defined(__SSE2__)
    if (bytes >= 16) {
        __m128i seen = Load(text + bytes - 16);
        for (size_t i = 0; i + 16 < bytes; i += 16) {
            seen = _mm_or_si128(seen, Load(text + i));
        }
        return _mm_movemask_epi8(seen) == 0;
    }
#endif
    uint64_t seen = 0;
    size_t i = 0;
    for (; i + 8 <= bytes; i += 8) {
        uint64_t word = 0;
        std::memcpy(&word, text + i, sizeof word);
        seen |= word;
    }
    for (; i < bytes; ++i) {
        seen |= static_cast<unsigned char>(text[i]);
    }
    return (seen & 0x8080808080808080u) == 0;
}

// Text that the formatter has only just stored unit by unit is tested unit
// by unit while it is short: a block load over several stores still under
// way waits for all of them. Longer text is mostly stored by then, and so
// is short text once it has been tested.
constexpr size_t kFreshUnits = 16;

bool IsPlainAscii(const char16_t* text, size_t units) {
#if defined(__SSE2__)
    if (units >= kFreshUnits) {
        __m128i excess = NonAsciiUnits(text + units - 8);
        for (size_t i = 0; i + 8 < units; i += 8) {
            excess = _mm_or_si128(excess, NonAsciiUnits(text + i));
        }
        return _mm_movemask_epi8(_mm_cmpeq_epi16(excess, _mm_setzero_si128())) == 0xFFFF;
    }
#endif
    // Less one, a unit that is 0 or from 0x80 up is 0x7F or more. Two a round.
    size_t i = 0;
    for (; i + 2 <= units; i += 2) {
        const unsigned first = text[i] - 1u;
        const unsigned second = text[i + 1] - 1u;
        if ((first > second ? first : second) >= 0x7F) {
            return false;
        }
    }
    return i == units || text[i] - 1u < 0x7F;
}

void NarrowAscii(const char16_t* text, size_t units, char* buffer) {
    buffer[units] = '\0';
#if defined(__SSE2__)
    if (units >= 8) {
        for (size_t i = 0; i + 8 <= units; i += 8) {
            NarrowBlock(text + i, buffer + i);
        }
        NarrowBlock(text + units - 8, buffer + units - 8);
        return;
    }
#endif
    for (size_t i = 0; i < units; ++i) {
        buffer[i] = static_cast<char>(text[i]);
    }
}

}  // namespace faultkit
