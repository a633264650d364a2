// Fuzzes the context builder: for four groups of arguments (an int, a
// double, a 64-bit integer and a pointer), the input chooses the conversion
// that takes each, noise that takes nothing, and an ending that may cut a
// conversion short. The list must hold exactly the expected records, pass
// the check received lists pass, and survive two byte-order swaps.
#include <string>
#include <vector>

#include "context/context_builder.h"
#include "context/context_list.h"
#include "context/foreign_list_check.h"
#include "fuzz_input.h"
#include "support/context_test_util.h"

using namespace faultkit;

namespace {

struct Conversion {
    const char* text;
    uint16_t type;  // 0: dropped
};

const Conversion kIntConversions[] = {{"%i", CtxInt32},   {"%u", CtxUInt32},   {"%c", CtxChar},
                                      {"%r", CtxHex32},   {"%hi", CtxInt32},   {"%hu", CtxUInt32},
                                      {"%hhi", CtxInt32}, {"%hhu", CtxUInt32}, {"%li", CtxInt32},
                                      {"%lu", CtxUInt32}, {"%lf", 0},          {"%hc", 0},
                                      {"%ls", 0}};
const Conversion kDoubleConversions[] = {
    {"%f", CtxDouble}, {"%Lf", CtxLongDouble}, {"%Li", 0}, {"%Lc", 0}};
const Conversion kWideConversions[] = {{"%lli", CtxInt64}, {"%llu", CtxUInt64}, {"%ti", CtxPtrDiff},
                                       {"%tu", CtxSize},   {"%zi", CtxPtrDiff}, {"%zu", CtxSize},
                                       {"%llf", 0},        {"%zp", 0}};
const char* const kNoise[] = {"", "x", "%d", "%5", "%%", "%-", "%.", "%x", "%I", "%#", "%n"};
const char* const kEndings[] = {"", "%", "%l", "%hh", "%z"};

struct Expected {
    uint16_t type;
    uint64_t size;
};

struct Group {
    int i;
    double d;
    long long ll;
    const void* p;
};

struct Plan {
    std::string format;
    std::vector<Expected> expected;

    void Add(const Conversion& conversion, uint64_t size) {
        format += conversion.text;
        if (conversion.type != 0) {
            expected.push_back({conversion.type, size});
        }
    }
};

// Chooses the conversions for one group's four arguments.
void DescribeGroup(FuzzInput* in, Group* group, std::string* text, Plan* plan) {
    plan->format += in->Pick(kNoise);
    group->i = in->Value<int>();
    const Conversion& int_conversion = in->Pick(kIntConversions);
    plan->Add(int_conversion, ContextPayloadWidth(int_conversion.type));
    group->d = in->Value<double>();
    plan->Add(in->Pick(kDoubleConversions), 8);
    plan->format += in->Pick(kNoise);
    const uint8_t choice = in->Byte();
    text->assign(in->Byte() % 16, static_cast<char>('a' + choice % 26));
    group->p = (choice & 0x40) != 0 ? nullptr : text->c_str();
    if ((choice & 0x80) != 0) {  // %m takes the 64-bit count and the pointer
        group->ll = group->p != nullptr ? static_cast<long long>(text->size()) : 0;
        plan->Add({"%m", CtxMemory}, static_cast<uint64_t>(group->ll));
        return;
    }
    group->ll = in->Value<long long>();
    plan->Add(in->Pick(kWideConversions), 8);
    if ((choice & 0x20) != 0) {
        plan->Add({"%p", CtxPointer}, 8);
    } else {
        plan->Add({"%s", CtxString}, group->p != nullptr ? text->size() + 1 : 0);
    }
}

void CheckRecords(const uint8_t* list, const std::vector<Expected>& expected) {
    Check((list == nullptr) == expected.empty(), "a list when something was recorded");
    const std::vector<ContextItemView> items = test::Items(list);
    Check(items.size() == expected.size(), "record count");
    for (size_t i = 0; i < items.size(); ++i) {
        Check(items[i].type == expected[i].type && items[i].size == expected[i].size,
              "record type and size");
        Check(items[i].next == 0 || items[i].next == ContextRecordSize(items[i].size),
              "record size");
    }
}

void CheckSwaps(uint8_t* list) {
    const uint64_t size = ContextChainSize(list, false);
    const std::vector<uint8_t> original(list, list + size);
    ContextChainSwap(list, false);
    Check(ContextChainSize(list, true) == size, "swapped size");
    Check(ContextBlobExtent(list, size) == size, "a swapped list passes the foreign check");
    ContextChainSwap(list, true);
    Check(std::memcmp(list, original.data(), size) == 0, "swapped back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    Group g[4];
    std::string texts[4];
    Plan plan;
    for (int i = 0; i < 4; ++i) {
        DescribeGroup(&in, &g[i], &texts[i], &plan);
    }
    plan.format += in.Pick(kEndings);
    auto* list = reinterpret_cast<uint8_t*>(
        test::Build(plan.format.c_str(), g[0].i, g[0].d, g[0].ll, g[0].p, g[1].i, g[1].d, g[1].ll,
                    g[1].p, g[2].i, g[2].d, g[2].ll, g[2].p, g[3].i, g[3].d, g[3].ll, g[3].p)
            .release());
    CheckRecords(list, plan.expected);
    if (list != nullptr) {
        CheckSwaps(list);
    }
    std::free(list);
    return 0;
}
