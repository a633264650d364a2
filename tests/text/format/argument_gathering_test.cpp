#include "text/format/argument_gathering.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "text/format/format_scan.h"

namespace {

// Gathers the arguments of `format` from the list and returns the one after
// them, which gathering must have left unread.
uint64_t ArgumentAfterGathering(const char16_t* format, ...) {
    std::vector<faultkit::ScannedDirective> room(
        faultkit::DirectiveRoom(std::char_traits<char16_t>::length(format) + 1));
    faultkit::FormatScan scan;
    faultkit::ScanFormat(format, faultkit::WalkBy::kGathering, room.data(), &scan);
    std::vector<uint64_t> slots(faultkit::ArgumentSlotCount(scan));
    va_list list;
    va_start(list, format);
    faultkit::GatherArgumentSlots(scan, &list, slots.data(), slots.size());
    const uint64_t next = va_arg(list, uint64_t);
    va_end(list);
    return next;
}

TEST(ArgumentGathering, ReadsTheArgumentsTheFormatNamesAndNoMore) {
    constexpr uint64_t kAfter = 0xAF7E12;
    EXPECT_EQ(ArgumentAfterGathering(u"%d %s", 1, "x", kAfter), kAfter);
    EXPECT_EQ(ArgumentAfterGathering(u"%*.*f|%c|%%", 3, 2, 2.5, 'c', kAfter), kAfter);
    EXPECT_EQ(ArgumentAfterGathering(u"%2$s %1$d", 1, "x", kAfter), kAfter);
    EXPECT_EQ(ArgumentAfterGathering(u"%2$d %d", 1, 2, kAfter), kAfter);  // an index and none
}

}  // namespace
