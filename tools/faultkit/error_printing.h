// Printing errors read through the public interface, as plain text.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "faultkit.h"

namespace faultkit::cli {

// {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
std::string UuidRegistryForm(const _qel_bos_uuid& uuid);

// The record's context rendered by the library, one string per value.
std::vector<std::string> ContextValues(_qel_error_enumerate* record);

// "context of <label>: v1 | v2 | ..." for the record's context.
void PrintRecordContext(const char* label, _qel_error_enumerate* record);

// One error: code with its parts, component, texts, integer, context.
void PrintError(FILE* out, const char* indent, _qel_error_enumerate* record, uint32_t code);

// Walks the calling thread's errors through `handle` and prints each.
void PrintThreadErrors(const char* label, _qel_error_manager* handle);

}  // namespace faultkit::cli
