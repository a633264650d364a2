// faultkit convert: streaming text conversion with the library's engine.
// Input is read in large blocks with plain reads, converted by the
// StreamConverter and written with plain writes, so memory stays fixed
// whatever the input's size.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "commands.h"
#include "encoding_names.h"
#include "file_io.h"
#include "option_parser.h"
#include "stream_converter.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

constexpr size_t kBlock = 128 * 1024;

struct ConvertOptions {
    ConversionSettings settings;
    bool have_from = false;
    bool have_to = false;
    bool list = false;
    const char* input = nullptr;  // null or "-": standard input
};

enum ConvertOption { kFrom, kTo, kReplacement, kStrict, kList };
const OptionRule kConvertOptions[] = {
    {"from", 'f', true},  {"to", 't', true},  {"replacement", 0, true},
    {"strict", 0, false}, {"list", 0, false},
};

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

int TakeOption(int option, const char* value, ConvertOptions* options) {
    switch (option) {
        case kFrom:
        case kTo: {
            EncodingId* id = option == kFrom ? &options->settings.from : &options->settings.to;
            if (!EncodingByName(value, id)) {
                return UsageError("convert", ("unknown encoding " + Quoted(value) +
                                              " (see 'faultkit convert --list')")
                                                 .c_str());
            }
            (option == kFrom ? options->have_from : options->have_to) = true;
            return kExitOk;
        }
        case kReplacement:
            return ParseReplacement(value, &options->settings.replacement)
                       ? kExitOk
                       : UsageError("convert", ("--replacement takes one ASCII character or "
                                                "0xNN, not " +
                                                Quoted(value))
                                                   .c_str());
        case kStrict: options->settings.strict = true; return kExitOk;
        default: options->list = true; return kExitOk;
    }
}

int ParseOptions(int argc, char** argv, ConvertOptions* options) {
    const int parsed = ParseArguments(
        "convert", argc, argv, kConvertOptions, sizeof kConvertOptions / sizeof *kConvertOptions,
        [options](int option, const char* value) { return TakeOption(option, value, options); },
        TakeOneOperand("convert", &options->input));
    if (parsed != kExitOk || options->list) {
        return parsed;
    }
    if (!options->have_from || !options->have_to) {
        return UsageError("convert", "--from and --to are required");
    }
    return kExitOk;
}

// "faultkit: <what> at byte offset N" for the character that stopped the
// conversion.
void ReportStop(const Stop& stop, const ConversionSettings& settings) {
    char what[128];
    const char* from = EncodingName(settings.from);
    const char* to = EncodingName(settings.to);
    const unsigned cp = stop.code_point;
    switch (stop.reason) {
        case StopReason::kNoForm:
            std::snprintf(what, sizeof what, "U+%04X cannot be written in %s", cp, to);
            break;
        case StopReason::kUnmapped:
            std::snprintf(what, sizeof what, "U+%04X has no mapping in %s (--strict)", cp, to);
            break;
        case StopReason::kUnmappedByte:
            std::snprintf(what, sizeof what, "byte 0x%02X has no character in %s (--strict)",
                          stop.byte, from);
            break;
        case StopReason::kRefusedCodePoint:
            std::snprintf(what, sizeof what, "U+%04X is %s (--strict)", cp,
                          cp <= 0xDFFF ? "a surrogate" : "above U+10FFFF");
            break;
        case StopReason::kIncomplete:
            std::snprintf(what, sizeof what, "incomplete %s character at the end of the input",
                          from);
            break;
        default: std::snprintf(what, sizeof what, "invalid %s input", from); break;
    }
    std::fprintf(stderr, "faultkit: %s at byte offset %" PRIu64 "\n", what, stop.offset);
}

int ConvertStream(const ConversionSettings& settings, const Input& input) {
    StreamConverter converter;
    if (!converter.Open(settings, kBlock)) {
        std::fprintf(stderr, "faultkit: out of memory\n");
        return kExitBadInput;
    }
    for (;;) {
        const int64_t read = ReadSome(input, converter.InputSpace(), converter.InputRoom());
        if (read < 0) {
            return kExitBadInput;
        }
        const bool going =
            read == 0 ? converter.Finish() : converter.Convert(static_cast<size_t>(read));
        if (!WriteOutput(converter.Output(), converter.OutputSize())) {
            return kExitBadInput;
        }
        if (!going) {
            ReportStop(converter.stop(), settings);
            return kExitBadInput;
        }
        if (read == 0) {
            return kExitOk;
        }
    }
}

}  // namespace

int RunConvert(int argc, char** argv) {
    ConvertOptions options;
    const int parsed = ParseOptions(argc, argv, &options);
    if (parsed != kExitOk) {
        return parsed;
    }
    if (options.list) {
        ListEncodings(stdout);
        return kExitOk;
    }
    Input input;
    if (!OpenInput(options.input, &input)) {
        return kExitBadInput;
    }
    SetBinaryStandardStreams();
    const int result = ConvertStream(options.settings, input);
    CloseInput(&input);
    return result;
}

}  // namespace faultkit::cli
