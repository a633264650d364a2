// Fuzzes the %e, %f and %g text of platform::WideFormat against the model
// in tests/support/floating_reference.h.
// Input: the double (little-endian; infinities and NaNs skipped), a byte
// choosing the conversion (e f g E G), "#" and how the precision is chosen
// (none, given in the next two bytes up to 1100, or at, below or above the
// one where the value lies exactly halfway).
#include <cmath>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "platform/platform.h"
#include "support/floating_reference.h"

namespace {

using faultkit::test::ExactDecimal;

constexpr int kMaxPrecision = 1100;

enum PrecisionChoice { kNone, kGiven, kTie, kBelowTie, kAboveTie, kChoices };

int ChoosePrecision(PrecisionChoice choice, FuzzInput& input, const ExactDecimal& exact,
                    char conversion) {
    const int tie = faultkit::test::TiePrecision(exact, conversion);
    switch (choice) {
        case kGiven: return input.Value<uint16_t>() % (kMaxPrecision + 1);
        case kTie: return tie;
        case kBelowTie: return tie > 0 ? tie - 1 : -1;
        case kAboveTie: return tie >= 0 ? tie + 1 : -1;
        default: return -1;
    }
}

// The text through the platform formatter: counted, then written into a
// buffer of exactly that size.
std::string PlatformText(double value, char conversion, int precision, bool alternate) {
    const std::u16string format =
        std::u16string(alternate ? u"%#.*" : u"%.*") + static_cast<char16_t>(conversion);
    uint64_t slots[2] = {static_cast<uint64_t>(static_cast<int64_t>(precision)), 0};
    std::memcpy(&slots[1], &value, sizeof value);
    const int counted = faultkit::platform::WideFormat(nullptr, 0, format.c_str(), slots);
    Check(counted >= 0, "counted");
    std::vector<char16_t> buffer(static_cast<size_t>(counted) + 1);
    Check(faultkit::platform::WideFormat(buffer.data(), buffer.size(), format.c_str(), slots) ==
              counted,
          "written as counted");
    return std::string(buffer.begin(), buffer.end() - 1);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput input{data, size};
    const auto value = input.Value<double>();
    if (!std::isfinite(value)) {
        return 0;
    }
    const uint8_t choice = input.Byte();
    const char conversion = "fegEG"[choice % 5];
    const bool alternate = choice / 5 % 2 == 1;
    const ExactDecimal exact = faultkit::test::ExpandExactly(value);
    const int precision = ChoosePrecision(static_cast<PrecisionChoice>(choice / 10 % kChoices),
                                          input, exact, conversion);
    const std::string expected =
        faultkit::test::ReferenceText(exact, std::signbit(value), conversion, precision, alternate);
    const std::string actual = PlatformText(value, conversion, precision, alternate);
    if (actual != expected) {
        std::fprintf(stderr, "%c%s, precision %d (-1: none): expected %s\n got %s\n", conversion,
                     alternate ? " with #" : "", precision, expected.c_str(), actual.c_str());
        std::abort();
    }
    return 0;
}
