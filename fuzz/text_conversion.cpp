// Converts arbitrary bytes from and to every encoding id (the 20 valid ones
// and refused neighbours) in counting, buffer and stream mode, with
// explicit lengths and NUL-terminated, and checks that
//  - nothing is read past the source or written past dst_size (the source
//    and destination are heap blocks of exactly their size);
//  - results, out pointers and bytes written are those of the plain
//    one-character-at-a-time reference loop;
//  - UTF-8 -> X -> UTF-8 gives the text back for text that X can represent.
// Input: byte 0 picks the buffer size, byte 1 the replacement; the rest is
// the text.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "text/code_page_tables.h"
#include "text/encoding_conversion.h"
#include "text/reference_conversion.h"
#include "text/utf8.h"

namespace {

using faultkit::EncodingId;
using Bytes = std::vector<uint8_t>;

void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}

uint64_t Library(bool to_utf8, EncodingId id, const void* src, size_t len, void* dst, size_t size,
                 const void** src_end, void** dst_end, int32_t replacement) {
    if (to_utf8) {
        return faultkit::ConvertToUtf8(id, src, len, dst, size, src_end, dst_end);
    }
    const char* end = nullptr;
    const uint64_t n = faultkit::ConvertFromUtf8(id, static_cast<const char*>(src), len, dst, size,
                                                 &end, dst_end, replacement);
    if (end != nullptr) {
        *src_end = end;
    }
    return n;
}

struct Outcome {
    uint64_t count;
    const void* src_end;
    void* dst_end;
    Bytes written;  // the buffer, or what reached the stream
};

// mode: 0 counting, 1 buffer of dst_size bytes, 2 stream.
Outcome Run(decltype(&Library) convert, bool to_utf8, EncodingId id, const Bytes& src, size_t len,
            int mode, size_t dst_size, int32_t replacement) {
    static FILE* stream = std::tmpfile();
    Outcome o{0, nullptr, nullptr, {}};
    if (mode == 2 && stream == nullptr) {
        return o;
    }
    uint8_t* buffer = mode == 1 ? static_cast<uint8_t*>(std::malloc(dst_size)) : nullptr;
    if (buffer != nullptr) {
        std::memset(buffer, 0xA5, dst_size);
    } else if (mode == 2) {
        std::rewind(stream);
    }
    void* dst = mode == 1 ? static_cast<void*>(buffer) : mode == 2 ? static_cast<void*>(stream) : nullptr;
    o.count = convert(to_utf8, id, src.data(), len, dst, mode == 1 ? dst_size : 0, &o.src_end,
                      &o.dst_end, replacement);
    if (o.src_end != nullptr) {
        const auto* s = static_cast<const uint8_t*>(o.src_end);
        Check(s >= src.data() && s <= src.data() + src.size(), "source end inside the source");
    }
    if (buffer != nullptr) {
        Check(o.count <= dst_size, "result within the buffer");
        Check(o.dst_end == nullptr || o.dst_end == buffer + o.count, "destination end");
        o.written.assign(buffer, buffer + dst_size);
        o.dst_end = o.dst_end != nullptr ? reinterpret_cast<void*>(static_cast<uint8_t*>(o.dst_end) - buffer) : nullptr;
        std::free(buffer);
    } else if (mode == 2) {
        std::fflush(stream);
        const long size = std::ftell(stream);
        std::rewind(stream);
        o.written.resize(static_cast<size_t>(size));
        Check(std::fread(o.written.data(), 1, o.written.size(), stream) == o.written.size(), "read back");
        // A failed conversion (no source end) leaves what it already wrote.
        Check(o.src_end == nullptr || o.written.size() == o.count,
              "stream result counts the bytes written");
    }
    return o;
}

void CompareWithReference(bool to_utf8, EncodingId id, const Bytes& src, size_t len,
                          size_t dst_size, int32_t replacement) {
    for (int mode = 0; mode < 3; ++mode) {
        const Outcome a = Run(Library, to_utf8, id, src, len, mode, dst_size, replacement);
        const Outcome b = Run(faultkit::test::ReferenceConvert, to_utf8, id, src, len, mode,
                              dst_size, replacement);
        Check(a.count == b.count, "result");
        Check(a.src_end == b.src_end, "source end");
        Check(a.dst_end == b.dst_end, "destination end");
        Check(a.written == b.written, "bytes written");
    }
}

// Whether encoding id has a form for cp that decodes back to it.
bool Representable(EncodingId id, uint32_t cp) {
    if (id == faultkit::kEncodingUtf16) {
        return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    }
    if (id == faultkit::kEncodingUtf32) {
        return true;
    }
    for (int b = 0; b < 256; ++b) {
        if (faultkit::CodePageTableOf(id)[b] == cp && cp != faultkit::kUnmappedCodePoint) {
            return true;
        }
    }
    return false;
}

void CheckRoundTrip(const Bytes& text) {
    // The code points of the text's valid UTF-8 prefix.
    std::vector<uint32_t> cps;
    const char* p = reinterpret_cast<const char*>(text.data());
    const char* end = p + text.size();
    while (p < end) {
        uint32_t cp = 0;
        bool error = false;
        if (!faultkit::Utf8DecodeChar(p, &cp, &p, &error, static_cast<int32_t>(end - p))) {
            break;
        }
        cps.push_back(cp);
    }
    for (EncodingId id = faultkit::kEncodingUtf16; id <= faultkit::kLastCodePage; ++id) {
        std::vector<char> utf8;
        for (const uint32_t cp : cps) {
            if (Representable(id, cp)) {
                char encoded[8];
                const int n = faultkit::Utf8EncodeChar(static_cast<int32_t>(cp), encoded, nullptr);
                utf8.insert(utf8.end(), encoded, encoded + n);
            }
        }
        Bytes there(utf8.size() * 4 + 1);
        const uint64_t n = faultkit::ConvertFromUtf8(id, utf8.data(), utf8.size(), there.data(),
                                                     there.size(), nullptr, nullptr, 0);
        Bytes back(utf8.size() + 1);
        const uint64_t m = faultkit::ConvertToUtf8(id, there.data(), n, back.data(), back.size(),
                                                   nullptr, nullptr);
        Check(m == utf8.size() && (utf8.empty() || std::memcmp(back.data(), utf8.data(), m) == 0),
              "UTF-8 round trip");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) {
        return 0;
    }
    const size_t dst_size = 1 + data[0] % 64 * (data[0] >= 128 ? 97 : 1);
    const int32_t replacement = data[1] % 4 == 0 ? 0 : data[1] * 3 + 1;
    const Bytes text(data + 2, data + size);
    // The NUL-terminated variant: whole 4-byte units, then a zero unit.
    Bytes terminated(text);
    terminated.resize((terminated.size() + 3) / 4 * 4 + 4, 0);
    for (EncodingId id = -3; id <= 18; ++id) {
        for (const bool to_utf8 : {true, false}) {
            CompareWithReference(to_utf8, id, text, text.size(), dst_size, replacement);
            CompareWithReference(to_utf8, id, terminated, faultkit::kNulTerminated, dst_size,
                                 replacement);
        }
    }
    CheckRoundTrip(text);
    return 0;
}
