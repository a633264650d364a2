// Helpers for the context list and transfer image tests: building lists,
// reading their records, building images by hand.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "components/facility_registry.h"
#include "context/context_builder.h"
#include "context/context_list.h"
#include "faultkit.h"
#include "transfer/image_record.h"
#include "transfer/transfer_image.h"

namespace faultkit::test {

struct FreeDeleter {
    void operator()(void* block) const { std::free(block); }
};
using ListPtr = std::unique_ptr<_qel_error_context, FreeDeleter>;

inline ListPtr Build(const char* format, ...) {
    va_list args;
    va_start(args, format);
    ListPtr list(BuildContextList(format, args));
    va_end(args);
    return list;
}

inline std::vector<uint8_t> Bytes(const void* at, uint64_t size) {
    const auto* b = static_cast<const uint8_t*>(at);
    return std::vector<uint8_t>(b, b + size);
}

inline std::vector<uint8_t> ChainBytes(const void* list) {
    return Bytes(list, ContextChainSize(list, false));
}

// The host-order records of a list, first to last.
inline std::vector<ContextItemView> Items(const void* list) {
    std::vector<ContextItemView> items;
    const auto* at = static_cast<const uint8_t*>(list);
    while (at != nullptr) {
        items.push_back(ReadContextItem(at, false));
        at = items.back().next != 0 ? at + items.back().next : nullptr;
    }
    return items;
}

template <typename T>
T PayloadOf(const ContextItemView& item) {
    return LoadHost<T>(item.payload);
}

// A hand-made list of (type, payload) records, laid out as the builder
// lays them out, in a malloc block.
struct RawItem {
    uint16_t type;
    std::string payload;
};

inline _qel_error_context* MakeList(const std::vector<RawItem>& items) {
    std::vector<uint8_t> block;
    for (size_t i = 0; i < items.size(); ++i) {
        const size_t start = block.size();
        const auto size = static_cast<uint32_t>(items[i].payload.size());
        const auto record = static_cast<uint32_t>(ContextRecordSize(size));
        const uint32_t next = i + 1 < items.size() ? record : 0;
        block.resize(start + record, 0);
        std::memcpy(&block[start], &items[i].type, 2);
        std::memcpy(&block[start + 4], &size, 4);
        std::memcpy(&block[start + 8], &next, 4);
        std::memcpy(&block[start + 12], items[i].payload.data(), size);
    }
    void* list = std::malloc(block.size());
    std::memcpy(list, block.data(), block.size());
    return static_cast<_qel_error_context*>(list);
}

// Builds images by hand: header, records and bytes, then Finish() fills in
// the length and appends the trailer.
struct ImageBytes {
    std::vector<uint8_t> bytes{0, 0, 0, 0, 0, 0, 0, 0};

    ImageBytes& Raw(std::vector<uint8_t> more) {
        bytes.insert(bytes.end(), more.begin(), more.end());
        return *this;
    }
    ImageBytes& Text(const char* text) {
        bytes.insert(bytes.end(), text, text + std::strlen(text) + 1);
        return *this;
    }
    std::vector<uint8_t> Finish(uint32_t count) {
        const auto length = static_cast<uint32_t>(bytes.size() + 4);
        bytes.resize(length);
        StoreBe32(&bytes[0], length);
        StoreBe32(&bytes[4], count);
        StoreBe32(&bytes[length - 4], length);
        return bytes;
    }
};

// Image bytes 11 22 33 44 55 66 77 88 AA 99 BB CC DD EE FF 00.
inline const _qel_bos_uuid kExampleUuid = {
    0x11223344, 0x5566, 0x7788, {0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF, 0x00}};
// Image bytes 01 02 03 04 05 06 07 08 0A 09 0B 0C 0D 0E 0F 10.
inline const _qel_bos_uuid kOtherUuid = {
    0x01020304, 0x0506, 0x0708, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};

inline uint32_t FacilityOf(const _qel_bos_uuid& uuid) {
    uint32_t facility = 0;
    return FacilityOfUuid(&uuid, nullptr, &facility) ? facility : 0xDEADu;
}

inline bool IsRegistered(const _qel_bos_uuid& uuid) {
    return FacilityFindOrAdd(&uuid, false) != 0;
}

inline std::vector<uint8_t> RecordBytes(uint32_t code, const _qel_bos_uuid& uuid, int32_t aux_int,
                                        uint8_t flags) {
    std::vector<uint8_t> bytes(kImageRecordSize);
    EncodeImageRecord(ImageRecord{code, uuid, aux_int, flags}, bytes.data());
    return bytes;
}

inline ErrorSlot Slot(uint32_t code, const char* aux_text1 = nullptr,
                      const char* aux_text2 = nullptr, int32_t aux_int = -1,
                      _qel_error_context* context = nullptr) {
    return ErrorSlot{
        code,   const_cast<char*>(aux_text1), const_cast<char*>(aux_text2), aux_int, context,
        nullptr};
}

inline std::vector<uint8_t> Image(const ErrorSlot* slots, int32_t count) {
    std::vector<uint8_t> image(WriteImage(slots, count, nullptr, 0));
    WriteImage(slots, count, image.data(), image.size());
    return image;
}

inline bool SameSlot(const ErrorSlot& a, const ErrorSlot& b) {
    return a.code == b.code && a.aux_text1 == b.aux_text1 && a.aux_text2 == b.aux_text2 &&
           a.aux_int == b.aux_int && a.context == b.context && a.strings == b.strings;
}

}  // namespace faultkit::test
