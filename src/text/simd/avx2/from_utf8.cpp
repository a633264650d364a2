// UTF-8 to UTF-16, UTF-32 and the code pages with AVX2, 64 source bytes at a
// time in two registers taken as one, then 32 for what is left: the block
// is classified a 256-bit register at a time and taken
// (../utf8_block.h); the values of each 16 positions are computed in
// a 256-bit register, and in each group of 8 positions those that give
// output are packed together by a shuffle looked up by their mask
// (avx2_helpers.h). A 4-byte character gives its high surrogate at its lead
// and its low one at the byte after.
#include "text/simd/avx2/avx2_kernels.h"

#if defined(__SSE2__) || defined(_M_X64)

#include "text/encoding/character_coders.h"
#include "text/encoding/page_byte_lookup.h"
#include "text/simd/avx2/avx2_helpers.h"
#include "text/simd/block_runs.h"
#include "text/simd/utf8_block.h"

namespace faultkit {
namespace {

using avx2::Count;
using avx2::Count64;
using avx2::Set16;

constexpr int kBlock = 32;

FAULTKIT_AVX2 inline unsigned Bits(__m256i mask) {
    return static_cast<unsigned>(_mm256_movemask_epi8(mask));
}

FAULTKIT_AVX2 inline ByteKinds KindsOf(__m256i x) {
    const uint32_t high = Bits(x);
    return {high, Bits(_mm256_cmpgt_epi8(_mm256_set1_epi8(-64), x)),
            high & Bits(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(-33))),
            high & Bits(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(-17))),
            high & Bits(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(-9)))};
}

// A block of one register, x, or of two, x then y, taken as one of 64
// bytes.
template <int kRegisters>
FAULTKIT_AVX2 inline Utf8BlockOf<uint64_t> ScanBlocks(__m256i x, __m256i y) {
    const ByteKinds a = KindsOf(x);
    const ByteKinds b = kRegisters == 2 ? KindsOf(y) : ByteKinds{};
    auto join = [](uint32_t low, uint32_t high) { return low | (uint64_t{high} << 32); };
    const ByteKindsOf<uint64_t> kinds{join(a.high, b.high), join(a.continuation, b.continuation),
                                      join(a.from_e0, b.from_e0), join(a.from_f0, b.from_f0),
                                      join(a.from_f8, b.from_f8)};
    return TakeBlock<kRegisters * kBlock>(kinds, true);
}

// Of the 4-byte leads of block x, followed by block y, those whose values
// UTF-16 cannot carry as a pair: from F0 80 up to F0 8F (overlong forms
// below 0x10000), from F4 90 up to F4 BF and from F5 on (above U+10FFFF).
// Their second bytes are continuation bytes.
FAULTKIT_AVX2 inline uint32_t BeyondPairs(__m256i x, __m256i y) {
    const __m256i second = _mm256_alignr_epi8(_mm256_permute2x128_si256(x, y, 0x21), x, 1);
    const __m256i below_90 = _mm256_cmpgt_epi8(_mm256_set1_epi8(-0x70), second);
    const __m256i f0 = _mm256_cmpeq_epi8(x, _mm256_set1_epi8(-0x10));
    const __m256i f4 = _mm256_cmpeq_epi8(x, _mm256_set1_epi8(-0x0C));
    const __m256i from_f5 = _mm256_cmpgt_epi8(x, _mm256_set1_epi8(-0x0C));
    return Bits(_mm256_or_si256(
        _mm256_or_si256(_mm256_and_si256(f0, below_90), _mm256_andnot_si256(below_90, f4)),
        from_f5));
}

// The bytes at 16 positions of a block and the two after each, zero-
// extended to 16-bit lanes.
struct HalfBytes {
    __m256i b0;
    __m256i b1;
    __m256i b2;
};

// Bytes 0 to 15 (half 0) or 16 to 31 of register x, and the 16 after
// them, from register `next` for the second half.
FAULTKIT_AVX2 inline __m128i HalfOf(__m256i x, int half) {
    return half == 0 ? _mm256_castsi256_si128(x) : _mm256_extracti128_si256(x, 1);
}

FAULTKIT_AVX2 inline __m128i AfterHalf(__m256i x, __m256i next, int half) {
    return half == 0 ? _mm256_extracti128_si256(x, 1) : _mm256_castsi256_si128(next);
}

// The 16 bytes `first` and the 16 `after` them.
FAULTKIT_AVX2 inline HalfBytes BytesOf(__m128i first, __m128i after) {
    return {_mm256_cvtepu8_epi16(first), _mm256_cvtepu8_epi16(_mm_alignr_epi8(after, first, 1)),
            _mm256_cvtepu8_epi16(_mm_alignr_epi8(after, first, 2))};
}

// The value of a 1- to 3-byte character starting at each of 16 positions
// (as sse2::LaneValues in ../sse2/utf8_scan.h), and two of its parts that
// the 4-byte characters use: the value as if it had 2 and 3 bytes.
struct HalfValues {
    __m256i value;
    __m256i two;
    __m256i three;
};

FAULTKIT_AVX2 inline HalfValues Values(const HalfBytes& b) {
    const __m256i low6 = Set16(0x3F);
    const __m256i two = _mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b.b0, Set16(0x1F)), 6),
                                        _mm256_and_si256(b.b1, low6));
    const __m256i three = _mm256_or_si256(_mm256_slli_epi16(two, 6), _mm256_and_si256(b.b2, low6));
    const __m256i value = _mm256_blendv_epi8(b.b0, two, _mm256_cmpgt_epi16(b.b0, Set16(0x7F)));
    return {_mm256_blendv_epi8(value, three, _mm256_cmpgt_epi16(b.b0, Set16(0xDF))), two, three};
}

// Lanes that are all ones where `bits` has bit i set.
FAULTKIT_AVX2 inline __m256i LanesOf(unsigned bits) {
    const __m256i each = _mm256_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128, 256, 512, 1024, 2048, 4096,
                                           8192, 16384, -32768);
    return _mm256_cmpeq_epi16(_mm256_and_si256(Set16(static_cast<int>(bits)), each), each);
}

// Of 16 positions: puts the high surrogate of a 4-byte character (from
// U+10000 to U+10FFFF) at its lead, those in `leads`, and the low one at
// the byte after, those in `after`.
FAULTKIT_AVX2 inline __m256i WithPairs(__m256i values, const HalfBytes& b, unsigned leads,
                                       unsigned after) {
    const __m256i low6 = Set16(0x3F);
    // The code point shifted right by 10, less 0x10000 >> 10.
    const __m256i top = _mm256_sub_epi16(
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b.b0, Set16(7)), 8),
                                        _mm256_slli_epi16(_mm256_and_si256(b.b1, low6), 2)),
                        _mm256_srli_epi16(_mm256_and_si256(b.b2, low6), 4)),
        Set16(0x40));
    const __m256i high = _mm256_or_si256(top, Set16(0xD800));
    // At the byte after the lead, b1 and b2 are the lead's third and fourth.
    const __m256i low =
        _mm256_or_si256(_mm256_or_si256(_mm256_slli_epi16(_mm256_and_si256(b.b1, Set16(0xF)), 6),
                                        _mm256_and_si256(b.b2, low6)),
                        Set16(0xDC00));
    values = _mm256_blendv_epi8(values, high, LanesOf(leads));
    return _mm256_blendv_epi8(values, low, LanesOf(after));
}

FAULTKIT_AVX2 inline void Store128(uint8_t* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}

FAULTKIT_AVX2 inline void Store256(uint8_t* p, __m256i v) {
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
}

// Blocks of ASCII, 32 bytes at a time, widened to UTF-16 (Unit uint16_t)
// or UTF-32 (uint32_t).
template <typename Unit>
FAULTKIT_AVX2 inline void WidenAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                     const uint8_t* dst_end) {
    constexpr int kOut = kBlock * sizeof(Unit);
    const uint8_t* s = *src;
    uint8_t* d = *dst;
    while (src_end - s >= kBlock && dst_end - d >= kOut) {
        const __m256i x = avx2::Load256(s);
        if (Bits(x) != 0) {
            break;
        }
        if constexpr (sizeof(Unit) == 2) {
            Store256(d, _mm256_cvtepu8_epi16(_mm256_castsi256_si128(x)));
            Store256(d + 32, _mm256_cvtepu8_epi16(_mm256_extracti128_si256(x, 1)));
        } else {
#pragma GCC unroll 4
            for (int q = 0; q < 4; ++q) {
                Store256(d + 32 * q, _mm256_cvtepu8_epi32(_mm_loadl_epi64(
                                         reinterpret_cast<const __m128i*>(s + 8 * q))));
            }
        }
        s += kBlock;
        d += kOut;
    }
    *src = s;
    *dst = d;
}

// To UTF-16 (Unit uint16_t) or UTF-32 (uint32_t): the values of the
// positions that give units, packed together 8 positions at a time. A
// block is one register or two taken as one: 64 bytes, so that the loop
// around the kernel runs once for 64 bytes, and 32 for what is left.
template <typename Unit, int kRegisters>
struct WideConverter {
    static constexpr bool kUtf16 = sizeof(Unit) == 2;
    static constexpr ptrdiff_t kSource = kRegisters * kBlock;
    // Each group of 8 positions is stored whole, 16 bytes of UTF-16 or
    // 32 of UTF-32, after the output of the groups before it.
    static constexpr ptrdiff_t kSpill = kUtf16 ? 16 : 32;
    static constexpr ptrdiff_t kRoom = kUtf16 ? 2 * kSource + 16 : 4 * kSource;

    struct Plan : PlanHead {
        uint64_t units;  // bit i: position i gives a unit
        uint64_t fours;
    };

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) { return Bits(avx2::Load256(p)) == 0; }

    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        WidenAscii<Unit>(src, dst, src_end, dst_end);
    }

    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        const __m256i x = avx2::Load256(p);
        const __m256i y = kRegisters == 2 ? avx2::Load256(p + kBlock) : _mm256_setzero_si256();
        Utf8BlockOf<uint64_t> block = ScanBlocks<kRegisters>(x, y);
        if constexpr (kUtf16) {
            // A value UTF-16 cannot carry as a pair ends the block before it.
            // Worked out whether the block has 4-byte characters or not: in
            // text with some, whether a block has is as good as random.
            uint64_t beyond = BeyondPairs(x, y);
            if constexpr (kRegisters == 2) {
                beyond |= uint64_t{BeyondPairs(y, _mm256_setzero_si256())} << 32;
            }
            beyond &= block.fours;
            if (beyond != 0) {
                block.EndAt(LowestBit(beyond));
            }
        }
        plan->src = p;
        plan->taken = block.taken;
        plan->fours = block.fours;
        // A 4-byte character gives a pair of UTF-16 units, the second one
        // at the byte after its lead.
        plan->units = kUtf16 ? block.leads | (block.fours << 1) : block.leads;
        plan->size = static_cast<int>(sizeof(Unit)) * Count64(plan->units);
        plan->spill =
            static_cast<int>(kSpill - sizeof(Unit) * Count64(plan->units >> (kSource - 8)));
    }

    // Quarter by quarter, 16 positions each, with the 16 bytes after them.
    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        const __m256i x = avx2::Load256(plan.src);
        const __m256i y =
            kRegisters == 2 ? avx2::Load256(plan.src + kBlock) : _mm256_setzero_si256();
        const __m128i quarters[5] = {_mm256_castsi256_si128(x), _mm256_extracti128_si256(x, 1),
                                     _mm256_castsi256_si128(y), _mm256_extracti128_si256(y, 1),
                                     _mm_setzero_si128()};
        uint8_t* o = out;
        // Unrolled, so that what differs between the quarters is known
        // when compiling.
#pragma GCC unroll 4
        for (int q = 0; q < 2 * kRegisters; ++q) {
            o = EmitQuarter(plan, quarters[q], quarters[q + 1], 16 * q, o);
        }
    }

    // The 16 positions from `at`, whose bytes are `first`; where the output
    // after theirs goes.
    FAULTKIT_AVX2 static uint8_t* EmitQuarter(const Plan& plan, __m128i first, __m128i after,
                                              int at, uint8_t* o) {
        const HalfBytes bytes = BytesOf(first, after);
        const HalfValues values = Values(bytes);
        const unsigned units = (plan.units >> at) & 0xFFFF;
        const __m256i shuffles = avx2::EntryShuffles(avx2::kPackWords, units, units >> 8);
        if constexpr (kUtf16) {
            __m256i lanes = values.value;
            const unsigned leads = (plan.fours >> at) & 0xFFFF;
            const unsigned after_leads = ((plan.fours << 1) >> at) & 0xFFFF;
            if ((leads | after_leads) != 0) {
                lanes = WithPairs(lanes, bytes, leads, after_leads);
            }
            const __m256i packed = _mm256_shuffle_epi8(lanes, shuffles);
            Store128(o, _mm256_castsi256_si128(packed));
            o += 2 * Count(units & 0xFF);
            Store128(o, _mm256_extracti128_si256(packed, 1));
            return o + 2 * Count(units >> 8);
        } else {
            __m256i low = values.value;
            __m256i high = _mm256_setzero_si256();
            const unsigned fours = (plan.fours >> at) & 0xFFFF;
            if (fours != 0) {
                // Bits 0 to 15 and 16 to 20 of the 4-byte characters'
                // values, from their fourth bytes and their values as if
                // they had 3 and 2 bytes.
                const __m256i b3 = _mm256_cvtepu8_epi16(_mm_alignr_epi8(after, first, 3));
                const __m256i lanes_at = LanesOf(fours);
                low = _mm256_blendv_epi8(low,
                                         _mm256_or_si256(_mm256_slli_epi16(values.three, 6),
                                                         _mm256_and_si256(b3, Set16(0x3F))),
                                         lanes_at);
                high = _mm256_and_si256(
                    _mm256_and_si256(_mm256_srli_epi16(values.two, 4), Set16(0x1F)), lanes_at);
            }
            const __m256i packed_low = _mm256_shuffle_epi8(low, shuffles);
            const __m256i packed_high = _mm256_shuffle_epi8(high, shuffles);
            const __m256i first_units = _mm256_unpacklo_epi16(packed_low, packed_high);
            const __m256i second_units = _mm256_unpackhi_epi16(packed_low, packed_high);
            Store256(o, _mm256_permute2x128_si256(first_units, second_units, 0x20));
            o += 4 * Count(units & 0xFF);
            Store256(o, _mm256_permute2x128_si256(first_units, second_units, 0x31));
            return o + 4 * Count(units >> 8);
        }
    }
};

// The rows of a page's direct table that hold other bytes than the
// replacement, with their lead bytes in every lane; worked out once a
// conversion for RowBytes below.
struct PageRows {
    int count = 0;
    const uint8_t* rows[32];
    __m256i leads[32];

    FAULTKIT_AVX2 explicit PageRows(const PageByteLookup& page) {
        const uint8_t* direct = page.Direct();
        if (direct == nullptr) {
            return;
        }
        for (uint32_t r = page.RowsNotReplaced() & ~uint32_t{3}; r != 0; r = _blsr_u32(r)) {
            const int number = LowestBit(r);
            rows[count] = direct + number * PageByteLookup::kRow;
            leads[count++] = _mm256_set1_epi8(static_cast<char>(0xC0 + number));
        }
    }
};

// Bytes below 0x7F are themselves in every code page; they are the ASCII
// here. A block is one register or two taken as one, as for the wide
// forms above; each register's output is written in turn.
template <int kRegisters>
struct CodePageConverter {
    static constexpr ptrdiff_t kSource = kRegisters * kBlock;
    static constexpr ptrdiff_t kRoom = kSource + 8;
    static constexpr ptrdiff_t kSpill = 8;

    const PageByteLookup* lookup;
    const PageRows* rows;

    struct Plan : PlanHead {
        uint64_t leads;
        uint64_t fours;
    };

    FAULTKIT_AVX2 static bool IsSame(__m256i x) {
        return Bits(_mm256_adds_epu8(x, _mm256_set1_epi8(1))) == 0;
    }

    FAULTKIT_AVX2 static bool IsAscii(const uint8_t* p) { return IsSame(avx2::Load256(p)); }

    FAULTKIT_AVX2 static void CopyAscii(const uint8_t** src, uint8_t** dst, const uint8_t* src_end,
                                        const uint8_t* dst_end) {
        const uint8_t* s = *src;
        uint8_t* d = *dst;
        while (src_end - s >= kBlock && dst_end - d >= kBlock) {
            const __m256i x = avx2::Load256(s);
            if (!IsSame(x)) {
                break;
            }
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(d), x);
            s += kBlock;
            d += kBlock;
        }
        *src = s;
        *dst = d;
    }

    FAULTKIT_AVX2 void Scan(const uint8_t* p, Plan* plan) const {
        const __m256i x = avx2::Load256(p);
        const __m256i y = kRegisters == 2 ? avx2::Load256(p + kBlock) : _mm256_setzero_si256();
        const Utf8BlockOf<uint64_t> block = ScanBlocks<kRegisters>(x, y);
        plan->src = p;
        plan->taken = block.taken;
        plan->leads = block.leads;
        plan->fours = block.fours;
        plan->size = Count64(block.leads);
        plan->spill = 8 - Count64(block.leads >> (kSource - 8));
    }

    // A register of the block, with the one after it (bytes past the block
    // read as 0, which only characters cut by its end would use) and its
    // part of the plan's masks.
    struct Register {
        const uint8_t* src;
        __m256i x;
        __m256i next;
        uint32_t leads;
        uint32_t fours;
    };

    // The second register's first store overwrites the bytes the first
    // one's stores reach past its output.
    FAULTKIT_AVX2 void Emit(const Plan& plan, uint8_t* out) const {
        const __m256i registers[3] = {
            avx2::Load256(plan.src),
            kRegisters == 2 ? avx2::Load256(plan.src + kBlock) : _mm256_setzero_si256(),
            _mm256_setzero_si256()};
#pragma GCC unroll 2
        for (int r = 0; r < kRegisters; ++r) {
            const Register in{plan.src + kBlock * r, registers[r], registers[r + 1],
                              static_cast<uint32_t>(plan.leads >> (kBlock * r)),
                              static_cast<uint32_t>(plan.fours >> (kBlock * r))};
            if (lookup->Direct() != nullptr) {
                EmitThroughRows(in, out);
            } else {
                EmitThroughValues(in, out);
            }
            out += Count(in.leads);
        }
    }

    // Writes `bytes` at the positions of the leads packed together; the last
    // store reaches 8 - (leads among positions 24 to 31) bytes past them.
    FAULTKIT_AVX2 static void WritePacked(__m256i bytes, uint32_t leads, uint8_t* out) {
        uint8_t* o = out;
        for (int half = 0; half < 2; ++half) {
            const __m128i part =
                half == 0 ? _mm256_castsi256_si128(bytes) : _mm256_extracti128_si256(bytes, 1);
            const unsigned these = (leads >> (16 * half)) & 0xFFFF;
            const __m128i shuffle = _mm_unpacklo_epi64(
                _mm_loadl_epi64(
                    reinterpret_cast<const __m128i*>(avx2::kPackBytes.entry[these & 0xFF])),
                _mm_loadl_epi64(
                    reinterpret_cast<const __m128i*>(avx2::kPackBytes.entry[these >> 8] + 8)));
            const __m128i packed = _mm_shuffle_epi8(part, shuffle);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(o), packed);
            o += Count(these & 0xFF);
            _mm_storel_epi64(reinterpret_cast<__m128i*>(o), _mm_unpackhi_epi64(packed, packed));
            o += Count(these >> 8);
        }
    }

    // The bytes of the 2-byte characters of block x with lead bytes from C2
    // on, looked up in the direct table a row at a time: the row of a lead
    // byte is four shuffles' worth, indexed by the low 6 bits of the byte
    // after. Each row that holds other bytes than the replacement is
    // looked up, whether the block has its lead byte or not: the same
    // number of rows every block, which the branch predictor follows.
    FAULTKIT_AVX2 __m256i RowBytes(__m256i x, __m256i after) const {
        const __m256i next = _mm256_alignr_epi8(_mm256_permute2x128_si256(x, after, 0x21), x, 1);
        const __m256i index = _mm256_and_si256(next, _mm256_set1_epi8(0x3F));
        // The index into each quarter of a row, with the top bit set where
        // it lies in another quarter, which makes the shuffle give 0.
        __m256i in_quarter[4];
#pragma GCC unroll 4
        for (int q = 0; q < 4; ++q) {
            in_quarter[q] = _mm256_adds_epu8(_mm256_xor_si256(index, _mm256_set1_epi8(16 * q)),
                                             _mm256_set1_epi8(0x70));
        }
        __m256i bytes = _mm256_set1_epi8(static_cast<char>(lookup->Replacement()));
        for (int r = 0; r < rows->count; ++r) {
            const uint8_t* row = rows->rows[r];
            __m256i found = _mm256_setzero_si256();
#pragma GCC unroll 4
            for (int q = 0; q < 4; ++q) {
                found = _mm256_or_si256(
                    found, _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(_mm_loadu_si128(
                                                   reinterpret_cast<const __m128i*>(row + 16 * q))),
                                               in_quarter[q]));
            }
            bytes = _mm256_blendv_epi8(bytes, found, _mm256_cmpeq_epi8(x, rows->leads[r]));
        }
        return bytes;
    }

    // With the direct table: the bytes below 0x7F are themselves; the
    // 2-byte characters with lead bytes from C2 on are looked up by rows
    // where a block has more than a few. The rest are looked up one by one
    // and written over what was packed in their places.
    FAULTKIT_AVX2 void EmitThroughRows(const Register& in, uint8_t* out) const {
        constexpr int kFew = 2;
        const __m256i x = in.x;
        // Lead bytes from C2 up to DF.
        const __m256i two_leads = _mm256_and_si256(_mm256_cmpgt_epi8(x, _mm256_set1_epi8(-63)),
                                                   _mm256_cmpgt_epi8(_mm256_set1_epi8(-32), x));
        uint32_t twos = in.leads & Bits(two_leads);
        __m256i bytes = x;
        if (Count(twos) > kFew) {
            bytes = _mm256_blendv_epi8(x, RowBytes(x, in.next), two_leads);
        } else {
            twos = 0;
        }
        WritePacked(bytes, in.leads, out);
        const uint32_t below_7f = ~Bits(x) & ~Bits(_mm256_cmpeq_epi8(x, _mm256_set1_epi8(0x7F)));
        for (uint32_t f = in.leads & ~below_7f & ~twos; f != 0; f = _blsr_u32(f)) {
            const int at = LowestBit(f);
            const uint8_t* c = in.src + at;
            const uint32_t cp = c[0] < 0x80                   ? c[0]
                                : c[0] < 0xE0                 ? TwoByteValue(c)
                                : ((in.fours >> at) & 1) != 0 ? FourByteValue(c)
                                                              : ThreeByteValue(c);
            out[Count(_bzhi_u32(in.leads, at))] = (*lookup)(cp);
        }
    }

    // Without it: packs the own bytes of the values (those up to 0x7E, 0
    // among them) and, in their places, garbage for the others; then looks
    // those up and writes them over it.
    FAULTKIT_AVX2 void EmitThroughValues(const Register& in, uint8_t* out) const {
        const __m256i x = in.x;
        uint16_t lanes[kBlock];
        uint32_t own = 0;
        __m128i bytes[2];
        for (int half = 0; half < 2; ++half) {
            const __m256i values =
                Values(BytesOf(HalfOf(x, half), AfterHalf(x, in.next, half))).value;
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(lanes + 16 * half), values);
            const __m256i own_lanes =
                _mm256_cmpeq_epi16(_mm256_subs_epu16(values, Set16(0x7E)), _mm256_setzero_si256());
            own |= static_cast<uint32_t>(_mm_movemask_epi8(_mm_packs_epi16(
                       _mm256_castsi256_si128(own_lanes), _mm256_extracti128_si256(own_lanes, 1))))
                   << (16 * half);
            bytes[half] = _mm_packus_epi16(_mm256_castsi256_si128(values),
                                           _mm256_extracti128_si256(values, 1));
        }
        WritePacked(_mm256_inserti128_si256(_mm256_castsi128_si256(bytes[0]), bytes[1], 1),
                    in.leads, out);
        for (uint32_t f = in.leads & ~own & ~in.fours; f != 0; f = _blsr_u32(f)) {
            const int at = LowestBit(f);
            out[Count(_bzhi_u32(in.leads, at))] = lookup->Looked(lanes[at]);
        }
        // 4-byte characters, whose lanes hold no value.
        for (uint32_t f = in.fours; f != 0; f = _blsr_u32(f)) {
            const int at = LowestBit(f);
            out[Count(_bzhi_u32(in.leads, at))] = lookup->Looked(FourByteValue(in.src + at));
        }
    }
};

}  // namespace

FAULTKIT_AVX2 __attribute__((flatten)) void avx2::Utf8ToUtf16Blocks(BlockCursor& cursor) {
    RunBlocks(cursor, WideConverter<uint16_t, 2>{});
    RunBlocks(cursor, WideConverter<uint16_t, 1>{});
}

FAULTKIT_AVX2 __attribute__((flatten)) void avx2::Utf8ToUtf32Blocks(BlockCursor& cursor) {
    RunBlocks(cursor, WideConverter<uint32_t, 2>{});
    RunBlocks(cursor, WideConverter<uint32_t, 1>{});
}

FAULTKIT_AVX2 __attribute__((flatten)) void avx2::Utf8ToCodePageBlocks(
    BlockCursor& cursor, const PageByteLookup& lookup) {
    const PageRows rows(lookup);
    RunBlocks(cursor, CodePageConverter<2>{&lookup, &rows});
    RunBlocks(cursor, CodePageConverter<1>{&lookup, &rows});
}

}  // namespace faultkit

#endif
