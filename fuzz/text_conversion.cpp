// Converts text from or to one encoding id (the 20 valid ones and refused
// neighbours) in one mode (counting, buffer or stream), with an explicit
// length or NUL-terminated, at one vector level, and checks that
//  - nothing is read past the source or written past dst_size (the source
//    and destination are heap blocks of exactly their size);
//  - results, out pointers and bytes written are those of the plain
//    one-character-at-a-time reference loop;
//  - UTF-8 -> X -> UTF-8 gives the text back for text that X can represent.
// Input: byte 0 picks the buffer size, byte 1 the replacement, byte 2 the
// direction (bit 0), the vector level (bits 1-2), whether the text is raw
// or generated (bit 3), the mode (bits 4-5) and whether the text is passed
// with its length or NUL-terminated (bit 6), byte 3 the encoding id; the
// rest is the text, or the program that generates it (see Generate), which
// makes long runs of one kind of character, and so the vector paths, easy
// to reach. Choosing one of each an input, rather than running them all,
// keeps an execution short; the fuzzer varies the choice like any other
// byte.
#include <algorithm>
#include <vector>

#include "fuzz_input.h"
#include "support/reference_conversion.h"
#include "text/convert/encoding_conversion.h"
#include "text/encoding/code_page_tables.h"
#include "text/encoding/utf8.h"
#include "text/simd/dispatch.h"

namespace {

using faultkit::EncodingId;
using Bytes = std::vector<uint8_t>;

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

// mode: 0 counting, 1 buffer of dst_size bytes, 2 stream. Fills `o`, whose
// vector keeps its capacity from run to run.
FAULTKIT_NO_COVERAGE void Run(decltype(&Library) convert, bool to_utf8, EncodingId id,
                              const Bytes& src, size_t len, int mode, size_t dst_size,
                              int32_t replacement, Outcome& o) {
    // Fully buffered, so that reading back costs few system calls.
    static FILE* stream = [] {
        FILE* file = std::tmpfile();
        if (file != nullptr) {
            std::setvbuf(file, nullptr, _IOFBF, 1 << 16);
        }
        return file;
    }();
    o.count = 0;
    o.src_end = nullptr;
    o.dst_end = nullptr;
    o.written.clear();
    if (mode == 2 && stream == nullptr) {
        return;
    }
    uint8_t* buffer = mode == 1 ? static_cast<uint8_t*>(std::malloc(dst_size)) : nullptr;
    if (buffer != nullptr) {
        std::memset(buffer, 0xA5, dst_size);
    } else if (mode == 2) {
        std::rewind(stream);
    }
    void* dst = mode == 1   ? static_cast<void*>(buffer)
                : mode == 2 ? static_cast<void*>(stream)
                            : nullptr;
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
        o.dst_end = o.dst_end != nullptr
                        ? reinterpret_cast<void*>(static_cast<uint8_t*>(o.dst_end) - buffer)
                        : nullptr;
        std::free(buffer);
    } else if (mode == 2) {
        std::fflush(stream);
        const long size = std::ftell(stream);
        std::rewind(stream);
        o.written.resize(static_cast<size_t>(size));
        Check(std::fread(o.written.data(), 1, o.written.size(), stream) == o.written.size(),
              "read back");
        // A failed conversion (no source end) leaves what it already wrote.
        Check(o.src_end == nullptr || o.written.size() == o.count,
              "stream result counts the bytes written");
    }
}

FAULTKIT_NO_COVERAGE void CompareWithReference(bool to_utf8, EncodingId id, const Bytes& src,
                                               size_t len, int mode, size_t dst_size,
                                               int32_t replacement) {
    static Outcome a;
    static Outcome b;
    Run(Library, to_utf8, id, src, len, mode, dst_size, replacement, a);
    Run(faultkit::test::ReferenceConvert, to_utf8, id, src, len, mode, dst_size, replacement, b);
    Check(a.count == b.count, "result");
    Check(a.src_end == b.src_end, "source end");
    Check(a.dst_end == b.dst_end, "destination end");
    Check(a.written == b.written, "bytes written");
}

// Whether encoding id has a form for cp that decodes back to it: for a code
// page, whether its table maps a byte to cp.
bool Representable(EncodingId id, uint32_t cp) {
    if (id == faultkit::kEncodingUtf16) {
        return cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF);
    }
    if (id == faultkit::kEncodingUtf32) {
        return true;
    }
    const uint16_t* table = faultkit::CodePageTableOf(id);
    return cp < faultkit::kUnmappedCodePoint && std::find(table, table + 256, cp) != table + 256;
}

// Checked on the first kRoundTripBytes of the text: long texts are there
// for the runs and stages that the comparison with the reference covers.
constexpr size_t kRoundTripBytes = 2048;

FAULTKIT_NO_COVERAGE void CheckRoundTrip(EncodingId id, const Bytes& text) {
    const size_t length = std::min(text.size(), kRoundTripBytes);
    // The code points of the text's valid prefix, as the UTF-32 conversion
    // gives them (compared with the reference loop by other inputs): into a
    // buffer filled with a value no code point has, since a conversion that
    // meets an invalid character reports 0 but leaves what it wrote. The
    // buffers keep their capacity from input to input.
    static std::vector<uint32_t> code_points;
    static std::vector<char> utf8;
    static Bytes there;
    static Bytes back;
    code_points.assign(length + 1, 0xFFFFFFFF);
    faultkit::ConvertFromUtf8(faultkit::kEncodingUtf32, reinterpret_cast<const char*>(text.data()),
                              length, code_points.data(), code_points.size() * 4, nullptr, nullptr,
                              0);
    // The UTF-8 of the representable ones, no longer than the text.
    utf8.resize(length + 8);
    char* out = utf8.data();
    for (const uint32_t* cp = code_points.data(); *cp != 0xFFFFFFFF; ++cp) {
        if (Representable(id, *cp)) {
            out += faultkit::Utf8EncodeChar(static_cast<int32_t>(*cp), out, nullptr);
        }
    }
    const auto size = static_cast<size_t>(out - utf8.data());
    there.resize(size * 4 + 1);
    const uint64_t n = faultkit::ConvertFromUtf8(id, utf8.data(), size, there.data(), there.size(),
                                                 nullptr, nullptr, 0);
    back.resize(size + 1);
    const uint64_t m =
        faultkit::ConvertToUtf8(id, there.data(), n, back.data(), back.size(), nullptr, nullptr);
    Check(m == size && std::memcmp(back.data(), utf8.data(), size) == 0, "UTF-8 round trip");
}

// Appends cp in encoding `source`; a code page takes the low byte.
void Append(Bytes& text, EncodingId source, uint32_t cp) {
    uint8_t encoded[8];
    size_t size = 1;
    if (source == faultkit::kEncodingUtf8) {
        size = static_cast<size_t>(faultkit::Utf8EncodeChar(
            static_cast<int32_t>(cp & 0x7FFFFFFF), reinterpret_cast<char*>(encoded), nullptr));
    } else if (source == faultkit::kEncodingUtf16) {
        size = static_cast<size_t>(faultkit::Utf16EncodeChar(cp, encoded, nullptr));
    } else if (source == faultkit::kEncodingUtf32) {
        size = static_cast<size_t>(faultkit::Utf32EncodeChar(cp, encoded, nullptr));
    } else {
        encoded[0] = static_cast<uint8_t>(cp);
    }
    text.insert(text.end(), encoded, encoded + size);
}

// A text in encoding `source` from a program of op bytes: the low 3 bits
// pick what to append, the high 5 bits a count.
//   0 an ASCII character       1 a 2-byte UTF-8 one      2 a 3-byte one
//   3 a 4-byte one             4 one above U+10FFFF      5 a raw byte
//   6 the last character again, count + 1 times
//   7 a character of the code page `page` (the byte, from a code page)
// The values come from the bytes after the op.
// Built in a buffer that keeps its capacity from input to input.
const Bytes& Generate(FuzzInput& in, EncodingId source, EncodingId page) {
    constexpr size_t kLongest = 9000;  // past two stream stages of output
    static Bytes text;
    text.clear();
    size_t last = 0;  // where the last character starts
    while (in.size != 0 && text.size() < kLongest) {
        const uint8_t op = in.Byte();
        const uint32_t value = in.Value<uint32_t>() & 0xFFFFFF;
        const size_t start = text.size();
        switch (op & 7) {
            case 0: Append(text, source, value & 0x7F); break;
            case 1: Append(text, source, 0x80 + value % 0x780); break;
            case 2: Append(text, source, 0x800 + value % 0xF800); break;
            case 3: Append(text, source, 0x10000 + value % 0x100000); break;
            case 4: Append(text, source, 0x110000 + value * 97); break;
            case 5: text.push_back(static_cast<uint8_t>(value)); break;
            case 6:
                for (int i = 0; i <= op >> 3 && start != 0; ++i) {
                    text.insert(text.end(), text.begin() + static_cast<ptrdiff_t>(last),
                                text.begin() + static_cast<ptrdiff_t>(start));
                }
                continue;
            default:
                Append(text, source,
                       faultkit::IsCodePage(source) || !faultkit::IsCodePage(page)
                           ? value & 0xFF
                           : faultkit::CodePageTableOf(page)[value & 0xFF]);
                break;
        }
        last = start;
    }
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    const uint8_t size_byte = in.Byte();
    const size_t dst_size = 1 + size_byte % 64 * (size_byte >= 128 ? 97 : 1);
    const uint8_t replacement_byte = in.Byte();
    const int32_t replacement = replacement_byte % 4 == 0 ? 0 : replacement_byte * 3 + 1;
    const uint8_t choice = in.Byte();
    const bool to_utf8 = (choice & 1) != 0;
    faultkit::UseVectorLevel((choice >> 1) % faultkit::VectorLevelCount());
    const EncodingId id = -3 + in.Byte() % 22;
    // Text for an id out of range is made as for code page 1.
    const EncodingId source = !to_utf8                        ? faultkit::kEncodingUtf8
                              : faultkit::EncodingIdValid(id) ? id
                                                              : 1;
    // A heap block of exactly the text's size.
    const Bytes text =
        (choice & 8) != 0 ? Generate(in, source, id) : Bytes(in.data, in.data + in.size);
    // The NUL-terminated variant: whole 4-byte units, then a zero unit.
    const int mode = (choice >> 4) % 4 % 3;
    if ((choice & 0x40) == 0) {
        CompareWithReference(to_utf8, id, text, text.size(), mode, dst_size, replacement);
    } else {
        Bytes terminated((text.size() + 3) / 4 * 4 + 4, 0);
        std::copy(text.begin(), text.end(), terminated.begin());
        CompareWithReference(to_utf8, id, terminated, faultkit::kNulTerminated, mode, dst_size,
                             replacement);
    }
    if (faultkit::EncodingIdValid(id) && id != faultkit::kEncodingUtf8 && !to_utf8) {
        CheckRoundTrip(id, text);
    }
    return 0;
}
