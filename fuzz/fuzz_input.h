// Reading a fuzz input byte by byte (zeros once used up, so that targets
// need not check sizes), and failing a check so that the fuzzer notices.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

struct FuzzInput {
    const uint8_t* data;
    size_t size;

    uint8_t Byte() { return size == 0 ? uint8_t{0} : (--size, *data++); }
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

inline void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "check failed: %s\n", what);
        std::abort();
    }
}
