// Reading the calling thread's errors back through the exported functions,
// and describing them so that errors of two threads or two processes can be
// compared: everything but the process-local facility number, contexts byte
// for byte over their chain size.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "context/context_list.h"
#include "faultkit.h"
#include "support/test_uuids.h"

namespace faultkit::test {

// A literal format for ErrorMgrBuildContext, which takes a non-const one.
inline char* Format(const char* format) { return const_cast<char*>(format); }

// A handle of facility 0: reading through it leaves every code its facility.
inline _qel_error_manager* Observer() {
    static _qel_error_manager observer;
    static _qel_error_manager* const handle = [] {
        _qel_bos_uuid library = kLibraryUuidForTests;
        return static_cast<_qel_error_manager*>(ErrorMgrInitialise(&observer, &library));
    }();
    return handle;
}

// The calling thread's errors, oldest first.
inline std::vector<_qel_error_enumerate> ThreadErrors() {
    std::vector<_qel_error_enumerate> errors;
    _qel_error_enumerate e{};
    while (ErrorMgrEnumErrors(Observer(), &e)) {
        errors.push_back(e);
    }
    return errors;
}

inline void ClearThreadErrors() { ErrorMgrGetRootError(Observer(), nullptr); }

// The calling thread's errors as an image.
inline std::vector<uint8_t> ExportImage() {
    std::vector<uint8_t> image(ErrorMgrExport(nullptr, 0));
    ErrorMgrExport(image.data(), image.size());
    return image;
}

// Bytes in hex; "-" for none.
inline std::string Hex(const void* at, uint64_t size) {
    std::string text = at != nullptr ? "" : "-";
    for (uint64_t i = 0; at != nullptr && i < size; ++i) {
        text += "0123456789ABCDEF"[static_cast<const uint8_t*>(at)[i] >> 4];
        text += "0123456789ABCDEF"[static_cast<const uint8_t*>(at)[i] & 15];
    }
    return text;
}

inline std::string HexText(const char* text) {
    return text != nullptr ? "[" + Hex(text, std::char_traits<char>::length(text)) + "]" : "-";
}

// Code without facility, whether its facility is the one this process gives
// the UUID (none for NullUuid and LibraryUuid), the UUID, aux_int, the aux
// texts and the context bytes.
inline std::string Describe(const _qel_error_enumerate& e) {
    _qel_bos_uuid uuid = e.uuid;
    const uint32_t facility = e.code & FAULTKIT_FACILITY_MASK;
    const char* whose = facility != ErrorMgrGetFacility(&uuid) ? "foreign-facility"
                        : facility != 0                        ? "own-facility"
                                                               : "no-facility";
    char head[80];
    std::snprintf(head, sizeof head, "code %08X %s aux_int %d", e.code & ~FAULTKIT_FACILITY_MASK,
                  whose, e.aux_int);
    const std::string context = Hex(e.context, e.context ? ContextChainSize(e.context, false) : 0);
    return std::string(head) + " uuid " + Hex(&e.uuid, sizeof e.uuid) + " text1 " +
           HexText(e.aux_text1) + " text2 " + HexText(e.aux_text2) + " context " + context;
}

inline std::vector<std::string> DescribeThreadErrors() {
    std::vector<std::string> lines;
    for (const _qel_error_enumerate& e : ThreadErrors()) {
        lines.push_back(Describe(e));
    }
    return lines;
}

}  // namespace faultkit::test
