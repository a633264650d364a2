#include "text/encoding/reverse_tables.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "text/encoding/code_page_tables.h"

namespace faultkit {
namespace {

const uint16_t kZeroMarker = 0x0000;

std::vector<uint8_t> Expand(const uint8_t* stream, const uint16_t* markers, int count,
                            size_t size) {
    void* out = RunStreamExpand(stream, markers, count);
    std::vector<uint8_t> bytes(static_cast<uint8_t*>(out), static_cast<uint8_t*>(out) + size);
    std::free(out);
    return bytes;
}

// Literal words and zero runs; narrower entries take the bits from the low
// end of the word up. A run or literal past the announced size (32 bytes a
// unit) is not written (ASan sees the exact heap buffer), a stream that ends
// early leaves the rest zero.
TEST(RunStream, ExpandsLiteralsAndZeroRunsWithinTheAnnouncedSize) {
    const uint8_t stream[] = {0xAD, 0xDE, 0x01, 0x00, 0x34, 0x12, 0x00,
                              0x00, 0x0F, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::vector<uint8_t> expected(32, 0);
    expected[0] = 0x34;
    expected[1] = 0x12;
    EXPECT_EQ(Expand(stream, &kZeroMarker, 1, 32), expected);
    const struct {
        int bits;
        size_t index;
        unsigned value;
    } peeks[] = {{8, 0, 0x34}, {8, 1, 0x12}, {8, 2, 0}, {8, 40, 0}, {4, 0, 4}, {4, 1, 3},
                 {4, 2, 2},    {4, 3, 1},    {4, 4, 0}, {1, 2, 1},  {2, 1, 1}};
    for (const auto& p : peeks) {
        EXPECT_EQ(RunStreamPeek(stream, &kZeroMarker, 1, p.bits, p.index), p.value) << p.index;
    }
    const uint8_t too_long[] = {0xAD, 0xDE, 0x01, 0x00, 0x00, 0x00, 0xE8,
                                0x03, 0x11, 0x11, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Expand(too_long, &kZeroMarker, 1, 32), std::vector<uint8_t>(32, 0));
    const uint8_t too_short[] = {0xAD, 0xDE, 0x02, 0x00, 0x11, 0x11, 0x00, 0x00, 0x00, 0x00};
    expected.assign(64, 0);
    expected[0] = expected[1] = 0x11;
    EXPECT_EQ(Expand(too_short, &kZeroMarker, 1, 64), expected);
}

// Several run markers; a byte-order word stored swapped swaps the data
// words, not the size and the counts.
TEST(RunStream, SeveralMarkersAndTheOtherByteOrder) {
    const uint16_t markers[] = {0x0000, 0xFFFF};
    const uint8_t stream[] = {0xAD, 0xDE, 0x01, 0x00, 0xFF, 0xFF, 0x02,
                              0x00, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Expand(stream, markers, 2, 6),
              (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF, 0x01, 0x00}));
    EXPECT_EQ(RunStreamPeek(stream, markers, 2, 8, 3), 0xFFu);
    EXPECT_EQ(RunStreamPeek(stream, markers, 2, 8, 4), 0x01u);
    const uint8_t swapped[] = {0xDE, 0xAD, 0x01, 0x00, 0x12, 0x34, 0x00, 0x00,
                               0x02, 0x00, 0x56, 0x78, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(Expand(swapped, &kZeroMarker, 1, 8),
              (std::vector<uint8_t>{0x34, 0x12, 0x00, 0x00, 0x00, 0x00, 0x78, 0x56}));
    EXPECT_EQ(RunStreamPeek(swapped, &kZeroMarker, 1, 8, 6), 0x78u);
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

// For every code point, the byte the expanded set finds, and only a byte
// that the forward table maps to it: the stored records add no mapping.
void ExpectAgreesWith(const ReverseTableSet& expanded, const ReverseTableSet& set) {
    for (int id = 1; id <= kCodePageCount; ++id) {
        for (uint32_t cp = 0; cp <= 0xFFFF; ++cp) {
            const uint8_t byte = ReverseLookup(set, cp, id);
            ASSERT_EQ(byte, ReverseLookup(expanded, cp, id)) << id << " " << cp;
            ASSERT_TRUE(byte == 0 || CodePageTableOf(id)[byte] == cp) << id << " " << cp;
        }
    }
}

// Each state finds every mapped byte; one of each kind agrees with the
// expanded set on every code point.
TEST(ReverseTableSet, EveryAllocationFailureLeavesAWorkingState) {
    ReverseTableSet expanded{};
    ReverseTablesLoad(&expanded);
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
        if (failing <= 1 || failing == kAllocations) {
            ExpectAgreesWith(expanded, set);
        }
        ReverseTablesUnload(&set);  // leaks of the fallback paths show under ASan
        EXPECT_EQ(StateOf(set), SetState::kNeither);
    }
    ReverseTablesUnload(&expanded);
}

TEST(ReverseTableSet, TheProcessSetIsExpandedAtLoad) {
    EXPECT_EQ(StateOf(ProcessReverseTables()), SetState::kExpanded);
}

}  // namespace
}  // namespace faultkit
