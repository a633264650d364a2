#include "components/tagged_block.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace faultkit {
namespace {

struct TaggedHeader {
    uint32_t magic;  // derived from the header's own address, see MagicOf
    uint32_t alignment;
    void* self;  // the payload pointer handed out
    _qel_bos_uuid owner;
};
static_assert(sizeof(TaggedHeader) == 32, "the payload starts 32 bytes in");
static_assert(offsetof(TaggedHeader, self) == 8, "header layout");
static_assert(offsetof(TaggedHeader, owner) == 16, "header layout");

// Bits 4-19 of the header address in the high half, 0xDEAD in the low half.
uint32_t MagicOf(const TaggedHeader* header) {
    const uintptr_t address = reinterpret_cast<uintptr_t>(static_cast<const void*>(header));
    return static_cast<uint32_t>(((address & 0xFFFF0u) << 12) | 0xDEADu);
}

}  // namespace

void* TaggedBlockAllocate(size_t size, const _qel_bos_uuid* owner) {
    if (owner == nullptr || size > SIZE_MAX - sizeof(TaggedHeader)) {
        return nullptr;
    }
    void* block = std::malloc(size + sizeof(TaggedHeader));
    if (block == nullptr) {
        return nullptr;
    }
    auto* header = static_cast<TaggedHeader*>(block);
    const TaggedHeader filled{MagicOf(header), 0, header + 1, *owner};
    std::memcpy(block, &filled, sizeof filled);
    return header + 1;
}

void* TaggedBlockRelease(void* payload) {
    if (payload == nullptr) {
        return payload;
    }
    auto* header = static_cast<TaggedHeader*>(payload) - 1;
    if (header->magic != MagicOf(header) || header->self != payload) {
        return payload;
    }
    std::memset(header, 0, sizeof *header);
    std::free(header);
    return nullptr;
}

}  // namespace faultkit
