#include "text/encoding/reverse_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "text/encoding/code_page_tables.h"

namespace faultkit {
namespace {

const uint16_t kZeroMarker = 0x0000;

struct ExpandedBuffer {
    explicit ExpandedBuffer(void* p) : bytes(static_cast<uint8_t*>(p)) {}
    ~ExpandedBuffer() { std::free(bytes); }
    uint8_t* bytes;
};

TEST(RunStream, ExpandsLiteralsAndZeroRuns) {
    const uint8_t stream[] = {0xAD, 0xDE, 0x01, 0x00, 0x34, 0x12, 0x00,
                              0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00};
    ExpandedBuffer out(RunStreamExpand(stream, &kZeroMarker, 1));
    ASSERT_NE(out.bytes, nullptr);
    std::vector<uint8_t> expected(32, 0);
    expected[0] = 0x34;
    expected[1] = 0x12;
    EXPECT_EQ(std::vector<uint8_t>(out.bytes, out.bytes + 32), expected);

    EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 8, 0), 0x34u);
    EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 8, 1), 0x12u);
    EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 8, 2), 0u);
    EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 8, 40), 0u);
    // Narrower entries take the bits from the low end of the word up.
    const unsigned nibbles[] = {0x4, 0x3, 0x2, 0x1, 0x0};
    for (size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 4, i), nibbles[i]);
    }
    EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 1, 2), 1u);  // 0x1234 bit 2
    EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, 2, 1), 1u);  // bits 2-3
}

TEST(RunStream, SeveralMarkersAndTheOtherByteOrder) {
    const uint16_t markers[] = {0x0000, 0xFFFF};
    const uint8_t stream[] = {0xAD, 0xDE, 0x01, 0x00, 0xFF, 0xFF, 0x02,
                              0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    ExpandedBuffer out(RunStreamExpand(stream, markers, 2));
    EXPECT_EQ(std::vector<uint8_t>(out.bytes, out.bytes + 6),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}));
    EXPECT_EQ(RunStreamPeek(stream, markers, 2, 8, 3), 0xFFu);
    EXPECT_EQ(RunStreamPeek(stream, markers, 2, 8, 4), 0x01u);

    // Byte-order word stored swapped: data words are swapped before use,
    // the size and the counts are taken as stored.
    const uint8_t swapped[] = {0xDE, 0xAD, 0x01, 0x00, 0x12, 0x34, 0x00, 0x00,
                               0x02, 0x00, 0x56, 0x78, 0x00, 0x00, 0x00, 0x00};
    ExpandedBuffer swapped_out(RunStreamExpand(swapped, &kZeroMarker, 1));
    EXPECT_EQ(std::vector<uint8_t>(swapped_out.bytes, swapped_out.bytes + 8),
              (std::vector<uint8_t>{0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x78, 0x56}));
    EXPECT_EQ(RunStreamPeek(swapped, &kZeroMarker, 1, 8, 6), 0x78u);
}

TEST(RunStream, NeverWritesPastTheAnnouncedSize) {
    // Size 1 (32 bytes) but a run of 1000 words and a literal after it; the
    // heap buffer is exactly 32 bytes, so ASan sees any write past it.
    const uint8_t too_long[] = {0xAD, 0xDE, 0x01, 0x00, 0x00, 0x00, 0xE8,
                                0x03, 0x11, 0x11, 0x00, 0x00, 0x00, 0x00};
    ExpandedBuffer out(RunStreamExpand(too_long, &kZeroMarker, 1));
    EXPECT_EQ(std::vector<uint8_t>(out.bytes, out.bytes + 32), std::vector<uint8_t>(32, 0));
    // A stream that ends early leaves the rest zero.
    const uint8_t too_short[] = {0xAD, 0xDE, 0x02, 0x00, 0x11, 0x11, 0x00, 0x00, 0x00, 0x00};
    ExpandedBuffer short_out(RunStreamExpand(too_short, &kZeroMarker, 1));
    std::vector<uint8_t> expected(64, 0);
    expected[0] = expected[1] = 0x11;
    EXPECT_EQ(std::vector<uint8_t>(short_out.bytes, short_out.bytes + 64), expected);
}

// Fails the allocation with the given number (counted from 0) and passes
// every other one to malloc.
int g_allocations = 0;
int g_failing_allocation = -1;

void* FailingAllocate(size_t size) {
    return g_allocations++ == g_failing_allocation ? nullptr : std::malloc(size);
}

enum class SetState { kExpanded, kCompressedOnly, kNeither };

SetState StateOf(const ReverseTableSet& set) {
    EXPECT_FALSE(set.expanded != nullptr && set.compressed != nullptr);
    return set.expanded != nullptr     ? SetState::kExpanded
           : set.compressed != nullptr ? SetState::kCompressedOnly
                                       : SetState::kNeither;
}

// Every mapped byte of every page is found from its code point, which
// also fails when two bytes of a page share a code point.
void ExpectMappedBytesFound(const ReverseTableSet& set) {
    for (int id = 1; id <= kCodePageCount; ++id) {
        for (int b = 1; b < 256; ++b) {
            const uint16_t cp = CodePageTableOf(id)[b];
            if (cp != kUnmappedCodePoint) {
                ASSERT_EQ(ReverseLookup(set, cp, id), b) << "id " << id << " byte " << b;
            }
        }
        EXPECT_EQ(ReverseLookup(set, 0, id), 0);
    }
    // Code points that a page does not map.
    EXPECT_EQ(ReverseLookup(set, 0x20AC, 2), 0);
    EXPECT_EQ(ReverseLookup(set, 0x7F, 2), 0);
    EXPECT_EQ(ReverseLookup(set, 0xFFFF, 17), 0);
}

TEST(ReverseTableSet, EveryAllocationFailureLeavesAWorkingState) {
    // Allocation 0 is the compressed array, 1 the expanded array, then two
    // per code page (expansion buffer, block).
    const int kAllocations = 2 + 2 * kCodePageCount;
    for (int failing = 0; failing <= kAllocations; ++failing) {
        g_allocations = 0;
        g_failing_allocation = failing;
        ReverseTableSet set{};
        EXPECT_EQ(ReverseTablesLoad(&set, FailingAllocate), &set);
        const SetState expected = failing == 0             ? SetState::kNeither
                                  : failing < kAllocations ? SetState::kCompressedOnly
                                                           : SetState::kExpanded;
        EXPECT_EQ(StateOf(set), expected) << "failing allocation " << failing;
        ExpectMappedBytesFound(set);
        ReverseTablesUnload(&set);  // leaks of the fallback paths show under ASan
        EXPECT_EQ(StateOf(set), SetState::kNeither);
    }
}

// Every state finds the same byte for every code point, and only bytes
// that the forward table maps to it: the stored records add no mapping.
TEST(ReverseTableSet, AllStatesAgreeOnEveryCodePoint) {
    ReverseTableSet expanded{};
    ReverseTablesLoad(&expanded);
    g_allocations = 0;
    g_failing_allocation = 1;
    ReverseTableSet compressed{};
    ReverseTablesLoad(&compressed, FailingAllocate);
    const ReverseTableSet neither{};
    ASSERT_EQ(StateOf(expanded), SetState::kExpanded);
    ASSERT_EQ(StateOf(compressed), SetState::kCompressedOnly);
    for (int id = 1; id <= kCodePageCount; ++id) {
        for (uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
            const uint8_t byte = ReverseLookup(expanded, cp, id);
            ASSERT_EQ(ReverseLookup(compressed, cp, id), byte) << id << " " << cp;
            ASSERT_EQ(ReverseLookup(neither, cp, id), byte) << id << " " << cp;
            // A byte found is the page's byte of that code point.
            ASSERT_TRUE(byte == 0 || CodePageTableOf(id)[byte] == cp) << id << " " << cp;
        }
    }
    ReverseTablesUnload(&expanded);
    ReverseTablesUnload(&compressed);
}

TEST(ReverseTableSet, TheProcessSetIsExpandedAtLoad) {
    EXPECT_EQ(StateOf(ProcessReverseTables()), SetState::kExpanded);
}

}  // namespace
}  // namespace faultkit
