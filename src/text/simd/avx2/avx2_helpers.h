// AVX2 helpers shared by the AVX2 kernels.
//
// What SSE2 lacks and the converters need most is a byte shuffle: with it
// the outputs of a block are packed together by a shuffle looked up by the
// mask of the positions that produce output, instead of being stored one
// by one. The functions here are compiled for AVX2 whatever the build's
// baseline and are only called after the CPU check.
#pragma once

#if defined(__SSE2__) || defined(_M_X64)

#include <immintrin.h>

#include <cstdint>

#define FAULTKIT_AVX2 __attribute__((target("avx2,bmi,bmi2,popcnt")))

namespace faultkit::avx2 {

// 256 byte shuffles, one for each 8-bit mask.
struct Shuffles {
    uint8_t entry[256][16];
};

// Packs the 16-bit lanes of the mask's set bits to the front, zeros after.
constexpr Shuffles PackWords() {
    Shuffles s{};
    for (int mask = 0; mask < 256; ++mask) {
        int out = 0;
        for (int lane = 0; lane < 8; ++lane) {
            if ((mask >> lane) & 1) {
                s.entry[mask][out++] = static_cast<uint8_t>(2 * lane);
                s.entry[mask][out++] = static_cast<uint8_t>(2 * lane + 1);
            }
        }
        while (out < 16) {
            s.entry[mask][out++] = 0x80;
        }
    }
    return s;
}

// Packs the bytes 0 to 7 of the mask's set bits to the front, and in the
// upper half the bytes 8 to 15 of the same mask; zeros after each.
constexpr Shuffles PackBytes() {
    Shuffles s{};
    for (int mask = 0; mask < 256; ++mask) {
        for (int half = 0; half < 2; ++half) {
            int out = 8 * half;
            for (int lane = 0; lane < 8; ++lane) {
                if ((mask >> lane) & 1) {
                    s.entry[mask][out++] = static_cast<uint8_t>(8 * half + lane);
                }
            }
            while (out < 8 * half + 8) {
                s.entry[mask][out++] = 0x80;
            }
        }
    }
    return s;
}

// For 4 lanes of 4 bytes holding UTF-8 forms of 1 to 4 bytes: packs the
// first 1 + a + 2b bytes of lane j to the front, where a and b are bits j
// and 4 + j of the index (the bits of the length less 1).
constexpr Shuffles PackForms() {
    Shuffles s{};
    for (int index = 0; index < 256; ++index) {
        int out = 0;
        for (int lane = 0; lane < 4; ++lane) {
            const int length = 1 + ((index >> lane) & 1) + 2 * ((index >> (4 + lane)) & 1);
            for (int k = 0; k < length; ++k) {
                s.entry[index][out++] = static_cast<uint8_t>(4 * lane + k);
            }
        }
        while (out < 16) {
            s.entry[index][out++] = 0x80;
        }
    }
    return s;
}

// For 8 lanes of 2 bytes holding UTF-8 forms of 1 or 2 bytes: packs the
// first byte of each lane, and its second where the mask's bit is set.
constexpr Shuffles PackShortForms() {
    Shuffles s{};
    for (int mask = 0; mask < 256; ++mask) {
        int out = 0;
        for (int lane = 0; lane < 8; ++lane) {
            s.entry[mask][out++] = static_cast<uint8_t>(2 * lane);
            if ((mask >> lane) & 1) {
                s.entry[mask][out++] = static_cast<uint8_t>(2 * lane + 1);
            }
        }
        while (out < 16) {
            s.entry[mask][out++] = 0x80;
        }
    }
    return s;
}

inline constexpr Shuffles kPackWords = PackWords();
inline constexpr Shuffles kPackBytes = PackBytes();
inline constexpr Shuffles kPackForms = PackForms();
inline constexpr Shuffles kPackShortForms = PackShortForms();

FAULTKIT_AVX2 inline __m256i Load256(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

// The shuffles of a table's entries `low` and `high` (their low 8 bits),
// one for each 128-bit half.
FAULTKIT_AVX2 inline __m256i EntryShuffles(const Shuffles& table, unsigned low, unsigned high) {
    return _mm256_inserti128_si256(
        _mm256_castsi128_si256(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.entry[low & 0xFF]))),
        _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.entry[high & 0xFF])), 1);
}

FAULTKIT_AVX2 inline __m256i Set16(int value) {
    return _mm256_set1_epi16(static_cast<int16_t>(value));
}

FAULTKIT_AVX2 inline int Count(unsigned bits) {
    return _mm_popcnt_u32(bits);
}

FAULTKIT_AVX2 inline int Count64(uint64_t bits) {
    return static_cast<int>(_mm_popcnt_u64(bits));
}

// The number of bytes kPackForms packs for the indices of `groups` groups
// of 4 lanes, one a byte.
FAULTKIT_AVX2 inline int PackedFormsSize(uint32_t indices, int groups) {
    return 4 * groups + Count(indices & 0x0F0F0F0Fu) + 2 * Count(indices & 0xF0F0F0F0u);
}

// The same for one group, looked up.
struct FormsSizes {
    uint8_t of[256];
};

constexpr FormsSizes PackedFormsSizes() {
    FormsSizes sizes{};
    for (int index = 0; index < 256; ++index) {
        for (int bit = 0; bit < 8; ++bit) {
            sizes.of[index] += static_cast<uint8_t>(((index >> bit) & 1) << (bit / 4));
        }
        sizes.of[index] += 4;
    }
    return sizes;
}

inline constexpr FormsSizes kPackedFormsSizes = PackedFormsSizes();

}  // namespace faultkit::avx2

#endif
