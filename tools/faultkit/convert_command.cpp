// faultkit convert: streaming text conversion with the library's engine.
// Input is read in chunks; a character cut by a chunk's end is carried to
// the next one, so memory stays constant whatever the input's size.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "encoding_names.h"
#include "process_pipe.h"
#include "text/character_coders.h"
#include "text/encoding_conversion.h"

namespace faultkit::cli {
namespace {

constexpr size_t kChunk = 64 * 1024;
constexpr size_t kCarryMax = 8;  // longest character: 6 UTF-8 bytes
// A chunk converted to UTF-8 or UTF-32 grows at most four times.
constexpr size_t kMiddleBytes = 4 * (kChunk + kCarryMax);

struct ConvertOptions {
    EncodingId from = kEncodingUtf8;
    EncodingId to = kEncodingUtf8;
    int32_t replacement = 0;
    const char* input = nullptr;  // null or "-": standard input
};

// Converts a whole chunk onto `out`; false on an invalid character. The
// position where conversion stopped (a cut character) goes to `stopped`.
// Conversions between two non-UTF-8 encodings, and UTF-8 to UTF-8 (which
// validates), pass through an intermediate buffer.
bool ConvertChunk(const ConvertOptions& options, const char* src, size_t length, FILE* out,
                  char* middle, const char** stopped) {
    const void* end = nullptr;
    if (options.from != kEncodingUtf8 && options.to == kEncodingUtf8) {
        ConvertToUtf8(options.from, src, length, out, 0, &end, nullptr);
        *stopped = static_cast<const char*>(end);
        return end != nullptr;
    }
    if (options.from == kEncodingUtf8 && options.to != kEncodingUtf8) {
        ConvertFromUtf8(options.to, src, length, out, 0, stopped, nullptr, options.replacement);
        return *stopped != nullptr;
    }
    void* middle_end = nullptr;
    if (options.from == kEncodingUtf8) {
        const char* utf8_end = nullptr;
        ConvertFromUtf8(kEncodingUtf32, src, length, middle, kMiddleBytes, &utf8_end, &middle_end, 0);
        end = utf8_end;
    } else {
        ConvertToUtf8(options.from, src, length, middle, kMiddleBytes, &end, &middle_end);
    }
    if (end == nullptr) {
        return false;
    }
    *stopped = static_cast<const char*>(end);
    const size_t middle_length = static_cast<size_t>(static_cast<char*>(middle_end) - middle);
    if (middle_length == 0) {
        return true;
    }
    if (options.to == kEncodingUtf8) {
        return ConvertToUtf8(kEncodingUtf32, middle, middle_length, out, 0, nullptr, nullptr) != 0;
    }
    return ConvertFromUtf8(options.to, middle, middle_length, out, 0, nullptr, nullptr,
                           options.replacement) != 0;
}

// Offset of the first character that does not decode in the source
// encoding or has no form in the target encoding.
size_t FirstFailingOffset(const ConvertOptions& options, const char* src, size_t length) {
    const char* p = src;
    const void* end = src + length;
    for (;;) {
        uint32_t cp = 0;
        const void* next = end;
        char encoded[8];
        if (!DecodeChar(options.from, p, &cp, &next, nullptr) ||
            !EncodeChar(options.to, cp, encoded, nullptr, options.replacement)) {
            return static_cast<size_t>(p - src);
        }
        p = static_cast<const char*>(next);
    }
}

int Fail(const char* what, unsigned long long offset) {
    std::fprintf(stderr, "faultkit: %s at byte offset %llu\n", what, offset);
    return kExitBadInput;
}

int ConvertStream(const ConvertOptions& options, FILE* in, FILE* out) {
    char* chunk = static_cast<char*>(std::malloc(kChunk + kCarryMax));
    char* middle = static_cast<char*>(std::malloc(kMiddleBytes));
    int result = kExitOk;
    size_t carry = 0;
    unsigned long long offset = 0;  // input offset of chunk[0]
    while (chunk != nullptr && middle != nullptr) {
        const size_t read = std::fread(chunk + carry, 1, kChunk, in);
        const size_t length = carry + read;
        if (read == 0) {
            result = carry == 0 ? kExitOk : Fail("incomplete character at the end of the input", offset);
            break;
        }
        const char* stopped = nullptr;
        if (!ConvertChunk(options, chunk, length, out, middle, &stopped)) {
            result = Fail("invalid or unconvertible character",
                          offset + FirstFailingOffset(options, chunk, length));
            break;
        }
        carry = length - static_cast<size_t>(stopped - chunk);
        if (carry > kCarryMax || std::ferror(out)) {
            result = Fail("could not write the output", offset + (length - carry));
            break;
        }
        std::memmove(chunk, stopped, carry);
        offset += length - carry;
    }
    if (chunk == nullptr || middle == nullptr) {
        std::fprintf(stderr, "faultkit: out of memory\n");
        result = kExitBadInput;
    }
    std::free(chunk);
    std::free(middle);
    return std::fflush(out) == 0 || result != kExitOk ? result : Fail("could not write the output", offset);
}

bool ParseReplacement(const char* text, int32_t* replacement) {
    if (std::strlen(text) == 1 && static_cast<unsigned char>(text[0]) < 0x80) {
        *replacement = static_cast<unsigned char>(text[0]);
        return true;
    }
    char* end = nullptr;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (text[0] == '0' && end != text && *end == '\0' && value >= 1 && value <= 0xFF) {
        *replacement = static_cast<int32_t>(value);
        return true;
    }
    return false;
}

// Reads the options; returns kExitOk or a usage error (kExitUsage), or -1
// after --list.
int ParseOptions(int argc, char** argv, ConvertOptions* options) {
    bool have_from = false;
    bool have_to = false;
    for (int i = 0; i < argc; ++i) {
        const std::string argument = argv[i];
        if (argument == "--list") {
            ListEncodings(stdout);
            return -1;
        }
        const bool takes_value =
            argument == "--from" || argument == "--to" || argument == "--replacement";
        if (takes_value && i + 1 == argc) {
            return UsageError("convert", (argument + " needs a value").c_str());
        }
        if (argument == "--from" || argument == "--to") {
            EncodingId* id = argument == "--from" ? &options->from : &options->to;
            if (!EncodingByName(argv[++i], id)) {
                return UsageError("convert", ("unknown encoding '" + std::string(argv[i]) +
                                              "' (see 'faultkit convert --list')").c_str());
            }
            (argument == "--from" ? have_from : have_to) = true;
        } else if (argument == "--replacement") {
            if (!ParseReplacement(argv[++i], &options->replacement)) {
                return UsageError("convert", "--replacement takes one ASCII character or 0xNN");
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            return UsageError("convert", ("unknown option '" + argument + "'").c_str());
        } else if (options->input != nullptr) {
            return UsageError("convert", "only one input file");
        } else {
            options->input = argv[i];
        }
    }
    if (!have_from || !have_to) {
        return UsageError("convert", "--from and --to are required");
    }
    return kExitOk;
}

}  // namespace

int RunConvert(int argc, char** argv) {
    ConvertOptions options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed != kExitOk) {
        return parsed < 0 ? kExitOk : parsed;
    }
    const bool from_stdin = options.input == nullptr || std::strcmp(options.input, "-") == 0;
    FILE* in = from_stdin ? stdin : std::fopen(options.input, "rb");
    if (in == nullptr) {
        std::fprintf(stderr, "faultkit: cannot read '%s'\n", options.input);
        return kExitBadInput;
    }
    SetBinaryMode(stdout);
    if (from_stdin) {
        SetBinaryMode(stdin);
    }
    const int result = ConvertStream(options, in, stdout);
    if (!from_stdin) {
        std::fclose(in);
    }
    return result;
}

}  // namespace faultkit::cli
