// Errors as the tool shows them: one view filled from an image record or
// from a record the library reads back, printed as text or as JSON.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "faultkit.h"
#include "json_writer.h"

namespace faultkit::cli {

struct ContextValue {
    uint16_t type;
    const char* text;  // as the library renders it, inside the rendering
};

// A context's values with the library's rendering they point into. Moving
// it keeps the pointers valid.
struct RenderedContext {
    std::vector<char> rendering;
    std::vector<ContextValue> values;
};

struct ErrorView {
    uint32_t code = 0;
    bool has_facility = false;  // the code carries a facility of this process
    _qel_bos_uuid uuid{};
    const char* name = nullptr;  // component name (images only)
    const char* text1 = nullptr;
    const char* text2 = nullptr;
    int32_t aux_int = 0;
    RenderedContext context;
};

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
std::string UuidRegistryForm(const _qel_bos_uuid& uuid);

// The library's name of a context type, e.g. "CtxUInt64", and the directive
// that makes it, "%llu"; "unknown" and "" for codes the library does not
// know.
const char* ContextTypeName(uint16_t type);
const char* ContextTypeDirective(uint16_t type);

// The values of a context list in host order, each rendered by the library.
RenderedContext RenderContextValues(_qel_error_context* list);

// The view of a record read through the public interface; `code` is the
// code as the read returned it.
ErrorView ViewOfRecord(_qel_error_enumerate* record, uint32_t code);

// Prints the view to standard output, one field a line after `indent`, with
// control characters and bytes that are not UTF-8 escaped.
void PrintErrorText(const char* indent, const ErrorView& error);

// Writes the view as one JSON object.
void WriteErrorJson(JsonWriter& json, const ErrorView& error);

// The calling thread's errors as read through `handle`.
struct ThreadErrors {
    uint32_t count = 0;
    uint32_t last_code = 0;
    std::vector<ErrorView> errors;
};
ThreadErrors ReadThreadErrors(_qel_error_manager* handle);

// "<label>: N error(s) stored; last error code 0x..." and every error.
void PrintThreadErrors(const char* label, const ThreadErrors& errors);

}  // namespace faultkit::cli
