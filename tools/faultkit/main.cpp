// faultkit: the library's command-line tool.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "file_io.h"
#include "text_escaping.h"
#include "faultkit.h"

namespace faultkit::cli {
namespace {

constexpr const char* kVersion = FAULTKIT_VERSION;
const char* g_program_path = "faultkit";

const Command kCommands[] = {
    {"demo", "", "walk through the life of an error, from the failing call to another process",
     "Narrates the typical road of an error and names the library call behind\n"
     "each step: two components register (ErrorMgrCreate), store errors with\n"
     "contexts on worker threads (ErrorMgrBuildContext, ErrorMgrSetErrorFull), one\n"
     "thread is redirected to another (ErrorMgrRedirect), the errors are read,\n"
     "enumerated and rendered (ErrorMgrGetLastError, ErrorMgrEnumErrors,\n"
     "ErrorMgrGetContextString), exported to an image (ErrorMgrExport) that a\n"
     "second faultkit process imports (ErrorMgrImport), and reading the root\n"
     "(ErrorMgrGetRootError) ends the episode.\n",
     RunDemo},
    {"inspect", "[--json] [--import] [FILE|-]", "check a transfer image and print its errors",
     "Reads a transfer image from FILE or standard input, checks it as the\n"
     "library's import does, and prints every error: its code, component UUID,\n"
     "texts, integer and context values with their types.\n"
     "  --json     print one JSON document instead of text\n"
     "  --import   also import the image into this process and print the\n"
     "             errors as the library reads them back (in --json mode as\n"
     "             the document's \"imported\" member)\n"
     "A malformed image is reported with the byte offset of the problem (exit 1);\n"
     "with --json also as a document {\"problem\": {\"what\": ..., \"offset\": N}}.\n"
     "Bytes after the image's length are not read as part of it; a note on\n"
     "standard error counts them.\n"
     "Texts are the caller's bytes. In text output, control characters and bytes\n"
     "that are not UTF-8 are shown as \\xNN. In JSON, bytes that are not UTF-8\n"
     "are written as the escapes \\udc80 to \\udcff (0xDC00 plus the byte, as\n"
     "Python's \"surrogateescape\" reads them) and control characters as \\u00NN,\n"
     "so every document parses and the bytes can be recovered.\n",
     RunInspect},
    {"convert",
     "(-f|--from) ENC (-t|--to) ENC [--strict] [--replacement CHAR] [FILE|-]\n"
     "       faultkit convert --list",
     "convert text between UTF-8, UTF-16, UTF-32 and 17 code pages",
     "Converts FILE or standard input to standard output, streaming in blocks.\n"
     "  -f, --from ENC         encoding of the input (names are case-insensitive)\n"
     "  -t, --to ENC           encoding of the output\n"
     "  --strict               stop at a character the output encoding cannot\n"
     "                         hold, at a code-page byte without a character, and\n"
     "                         at surrogates and code points above U+10FFFF\n"
     "  --replacement CHAR     byte written for characters a code page lacks when\n"
     "                         not --strict (one ASCII character or 0xNN; default '?')\n"
     "  --list                 list the encodings and their aliases\n"
     "Options take their value as the next word or after '=' (--from=utf-8, -futf-8).\n"
     "UTF-16 and UTF-32 are little-endian without byte-order mark. Everything\n"
     "before a character that stops the conversion is written; then the byte\n"
     "offset of that character is reported (exit 1).\n",
     RunConvert},
    {"export-sample", "[FILE|-]", "write a small valid transfer image",
     "Stores two errors with contexts and texts on the calling thread and writes\n"
     "them as a transfer image to FILE, or to standard output with '-' or when\n"
     "standard output is not a terminal.\n",
     RunExportSample},
};

const Command* FindCommand(const char* name) {
    for (const Command& command : kCommands) {
        if (std::strcmp(command.name, name) == 0) {
            return &command;
        }
    }
    return nullptr;
}

void PrintUsage(FILE* out, const Command& command) {
    std::fprintf(out, "usage: faultkit %s%s%s\n", command.name, command.synopsis[0] ? " " : "",
                 command.synopsis);
}

void PrintOverview(FILE* out) {
    std::fprintf(out,
                 "usage: faultkit <command> [arguments]\n"
                 "       faultkit --help | --version\n"
                 "       faultkit help <command>\n\ncommands:\n");
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %-14s %s\n", command.name, command.summary);
    }
    std::fprintf(out, "\nexit codes: 0 ok, 1 bad input or failed output, 2 usage error\n");
}

int RunCommandLine(int argc, char** argv) {
    if (argc < 2) {
        PrintOverview(stderr);
        return kExitUsage;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0) {
        PrintOverview(stdout);
        return kExitOk;
    }
    if (std::strcmp(name, "--version") == 0) {
        std::printf("faultkit %s\n", kVersion);
        return kExitOk;
    }
    if (std::strcmp(name, "help") == 0) {
        if (argc == 2) {
            PrintOverview(stdout);
            return kExitOk;
        }
        return argc == 3 ? PrintCommandHelp(argv[2])
                         : UsageError(nullptr, "help takes one command");
    }
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        std::fprintf(stderr, "faultkit: unknown command %s\n", Quoted(name).c_str());
        PrintOverview(stderr);
        return kExitUsage;
    }
    if (WantsHelp(argc - 2, argv + 2)) {
        return PrintCommandHelp(name);
    }
    return command->run(argc - 2, argv + 2);
}

}  // namespace

const char* ProgramPath() {
    return g_program_path;
}

int UsageError(const char* command, const char* message) {
    std::fprintf(stderr, "faultkit: %s\n", message);
    const Command* found = command != nullptr ? FindCommand(command) : nullptr;
    if (found != nullptr) {
        PrintUsage(stderr, *found);
    } else {
        std::fprintf(stderr, "run 'faultkit --help' for the list of commands\n");
    }
    return kExitUsage;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc && std::strcmp(argv[i], "--") != 0; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

int PrintCommandHelp(const char* name) {
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        return UsageError(nullptr, ("help: unknown command " + Quoted(name)).c_str());
    }
    PrintUsage(stdout, *command);
    std::printf("\n%s", command->help);
    return kExitOk;
}

}  // namespace faultkit::cli

int main(int argc, char** argv) {
    using namespace faultkit::cli;
    g_program_path = argv[0];
    const int status = RunCommandLine(argc, argv);
    // Output that could not be written is a failure, as in coreutils.
    return CloseStandardOutput() || status != kExitOk ? status : kExitBadInput;
}
