#include <windows.h>

#include "platform/platform.h"

namespace faultkit::platform {
namespace {

// One TLS slot per word, taken when the library is loaded and given back
// when it is unloaded. Without a slot a word reads as 0 and keeps nothing.
struct WordSlots {
    DWORD index[kThreadWords];

    WordSlots() {
        for (DWORD& slot : index) {
            slot = TlsAlloc();
        }
    }
    ~WordSlots() {
        for (DWORD slot : index) {
            if (slot != TLS_OUT_OF_INDEXES) {
                TlsFree(slot);
            }
        }
    }
} g_slots;

}  // namespace

uint64_t ThreadWord(int index) {
    const DWORD slot = g_slots.index[index];
    return slot != TLS_OUT_OF_INDEXES ? reinterpret_cast<uintptr_t>(TlsGetValue(slot)) : 0;
}

void SetThreadWord(int index, uint64_t value) {
    const DWORD slot = g_slots.index[index];
    if (slot != TLS_OUT_OF_INDEXES) {
        TlsSetValue(slot, reinterpret_cast<void*>(static_cast<uintptr_t>(value)));
    }
}

}  // namespace faultkit::platform
