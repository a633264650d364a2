// Fuzzes ErrorMgrGetContextString over arbitrary well-formed contexts.
//
// Input: up to 16 items, each a type byte (one of the known types or a
// code the renderer does not know), a size byte and the payload bytes.
// Known fixed-width types mostly get their own width; a size byte from
// 0xC0 up gives any width from 0 to 63 instead. Strings take the size
// byte's low six bits as their length and get a terminator unless bit 6
// is set. Payload bytes come from the input (zeros once it is used up).
// The list is laid out as the builder lays it out, in a block of exactly
// the size it needs.
//
// Checks: measuring gives the same size every time, with or without a
// buffer; a capacity one short writes nothing; the writing pass returns
// the size and writes nothing past it (canaries behind an exact buffer);
// the output holds one string per item and the final NUL within it.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "context/context_list.h"
#include "faultkit.h"
#include "fuzz_input.h"

namespace {

constexpr size_t kMaxItems = 16;
constexpr size_t kCanaryBytes = 16;
constexpr char kCanary = '\x5A';

const uint16_t kTypes[] = {faultkit::CtxInt32,  faultkit::CtxInt64,      faultkit::CtxPtrDiff,
                           faultkit::CtxHex32,  faultkit::CtxDouble,     faultkit::CtxLongDouble,
                           faultkit::CtxChar,   faultkit::CtxString,     faultkit::CtxPointer,
                           faultkit::CtxMemory, faultkit::CtxUInt32,     faultkit::CtxUInt64,
                           faultkit::CtxSize,   0,                       11,
                           0x84,                0xFFFF};

[[noreturn]] void Fail() { std::abort(); }

uint32_t PayloadSize(uint16_t type, uint8_t size_byte) {
    const uint32_t width = faultkit::ContextPayloadWidth(type);
    if (type == faultkit::CtxString) {
        return (size_byte & 0x3F) + ((size_byte & 0x40) != 0 ? 0 : 1);
    }
    if (width != 0 && size_byte < 0xC0) {
        return width;
    }
    return size_byte & 0x3F;
}

// Appends one record; `next` is patched once the following record exists.
void AppendItem(FuzzInput& in, std::vector<uint8_t>& list, size_t* last) {
    const uint16_t type = kTypes[in.Byte() % (sizeof kTypes / sizeof kTypes[0])];
    const uint8_t size_byte = in.Byte();
    const uint32_t size = PayloadSize(type, size_byte);
    const size_t start = list.size();
    const auto record = static_cast<uint32_t>(faultkit::ContextRecordSize(size));
    list.resize(start + record, 0);
    std::memcpy(&list[start], &type, sizeof type);
    std::memcpy(&list[start + 4], &size, sizeof size);
    for (uint32_t i = 0; i < size; ++i) {
        list[start + 12 + i] = in.Byte();
    }
    if (type == faultkit::CtxString && (size_byte & 0x40) == 0) {
        list[start + 12 + size - 1] = 0;
    }
    if (*last != SIZE_MAX) {
        const auto next = static_cast<uint32_t>(start - *last);
        std::memcpy(&list[*last + 8], &next, sizeof next);
    }
    *last = start;
}

int Render(_qel_error_enumerate* record, std::vector<char>& out, int capacity) {
    out.assign(static_cast<size_t>(capacity) + kCanaryBytes, kCanary);
    return ErrorMgrGetContextString(record, out.data(), capacity);
}

void CheckCanaries(const std::vector<char>& out, size_t from) {
    for (size_t i = from; i < out.size(); ++i) {
        if (out[i] != kCanary) {
            Fail();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    std::vector<uint8_t> list;
    size_t last = SIZE_MAX;
    size_t items = 0;
    while (in.size > 0 && items < kMaxItems) {
        AppendItem(in, list, &last);
        ++items;
    }
    void* context = nullptr;
    if (!list.empty()) {
        context = std::malloc(list.size());
        std::memcpy(context, list.data(), list.size());
    }
    _qel_error_enumerate record{};
    record.context = static_cast<_qel_error_context*>(context);

    const int measured = ErrorMgrGetContextString(&record, nullptr, 0);
    char probe = kCanary;
    if (measured < static_cast<int>(1 + items) ||
        ErrorMgrGetContextString(&record, &probe, 0) != measured || probe != kCanary ||
        ErrorMgrGetContextString(&record, nullptr, 0) != measured) {
        Fail();
    }
    std::vector<char> out;
    if (measured > 1) {
        if (Render(&record, out, measured - 1) != 0) {
            Fail();
        }
        CheckCanaries(out, 0);
    }
    if (Render(&record, out, measured) != measured) {
        Fail();
    }
    CheckCanaries(out, static_cast<size_t>(measured));
    const char* p = out.data();
    for (size_t i = 0; i <= items; ++i) {
        const void* nul = std::memchr(p, 0, static_cast<size_t>(out.data() + measured - p));
        if (nul == nullptr) {
            Fail();
        }
        p = static_cast<const char*>(nul) + 1;
    }
    std::free(context);
    return 0;
}
