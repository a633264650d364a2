// The library's conversions against the plain one-character-at-a-time
// reference loop, on random text in every encoding, mode and buffer size.
#include <gtest/gtest.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "recording_stream.h"
#include "text/encoding_conversion.h"
#include "text/reference_conversion.h"

namespace faultkit {
namespace {

using Bytes = std::vector<uint8_t>;

// Random text in encoding id, heavy in the cases that matter: ASCII runs
// (long enough for block moves), multi-byte characters, NULs and, rarely,
// bytes that are invalid or cut a character.
Bytes RandomText(std::mt19937& random, EncodingId id, size_t characters) {
    Bytes out;
    auto pick = [&](uint32_t n) { return static_cast<uint32_t>(random() % n); };
    for (size_t i = 0; i < characters; ++i) {
        uint32_t cp = 0x20 + pick(0x5F);
        switch (pick(12)) {
            case 0: cp = 0x80 + pick(0x780); break;
            case 1: cp = 0x800 + pick(0xF800); break;
            case 2: cp = 0x10000 + pick(0x100000); break;
            case 3: cp = pick(3) == 0 ? 0 : 0x7F; break;
            case 4: cp = pick(200) == 0 ? 0x7FFFFFFF - pick(0x7FFFFFF) : 0xD800 + pick(0x800); break;
            default: break;
        }
        uint8_t encoded[8];
        size_t size = 0;
        if (id == kEncodingUtf8) {
            size = static_cast<size_t>(Utf8EncodeChar(static_cast<int32_t>(cp), reinterpret_cast<char*>(encoded), nullptr));
        } else if (id == kEncodingUtf16) {
            size = static_cast<size_t>(Utf16EncodeChar(cp & 0x1FFFFF, encoded, nullptr));
        } else if (id == kEncodingUtf32) {
            size = static_cast<size_t>(Utf32EncodeChar(pick(300) == 0 ? 0x80000000u | cp : cp, encoded, nullptr));
        } else {
            encoded[0] = static_cast<uint8_t>(cp < 0x80 ? cp : pick(256));
            size = 1;
        }
        if (pick(150) == 0) {
            encoded[pick(static_cast<uint32_t>(size))] = static_cast<uint8_t>(random());
        }
        out.insert(out.end(), encoded, encoded + size);
    }
    return out;
}

struct Result {
    uint64_t count = 0;
    ptrdiff_t src_end = -1;
    ptrdiff_t dst_end = -1;
    Bytes dst;
    test::RecordingStream stream;
};

using ConvertFn = uint64_t (*)(bool, EncodingId, const void*, size_t, void*, size_t, const void**,
                               void**, int32_t);

uint64_t Library(bool to_utf8, EncodingId id, const void* src, size_t len, void* dst, size_t size,
                 const void** src_end, void** dst_end, int32_t replacement) {
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

// dst_size 0: counting, or stream when `stream` is set (failing the given
// writes where writes can be observed; then into a temporary file).
Result Run(ConvertFn convert, bool to_utf8, EncodingId id, const Bytes& src, size_t len,
           size_t dst_size, bool stream, const std::set<size_t>& failing) {
    Result r;
    r.dst.assign(dst_size, 0x5A);
    r.stream.failing = failing;
    FILE* file = nullptr;
    if (stream) {
        file = test::OpenRecordingStream(&r.stream);
        if (file == nullptr) {
            file = std::tmpfile();
        }
    }
    void* dst = stream ? static_cast<void*>(file) : dst_size != 0 ? r.dst.data() : nullptr;
    const void* src_end = nullptr;
    void* dst_end = nullptr;
    r.count = convert(to_utf8, id, src.data(), len, dst, dst_size, &src_end, &dst_end, 0x1A5);
    if (src_end != nullptr) {
        r.src_end = static_cast<const uint8_t*>(src_end) - src.data();
    }
    if (dst_end != nullptr) {
        r.dst_end = static_cast<uint8_t*>(dst_end) - r.dst.data();
    }
    if (file != nullptr) {
        std::rewind(file);
        int c = 0;
        while ((c = std::fgetc(file)) != EOF) {
            r.stream.data.push_back(static_cast<char>(c));
        }
        std::fclose(file);
    }
    return r;
}

void ExpectSame(bool to_utf8, EncodingId id, const Bytes& src, size_t len, size_t dst_size,
                bool stream, const std::set<size_t>& failing) {
    const Result expected = Run(test::ReferenceConvert, to_utf8, id, src, len, dst_size, stream, failing);
    const Result actual = Run(Library, to_utf8, id, src, len, dst_size, stream, failing);
    const std::string where = "to_utf8 " + std::to_string(to_utf8) + " id " + std::to_string(id) +
                              " len " + std::to_string(len) + " size " + std::to_string(dst_size) +
                              " stream " + std::to_string(stream);
    ASSERT_EQ(actual.count, expected.count) << where;
    ASSERT_EQ(actual.src_end, expected.src_end) << where;
    ASSERT_EQ(actual.dst_end, expected.dst_end) << where;
    ASSERT_EQ(actual.dst, expected.dst) << where;
    ASSERT_EQ(actual.stream.writes, expected.stream.writes) << where;
    ASSERT_EQ(actual.stream.data, expected.stream.data) << where;
}

TEST(ConversionEquivalence, MatchesTheReferenceLoopOnRandomText) {
    std::mt19937 random(20240611);
    for (EncodingId id = -3; id <= 18; ++id) {
        for (const bool to_utf8 : {true, false}) {
            const EncodingId source_id = to_utf8 ? id : kEncodingUtf8;
            for (int round = 0; round < 60; ++round) {
                const size_t characters = round % 10 == 9 ? 2500 + random() % 3000 : random() % 80;
                Bytes src = RandomText(random, EncodingIdValid(source_id) ? source_id : 1, characters);
                const size_t len = src.size() - (round % 3 == 0 && !src.empty() ? random() % 3 % src.size() : 0);
                const Bytes terminated = [&] {
                    Bytes t(src);
                    t.resize((t.size() + 3) / 4 * 4 + 4, 0);  // whole units, then a zero unit
                    return t;
                }();
                const std::set<size_t> failing = {random() % 4, random() % 4};
                for (const bool nul : {false, true}) {
                    const Bytes& text = nul ? terminated : src;
                    const size_t text_len = nul ? kNulTerminated : len;
                    ExpectSame(to_utf8, id, text, text_len, 0, false, {});
                    ExpectSame(to_utf8, id, text, text_len, 0, true, {});
                    ExpectSame(to_utf8, id, text, text_len, 0, true, failing);
                    for (size_t size : {size_t{1}, size_t{7}, 1 + random() % (4 * src.size() + 8),
                                        4 * src.size() + 8}) {
                        ExpectSame(to_utf8, id, text, text_len, size, false, {});
                    }
                }
            }
        }
    }
}

}  // namespace
}  // namespace faultkit
