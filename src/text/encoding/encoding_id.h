// EncodingId: the number that names a text encoding throughout the text
// module.
#pragma once

#include <cstddef>
#include <cstdint>

namespace faultkit {

// -2 UTF-8, -1 UTF-16 (host order), 0 UTF-32 (host order), 1 US-ASCII,
// 2..11 ISO/IEC 8859-1..10, 12 TIS-620, 13..16 ISO/IEC 8859-13..16,
// 17 Windows-1252. Other values are refused.
using EncodingId = int32_t;

inline constexpr EncodingId kEncodingUtf8 = -2, kEncodingUtf16 = -1, kEncodingUtf32 = 0;
inline constexpr EncodingId kFirstCodePage = 1, kLastCodePage = 17;

// A source length with all bits set: the text ends with its NUL character.
inline constexpr size_t kNulTerminated = static_cast<size_t>(-1);

inline bool EncodingIdValid(EncodingId id) {
    return id >= kEncodingUtf8 && id <= kLastCodePage;
}

inline bool IsCodePage(EncodingId id) {
    return id >= kFirstCodePage && id <= kLastCodePage;
}

}  // namespace faultkit
