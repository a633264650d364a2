// faultkit inspect: checks a transfer image with the library's own import
// checks and prints every record in it, contexts rendered by the library.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "context/context_list.h"
#include "context/image_layout.h"
#include "error_printing.h"
#include "faultkit.h"
#include "json_writer.h"
#include "process_pipe.h"

namespace faultkit::cli {
namespace {

// One record of the image, decoded for printing.
struct InspectedError {
    ImageRecord record;
    const char* name = nullptr;
    const char* text1 = nullptr;
    const char* text2 = nullptr;
    std::vector<uint16_t> value_types;
    std::vector<std::string> values;
};

bool ReadAll(FILE* in, std::vector<unsigned char>* bytes) {
    unsigned char chunk[65536];
    size_t read = 0;
    while ((read = std::fread(chunk, 1, sizeof chunk, in)) > 0) {
        bytes->insert(bytes->end(), chunk, chunk + read);
    }
    return std::ferror(in) == 0;
}

const char* StringAt(const RecordParts& parts, uint64_t at) {
    return at == kAbsent ? nullptr : reinterpret_cast<const char*>(parts.strings + at);
}

// Turns a copy of the blob to host order, renders it with the library's
// renderer and splits the text into one string per item.
void RenderContext(const RecordParts& parts, InspectedError* error) {
    std::vector<unsigned char> list(parts.blob, parts.blob + parts.blob_size);
    ContextChainSwap(list.data(), true);
    for (const unsigned char* item = list.data(); item != nullptr;) {
        const ContextItemView view = ReadContextItem(item, false);
        error->value_types.push_back(view.type);
        item = view.next != 0 ? item + view.next : nullptr;
    }
    _qel_error_enumerate record{};
    record.context = reinterpret_cast<_qel_error_context*>(list.data());
    std::vector<char> text(static_cast<size_t>(ErrorMgrGetContextString(&record, nullptr, 0)));
    ErrorMgrGetContextString(&record, text.data(), static_cast<int>(text.size()));
    const char* p = text.data();
    for (size_t i = 0; i < error->value_types.size(); ++i) {
        error->values.emplace_back(p);
        p += error->values.back().size() + 1;
    }
}

std::vector<InspectedError> DecodeErrors(const ImageLayout& layout) {
    std::vector<InspectedError> errors;
    ImageProblem unused{};
    WalkRecords(layout, &unused, [&errors](uint32_t, const RecordParts& parts) {
        InspectedError error;
        error.record = DecodeImageRecord(parts.record);
        error.name = StringAt(parts, parts.name_at);
        error.text1 = StringAt(parts, parts.aux_text1_at);
        error.text2 = StringAt(parts, parts.aux_text2_at);
        if (parts.blob != nullptr) {
            RenderContext(parts, &error);
        }
        errors.push_back(std::move(error));
        return true;
    });
    return errors;
}

const char* OrNone(const char* text) { return text != nullptr ? text : "(none)"; }

void PrintText(const std::vector<InspectedError>& errors, uint64_t length) {
    std::printf("transfer image: %" PRIu64 " bytes, %zu error(s)\n", length, errors.size());
    for (size_t i = 0; i < errors.size(); ++i) {
        const InspectedError& error = errors[i];
        const uint32_t code = error.record.code;
        std::printf("error %zu%s\n", i + 1, i == 0 ? " (root)" : "");
        std::printf("  code      0x%08" PRIX32 " (error number %" PRIu32 ", flags 0x%" PRIX32 ")\n",
                    code, code & 0xFFFFu, code >> 28);
        std::printf("  component %s\n", UuidRegistryForm(error.record.uuid).c_str());
        if (error.name != nullptr) {
            std::printf("  name      %s\n", error.name);
        }
        std::printf("  text 1    %s\n  text 2    %s\n", OrNone(error.text1), OrNone(error.text2));
        std::printf("  integer   %" PRId32 "\n", error.record.aux_int);
        std::printf("  context   %s\n", error.values.empty() ? "(none)" : "");
        for (size_t v = 0; v < error.values.size(); ++v) {
            std::printf("    [%zu] type %u: %s\n", v + 1, error.value_types[v],
                        error.values[v].c_str());
        }
    }
}

void PrintJson(const std::vector<InspectedError>& errors, uint64_t length) {
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("length").Number(length);
    json.Key("errors").BeginArray();
    for (const InspectedError& error : errors) {
        const uint32_t code = error.record.code;
        json.BeginObject();
        json.Key("code").String(HexCode(code).c_str());
        json.Key("error_number").Number(code & 0xFFFFu);
        json.Key("flags").Number(code >> 28);
        json.Key("component").String(UuidRegistryForm(error.record.uuid).c_str());
        json.Key("component_name").String(error.name);
        json.Key("text1").String(error.text1);
        json.Key("text2").String(error.text2);
        json.Key("integer").Number(error.record.aux_int);
        json.Key("context").BeginArray();
        for (size_t v = 0; v < error.values.size(); ++v) {
            json.BeginObject();
            json.Key("type").Number(error.value_types[v]);
            json.Key("text").String(error.values[v].c_str());
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
    json.EndObject();
    std::printf("\n");
}

// Imports the image into this thread and prints the errors as the library
// reads them back: their facilities are this process's own.
int ImportAndReadBack(unsigned char* image) {
    if (!ErrorMgrImport(image)) {
        std::fprintf(stderr, "faultkit: the library refused the image\n");
        return kExitBadInput;
    }
    unsigned char memory[sizeof(_qel_error_manager)];
    void* library_uuid = ErrorMgrInitialise(memory, nullptr);
    auto* reader = static_cast<_qel_error_manager*>(ErrorMgrInitialise(memory, library_uuid));
    std::printf("imported into this process:\n");
    PrintThreadErrors("imported", reader);
    ErrorMgrGetRootError(reader, nullptr);
    return kExitOk;
}

}  // namespace

int RunInspect(int argc, char** argv) {
    bool as_json = false;
    bool import = false;
    const char* input = nullptr;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--json") == 0) {
            as_json = true;
        } else if (std::strcmp(argv[i], "--import") == 0) {
            import = true;
        } else if (argv[i][0] == '-' && argv[i][1] != '\0') {
            return UsageError("inspect", "unknown option");
        } else if (input != nullptr) {
            return UsageError("inspect", "only one input file");
        } else {
            input = argv[i];
        }
    }
    const bool from_stdin = input == nullptr || std::strcmp(input, "-") == 0;
    FILE* in = from_stdin ? stdin : std::fopen(input, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "faultkit: cannot read '%s'\n", input);
        return kExitBadInput;
    }
    if (from_stdin) {
        SetBinaryMode(stdin);
    }
    std::vector<unsigned char> bytes;
    const bool read = ReadAll(in, &bytes);
    if (!from_stdin) {
        std::fclose(in);
    }
    ImageLayout layout{};
    ImageProblem problem{"", 0};
    if (!read || !CheckImage(bytes.data(), bytes.size(), &layout, &problem)) {
        std::fprintf(stderr, "faultkit: malformed image: %s at byte offset %" PRIu64 "\n",
                     read ? problem.what : "read error", problem.offset);
        return kExitBadInput;
    }
    const uint64_t length = layout.strings_end + kImageTrailerSize;
    const std::vector<InspectedError> errors = DecodeErrors(layout);
    as_json ? PrintJson(errors, length) : PrintText(errors, length);
    return import ? ImportAndReadBack(bytes.data()) : kExitOk;
}

}  // namespace faultkit::cli
