// The block converter (text/simd/block_kernels.h) of a pair of coders:
// ConvertBlocks(source, target, cursor), for the pairs that have one, and
// HasBlocks<Source, Target> to tell which pairs these are.
#pragma once

#include <type_traits>
#include <utility>

#include "text/convert/conversion_coders.h"
#include "text/simd/block_kernels.h"

namespace faultkit {

inline void ConvertBlocks(const Utf8Source&, const Utf16Target&, BlockCursor& cursor) {
    Utf8ToUtf16Blocks(cursor);
}

inline void ConvertBlocks(const Utf8Source&, const Utf32Target&, BlockCursor& cursor) {
    Utf8ToUtf32Blocks(cursor);
}

// Only with the expanded reverse tables; lookups in the compressed ones
// are left to the scalar code.
inline void ConvertBlocks(const Utf8Source&, const CodePageTarget& target, BlockCursor& cursor) {
    if (target.lookup != nullptr) {
        Utf8ToCodePageBlocks(cursor, *target.lookup);
    }
}

inline void ConvertBlocks(const Utf16Source&, const Utf8Target&, BlockCursor& cursor) {
    Utf16ToUtf8Blocks(cursor);
}

inline void ConvertBlocks(const Utf32Source&, const Utf8Target&, BlockCursor& cursor) {
    Utf32ToUtf8Blocks(cursor);
}

inline void ConvertBlocks(const CodePageSource& source, const Utf8Target&, BlockCursor& cursor) {
    CodePageToUtf8Blocks(cursor, source.table);
}

template <class Source, class Target, class = void>
struct HasBlocks : std::false_type {};

template <class Source, class Target>
struct HasBlocks<
    Source, Target,
    std::void_t<decltype(ConvertBlocks(std::declval<const Source&>(), std::declval<const Target&>(),
                                       std::declval<BlockCursor&>()))>>
    : std::bool_constant<kVectorBlocks> {};

}  // namespace faultkit
