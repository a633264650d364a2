// The life of an error as a client of the shipped library sees it, through
// one face of the interface (`Face`: the C functions, or the C++ functions).
// Freestanding: it needs nothing of a C or C++ runtime, so that a client
// built for the MSVC ABI without one can run it.
//
// RunScenario returns 0 when every check passed, else the source line of
// the first check that failed.
#pragma once

#include "faultkit.h"

namespace client {

#define CLIENT_CHECK(condition) \
    do {                        \
        if (!(condition)) {     \
            return __LINE__;    \
        }                       \
    } while (0)

// Runs routine(argument) on a new thread and waits for it to end.
using RunOnNewThread = void (*)(void (*routine)(void*), void* argument);

inline bool SameBytes(const void* a, const void* b, unsigned long long count) {
    const auto* x = static_cast<const unsigned char*>(a);
    const auto* y = static_cast<const unsigned char*>(b);
    for (unsigned long long i = 0; i < count; ++i) {
        if (x[i] != y[i]) {
            return false;
        }
    }
    return true;
}

inline unsigned BigEndian32(const unsigned char* bytes) {
    return (unsigned{bytes[0]} << 24) | (unsigned{bytes[1]} << 16) | (unsigned{bytes[2]} << 8) |
           bytes[3];
}

// Each run of a scenario registers its two components afresh; the run
// number keeps them apart from the previous run's.
inline _qel_bos_uuid ComponentUuid(unsigned run, unsigned component) {
    return _qel_bos_uuid{0xC0DE0000u | (run << 8) | component,
                         0x1234,
                         0x5678,
                         {0x9A, 0xBC, 0xDE, 0xF0, 1, 2, 3, static_cast<unsigned char>(run)}};
}

constexpr unsigned kFlag = 0x20000000u;
constexpr unsigned kFacilities = FAULTKIT_FACILITY_MASK;

// The context "%i%s%f" of 7, "ab" and 1.5, rendered: 17 bytes written, 19
// counted (the two numbers count their terminators twice).
constexpr char kRendered[] =
    "7\0\"ab\"\0"
    "1.500000\0";
constexpr int kRenderedWritten = 17;
constexpr int kRenderedCounted = 19;

template <typename Face>
struct Scenario {
    static inline _qel_error_manager* redirect_target = nullptr;
    static inline bool redirect_ok = false;
    static inline bool stored_on_other_thread = false;

    // On a thread of its own: redirect to the target's creator, store
    // error 9 there, cancel the redirect.
    static void StoreThroughRedirect(void* /*unused*/) {
        redirect_ok = Face::Redirect(redirect_target, redirect_target);
        stored_on_other_thread = !Face::SetErrorBasic(redirect_target, 9, nullptr);
        redirect_ok = redirect_ok && Face::Redirect(redirect_target, nullptr);
    }

    static int Run(unsigned run, RunOnNewThread run_on_new_thread) {
        // Size and identity queries; a placed handle for component B.
        alignas(8) unsigned char memory[24] = {0xEE};
        CLIENT_CHECK(Face::Initialise(nullptr, nullptr) == reinterpret_cast<void*>(24));
        const _qel_bos_uuid library = {
            0x5A3E91C7, 0x2B4D, 0x4F08, {0x9C, 0x61, 0x7D, 0x2E, 0x0B, 0x8A, 0x4F, 0x13}};
        CLIENT_CHECK(SameBytes(Face::Initialise(memory, nullptr), &library, 16) &&
                     memory[0] == 0xEE);
        _qel_bos_uuid uuid_a = ComponentUuid(run, 1);
        _qel_bos_uuid uuid_b = ComponentUuid(run, 2);
        auto* placed = static_cast<_qel_error_manager*>(Face::Initialise(memory, &uuid_b));
        CLIENT_CHECK(placed == reinterpret_cast<_qel_error_manager*>(memory));
        CLIENT_CHECK(placed->facility == 0xFFFFFFFFu && Face::GetFacility(&uuid_b) == 0);

        // A heap handle for component A, from a clean start.
        _qel_error_manager* a = nullptr;
        CLIENT_CHECK(Face::Create(&a, &uuid_a) && a->facility != 0);
        CLIENT_CHECK((a->facility & ~kFacilities) == 0 &&
                     Face::GetFacility(&uuid_a) == a->facility);
        CLIENT_CHECK(Face::SetErrorBasic(a, 0, nullptr));

        // A with texts and a context, then B through its placed handle.
        char text1[] = "t1";
        char text2[] = "t2";
        char ab[] = "ab";
        CLIENT_CHECK(
            !Face::SetErrorFull(a, kFlag | 5, Face::Context(7, ab, 1.5), text1, text2, 42));
        CLIENT_CHECK(!Face::SetErrorBasic(placed, 6, nullptr));
        const unsigned facility_b = placed->facility;
        CLIENT_CHECK(facility_b != 0 && facility_b != a->facility);
        CLIENT_CHECK(Face::GetFacility(&uuid_b) == facility_b);

        // The last error: B's facility shows to A, not to B.
        _qel_error_enumerate record = {};
        CLIENT_CHECK(Face::GetLastError(a, &record) == (facility_b | 6));
        CLIENT_CHECK(record.index == 2 && record.count == 2 && record.aux_int == -1);
        CLIENT_CHECK(record.aux_text1 == nullptr && SameBytes(&record.uuid, &uuid_b, 16));
        CLIENT_CHECK(Face::GetLastError(placed, nullptr) == 6);

        // The walk: A's own error without its facility, flag kept.
        record.index = 0;
        CLIENT_CHECK(Face::EnumErrors(a, &record));
        CLIENT_CHECK(record.code == (kFlag | 5) && record.index == 1 && record.count == 2);
        CLIENT_CHECK(record.aux_text1 == text1 && record.aux_text2 == text2);
        CLIENT_CHECK(record.aux_int == 42 && SameBytes(&record.uuid, &uuid_a, 16));
        _qel_error_enumerate second = record;
        CLIENT_CHECK(Face::EnumErrors(a, &second) && second.code == (facility_b | 6));
        CLIENT_CHECK(!Face::EnumErrors(a, &second) && second.index == 2);

        // Export, clear by reading the root, import again: A's context
        // comes back and renders.
        unsigned char image[256];
        const unsigned long long length = Face::Export(a, nullptr, 0);
        CLIENT_CHECK(length > 12 && length <= sizeof image);
        CLIENT_CHECK(Face::Export(a, image, length - 1) == 0);
        CLIENT_CHECK(Face::Export(placed, image, sizeof image) == length);
        CLIENT_CHECK(BigEndian32(image) == length && BigEndian32(image + length - 4) == length);
        CLIENT_CHECK(Face::GetRootError(a, &record) == (kFlag | 5) && record.index == 1);
        CLIENT_CHECK(Face::GetLastError(a, nullptr) == 0);
        CLIENT_CHECK(Face::Import(placed, image));
        CLIENT_CHECK(Face::GetLastError(placed, nullptr) == 6);
        record.index = 0;
        CLIENT_CHECK(Face::EnumErrors(a, &record) && record.code == (kFlag | 5));
        CLIENT_CHECK(record.aux_text1 != text1 && SameBytes(record.aux_text1, "t1", 3));
        char text[kRenderedCounted + 4];
        for (char& c : text) {
            c = '#';
        }
        CLIENT_CHECK(Face::GetContextString(&record, nullptr, 0) == kRenderedCounted);
        CLIENT_CHECK(Face::GetContextString(&record, text, kRenderedCounted - 1) == 0);
        CLIENT_CHECK(text[0] == '#');
        CLIENT_CHECK(Face::GetContextString(&record, text, kRenderedCounted) == kRenderedCounted);
        CLIENT_CHECK(SameBytes(text, kRendered, kRenderedWritten) && text[kRenderedCounted] == '#');

        // Another thread's error lands here through a redirect.
        redirect_target = a;
        run_on_new_thread(StoreThroughRedirect, nullptr);
        CLIENT_CHECK(redirect_ok && stored_on_other_thread);
        CLIENT_CHECK(Face::GetLastError(a, nullptr) == 9);

        // Merge does nothing; a clearing code frees its context.
        CLIENT_CHECK(!Face::Merge(a, placed) && Face::GetLastError(a, nullptr) == 9);
        CLIENT_CHECK(Face::SetErrorBasic(a, 0, Face::Context(1, ab, 2.0)));
        CLIENT_CHECK(Face::GetLastError(a, &record) == 0);

        // Delete, twice; shut down.
        CLIENT_CHECK(Face::Delete(&a, true) && a == nullptr);
        CLIENT_CHECK(!Face::Delete(&a, false) && Face::Delete(&a, true));
        CLIENT_CHECK(Face::Shutdown());
        return 0;
    }
};

}  // namespace client
