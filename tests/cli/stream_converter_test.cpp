// The tool's streaming converter: what each policy makes of the characters
// that do not convert, and that neither the output nor what is reported
// depends on the blocks the input arrives in.
#include "stream_converter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <string>
#include <vector>

namespace faultkit::cli {
namespace {

using Bytes = std::string;
using namespace std::string_literals;

constexpr ByteOrder kLe = ByteOrder::kLittle, kBe = ByteOrder::kBig;
const StreamEncoding U8{kEncodingUtf8}, U16{kEncodingUtf16, kLe, true}, U16LE{kEncodingUtf16, kLe},
    U16BE{kEncodingUtf16, kBe}, U32{kEncodingUtf32, kLe, true}, U32LE{kEncodingUtf32, kLe},
    U32BE{kEncodingUtf32, kBe}, UCS2{kEncodingUtf16, kLe, false, true},
    UCS2BE{kEncodingUtf16, kBe, false, true}, ASCII{1}, LATIN1{2}, GREEK{8}, ISO16{16}, CP1252{17};

struct Result {
    Bytes output;
    bool finished = false;  // not stopped
    uint64_t problems = 0;
    Problem first;
};

// Feeds `src` in blocks whose sizes next_size() picks, up to the room the
// converter offers.
template <typename NextSize>
Result Feed(const ConversionSettings& settings, const Bytes& src, size_t block,
            NextSize&& next_size) {
    StreamConverter converter;
    EXPECT_TRUE(converter.Open(settings, block));
    Result result;
    bool going = true;
    for (size_t at = 0; going;) {
        const size_t size = std::min({next_size(), converter.InputRoom(), src.size() - at});
        std::copy_n(src.data() + at, size, converter.InputSpace());
        at += size;
        going = size == 0 ? converter.Finish() : converter.Convert(size);
        result.output.append(reinterpret_cast<const char*>(converter.Output()),
                             converter.OutputSize());
        result.finished = going && size == 0;
        going = going && size != 0;
    }
    result.problems = converter.problems();
    result.first = converter.first_problem();
    return result;
}

Result RunInBlocksOf(const ConversionSettings& settings, const Bytes& src, size_t size) {
    return Feed(settings, src, 4096, [size] { return size; });
}

// One case: the expected output as pieces of target bytes, where R marks a
// character that does not convert; replacing, dropping and stopping all
// follow from it.
const Bytes R = "\xFF<R>"s;

struct Case {
    StreamEncoding from, to;
    Bytes src;
    std::vector<Bytes> pieces;
    ProblemKind kind;  // of the first problem; kNone: there is none
    uint64_t offset;
    uint32_t value;
};

Bytes Expected(const Case& c, Policy policy) {
    const bool code_page = IsCodePage(c.to.id);
    const Bytes replacement = code_page                   ? "?"s
                              : c.to.id == kEncodingUtf8  ? "\xEF\xBF\xBD"s
                              : c.to.id == kEncodingUtf32 ? "\xFD\xFF\0\0"s
                              : c.to.order == kBe         ? "\xFF\xFD"s
                                                          : "\xFD\xFF"s;
    Bytes out;
    for (const Bytes& piece : c.pieces) {
        if (piece == R && policy == Policy::kStop) {
            break;
        }
        out += piece == R ? (policy == Policy::kReplace ? replacement : "") : piece;
    }
    if (c.to.byte_order_mark && !out.empty()) {
        out = (c.to.id == kEncodingUtf16 ? "\xFF\xFE"s : "\xFF\xFE\0\0"s) + out;
    }
    return out;
}

using P = ProblemKind;
const Case kCases[] = {
    // The source yields no valid character.
    {U32LE, U8, "\0\0\x11\0"s, {R}, P::kAboveUnicode, 0, 0x110000},
    {U32BE, U8, "\0\0\0a\0\0\xD8\0"s, {"a", R}, P::kSurrogate, 4, 0xD800},
    {U8, U16LE, "\xED\xA0\x80"s, {R, R, R}, P::kSurrogate, 0, 0xD800},
    {U8, U8, "a\xED\xA0\x80\x62"s, {"a", R, R, R, "b"}, P::kSurrogate, 1, 0xD800},
    {U8, U8, "\xC0\x80"s, {R, R}, P::kOverlong, 0, 0},
    {U8, U8, "\xE0\x80\xAF"s, {R, R, R}, P::kOverlong, 0, '/'},
    {U8, U8, "\xF4\x90\x80\x80"s, {R, R, R, R}, P::kAboveUnicode, 0, 0x110000},
    {U8, U8, "\xF8\x88\x80\x80\x80"s, {R, R, R, R, R}, P::kAboveUnicode, 0, 0x200000},
    {U8, U8, "\xE2\x82\x41\xFF"s, {R, "A", R}, P::kInvalidByte, 0, 0xE2},
    {U8, U32LE, "x\xE2\x82"s, {"x\0\0\0"s, R}, P::kCutShort, 1, 0},
    {U16LE, U8, "\0\xD8\x62\0"s, {R, "b"}, P::kSurrogate, 0, 0xD800},
    {U16LE, U8, "\0\xDC"s, {R}, P::kSurrogate, 0, 0xDC00},
    {U16LE, U8, "a\0\0\xD8"s, {"a", R}, P::kCutShort, 2, 0},
    {U16BE, U8, "\0a\xD8"s, {"a", R}, P::kCutShort, 2, 0},
    {UCS2, U8, "\0\xD8\0\xDC"s, {R, R}, P::kSurrogate, 0, 0xD800},
    {CP1252, U8, "a\x81"s, {"a", R}, P::kUnmappedByte, 1, 0x81},
    {ASCII, U16LE, "\x80"s, {R}, P::kUnmappedByte, 0, 0x80},
    {LATIN1, U8, "\x7F\x9F\xE9"s, {R, R, "\xC3\xA9"}, P::kUnmappedByte, 0, 0x7F},
    // The target lacks the character.
    {U8, LATIN1, "a\xE2\x82\xAC\x62"s, {"a", R, "b"}, P::kNotInTarget, 1, 0x20AC},
    {U8, LATIN1, "~\x7F"s, {"~", R}, P::kNotInTarget, 1, 0x7F},
    {U8, UCS2BE, "a\xF0\x9F\x98\x80"s, {"\0a"s, R}, P::kNotInTarget, 1, 0x1F600},
    {U16LE, GREEK, "\xAC\x20\xBD\x02"s, {R, "\xA1"}, P::kNotInTarget, 0, 0x20AC},
    {U8, U16, "\xFF"s, {R}, P::kInvalidByte, 0, 0xFF},
    // Everything converts: byte orders and marks.
    {ISO16, U8, "\x7F\xA4"s, {"\x7F\xE2\x82\xAC"}, P::kNone, 0, 0},
    {U8, U16BE, "\xF0\x9F\x98\x80"s, {"\xD8\x3D\xDE\x00"s}, P::kNone, 0, 0},
    {U8, U32BE, "\xC3\xA9"s, {"\0\0\0\xE9"s}, P::kNone, 0, 0},
    {U16, U8, "\xFE\xFF\0a"s, {"a"}, P::kNone, 0, 0},
    {U16, U16, "a\0"s, {"a\0"s}, P::kNone, 0, 0},
    {U16, U8, "\xFF\xFE\xFF\xFE\x61\0"s, {"\xEF\xBB\xBF\x61"}, P::kNone, 0, 0},
    {U32, U16LE, "\0\0\xFE\xFF\0\0\0a"s, {"a\0"s}, P::kNone, 0, 0},
    {U32, U16BE, "\xFF\xFE\0\0\xE9\0\0\0"s, {"\0\xE9"s}, P::kNone, 0, 0},
    {U8, U32, "\xEF\xBB\xBF"s, {"\xFF\xFE\0\0"s}, P::kNone, 0, 0},
    {U8, U16, ""s, {}, P::kNone, 0, 0},
};

TEST(StreamConverter, EachPolicyTreatsTheCharactersThatDoNotConvertAlike) {
    for (const Case& c : kCases) {
        for (const Policy policy : {Policy::kReplace, Policy::kDrop, Policy::kStop}) {
            for (const size_t block : {size_t{1}, size_t{2}, size_t{3}, size_t{64}}) {
                SCOPED_TRACE(testing::Message()
                             << "case " << (&c - kCases) << ", policy " << static_cast<int>(policy)
                             << ", blocks of " << block);
                const Result result =
                    RunInBlocksOf(ConversionSettings{c.from, c.to, policy}, c.src, block);
                EXPECT_EQ(result.output, Expected(c, policy));
                EXPECT_EQ(result.finished, policy != Policy::kStop || c.kind == P::kNone);
                EXPECT_EQ(result.first.kind, c.kind);
                EXPECT_EQ(result.first.offset, c.offset);
                EXPECT_EQ(result.first.value, c.value);
                const auto marked = std::count(c.pieces.begin(), c.pieces.end(), R);
                EXPECT_EQ(result.problems, policy == Policy::kStop ? marked != 0 : marked);
            }
        }
    }
}

bool SameProblem(const Problem& a, const Problem& b) {
    return a.kind == b.kind && a.offset == b.offset && a.value == b.value;
}

// Random strings of the cases' sources, read as any case's source encoding
// and written in any case's target: whatever the blocks, the same output
// and the same problems as in one block; replacing and dropping meet the
// same problems, and stopping stops at the first of them with what came
// before it; the output converts back without a problem.
TEST(StreamConverter, BlocksChangeNothingAndTheOutputIsWellFormed) {
    std::mt19937 random(20260302);
    auto any_case = [&]() -> const Case& { return kCases[random() % std::size(kCases)]; };
    for (int trial = 0; trial < 1500; ++trial) {
        const StreamEncoding from = any_case().from, to = any_case().to;
        Bytes src;
        for (auto pieces = random() % 16; pieces > 0; --pieces) {
            src += any_case().src;
        }
        const size_t largest = 1 + random() % 16;
        SCOPED_TRACE(testing::Message() << "trial " << trial << ": " << from.id << " to " << to.id
                                        << ", " << testing::PrintToString(src));
        Result whole[3];
        for (const Policy policy : {Policy::kReplace, Policy::kDrop, Policy::kStop}) {
            const ConversionSettings settings{from, to, policy};
            const Result one = RunInBlocksOf(settings, src, src.size() + 1);
            const Result blocks =
                Feed(settings, src, 1 + random() % 64, [&] { return 1 + random() % largest; });
            EXPECT_EQ(blocks.output, one.output);
            EXPECT_EQ(blocks.problems, one.problems);
            EXPECT_TRUE(SameProblem(blocks.first, one.first));
            whole[static_cast<int>(policy)] = one;
        }
        const Result &replaced = whole[0], &dropped = whole[1], &stopped = whole[2];
        EXPECT_EQ(dropped.problems, replaced.problems);
        EXPECT_TRUE(SameProblem(stopped.first, replaced.first));
        EXPECT_EQ(stopped.finished, replaced.problems == 0);
        EXPECT_EQ(replaced.output.compare(0, stopped.output.size(), stopped.output), 0);
        EXPECT_EQ(dropped.output.compare(0, stopped.output.size(), stopped.output), 0);
        for (const Result* result : {&replaced, &dropped}) {
            EXPECT_EQ(RunInBlocksOf(ConversionSettings{to, U8, Policy::kStop}, result->output, 4096)
                          .problems,
                      0u);
        }
    }
}

TEST(StreamConverter, AFullBlockOfTheLargestGrowthFits) {
    // Every byte becomes four: an unmapped code-page byte as U+FFFD in UTF-32.
    const size_t block = 4096;
    const Result result = Feed(ConversionSettings{ASCII, U32, Policy::kReplace},
                               Bytes(3 * block, '\xFF'), block, [] { return size_t{1} << 20; });
    EXPECT_EQ(result.output.size(), 4 + 4 * 3 * block);
    EXPECT_EQ(result.problems, 3 * block);
}

}  // namespace
}  // namespace faultkit::cli
