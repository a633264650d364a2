#include "error_printing.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "context/context_list.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

// The text escaped for a terminal, "(none)" for none, and a newline.
void PrintLine(const char* text) {
    WriteForTerminal(stdout, text != nullptr ? text : "(none)");
    std::printf("\n");
}

// "<indent><label> <text>".
void PrintText(const char* indent, const char* label, const char* text) {
    std::printf("%s%-9s ", indent, label);
    PrintLine(text);
}

}  // namespace

std::string UuidRegistryForm(const _qel_bos_uuid& uuid) {
    char text[40];
    std::snprintf(text, sizeof text, "{%08" PRIX32 "-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  uuid.Data1, uuid.Data2, uuid.Data3, uuid.Data4[0], uuid.Data4[1], uuid.Data4[2],
                  uuid.Data4[3], uuid.Data4[4], uuid.Data4[5], uuid.Data4[6], uuid.Data4[7]);
    return text;
}

namespace {

struct ContextTypeText {
    uint16_t type;
    const char* name;
    const char* directive;
};

const ContextTypeText kContextTypes[] = {
    {CtxInt32, "CtxInt32", "%i"},      {CtxInt64, "CtxInt64", "%lli"},
    {CtxPtrDiff, "CtxPtrDiff", "%ti"}, {CtxHex32, "CtxHex32", "%r"},
    {CtxDouble, "CtxDouble", "%f"},    {CtxLongDouble, "CtxLongDouble", "%Lf"},
    {CtxChar, "CtxChar", "%c"},        {CtxString, "CtxString", "%s"},
    {CtxPointer, "CtxPointer", "%p"},  {CtxMemory, "CtxMemory", "%m"},
    {CtxUInt32, "CtxUInt32", "%u"},    {CtxUInt64, "CtxUInt64", "%llu"},
    {CtxSize, "CtxSize", "%zu"},
};

const ContextTypeText* FindContextType(uint16_t type) {
    for (const ContextTypeText& known : kContextTypes) {
        if (known.type == type) {
            return &known;
        }
    }
    return nullptr;
}

}  // namespace

const char* ContextTypeName(uint16_t type) {
    const ContextTypeText* known = FindContextType(type);
    return known != nullptr ? known->name : "unknown";
}

const char* ContextTypeDirective(uint16_t type) {
    const ContextTypeText* known = FindContextType(type);
    return known != nullptr ? known->directive : "";
}

RenderedContext RenderContextValues(_qel_error_context* list) {
    RenderedContext context;
    for (const auto* item = reinterpret_cast<const unsigned char*>(list); item != nullptr;) {
        const ContextItemView view = ReadContextItem(item, false);
        context.values.push_back(ContextValue{view.type, ""});
        item = view.next != 0 ? item + view.next : nullptr;
    }
    // The rendering holds one NUL-terminated text per value, in list order.
    _qel_error_enumerate record{};
    record.context = list;
    const int size = ErrorMgrGetContextString(&record, nullptr, 0);
    context.rendering.resize(size > 0 ? static_cast<size_t>(size) : 0);
    if (context.rendering.empty() ||
        ErrorMgrGetContextString(&record, context.rendering.data(), size) == 0) {
        return context;
    }
    const char* p = context.rendering.data();
    for (ContextValue& value : context.values) {
        value.text = p;
        p += std::strlen(p) + 1;
    }
    return context;
}

ErrorView ViewOfRecord(_qel_error_enumerate* record, uint32_t code) {
    ErrorView view;
    view.code = code;
    view.has_facility = true;
    view.uuid = record->uuid;
    view.text1 = record->aux_text1;
    view.text2 = record->aux_text2;
    view.aux_int = record->aux_int;
    if (record->context != nullptr) {
        view.context = RenderContextValues(record->context);
    }
    return view;
}

void PrintErrorText(const char* indent, const ErrorView& error) {
    const uint32_t code = error.code;
    std::printf("%scode      0x%08" PRIX32 " (error number %" PRIu32, indent, code, code & 0xFFFFu);
    if (error.has_facility) {
        std::printf(", facility 0x%08" PRIX32, code & 0x0FFF0000u);
    }
    std::printf(", flags 0x%" PRIX32 ")\n", code >> 28);
    std::printf("%scomponent %s\n", indent, UuidRegistryForm(error.uuid).c_str());
    if (error.name != nullptr) {
        PrintText(indent, "name", error.name);
    }
    PrintText(indent, "text 1", error.text1);
    PrintText(indent, "text 2", error.text2);
    std::printf("%sinteger   %" PRId32 "\n", indent, error.aux_int);
    const std::vector<ContextValue>& values = error.context.values;
    std::printf("%scontext   %s\n", indent, values.empty() ? "(none)" : "");
    for (size_t v = 0; v < values.size(); ++v) {
        const uint16_t type = values[v].type;
        if (FindContextType(type) != nullptr) {
            std::printf("%s  [%zu] %s (%s): ", indent, v + 1, ContextTypeName(type),
                        ContextTypeDirective(type));
        } else {
            std::printf("%s  [%zu] type %u, unknown: ", indent, v + 1, type);
        }
        PrintLine(values[v].text);
    }
}

void WriteErrorJson(JsonWriter& json, const ErrorView& error) {
    const uint32_t code = error.code;
    json.BeginObject();
    json.Key("code").String(HexCode(code).c_str());
    json.Key("error_number").Number(code & 0xFFFFu);
    if (error.has_facility) {
        json.Key("facility").Number((code >> 16) & 0xFFFu);
    }
    json.Key("flags").Number(code >> 28);
    json.Key("component").String(UuidRegistryForm(error.uuid).c_str());
    json.Key("component_name").String(error.name);
    json.Key("text1").String(error.text1);
    json.Key("text2").String(error.text2);
    json.Key("integer").Number(error.aux_int);
    json.Key("context").BeginArray();
    for (const ContextValue& value : error.context.values) {
        json.BeginObject();
        json.Key("type").Number(value.type);
        json.Key("type_name").String(ContextTypeName(value.type));
        json.Key("text").String(value.text);
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
}

ThreadErrors ReadThreadErrors(_qel_error_manager* handle) {
    ThreadErrors result;
    _qel_error_enumerate record{};
    result.last_code = ErrorMgrGetLastError(handle, &record);
    result.count = record.count;
    record = _qel_error_enumerate{};
    while (ErrorMgrEnumErrors(handle, &record)) {
        result.errors.push_back(ViewOfRecord(&record, record.code));
    }
    return result;
}

void PrintThreadErrors(const char* label, const ThreadErrors& errors) {
    std::printf("%s: %u error(s) stored; last error code 0x%08X\n", label, errors.count,
                errors.last_code);
    for (size_t i = 0; i < errors.errors.size(); ++i) {
        std::printf("%s: error %zu of %u\n", label, i + 1, errors.count);
        PrintErrorText("    ", errors.errors[i]);
    }
}

}  // namespace faultkit::cli
