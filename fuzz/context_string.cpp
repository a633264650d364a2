// Fuzzes ErrorMgrGetContextString over arbitrary well-formed contexts.
//
// Input: up to 16 items, each a type byte (one of the known types or a
// code the renderer does not know), a size byte and the payload bytes.
// Known fixed-width types mostly get their own width; a size byte from
// 0xC0 up gives any width from 0 to 63 instead. Strings take the size
// byte's low six bits as their length and get a terminator unless bit 6
// is set. The list is laid out as the builder lays it out, in a block of
// exactly the size it needs.
//
// Checks: measuring gives the same size every time, with or without a
// buffer; a capacity one short writes nothing; the writing pass returns
// the size and writes nothing past it (canaries behind an exact buffer);
// the output holds one string per item and the final NUL within it.
#include <vector>

#include "context/context_list.h"
#include "faultkit.h"
#include "fuzz_input.h"

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

// Appends one record and points the previous one (at *last) at it.
void AppendItem(FuzzInput& in, std::vector<uint8_t>& list, size_t* last) {
    const uint16_t type = in.Pick(kTypes);
    const uint8_t size_byte = in.Byte();
    const uint32_t size = PayloadSize(type, size_byte);
    const size_t start = list.size();
    list.resize(start + ContextRecordSize(size), 0);
    std::memcpy(&list[start], &type, sizeof type);
    std::memcpy(&list[start + 4], &size, sizeof size);
    for (uint32_t i = 0; i < size; ++i) {
        list[start + 12 + i] = in.Byte();
    }
    if (type == CtxString && (size_byte & 0x40) == 0) {
        list[start + 12 + size - 1] = 0;
    }
    if (*last != SIZE_MAX) {
        const auto next = static_cast<uint32_t>(start - *last);
        std::memcpy(&list[*last + 8], &next, sizeof next);
    }
    *last = start;
}

// Renders with `capacity` bytes followed by canaries, checks that nothing
// past `written` was touched and returns the result.
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
    std::vector<uint8_t> list;
    size_t last = SIZE_MAX;
    size_t items = 0;
    for (; in.size > 0 && items < kMaxItems; ++items) {
        AppendItem(in, list, &last);
    }
    void* context = list.empty() ? nullptr : std::malloc(list.size());
    if (context != nullptr) {
        std::memcpy(context, list.data(), list.size());
    }
    _qel_error_enumerate record{};
    record.context = static_cast<_qel_error_context*>(context);

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
