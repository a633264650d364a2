// Byte-order helpers for data that crosses a process boundary: loads and
// stores at arbitrary (unaligned) addresses, in big-endian (network) order or
// in host order, and in-place byte reversal. All access goes through byte
// copies, so no caller needs aligned data.
#pragma once

#include <cstdint>
#include <cstring>

namespace faultkit {

inline uint16_t LoadBe16(const void* at) {
    const auto* b = static_cast<const uint8_t*>(at);
    return static_cast<uint16_t>((b[0] << 8) | b[1]);
}

inline uint32_t LoadBe32(const void* at) {
    const auto* b = static_cast<const uint8_t*>(at);
    return (uint32_t{b[0]} << 24) | (uint32_t{b[1]} << 16) | (uint32_t{b[2]} << 8) | b[3];
}

inline void StoreBe16(void* at, uint16_t value) {
    auto* b = static_cast<uint8_t*>(at);
    b[0] = static_cast<uint8_t>(value >> 8);
    b[1] = static_cast<uint8_t>(value);
}

inline void StoreBe32(void* at, uint32_t value) {
    auto* b = static_cast<uint8_t*>(at);
    b[0] = static_cast<uint8_t>(value >> 24);
    b[1] = static_cast<uint8_t>(value >> 16);
    b[2] = static_cast<uint8_t>(value >> 8);
    b[3] = static_cast<uint8_t>(value);
}

template <typename T>
T LoadHost(const void* at) {
    T value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

template <typename T>
void StoreHost(void* at, T value) {
    std::memcpy(at, &value, sizeof value);
}

inline bool HostIsLittleEndian() {
    const uint16_t one = 1;
    return LoadHost<uint8_t>(&one) == 1;
}

inline void ReverseBytes(void* at, uint64_t size) {
    auto* b = static_cast<uint8_t*>(at);
    for (uint64_t i = 0, j = size; i + 1 < j; ++i, --j) {
        const uint8_t t = b[i];
        b[i] = b[j - 1];
        b[j - 1] = t;
    }
}

}  // namespace faultkit
