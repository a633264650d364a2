// Reading a fuzz input byte by byte; once it is used up, every read gives
// zeros, so that a target can take what it needs without checking sizes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
    const uint8_t* data;
    size_t size;

    uint8_t Byte() {
        if (size == 0) {
            return 0;
        }
        --size;
        return *data++;
    }
    template <typename T>
    T Value() {
        uint8_t bytes[sizeof(T)] = {};
        for (uint8_t& b : bytes) {
            b = Byte();
        }
        T value;
        std::memcpy(&value, bytes, sizeof value);
        return value;
    }
    template <typename T, size_t N>
    const T& Pick(const T (&table)[N]) {
        return table[Byte() % N];
    }
};
