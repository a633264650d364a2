// faultkit inspect: checks a transfer image with the library's own import
// checks and prints every record in it, contexts rendered by the library.
// Only the image is held in memory: its length field says how much to
// read, and whatever follows it is counted in blocks, not kept.
#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/byte_order.h"
#include "commands.h"
#include "context/context_list.h"
#include "error_printing.h"
#include "faultkit.h"
#include "file_io.h"
#include "json_writer.h"
#include "option_parser.h"
#include "transfer/image_layout.h"

namespace faultkit::cli {
namespace {

constexpr size_t kReadBlock = 64 * 1024;
constexpr uint64_t kPipeReserve = 1 << 20;

struct InspectOptions {
    bool json = false;
    bool import = false;
    const char* input = nullptr;
};

// The image as read: its bytes up to its length field (fewer when the input
// ends first) and the number of bytes that follow it.
struct ImageInput {
    std::vector<unsigned char> bytes;
    uint64_t trailing = 0;
};

enum InspectOption { kJson, kImport };
const OptionRule kInspectOptions[] = {{"json", 0, false}, {"import", 0, false}};

int ParseOptions(int argc, char** argv, InspectOptions* options) {
    return ParseArguments(
        "inspect", argc, argv, kInspectOptions, sizeof kInspectOptions / sizeof *kInspectOptions,
        [options](int option, const char*) {
            (option == kJson ? options->json : options->import) = true;
            return static_cast<int>(kExitOk);
        },
        TakeOneOperand("inspect", &options->input));
}

// Appends up to `wanted` bytes in blocks, so that memory follows what the
// input holds, not what a length field claims. False on a read error.
bool ReadUpTo(const Input& input, uint64_t wanted, std::vector<unsigned char>* bytes) {
    while (bytes->size() < wanted) {
        const size_t have = bytes->size();
        const size_t block = static_cast<size_t>(std::min<uint64_t>(kReadBlock, wanted - have));
        bytes->resize(have + block);
        const int64_t got = ReadFull(input, bytes->data() + have, block);
        if (got < 0) {
            return false;
        }
        bytes->resize(have + static_cast<size_t>(got));
        if (static_cast<size_t>(got) < block) {
            break;
        }
    }
    return true;
}

// Reads the image and counts what follows it. A file that is shorter than
// its length field says is read no further: the check refuses it at once.
bool ReadImage(const Input& input, ImageInput* image) {
    if (!ReadUpTo(input, 4, &image->bytes)) {
        return false;
    }
    if (image->bytes.size() < 4) {
        return true;
    }
    const uint64_t length = LoadBe32(image->bytes.data());
    const int64_t left = BytesLeft(input);
    if (left >= 0 && length > 4 + static_cast<uint64_t>(left)) {
        return true;
    }
    // A file holds the whole image: room for exactly that. From a pipe the
    // length is only a claim until the bytes arrive.
    image->bytes.reserve(static_cast<size_t>(left >= 0 ? length : std::min(length, kPipeReserve)));
    if (!ReadUpTo(input, length, &image->bytes)) {
        return false;
    }
    std::vector<unsigned char> rest(kReadBlock);
    for (;;) {
        const int64_t got = ReadSome(input, rest.data(), rest.size());
        if (got <= 0) {
            return got == 0;
        }
        image->trailing += static_cast<uint64_t>(got);
    }
}

const char* StringAt(const RecordParts& parts, uint64_t at) {
    return at == kAbsent ? nullptr : reinterpret_cast<const char*>(parts.strings + at);
}

// Image records carry no facility: their codes are as the image holds them.
std::vector<ErrorView> DecodeErrors(const ImageLayout& layout) {
    std::vector<ErrorView> errors;
    ImageProblem unused{};
    WalkRecords(layout, &unused, [&](uint32_t, const RecordParts& parts) {
        const ImageRecord record = DecodeImageRecord(parts.record);
        ErrorView error;
        error.code = record.code;
        error.uuid = record.uuid;
        error.aux_int = record.aux_int;
        error.name = StringAt(parts, parts.name_at);
        error.text1 = StringAt(parts, parts.aux_text1_at);
        error.text2 = StringAt(parts, parts.aux_text2_at);
        if (parts.blob != nullptr) {
            // The renderer reads an aligned list in host order: a copy, kept
            // only while it renders.
            std::vector<unsigned char> list(parts.blob, parts.blob + parts.blob_size);
            ContextChainSwap(list.data(), true);
            error.context = RenderContextValues(reinterpret_cast<_qel_error_context*>(list.data()));
        }
        errors.push_back(std::move(error));
        return true;
    });
    return errors;
}

// Imports the image into this thread and reads the errors back through a
// handle of facility 0, which strips nothing: the codes carry the
// facilities this process gave the imported UUIDs.
bool Import(unsigned char* image, _qel_error_manager** reader, unsigned char* memory) {
    if (!ErrorMgrImport(image)) {
        std::fprintf(stderr, "faultkit: the library refused the image\n");
        return false;
    }
    void* library_uuid = ErrorMgrInitialise(memory, nullptr);
    *reader = static_cast<_qel_error_manager*>(ErrorMgrInitialise(memory, library_uuid));
    return true;
}

void PrintText(const std::vector<ErrorView>& errors, uint64_t length,
               const ThreadErrors* imported) {
    std::printf("transfer image: %" PRIu64 " bytes, %zu error(s)\n", length, errors.size());
    for (size_t i = 0; i < errors.size(); ++i) {
        std::printf("error %zu%s\n", i + 1, i == 0 ? " (root)" : "");
        PrintErrorText("  ", errors[i]);
    }
    if (imported != nullptr) {
        std::printf("imported into this process:\n");
        PrintThreadErrors("imported", *imported);
    }
}

void PrintJson(const std::vector<ErrorView>& errors, uint64_t length, uint64_t trailing,
               const ThreadErrors* imported, bool import_asked) {
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("length").Number(static_cast<int64_t>(length));
    json.Key("trailing_bytes").Number(static_cast<int64_t>(trailing));
    json.Key("errors").BeginArray();
    for (const ErrorView& error : errors) {
        WriteErrorJson(json, error);
    }
    json.EndArray();
    if (import_asked) {
        json.Key("imported");
        if (imported == nullptr) {
            json.String(nullptr);
        } else {
            json.BeginObject();
            json.Key("count").Number(imported->count);
            json.Key("last_code").String(HexCode(imported->last_code).c_str());
            json.Key("errors").BeginArray();
            for (const ErrorView& error : imported->errors) {
                WriteErrorJson(json, error);
            }
            json.EndArray();
            json.EndObject();
        }
    }
    json.EndObject();
    std::printf("\n");
}

// A refused image in --json mode: a document that names the problem.
void PrintProblemJson(const ImageProblem& problem) {
    JsonWriter json(stdout);
    json.BeginObject();
    json.Key("problem").BeginObject();
    json.Key("what").String(problem.what);
    json.Key("offset").Number(static_cast<int64_t>(problem.offset));
    json.EndObject();
    json.EndObject();
    std::printf("\n");
}

// Reads the image and checks it; kExitOk, or kExitBadInput after a message.
int ReadCheckedImage(const InspectOptions& options, ImageInput* image, ImageLayout* layout) {
    Input input;
    if (!OpenInput(options.input, &input)) {
        return kExitBadInput;
    }
    SetBinaryStandardStreams();
    const bool read = ReadImage(input, image);
    CloseInput(&input);
    if (!read) {
        return kExitBadInput;
    }
    ImageProblem problem{"", 0};
    if (!CheckImage(image->bytes.data(), image->bytes.size(), layout, &problem)) {
        std::fprintf(stderr, "faultkit: malformed image: %s at byte offset %" PRIu64 "\n",
                     problem.what, problem.offset);
        if (options.json) {
            PrintProblemJson(problem);
        }
        return kExitBadInput;
    }
    if (image->trailing != 0) {
        std::fprintf(stderr,
                     "faultkit: note: %" PRIu64 " byte(s) follow the image's length of %" PRIu64
                     " and were not read as part of it\n",
                     image->trailing, layout->strings_end + kImageTrailerSize);
    }
    return kExitOk;
}

}  // namespace

int RunInspect(int argc, char** argv) {
    InspectOptions options;
    ImageInput image;
    ImageLayout layout{};
    int result = ParseOptions(argc, argv, &options);
    if (result != kExitOk || (result = ReadCheckedImage(options, &image, &layout)) != kExitOk) {
        return result;
    }
    const std::vector<ErrorView> errors = DecodeErrors(layout);
    unsigned char memory[sizeof(_qel_error_manager)];
    _qel_error_manager* reader = nullptr;
    const bool imported = options.import && Import(image.bytes.data(), &reader, memory);
    ThreadErrors read_back;
    if (imported) {
        read_back = ReadThreadErrors(reader);
    }
    const ThreadErrors* shown = imported ? &read_back : nullptr;
    const uint64_t length = layout.strings_end + kImageTrailerSize;
    if (options.json) {
        PrintJson(errors, length, image.trailing, shown, options.import);
    } else {
        PrintText(errors, length, shown);
    }
    if (imported) {
        ErrorMgrGetRootError(reader, nullptr);  // ends the imported episode
    }
    return options.import && !imported ? kExitBadInput : kExitOk;
}

}  // namespace faultkit::cli
