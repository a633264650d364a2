#include "error_printing.h"

#include <cinttypes>

namespace faultkit::cli {

std::string UuidRegistryForm(const _qel_bos_uuid& uuid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  uuid.Data1, uuid.Data2, uuid.Data3, uuid.Data4[0], uuid.Data4[1], uuid.Data4[2],
                  uuid.Data4[3], uuid.Data4[4], uuid.Data4[5], uuid.Data4[6], uuid.Data4[7]);
    return text;
}

std::vector<std::string> ContextValues(_qel_error_enumerate* record) {
    std::vector<std::string> values;
    if (record->context == nullptr) {
        return values;
    }
    std::vector<char> text(static_cast<size_t>(ErrorMgrGetContextString(record, nullptr, 0)));
    if (text.empty() ||
        ErrorMgrGetContextString(record, text.data(), static_cast<int>(text.size())) == 0) {
        return values;
    }
    // The values stand one after another, each with its NUL; an empty
    // string marks the end (a value without text, such as a memory block,
    // reads as the end too).
    for (const char* p = text.data(); *p != '\0'; p += values.back().size() + 1) {
        values.emplace_back(p);
    }
    return values;
}

void PrintRecordContext(const char* label, _qel_error_enumerate* record) {
    std::printf("%s: context", label);
    for (const std::string& value : ContextValues(record)) {
        std::printf(" | %s", value.c_str());
    }
    std::printf("\n");
}

void PrintError(FILE* out, const char* indent, _qel_error_enumerate* record, uint32_t code) {
    std::fprintf(out, "%scode      0x%08" PRIX32 " (error number %" PRIu32 ", facility 0x%03" PRIX32
                      ", flags 0x%" PRIX32 ")\n",
                 indent, code, code & 0xFFFFu, (code >> 16) & 0xFFFu, code >> 28);
    std::fprintf(out, "%scomponent %s\n", indent, UuidRegistryForm(record->uuid).c_str());
    std::fprintf(out, "%stext 1    %s\n", indent, record->aux_text1 ? record->aux_text1 : "(none)");
    std::fprintf(out, "%stext 2    %s\n", indent, record->aux_text2 ? record->aux_text2 : "(none)");
    std::fprintf(out, "%sinteger   %" PRId32 "\n", indent, record->aux_int);
    std::fprintf(out, "%scontext  ", indent);
    for (const std::string& value : ContextValues(record)) {
        std::fprintf(out, " [%s]", value.c_str());
    }
    std::fprintf(out, "%s\n", record->context ? "" : " (none)");
}

void PrintThreadErrors(const char* label, _qel_error_manager* handle) {
    _qel_error_enumerate record{};
    const uint32_t last = ErrorMgrGetLastError(handle, &record);
    std::printf("%s: %u error(s) stored; last error code 0x%08X\n", label, record.count, last);
    record = _qel_error_enumerate{};
    while (ErrorMgrEnumErrors(handle, &record)) {
        std::printf("%s: error %d of %u\n", label, record.index, record.count);
        PrintError(stdout, "    ", &record, record.code);
    }
}

}  // namespace faultkit::cli
