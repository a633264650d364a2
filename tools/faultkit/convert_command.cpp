// faultkit convert: streaming text conversion with the library's engine,
// iconv's options where they overlap. Input is read in large blocks with
// plain reads, converted by the StreamConverter and written with plain
// writes, so memory stays fixed whatever the input's size.
#include <cctype>
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
    const NamedEncoding* from = nullptr;
    const NamedEncoding* to = nullptr;
    bool drop = false;    // -c or //IGNORE
    bool strict = false;  // --strict
    bool list = false;
    const char* input = nullptr;   // null or "-": standard input
    const char* output = nullptr;  // null: standard output
};

enum ConvertOption { kFrom, kTo, kOutput, kDrop, kStrict, kReplacement, kList };
const OptionRule kConvertOptions[] = {
    {"from", 'f', true},  {"to", 't', true},        {"output", 'o', true}, {nullptr, 'c', false},
    {"strict", 0, false}, {"replacement", 0, true}, {"list", 'l', false},
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

// An encoding name as iconv takes it, with an optional "//IGNORE" (drop
// what does not convert, as -c) after it.
int TakeEncoding(const char* value, const NamedEncoding** encoding, bool* drop) {
    const char* suffix = std::strstr(value, "//");
    const std::string name = suffix != nullptr ? std::string(value, suffix) : value;
    if (suffix != nullptr) {
        std::string flag = suffix + 2;
        for (char& c : flag) {
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        }
        if (flag == "ignore") {
            *drop = true;
        } else if (!flag.empty()) {
            std::fprintf(stderr, "faultkit: unknown suffix %s (only //IGNORE, which is -c)\n",
                         Quoted(suffix).c_str());
            return kExitUsage;
        }
    }
    *encoding = FindEncoding(name.c_str());
    if (*encoding != nullptr) {
        return kExitOk;
    }
    const std::string closest = ClosestEncodingNames(name.c_str());
    std::fprintf(stderr, "faultkit: unknown encoding %s%s ('faultkit convert -l' lists all)\n",
                 Quoted(name.c_str()).c_str(),
                 closest.empty() ? "" : ("; closest: " + closest).c_str());
    return kExitUsage;
}

int TakeOption(int option, const char* value, ConvertOptions* options) {
    switch (option) {
        case kFrom: return TakeEncoding(value, &options->from, &options->drop);
        case kTo: return TakeEncoding(value, &options->to, &options->drop);
        case kOutput: options->output = value; return kExitOk;
        case kDrop: options->drop = true; return kExitOk;
        case kStrict: options->strict = true; return kExitOk;
        case kReplacement:
            return ParseReplacement(value, &options->settings.replacement)
                       ? kExitOk
                       : UsageError("convert", ("--replacement takes one ASCII character or "
                                                "0xNN, not " +
                                                Quoted(value))
                                                   .c_str());
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
    if (options->from == nullptr || options->to == nullptr) {
        return UsageError("convert", "--from and --to are required");
    }
    if (options->drop && options->strict) {
        return UsageError("convert", "-c (or //IGNORE) and --strict exclude each other");
    }
    options->settings.from = options->from->encoding;
    options->settings.to = options->to->encoding;
    options->settings.policy = options->strict ? Policy::kStop
                               : options->drop ? Policy::kDrop
                                               : Policy::kReplace;
    return kExitOk;
}

// What the problem is, e.g. "U+20AC cannot be written in iso-8859-1".
std::string DescribeProblem(const Problem& problem, const ConvertOptions& options) {
    char what[128];
    const char* from = options.from->name;
    const uint32_t value = problem.value;
    switch (problem.kind) {
        case ProblemKind::kInvalidByte:
            std::snprintf(what, sizeof what, "ill-formed %s (byte 0x%02" PRIX32 ")", from, value);
            break;
        case ProblemKind::kOverlong:
            std::snprintf(what, sizeof what, "overlong %s form of U+%04" PRIX32, from, value);
            break;
        case ProblemKind::kSurrogate:
            std::snprintf(what, sizeof what, "U+%04" PRIX32 " is a surrogate, not a character",
                          value);
            break;
        case ProblemKind::kAboveUnicode:
            std::snprintf(what, sizeof what, "0x%" PRIX32 " lies above U+10FFFF", value);
            break;
        case ProblemKind::kUnmappedByte:
            std::snprintf(what, sizeof what, "byte 0x%02" PRIX32 " has no character in %s", value,
                          from);
            break;
        case ProblemKind::kCutShort:
            std::snprintf(what, sizeof what, "incomplete %s character at the end of the input",
                          from);
            break;
        default:
            std::snprintf(what, sizeof what, "U+%04" PRIX32 " cannot be written in %s", value,
                          options.to->name);
            break;
    }
    return std::string(what) + " at byte offset " + std::to_string(problem.offset);
}

// After a conversion that went through: how many characters were replaced
// or dropped, and the first of them.
void ReportProblems(const StreamConverter& converter, const ConvertOptions& options) {
    const uint64_t count = converter.problems();
    if (count == 0) {
        return;
    }
    std::fprintf(
        stderr, "faultkit: %s %" PRIu64 " character%s that did not convert; the first: %s\n",
        options.settings.policy == Policy::kDrop ? "dropped" : "replaced", count,
        count == 1 ? "" : "s", DescribeProblem(converter.first_problem(), options).c_str());
}

int ConvertStream(const ConvertOptions& options, const Input& input) {
    StreamConverter converter;
    if (!converter.Open(options.settings, kBlock)) {
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
            std::fprintf(stderr, "faultkit: %s\n",
                         DescribeProblem(converter.first_problem(), options).c_str());
            return kExitBadInput;
        }
        if (read == 0) {
            ReportProblems(converter, options);
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
    const int result = options.output == nullptr || RedirectOutput(options.output, input)
                           ? ConvertStream(options, input)
                           : kExitBadInput;
    CloseInput(&input);
    return result;
}

}  // namespace faultkit::cli
