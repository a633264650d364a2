#include "context/context_builder.h"

#include <cstdlib>
#include <cstring>

#include "base/byte_order.h"
#include "context/context_list.h"

namespace faultkit {
namespace {

// A list never exceeds 32-bit sizes, so every `size` and `next` fits.
inline constexpr uint64_t kMaxListSize = 0xFFFFFFFFu;
// Reserved per conversion before its payload: header and worst-case padding.
inline constexpr uint64_t kConversionReserve = 24;

// The value one conversion yields. type 0 means it is dropped.
struct ConversionValue {
    uint16_t type = 0;
    uint64_t size = 0;
    const void* payload = nullptr;  // `scalar`, or caller memory
    uint8_t scalar[8] = {};
};

struct ListUnderConstruction {
    uint8_t* block = nullptr;
    uint64_t total = 0;
    uint64_t last = 0;  // offset of the last record written
};

template <typename T>
void SetScalar(ConversionValue* value, uint16_t type, T scalar) {
    static_assert(sizeof(T) <= sizeof value->scalar, "scalar too wide");
    value->type = type;
    value->size = sizeof(T);
    StoreHost(value->scalar, scalar);
    value->payload = value->scalar;
}

enum class Modifier { kNone, kChar, kShort, kLong, kLongLong, kPtrDiff, kLongDouble };

// Reads the length modifier at `at`; returns its length in bytes.
int ReadModifier(const char* at, Modifier* modifier) {
    switch (at[0]) {
        case 'L': *modifier = Modifier::kLongDouble; return 1;
        case 'h':
            *modifier = at[1] == 'h' ? Modifier::kChar : Modifier::kShort;
            return at[1] == 'h' ? 2 : 1;
        case 'l':
            *modifier = at[1] == 'l' ? Modifier::kLongLong : Modifier::kLong;
            return at[1] == 'l' ? 2 : 1;
        case 't':
        case 'z': *modifier = Modifier::kPtrDiff; return 1;
        default: *modifier = Modifier::kNone; return 0;
    }
}

// Takes the modifier's argument: its signed type and value.
void TakeModifierValue(Modifier modifier, va_list* args, ConversionValue* value) {
    switch (modifier) {
        case Modifier::kLongDouble: SetScalar(value, CtxLongDouble, va_arg(*args, double)); break;
        case Modifier::kChar:
            SetScalar(value, CtxInt32, int32_t{static_cast<int8_t>(va_arg(*args, int))});
            break;
        case Modifier::kShort:
            SetScalar(value, CtxInt32, int32_t{static_cast<int16_t>(va_arg(*args, int))});
            break;
        case Modifier::kLong:
            SetScalar(value, CtxInt32, static_cast<int32_t>(va_arg(*args, int)));
            break;
        case Modifier::kLongLong:
            SetScalar(value, CtxInt64, static_cast<int64_t>(va_arg(*args, long long)));
            break;
        case Modifier::kPtrDiff:
            SetScalar(value, CtxPtrDiff, static_cast<int64_t>(va_arg(*args, long long)));
            break;
        case Modifier::kNone: break;
    }
}

// A conversion after a modifier keeps the modifier's value: 'i' as taken,
// 'u' as its unsigned variant, 'f' only after 'L'. Anything else drops it.
void ApplyConversionAfterModifier(char conversion, ConversionValue* value) {
    const bool long_double = value->type == CtxLongDouble;
    if (conversion == 'u' && !long_double) {
        value->type = static_cast<uint16_t>(value->type | CtxUnsigned);
    } else if (!((conversion == 'i' && !long_double) || (conversion == 'f' && long_double))) {
        value->type = 0;
    }
}

void TakeString(va_list* args, ConversionValue* value) {
    const char* text = va_arg(*args, const char*);
    value->type = CtxString;
    value->payload = text;
    value->size = text != nullptr ? std::strlen(text) + 1 : 0;
}

void TakeMemory(va_list* args, ConversionValue* value) {
    value->size = va_arg(*args, unsigned long long);
    value->payload = va_arg(*args, const void*);
    value->type = CtxMemory;
}

// A conversion without a modifier takes its own argument(s).
void TakePlainConversion(char conversion, va_list* args, ConversionValue* value) {
    switch (conversion) {
        case 'c': SetScalar(value, CtxChar, static_cast<uint8_t>(va_arg(*args, int))); break;
        case 'i': SetScalar(value, CtxInt32, static_cast<int32_t>(va_arg(*args, int))); break;
        case 'u':
            SetScalar(value, CtxUInt32, static_cast<uint32_t>(va_arg(*args, unsigned int)));
            break;
        case 'r':
            SetScalar(value, CtxHex32, static_cast<uint32_t>(va_arg(*args, unsigned int)));
            break;
        case 'f': SetScalar(value, CtxDouble, va_arg(*args, double)); break;
        case 'p':
            SetScalar(value, CtxPointer,
                      static_cast<uint64_t>(reinterpret_cast<uintptr_t>(va_arg(*args, void*))));
            break;
        case 's': TakeString(args, value); break;
        case 'm': TakeMemory(args, value); break;
        default: break;  // not a conversion of ours: dropped, nothing taken
    }
}

// Reads the conversion that starts after a '%' at `at`, taking its
// arguments. Returns where scanning resumes, or null when the format ends
// inside the conversion. The end is tested before a modifier takes its
// argument, so such a format never reads an argument the caller may not
// have passed.
const char* ReadConversion(const char* at, va_list* args, ConversionValue* value) {
    Modifier modifier;
    const int modifier_length = ReadModifier(at, &modifier);
    const char conversion = at[modifier_length];
    if (conversion == '\0') {
        return nullptr;
    }
    if (modifier == Modifier::kNone) {
        TakePlainConversion(conversion, args, value);
    } else {
        TakeModifierValue(modifier, args, value);
        ApplyConversionAfterModifier(conversion, value);
    }
    return at + modifier_length + 1;
}

bool AppendRecord(ListUnderConstruction* list, const ConversionValue& value) {
    const uint64_t record_size = ContextRecordSize(value.size);
    void* grown = std::realloc(list->block, static_cast<size_t>(list->total + record_size));
    if (grown == nullptr) {
        return false;
    }
    list->block = static_cast<uint8_t*>(grown);
    uint8_t* record = list->block + list->total;
    std::memset(record, 0, static_cast<size_t>(record_size));
    StoreHost(record + kContextTypeOffset, value.type);
    StoreHost(record + kContextSizeOffset, static_cast<uint32_t>(value.size));
    StoreHost(record + kContextNextOffset, static_cast<uint32_t>(record_size));
    if (value.size != 0) {
        std::memcpy(record + kContextHeaderSize, value.payload, static_cast<size_t>(value.size));
    }
    list->last = list->total;
    list->total += record_size;
    return true;
}

_qel_error_context* FinishList(const ListUnderConstruction& list) {
    if (list.block == nullptr) {
        return nullptr;
    }
    StoreHost(list.block + list.last + kContextNextOffset, uint32_t{0});
    return reinterpret_cast<_qel_error_context*>(list.block);
}

}  // namespace

_qel_error_context* BuildContextList(const char* format, va_list args) {
    if (format == nullptr) {
        return nullptr;
    }
    va_list cursor;  // a copy that helpers can advance through a pointer
    va_copy(cursor, args);
    ListUnderConstruction list;
    const char* at = format;
    while (*at != '\0') {
        if (*at != '%') {
            ++at;
            continue;
        }
        const uint64_t budget = kMaxListSize - list.total;
        if (budget < kConversionReserve) {
            break;
        }
        ConversionValue value;
        at = ReadConversion(at + 1, &cursor, &value);
        if (at == nullptr) {
            break;
        }
        const bool fits = value.size <= budget - kConversionReserve;
        if (value.type != 0 && fits && !AppendRecord(&list, value)) {
            break;
        }
    }
    va_end(cursor);
    return FinishList(list);
}

}  // namespace faultkit
