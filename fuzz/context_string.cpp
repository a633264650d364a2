// Fuzzes ErrorMgrGetContextString over arbitrary well-formed contexts.
// Input: up to 16 items, each a type byte (known or not), a size byte and
// the payload. Fixed-width types get their width unless the size byte is
// 0xC0 or more (then any width 0-63); strings take its low six bits as
// length and a terminator unless bit 6 is set. The list is laid out as the
// builder lays it out, in an exact block.
#include <vector>

#include "context/context_list.h"
#include "faultkit.h"
#include "fuzz_input.h"
#include "support/context_test_util.h"

using namespace faultkit;

namespace {

constexpr size_t kMaxItems = 16;
constexpr char kCanary = '\x5A';

const uint16_t kTypes[] = {CtxInt32, CtxInt64,  CtxPtrDiff, CtxHex32,  CtxDouble, CtxLongDouble,
                           CtxChar,  CtxString, CtxPointer, CtxMemory, CtxUInt32, CtxUInt64,
                           CtxSize,  0,         11,         0x84,      0xFFFF};

uint32_t PayloadSize(uint16_t type, uint8_t size_byte) {
    if (type == CtxString) {
        return (size_byte & 0x3F) + ((size_byte & 0x40) != 0 ? 0 : 1);
    }
    const uint32_t width = ContextPayloadWidth(type);
    return width != 0 && size_byte < 0xC0 ? width : size_byte & 0x3F;
}

// The next item of the input.
test::RawItem NextItem(FuzzInput& in) {
    const uint16_t type = in.Pick(kTypes);
    const uint8_t size_byte = in.Byte();
    test::RawItem item{type, std::string(PayloadSize(type, size_byte), '\0')};
    for (char& byte : item.payload) {
        byte = static_cast<char>(in.Byte());
    }
    if (type == CtxString && (size_byte & 0x40) == 0) {
        item.payload.back() = '\0';
    }
    return item;
}

// Renders into `capacity` bytes followed by canaries.
int Render(_qel_error_enumerate* record, std::vector<char>& out, int capacity, int written) {
    out.assign(static_cast<size_t>(capacity) + 16, kCanary);
    const int result = ErrorMgrGetContextString(record, out.data(), capacity);
    for (size_t i = static_cast<size_t>(written); i < out.size(); ++i) {
        Check(out[i] == kCanary, "nothing written past the text");
    }
    return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    std::vector<test::RawItem> list;
    while (in.size > 0 && list.size() < kMaxItems) {
        list.push_back(NextItem(in));
    }
    const size_t items = list.size();
    _qel_error_context* context = list.empty() ? nullptr : test::MakeList(list);
    _qel_error_enumerate record{};
    record.context = context;

    const int measured = ErrorMgrGetContextString(&record, nullptr, 0);
    char probe = kCanary;
    Check(measured >= static_cast<int>(1 + items) &&
              ErrorMgrGetContextString(&record, &probe, 0) == measured && probe == kCanary &&
              ErrorMgrGetContextString(&record, nullptr, 0) == measured,
          "measuring");
    std::vector<char> out;
    Check(measured == 1 || Render(&record, out, measured - 1, 0) == 0, "one byte short");
    Check(Render(&record, out, measured, measured) == measured, "written size");
    const char* p = out.data();
    for (size_t i = 0; i <= items; ++i) {
        const void* nul = std::memchr(p, 0, static_cast<size_t>(out.data() + measured - p));
        Check(nul != nullptr, "one string per item and the final NUL");
        p = static_cast<const char*>(nul) + 1;
    }
    std::free(context);
    return 0;
}
