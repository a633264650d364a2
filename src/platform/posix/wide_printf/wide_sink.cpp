#include "platform/posix/wide_printf/wide_sink.h"

#include <climits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace faultkit::platform {

// At least 16 bytes: 16 a round, the last block taken where the text ends,
// overlapping the one before (the units they share come out the same).
void WidenAsciiRun(const char* text, size_t length, char16_t* out) {
#if defined(__SSE2__)
    const auto widen = [&](size_t at) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + at));
        const __m128i zero = _mm_setzero_si128();
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at), _mm_unpacklo_epi8(bytes, zero));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + at + 8), _mm_unpackhi_epi8(bytes, zero));
    };
    for (size_t at = 0; at + 16 <= length; at += 16) {
        widen(at);
    }
    widen(length - 16);
#else
    for (size_t i = 0; i < length; ++i) {
        out[i] = static_cast<unsigned char>(text[i]);
    }
#endif
}

void PutRepeatedUnits(WideSink& sink, char16_t unit, size_t count) {
    const size_t stored = count < Room(sink) ? count : Room(sink);
    for (size_t i = 0; i < stored; ++i) {
        sink.buffer[sink.length + i] = unit;
    }
    sink.length = count > SIZE_MAX - sink.length ? SIZE_MAX : sink.length + count;
}

int FinishSink(WideSink& sink) {
    const bool fits = sink.buffer == nullptr || sink.length < sink.capacity;
    if (sink.buffer != nullptr && sink.capacity > 0) {
        const size_t end = sink.length < sink.capacity ? sink.length : sink.capacity - 1;
        sink.buffer[end] = 0;
    }
    if (sink.refused || !fits || sink.length > INT_MAX) {
        return -1;
    }
    return static_cast<int>(sink.length);
}

}  // namespace faultkit::platform
