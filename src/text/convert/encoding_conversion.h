// Text conversion between UTF-8 and the other encodings (UTF-16, UTF-32
// and the 17 code pages), into a buffer, onto a FILE stream, or counting
// only.
//
// Modes, chosen by dst and dst_size:
//   dst_size != 0, dst != null  buffer: at most dst_size bytes are written
//   dst_size != 0, dst == null  refused: result 0
//   dst_size == 0, dst == null  counting: the size the output would have
//   dst_size == 0, dst != null  stream: dst is a FILE*, written with
//                               fwrite(stage, pending, 1, dst) in stages of
//                               up to 4096 bytes
// The result is the number of bytes produced (in stream mode, handed to
// the stream). It is 0, and no out pointer is written, when src is null,
// dst is null in buffer mode, id is UTF-8 or out of range, or an invalid
// character is met (output already delivered stays).
//
// src_len kNulTerminated: the source ends with its NUL character, which is
// converted in counting and buffer mode and left out in stream mode;
// *src_end_out then points after it, or at it in stream mode. With an
// explicit src_len a NUL is an ordinary character. A character cut by the
// source end stops the conversion without error. A character that does not
// fit the buffer stops it; no terminator is added then.
//
// No heap allocation; all state lives in the call.
#pragma once

#include <cstddef>
#include <cstdint>

#include "text/encoding/encoding_id.h"

namespace faultkit {

// From encoding id to UTF-8. A code-page byte without mapping becomes
// U+FFFF (EF BF BF). *dst_end_out is written in buffer mode only.
uint64_t ConvertToUtf8(EncodingId id, const void* src, size_t src_len, void* dst, size_t dst_size,
                       const void** src_end_out, void** dst_end_out);

// From UTF-8 to encoding id. A code point that a code page lacks becomes
// the low 8 bits of `replacement` ("?" when it is 0). A code point above
// U+10FFFF makes a UTF-16 conversion fail.
uint64_t ConvertFromUtf8(EncodingId id, const char* src, size_t src_len, void* dst, size_t dst_size,
                         const char** src_end_out, void** dst_end_out, int32_t replacement);

// NUL-terminated UTF-8 to UTF-16 (to_utf16) or back, into dst, which is
// dst_size bytes long. Returns dst when anything was converted (a string
// cut short by a small buffer has no terminator), else a static empty
// string that reads as empty in both encodings. A UTF-8 source that ends
// in a sequence cut short by its terminator gives the empty string too
// when dst has room for the whole text.
void* ConvertUtf8Utf16(bool to_utf16, const void* src, void* dst, size_t dst_size);

// UTF-8 text of `bytes` bytes, its terminator included, converted into
// `dst`, which has room for `bytes` UTF-16 units. Returns the bytes of the
// UTF-16 text with its terminator, or 0 when the source is not UTF-8
// throughout: an invalid byte, or a sequence cut short by the terminator,
// where the conversion itself stops without error and without writing a
// terminator.
uint64_t ConvertUtf8TextToUtf16(const char* src, size_t bytes, char16_t* dst);

}  // namespace faultkit
