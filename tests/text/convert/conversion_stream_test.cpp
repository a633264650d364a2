// Stream mode: output staged in 4096 bytes and handed to fwrite.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "support/recording_stream.h"
#include "text/convert/encoding_conversion.h"

namespace faultkit {
namespace {

using test::OpenRecordingStream;
using test::OpenScratchFile;
using test::RecordingStream;

// `count` copies of 'A' in UTF-16 followed by a terminator.
std::vector<char16_t> AsciiUtf16(size_t count) {
    std::vector<char16_t> units(count, u'A');
    units.push_back(0);
    return units;
}

struct StreamResult {
    uint64_t result;
    ptrdiff_t src_end_units;  // -1: the source end was not set
};

StreamResult StreamUtf16(const std::vector<char16_t>& src, FILE* file) {
    const void* src_end = nullptr;
    const uint64_t result =
        ConvertToUtf8(kEncodingUtf16, src.data(), kNulTerminated, file, 0, &src_end, nullptr);
    return {result, src_end ? static_cast<const char16_t*>(src_end) - src.data() : -1};
}

#define SKIP_WITHOUT_RECORDING(file) \
    if ((file) == nullptr) GTEST_SKIP() << "fwrite calls are observed through fopencookie"

// Full stages, then the rest without the terminator. A failed write is
// retried once after the loop, then its characters are dropped; an invalid
// character fails the conversion and drops what is staged.
TEST(ConversionStream, StagesRetriesAndDrops) {
    const struct {
        size_t characters;
        size_t invalid_at;  // 0: none; else a high surrogate without its low one there
        std::set<size_t> failing;
        std::vector<size_t> writes;
        uint64_t result;
        ptrdiff_t src_end_units;
    } cases[] = {
        {5000, 0, {}, {4096, 904}, 5000, 5000},  // the end at the terminator
        // In-loop write fails, the retry after the loop succeeds.
        {5000, 0, {0}, {4096, 4096}, 4096, 4096},
        // Both fail: nothing counts and the source end goes back to the start.
        {5000, 0, {0, 1}, {4096, 4096}, 0, 0},
        // The last write fails: its characters are dropped.
        {5000, 0, {1}, {4096, 904}, 4096, 4096},
        {10000, 0, {1, 2}, {4096, 4096, 4096}, 4096, 4096},
        {10000, 0, {1}, {4096, 4096, 4096}, 8192, 8192},
        {5000, 4500, {}, {4096}, 0, -1},
    };
    for (const auto& c : cases) {
        std::vector<char16_t> src = AsciiUtf16(c.characters);
        if (c.invalid_at != 0) {
            src[c.invalid_at] = 0xD800;
        }
        RecordingStream recording;
        recording.failing = c.failing;
        FILE* file = OpenRecordingStream(&recording);
        SKIP_WITHOUT_RECORDING(file);
        const StreamResult r = StreamUtf16(src, file);
        std::fclose(file);
        EXPECT_EQ(recording.writes, c.writes) << c.characters;
        EXPECT_EQ(r.result, c.result) << c.characters;
        EXPECT_EQ(r.src_end_units, c.src_end_units) << c.characters;
        if (c.invalid_at == 0) {  // the result counts the bytes delivered
            EXPECT_EQ(recording.data, std::string(c.result, 'A')) << c.characters;
        }
    }
}

TEST(ConversionStream, AStageEndsBeforeACharacterThatDoesNotFit) {
    std::string src(4095, 'a');
    src += "\xC3\xA9";
    std::vector<char16_t> from(4095, u'a');
    from.push_back(u'\u00E9');
    from.push_back(0);
    RecordingStream recording;
    FILE* file = OpenRecordingStream(&recording);
    SKIP_WITHOUT_RECORDING(file);
    EXPECT_EQ(StreamUtf16(from, file).result, 4097u);
    EXPECT_EQ(recording.writes, (std::vector<size_t>{4095, 2}));
    EXPECT_EQ(recording.data, src);
    // From UTF-8, with the terminator left out as well.
    recording.writes.clear();
    EXPECT_EQ(ConvertFromUtf8(2, src.c_str(), kNulTerminated, file, 0, nullptr, nullptr, 0), 4096u);
    EXPECT_EQ(recording.writes, (std::vector<size_t>{4096}));
    // Nothing to write: no fwrite at all.
    recording.writes.clear();
    EXPECT_EQ(StreamUtf16(AsciiUtf16(0), file).result, 0u);
    EXPECT_TRUE(recording.writes.empty());
    std::fclose(file);
}

// Portable checks through a real file.
TEST(ConversionStream, WritesToAFile) {
    FILE* file = OpenScratchFile();
    ASSERT_NE(file, nullptr);
    const std::vector<char16_t> src = AsciiUtf16(5000);
    EXPECT_EQ(StreamUtf16(src, file).result, 5000u);
    const char* utf8 = "\xE2\x82\xAC!";
    EXPECT_EQ(ConvertFromUtf8(kEncodingUtf32, utf8, kNulTerminated, file, 0, nullptr, nullptr, 0),
              8u);
    std::rewind(file);
    std::string content(9000, '\0');
    content.resize(std::fread(&content[0], 1, content.size(), file));
    std::fclose(file);
    const char32_t tail[] = U"\u20AC!";
    EXPECT_EQ(content,
              std::string(5000, 'A') + std::string(reinterpret_cast<const char*>(tail), 8));
}

TEST(ConversionStream, AStreamOpenedForReadingTakesNothing) {
    const char* path = "conversion_stream_test.tmp";
    FILE* created = std::fopen(path, "wb");
    ASSERT_NE(created, nullptr);
    std::fclose(created);
    FILE* file = std::fopen(path, "rb");
    ASSERT_NE(file, nullptr);
    const StreamResult r = StreamUtf16(AsciiUtf16(5000), file);
    std::fclose(file);
    std::remove(path);
    EXPECT_EQ(r.result, 0u);
    EXPECT_EQ(r.src_end_units, 0);
}

}  // namespace
}  // namespace faultkit
