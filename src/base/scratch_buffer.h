// ScratchBuffer: per-call working storage that lives on the stack while it
// is small and moves to the heap when it is not, so that long formats and
// strings never exhaust a thread's stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace faultkit {

template <typename T, size_t kStackCount>
class ScratchBuffer {
public:
    // Holds `count` elements; data() is null when the heap refused.
    explicit ScratchBuffer(size_t count) : data_(count <= kStackCount ? stack_ : Allocate(count)) {}
    ~ScratchBuffer() {
        if (data_ != stack_) {
            std::free(data_);
        }
    }
    ScratchBuffer(const ScratchBuffer&) = delete;
    ScratchBuffer& operator=(const ScratchBuffer&) = delete;

    T* data() { return data_; }

private:
    static T* Allocate(size_t count) {
        return count > SIZE_MAX / sizeof(T) ? nullptr
                                            : static_cast<T*>(std::malloc(count * sizeof(T)));
    }

    T stack_[kStackCount];
    T* data_;
};

}  // namespace faultkit
