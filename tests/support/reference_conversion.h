// A test oracle: the conversion loop written plainly, one character at a
// time through DecodeChar/EncodeChar and an 8-byte local buffer. The
// library (LibraryConvert) must give exactly its results: return value, out
// pointers, bytes written and fwrite calls.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "text/convert/encoding_conversion.h"
#include "text/encoding/character_coders.h"
#include "text/encoding/encoding_id.h"
#include "text/encoding/utf8.h"

// Fuzzing steers by the library's branches only: the oracle, the inline
// coders it takes into itself, and the harness carry no coverage.
#if defined(__clang__)
#define FAULTKIT_NO_COVERAGE __attribute__((no_sanitize("coverage")))
#define FAULTKIT_ORACLE __attribute__((no_sanitize("coverage"), flatten))
#else
#define FAULTKIT_NO_COVERAGE
#define FAULTKIT_ORACLE
#endif

namespace faultkit::test {

// ConvertToUtf8 or ConvertFromUtf8 with the oracle's signature.
inline uint64_t LibraryConvert(bool to_utf8, EncodingId id, const void* src, size_t len, void* dst,
                               size_t size, const void** src_end, void** dst_end,
                               int32_t replacement) {
    if (to_utf8) {
        return ConvertToUtf8(id, src, len, dst, size, src_end, dst_end);
    }
    const char* end = nullptr;
    const uint64_t count = ConvertFromUtf8(id, static_cast<const char*>(src), len, dst, size,
                                           src_end != nullptr ? &end : nullptr, dst_end, replacement);
    if (end != nullptr) {
        *src_end = end;
    }
    return count;
}

FAULTKIT_ORACLE inline uint64_t ReferenceConvert(bool to_utf8, EncodingId id, const void* src, size_t src_len,
                                 void* dst, size_t dst_size, const void** src_end_out,
                                 void** dst_end_out, int32_t replacement) {
    if (src == nullptr || (dst_size != 0 && dst == nullptr) || id == kEncodingUtf8) {
        return 0;
    }
    const bool stream = dst_size == 0 && dst != nullptr;
    const bool counting = dst_size == 0 && dst == nullptr;
    const bool terminated = src_len == kNulTerminated;
    uint8_t stage[4096];
    uint8_t* write = stream ? stage : static_cast<uint8_t*>(dst);
    const size_t capacity = stream ? sizeof stage : dst_size;
    const auto* pos = static_cast<const uint8_t*>(src);
    const uint8_t* end = nullptr;  // none: up to the NUL character
    if (!terminated) {
        end = pos + src_len;
    } else if (!to_utf8) {
        end = pos + std::strlen(static_cast<const char*>(src)) + (stream ? 0 : 1);
    }
    uint64_t pending = 0;
    uint64_t flushed = 0;
    const uint8_t* last_flushed = pos;
    while (end == nullptr || pos < end) {
        uint32_t cp = 0;
        bool error = false;
        const void* next = nullptr;
        bool decoded = false;
        if (to_utf8) {
            next = end;
            decoded = DecodeChar(id, pos, &cp, &next, &error);
        } else {
            const char* after = nullptr;
            const ptrdiff_t remaining = end - pos;
            decoded = Utf8DecodeChar(reinterpret_cast<const char*>(pos), &cp, &after, &error,
                                     remaining > INT32_MAX ? INT32_MAX : static_cast<int32_t>(remaining));
            next = after;
        }
        if (!decoded) {
            if (error) {
                return 0;
            }
            break;
        }
        if (to_utf8 && terminated && cp == 0) {
            if (stream) {
                break;
            }
            end = static_cast<const uint8_t*>(next);
        }
        char local[8];
        size_t size = 0;
        if (to_utf8) {
            size = static_cast<size_t>(Utf8EncodeChar(static_cast<int32_t>(cp), local, nullptr));
        } else {
            void* local_end = nullptr;
            if (!EncodeChar(id, cp, local, &local_end, replacement)) {
                return 0;
            }
            size = static_cast<size_t>(static_cast<char*>(local_end) - local);
        }
        uint64_t total = pending + size;
        if (counting) {
            pending = total;
            pos = static_cast<const uint8_t*>(next);
            continue;
        }
        if (total > capacity) {
            if (!stream || std::fwrite(stage, pending, 1, static_cast<FILE*>(dst)) == 0) {
                break;
            }
            last_flushed = pos;
            flushed += pending;
            total -= pending;
            pending = 0;
            write = stage;
        }
        std::memcpy(write, local, size);
        write += size;
        pending = total;
        pos = static_cast<const uint8_t*>(next);
    }
    if (stream) {
        if (pending != 0 && std::fwrite(stage, pending, 1, static_cast<FILE*>(dst)) == 0) {
            pending = 0;
            pos = last_flushed;
        }
        pending += flushed;
    }
    if (src_end_out != nullptr) {
        *src_end_out = pos;
    }
    if (dst_size != 0 && dst_end_out != nullptr) {
        *dst_end_out = write;
    }
    return pending;
}

}  // namespace faultkit::test
