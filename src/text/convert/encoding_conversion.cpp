#include "text/convert/encoding_conversion.h"

#include "text/convert/conversion_loop.h"
#include "text/encoding/reverse_tables.h"

namespace faultkit {
namespace {

// What a conversion ended with; ok is false when it failed (result 0 and
// no out pointer written).
struct Outcome {
    bool ok;
    uint64_t result;
    const uint8_t* src_end;
    uint8_t* dst_end;
    bool buffer_mode;
};

bool ArgumentsRefused(EncodingId id, const void* src, const void* dst, size_t dst_size) {
    return src == nullptr || (dst_size != 0 && dst == nullptr) || id == kEncodingUtf8;
}

bool StreamMode(const void* dst, size_t dst_size) {
    return dst_size == 0 && dst != nullptr;
}

// Position of the first zero unit of a NUL-terminated source in encoding
// id: where decoding meets the code point 0. Units are 1, 2 or 4 bytes.
template <typename Unit>
const uint8_t* ZeroUnitOf(const uint8_t* src) {
    for (;; src += sizeof(Unit)) {
        Unit unit;
        std::memcpy(&unit, src, sizeof unit);  // sources need not be aligned
        if (unit == 0) {
            return src;
        }
    }
}

const uint8_t* TerminatorOf(EncodingId id, const uint8_t* src) {
    switch (MinCharBytes(id)) {
        case 2: return ZeroUnitOf<uint16_t>(src);
        case 4: return ZeroUnitOf<uint32_t>(src);
        default: return ZeroUnitOf<uint8_t>(src);
    }
}

// Source text [src, end); decodes may read up to readable_end.
struct SourceRange {
    const uint8_t* src;
    const uint8_t* end;
    const uint8_t* readable_end;
};

template <class Source, class Target>
Outcome Convert(const Source& source, const Target& target, const SourceRange& range, void* dst,
                size_t dst_size) {
    uint8_t stage[kStreamStageSize];
    ConversionOutput out = OutputOpen(dst, dst_size, stage, range.src);
    const uint8_t* position = range.src;
    if (!ConvertLoop(source, target, range.end, range.readable_end, &position, out)) {
        return Outcome{};
    }
    const uint64_t result = OutputFinish(out, &position);
    return Outcome{true, result, position, out.write, out.mode == OutputMode::kBuffer};
}

template <typename SourcePointer>
uint64_t Deliver(const Outcome& outcome, SourcePointer* src_end_out, void** dst_end_out) {
    if (!outcome.ok) {
        return 0;
    }
    if (src_end_out != nullptr) {
        *src_end_out = static_cast<SourcePointer>(static_cast<const void*>(outcome.src_end));
    }
    if (outcome.buffer_mode && dst_end_out != nullptr) {
        *dst_end_out = outcome.dst_end;
    }
    return outcome.result;
}

Outcome ConvertToUtf8Between(EncodingId id, const SourceRange& range, void* dst, size_t dst_size) {
    switch (id) {
        case kEncodingUtf16: return Convert(Utf16Source{}, Utf8Target{}, range, dst, dst_size);
        case kEncodingUtf32: return Convert(Utf32Source{}, Utf8Target{}, range, dst, dst_size);
        default:
            if (IsCodePage(id)) {
                return Convert(CodePageSource{id}, Utf8Target{}, range, dst, dst_size);
            }
            // An unknown id fails at the first character; without one the
            // conversion is empty.
            return Outcome{range.src == range.end, 0, range.src, static_cast<uint8_t*>(dst),
                           dst_size != 0};
    }
}

// Texts from this length on look code points up in a direct table.
constexpr ptrdiff_t kLongText = 4096;

Outcome ConvertToCodePage(EncodingId id, const SourceRange& range, void* dst, size_t dst_size,
                          int32_t replacement) {
    const ReverseTableSet& tables = ProcessReverseTables();
    const int32_t byte = replacement == 0 ? kDefaultReplacement : replacement;
    if (tables.expanded == nullptr) {
        return Convert(Utf8Source{}, CodePageTarget{&tables, nullptr, byte, id}, range, dst,
                       dst_size);
    }
    const PageByteLookup lookup(tables.expanded[id], static_cast<uint8_t>(byte),
                                range.end - range.src >= kLongText);
    return Convert(Utf8Source{}, CodePageTarget{&tables, &lookup, byte, id}, range, dst, dst_size);
}

Outcome ConvertFromUtf8Between(EncodingId id, const SourceRange& range, void* dst, size_t dst_size,
                               int32_t replacement) {
    switch (id) {
        case kEncodingUtf16: return Convert(Utf8Source{}, Utf16Target{}, range, dst, dst_size);
        case kEncodingUtf32: return Convert(Utf8Source{}, Utf32Target{}, range, dst, dst_size);
        default:
            if (IsCodePage(id)) {
                return ConvertToCodePage(id, range, dst, dst_size, replacement);
            }
            // An unknown id fails at the first character decoded.
            return Convert(Utf8Source{}, RefusingTarget{}, range, dst, dst_size);
    }
}

// ASCII text is the same characters unit for unit in UTF-16: copies
// `length` bytes of it widened to UTF-16 units, which is what the
// conversion makes of them, a block at a time where it can. False, leaving
// the rest to the conversion, at the first byte from 0x80 up.
bool WidenAscii(const char* src, size_t length, void* dst) {
    const auto* in = reinterpret_cast<const uint8_t*>(src);
    auto* out = static_cast<uint8_t*>(dst);
    for (size_t i = 0; i < length;) {
        if (length - i >= kAsciiBlock &&
            ConvertAsciiBlock<uint8_t, char16_t>(in + i, out + i * sizeof(char16_t))) {
            i += kAsciiBlock;
            continue;
        }
        const char16_t unit = in[i];
        if (unit >= 0x80) {
            return false;
        }
        std::memcpy(out + i * sizeof unit, &unit, sizeof unit);  // dst need not be aligned
        ++i;
    }
    return true;
}

}  // namespace

uint64_t ConvertToUtf8(EncodingId id, const void* src, size_t src_len, void* dst, size_t dst_size,
                       const void** src_end_out, void** dst_end_out) {
    if (ArgumentsRefused(id, src, dst, dst_size)) {
        return 0;
    }
    const auto* begin = static_cast<const uint8_t*>(src);
    if (src_len != kNulTerminated) {
        const SourceRange range{begin, begin + src_len, begin + src_len};
        return Deliver(ConvertToUtf8Between(id, range, dst, dst_size), src_end_out, dst_end_out);
    }
    // The terminator is always decoded, so an unknown id fails there.
    if (!EncodingIdValid(id)) {
        return 0;
    }
    // The NUL character is the last one converted, or in stream mode the
    // first one not converted; a character before it may still read into it.
    const uint8_t* terminator = TerminatorOf(id, begin);
    const uint8_t* after = terminator + MinCharBytes(id);
    const SourceRange range{begin, StreamMode(dst, dst_size) ? terminator : after, after};
    return Deliver(ConvertToUtf8Between(id, range, dst, dst_size), src_end_out, dst_end_out);
}

uint64_t ConvertFromUtf8(EncodingId id, const char* src, size_t src_len, void* dst, size_t dst_size,
                         const char** src_end_out, void** dst_end_out, int32_t replacement) {
    if (ArgumentsRefused(id, src, dst, dst_size)) {
        return 0;
    }
    if (src_len == kNulTerminated) {
        src_len = Utf8Length(src) + (StreamMode(dst, dst_size) ? 0 : 1);
    }
    const auto* begin = reinterpret_cast<const uint8_t*>(src);
    const bool whole_fits = src_len != 0 && dst_size / sizeof(char16_t) >= src_len;
    if (id == kEncodingUtf16 && whole_fits && WidenAscii(src, src_len, dst)) {
        auto* end = static_cast<uint8_t*>(dst) + src_len * sizeof(char16_t);
        return Deliver(Outcome{true, src_len * sizeof(char16_t), begin + src_len, end, true},
                       src_end_out, dst_end_out);
    }
    const SourceRange range{begin, begin + src_len, begin + src_len};
    return Deliver(ConvertFromUtf8Between(id, range, dst, dst_size, replacement), src_end_out,
                   dst_end_out);
}

uint64_t ConvertUtf8TextToUtf16(const char* src, size_t bytes, char16_t* dst) {
    const char* end = nullptr;
    const uint64_t written = ConvertFromUtf8(kEncodingUtf16, src, bytes, dst,
                                             bytes * sizeof(char16_t), &end, nullptr, 0);
    return end == src + bytes ? written : 0;
}

void* ConvertUtf8Utf16(bool to_utf16, const void* src, void* dst, size_t dst_size) {
    // Reads as an empty string in UTF-8 and UTF-16; callers only read it.
    static const char kEmpty[4] = {};
    uint64_t count = 0;
    if (!to_utf16) {
        count = ConvertToUtf8(kEncodingUtf16, src, kNulTerminated, dst, dst_size, nullptr, nullptr);
    } else {
        // With room for the whole text, a stop before its end is a sequence
        // cut short, not a full buffer.
        const auto* text = static_cast<const char*>(src);
        const size_t bytes = text != nullptr ? Utf8Length(text) + 1 : 0;
        count = bytes != 0 && dst != nullptr && dst_size / sizeof(char16_t) >= bytes
                    ? ConvertUtf8TextToUtf16(text, bytes, static_cast<char16_t*>(dst))
                    : ConvertFromUtf8(kEncodingUtf16, text, kNulTerminated, dst, dst_size, nullptr,
                                      nullptr, 0);
    }
    return count != 0 ? dst : const_cast<char*>(kEmpty);
}

}  // namespace faultkit
