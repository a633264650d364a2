#include "text/encoding/character_coders.h"

#include "text/encoding/reverse_tables.h"
#include "text/encoding/utf8.h"

namespace faultkit {

void CodePageEncodeChar(uint32_t cp, void* dst, void** end, int32_t replacement, EncodingId id) {
    auto* byte = static_cast<uint8_t*>(dst);
    const uint8_t mapped = cp < 0x10000 ? ReverseLookup(ProcessReverseTables(), cp, id) : 0;
    *byte = CodePageByte(mapped, cp, replacement);
    if (end != nullptr) {
        *end = byte + 1;
    }
}

namespace {

bool DecodeWithLimit(EncodingId id, const void* src, uint32_t* cp, const void** next, bool* error,
                     int32_t limit) {
    switch (id) {
        case kEncodingUtf8: {
            const char* after = nullptr;
            const bool ok = Utf8DecodeChar(static_cast<const char*>(src), cp, &after, error, limit);
            if (ok && next != nullptr) {
                *next = after;
            }
            return ok;
        }
        case kEncodingUtf16:
            return Utf16DecodeChar(src, cp, next, error, limit);
        case kEncodingUtf32:
            return Utf32DecodeChar(src, cp, next, error, limit);
        default:
            return CodePageDecodeChar(src, cp, next, error, id);
    }
}

}  // namespace

bool DecodeChar(EncodingId id, const void* src, uint32_t* cp, const void** next, bool* error) {
    bool local_error = false;
    if (error == nullptr) {
        error = &local_error;
    }
    if (!EncodingIdValid(id)) {
        *cp = kErrorCodePoint;
        *error = true;
        return false;
    }
    int32_t limit = 0;
    if (next != nullptr && *next != nullptr) {
        const ptrdiff_t remaining =
            static_cast<const char*>(*next) - static_cast<const char*>(src);
        if (remaining < MinCharBytes(id)) {
            *error = remaining < 0;
            if (*error) {
                *cp = kErrorCodePoint;
            }
            return false;
        }
        limit = DecodeLimit(remaining);
    }
    const bool ok = DecodeWithLimit(id, src, cp, next, error, limit);
    if (*error) {
        *cp = kErrorCodePoint;
    }
    return ok;
}

bool EncodeChar(EncodingId id, uint32_t cp, void* dst, void** end, int32_t replacement) {
    if (dst == nullptr || !EncodingIdValid(id)) {
        return false;
    }
    switch (id) {
        case kEncodingUtf8: {
            char* after = nullptr;
            Utf8EncodeChar(static_cast<int32_t>(cp), static_cast<char*>(dst), &after);
            if (end != nullptr) {
                *end = after;
            }
            return true;
        }
        case kEncodingUtf16:
            if (!Utf16CanEncode(cp)) {
                return false;
            }
            Utf16EncodeChar(cp, dst, end);
            return true;
        case kEncodingUtf32:
            Utf32EncodeChar(cp, dst, end);
            return true;
        default:
            CodePageEncodeChar(cp, dst, end, replacement == 0 ? kDefaultReplacement : replacement,
                               id);
            return true;
    }
}

}  // namespace faultkit
