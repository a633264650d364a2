#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>

#include "support/context_test_util.h"

namespace faultkit::test {
namespace {

// Checks that the list holds exactly one record of `type` with `value`.
template <typename T>
void ExpectOne(const ListPtr& list, uint16_t type, T value) {
    ASSERT_NE(list, nullptr);
    const auto items = Items(list.get());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].type, type);
    EXPECT_EQ(items[0].size, sizeof(T));
    EXPECT_EQ(items[0].next, 0u);
    EXPECT_EQ(PayloadOf<T>(items[0]), value);
}

TEST(ContextBuilder, ConversionTableGivesTypesSizesAndValues) {
    ExpectOne(Build("%c", 0x141), CtxChar, uint8_t{0x41});
    ExpectOne(Build("%i", -7), CtxInt32, int32_t{-7});
    ExpectOne(Build("%li", -5), CtxInt32, int32_t{-5});
    ExpectOne(Build("%hi", 0x18000), CtxInt32, int32_t{-32768});
    ExpectOne(Build("%hhi", 255), CtxInt32, int32_t{-1});
    ExpectOne(Build("%lli", INT64_MIN), CtxInt64, INT64_MIN);
    ExpectOne(Build("%ti", -3LL), CtxPtrDiff, int64_t{-3});
    ExpectOne(Build("%zi", -4LL), CtxPtrDiff, int64_t{-4});
    ExpectOne(Build("%r", 0xBEEF), CtxHex32, uint32_t{0xBEEF});
    ExpectOne(Build("%f", 2.5), CtxDouble, 2.5);
    ExpectOne(Build("%Lf", -0.25), CtxLongDouble, -0.25);
    ExpectOne(Build("%u", 0xFFFFFFFFu), CtxUInt32, 0xFFFFFFFFu);
    ExpectOne(Build("%lu", 9u), CtxUInt32, 9u);
    ExpectOne(Build("%hu", 65535), CtxUInt32, 0xFFFFFFFFu);  // sign-widened
    ExpectOne(Build("%hhu", 0x80), CtxUInt32, 0xFFFFFF80u);
    ExpectOne(Build("%llu", UINT64_MAX), CtxUInt64, UINT64_MAX);
    ExpectOne(Build("%tu", 6ULL), CtxSize, uint64_t{6});
    ExpectOne(Build("%zu", 7ULL), CtxSize, uint64_t{7});
    int target = 0;
    ExpectOne(Build("%p", &target), CtxPointer,
              static_cast<uint64_t>(reinterpret_cast<uintptr_t>(&target)));
}

TEST(ContextBuilder, RecordsLieBackToBackWithTheirPayloadsCopied) {
    char text[] = "ab";
    ListPtr list = Build("%s", text);
    text[0] = 'x';
    auto items = Items(list.get());
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].type, CtxString);
    EXPECT_EQ(Bytes(items[0].payload, items[0].size), (std::vector<uint8_t>{'a', 'b', 0}));

    const uint8_t block[13] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13};
    list = Build("%m%m%i", 13ULL, block, 0ULL, static_cast<void*>(nullptr), 5);
    items = Items(list.get());
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(Bytes(items[0].payload, 13), Bytes(block, 13));
    EXPECT_EQ(PayloadOf<int32_t>(items[2]), 5);

    // Record layout and sizes beyond these: the build_context corpus replay.
    list.reset(ErrorMgrBuildContext(const_cast<char*>("%i%s"), 7, "ab"));
    EXPECT_EQ(ContextChainSize(list.get(), false), 39u);
    EXPECT_EQ(ContextChainSize(nullptr, false), 0u);
    EXPECT_EQ(ContextChainSize(nullptr, true), 0u);
    ListPtr twin(QelErrorMgrType::BuildContext(const_cast<char*>("%i%s"), 7, "ab"));
    EXPECT_EQ(ChainBytes(twin.get()), ChainBytes(list.get()));
}

// A dropped conversion that consumes shows up as the following %i reading the
// second argument; one that consumes nothing, as %i reading the first.
// Arguments of one class (integer or floating) are used, since the two
// classes travel apart on some ABIs.
TEST(ContextBuilder, DroppedConversionsConsumeExactlyTheirModifierArgument) {
    ExpectOne(Build("%d%i", 5, 6), CtxInt32, int32_t{5});
    ExpectOne(Build("%ld%i", 5, 6), CtxInt32, int32_t{6});
    ExpectOne(Build("%lf%i", 5, 6), CtxInt32, int32_t{6});
    ExpectOne(Build("%hc%i", 5, 6), CtxInt32, int32_t{6});
    ExpectOne(Build("%hhs%i", 5, 6), CtxInt32, int32_t{6});
    ExpectOne(Build("%llf%lli", 5LL, 6LL), CtxInt64, int64_t{6});
    ExpectOne(Build("%zp%lli", 5LL, 6LL), CtxInt64, int64_t{6});
    ExpectOne(Build("%Li%f", 1.0, 2.0), CtxDouble, 2.0);
    ExpectOne(Build("%Lu%f", 1.0, 2.0), CtxDouble, 2.0);
    ExpectOne(Build("%5s%i", 9), CtxInt32, int32_t{9});
    ExpectOne(Build("%-i%%i%x%i", 9), CtxInt32, int32_t{9});
    ExpectOne(Build("%.2f%f", 1.5), CtxDouble, 1.5);
}

// Nothing to record gives no list (formats that end inside a conversion: the
// build_context corpus replay); a payload beyond the budget of an empty list,
// 0xFFFFFFFF - 24 bytes, is dropped but its arguments are consumed.
TEST(ContextBuilder, WhatIsNotRecorded) {
    for (const char* format : {static_cast<const char*>(nullptr), "plain text",
                               "%d %x %o %e %g %n %%", "%", "%l", "%hh"}) {
        EXPECT_EQ(Build(format), nullptr) << (format != nullptr ? format : "null");
    }
    const uint8_t byte = 1;
    ExpectOne(Build("%m%i", 0xFFFFFFE8ULL, &byte, 4), CtxInt32, int32_t{4});
    ExpectOne(Build("%m%i", UINT64_MAX, &byte, 4), CtxInt32, int32_t{4});
}

TEST(ContextChain, SwapGivesNetworkHeadersAndLeavesUnsignedPayloads) {
    ListPtr list = Build("%i%u", 1, 1u);
    ContextChainSwap(list.get(), false);
    const std::vector<uint8_t> first = {0, 1, 0, 0, 0, 0, 0, 4, 0, 0, 0, 24, 0, 0, 0, 1};
    const std::vector<uint8_t> second = {0, 0x81, 0, 0, 0, 0, 0, 4, 0, 0, 0, 0};
    const auto* bytes = reinterpret_cast<const uint8_t*>(list.get());
    EXPECT_EQ(Bytes(bytes, 16), first);
    EXPECT_EQ(Bytes(bytes + 24, 12), second);
    const std::vector<uint8_t> payload =
        HostIsLittleEndian() ? std::vector<uint8_t>{1, 0, 0, 0} : std::vector<uint8_t>{0, 0, 0, 1};
    EXPECT_EQ(Bytes(bytes + 36, 4), payload);
    EXPECT_EQ(ContextChainSize(list.get(), true), 40u);
    EXPECT_EQ(ContextChainSwap(nullptr, true), nullptr);
}

}  // namespace
}  // namespace faultkit::test
