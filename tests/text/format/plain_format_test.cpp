#include "text/format/plain_format.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/platform.h"
#include "text/format/ascii_fast_path.h"
#include "text/format/format_front_end.h"

namespace {

// The formatter's text, or "refused".
std::u16string Formatted(const char16_t* format, faultkit::ArgumentSlots slots) {
    char16_t text[256];
    const int written = faultkit::platform::WideFormat(text, 256, format, slots);
    return written < 0 ? u"refused" : std::u16string(text, static_cast<size_t>(written));
}

// What the general path makes of a format: the format it hands to the
// formatter and the formatter's text from it, and whether it refuses it
// for narrow text. The text is not made then, nor where stars would read
// a pointer as a width (a text of a billion units).
struct General {
    std::u16string format;
    std::u16string text;
    bool rewritten;
    bool narrow_refused;
    bool text_made;
};

General RunGeneralPath(const std::string& format, const std::vector<uint64_t>& slots) {
    std::vector<char16_t> wide(format.size() + 1);
    EXPECT_NE(faultkit::WidenUtf8Text(format.c_str(), wide.size(), wide.data()), 0u);
    std::vector<faultkit::ScannedDirective> room(faultkit::DirectiveRoom(wide.size()));
    faultkit::FormatScan scan;
    faultkit::ScanFormat(wide.data(), faultkit::WalkBy::kGathering, room.data(), &scan);
    const char16_t* prepared = wide.data();
    faultkit::ArgumentSlots arguments = slots.data();
    void* block = faultkit::BuildArgumentBlock(&scan, &prepared, &arguments, {nullptr, 0});
    const bool narrow_refused = block == nullptr && faultkit::MayHoldNarrowText(scan);
    const bool text_made = !narrow_refused && format.find('*') == std::string::npos;
    General general{prepared, text_made ? Formatted(prepared, arguments) : u"", block != nullptr,
                    narrow_refused, text_made};
    faultkit::ReleaseWideFormat(block, 0);
    return general;
}

// Every format of one to three pieces: the plain path takes those of ASCII
// text whose directives have no index or each the next in turn and whose
// narrow strings are ASCII, those the front end refuses too, and gives each
// the general path's narrow-text check, text and format (where it wrote a
// string into the format as text), leaving every other format alone.
// Either string reads as a UTF-16 one too, to its terminator.
TEST(PlainFormat, TakesPlainFormatsAndAgreesWithTheGeneralPath) {
    alignas(char16_t) static const char kAscii[] = "text\0";
    alignas(char16_t) static const char kAccented[] = "t\xC3\xA9xt\0\0";
    const std::vector<std::string> pieces{
        "ab ", "%%",   "%d",   "%-5.2f", "%*d", "%.*s", "%s",  "%lld",     "%zu", "%ti",
        "%c",  "%lc",  "%ls",  "%X",     "%E",  "%hd",  "%#o", "%+i",      "%Lf", "%p",
        "%5s", "%1$d", "%-+d", "%*I64d", "%hs", "%*F",  "%y",  "\xC3\xA9", "%",   "%2$.*s",
        "%e",  "%G",   "%5%"};
    size_t taken = 0;
    size_t compared = 0;
    for (const auto& first : pieces) {
        for (const auto& second : pieces) {
            for (const auto& third : {std::string(), std::string("%s"), std::string("s"),
                                      std::string("%3$s")}) {
                const std::string format = first + second + third;
                for (const char* text : {kAscii, kAccented}) {
                    std::vector<uint64_t> slots(12, reinterpret_cast<uintptr_t>(text));
                    char16_t wide[64];
                    uint64_t plain_slots[12];
                    faultkit::PlainFormat plain{wide, 64, plain_slots, 12};
                    ++compared;
                    if (!faultkit::PreparePlainFormat(
                            format.c_str(), faultkit::ArgumentReader{slots.data(), nullptr},
                            &plain)) {
                        continue;
                    }
                    ++taken;
                    const General general = RunGeneralPath(format, slots);
                    if (!plain.strings_as_text) {
                        EXPECT_EQ(std::u16string(wide), general.format) << format;
                    }
                    EXPECT_EQ(plain.rewritten, general.rewritten) << format;
                    EXPECT_EQ(faultkit::MayHoldNarrowText(plain), general.narrow_refused) << format;
                    if (general.text_made) {
                        EXPECT_EQ(Formatted(wide, plain.arguments), general.text) << format;
                    }
                }
            }
        }
    }
    EXPECT_GT(taken, compared / 4);
    // What takes the general path: indices out of turn or beside
    // directives without (also behind a directive the front end refuses),
    // text beyond ASCII, strings beyond ASCII, and directives the two
    // readings of a format read apart.
    const std::vector<uint64_t> accented(4, reinterpret_cast<uintptr_t>(kAccented));
    for (const char* format :
         {"%1$s", "%2$d", "%1$d%1$d", "%1$d%d", "%y%1$d", "%-+d %2$d", "\xC3\xA9%d", "\x80%d", "%s",
          "%*I64d", "%*F", "%5\x80"}) {
        char16_t wide[64];
        uint64_t plain_slots[12];
        faultkit::PlainFormat plain{wide, 64, plain_slots, 12};
        EXPECT_FALSE(faultkit::PreparePlainFormat(
            format, faultkit::ArgumentReader{accented.data(), nullptr}, &plain))
            << format;
    }
}

}  // namespace
