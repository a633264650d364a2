// The block kernel (text/simd/block_kernels.h) of a pair of coders:
// ConvertBlocks(kernels, source, target, cursor) runs the pair's kernel of
// a vector level's table, for the pairs that have one, and HasBlocks<Source,
// Target> tells which pairs these are.
#pragma once

#include <type_traits>
#include <utility>

#include "text/convert/conversion_coders.h"
#include "text/simd/block_kernels.h"

namespace faultkit {

inline void ConvertBlocks(const BlockKernels& kernels, const Utf8Source&, const Utf16Target&,
                          BlockCursor& cursor) {
    kernels.utf8_to_utf16(cursor);
}

inline void ConvertBlocks(const BlockKernels& kernels, const Utf8Source&, const Utf32Target&,
                          BlockCursor& cursor) {
    kernels.utf8_to_utf32(cursor);
}

// Only with the expanded reverse tables; lookups in the compressed ones
// are left to the scalar code.
inline void ConvertBlocks(const BlockKernels& kernels, const Utf8Source&,
                          const CodePageTarget& target, BlockCursor& cursor) {
    if (target.lookup != nullptr) {
        kernels.utf8_to_code_page(cursor, *target.lookup);
    }
}

inline void ConvertBlocks(const BlockKernels& kernels, const Utf16Source&, const Utf8Target&,
                          BlockCursor& cursor) {
    kernels.utf16_to_utf8(cursor);
}

inline void ConvertBlocks(const BlockKernels& kernels, const Utf32Source&, const Utf8Target&,
                          BlockCursor& cursor) {
    kernels.utf32_to_utf8(cursor);
}

inline void ConvertBlocks(const BlockKernels& kernels, const CodePageSource& source,
                          const Utf8Target&, BlockCursor& cursor) {
    kernels.code_page_to_utf8(cursor, source.table);
}

template <class Source, class Target, class = void>
struct HasBlocks : std::false_type {};

template <class Source, class Target>
struct HasBlocks<Source, Target,
                 std::void_t<decltype(ConvertBlocks(
                     std::declval<const BlockKernels&>(), std::declval<const Source&>(),
                     std::declval<const Target&>(), std::declval<BlockCursor&>()))>>
    : std::true_type {};

}  // namespace faultkit
