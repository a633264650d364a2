// faultkit: the library's command-line tool.
#include <cstdio>
#include <cstring>
#include <string>

#include "commands.h"
#include "faultkit.h"
#include "file_io.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

constexpr const char* kVersion = FAULTKIT_VERSION;
const char* g_program_path = "faultkit";

const Command kCommands[] = {
    {"demo", "", "walk through the life of an error, from the failing call to another process",
     "Walks through the typical road of an error and prints each library call it\n"
     "makes as a line of C with what the call returned: two components register\n"
     "(ErrorMgrCreate), store errors with contexts on worker threads\n"
     "(ErrorMgrBuildContext, ErrorMgrSetErrorFull), one thread is redirected to\n"
     "another (ErrorMgrRedirect), the errors are read, enumerated and rendered\n"
     "(ErrorMgrGetLastError, ErrorMgrEnumErrors, ErrorMgrGetContextString),\n"
     "exported to an image (ErrorMgrExport) that a second faultkit process imports\n"
     "(ErrorMgrImport), and reading the root (ErrorMgrGetRootError) ends the\n"
     "episode. It ends by pointing to examples/ and include/faultkit.h.\n",
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
     "-f ENC -t ENC [-c | --strict] [--replacement CHAR] [-o FILE] [FILE|-]\n"
     "       faultkit convert -l",
     "convert text between UTF-8, UTF-16, UTF-32, UCS-2, UCS-4 and 17 code pages",
     "Converts FILE or standard input, streaming in blocks, with iconv's options.\n"
     "The output is always well-formed in the output encoding.\n"
     "  -f, --from ENC         encoding of the input\n"
     "  -t, --to ENC           encoding of the output; ENC//IGNORE is the same as -c\n"
     "  -c                     drop the characters that do not convert\n"
     "  --strict               stop at the first character that does not convert\n"
     "  --replacement CHAR     byte that stands for them in a code page (one ASCII\n"
     "                         character or 0xNN; default '?')\n"
     "  -o, --output FILE      write to FILE instead of standard output\n"
     "  -l, --list             list the encodings and their other names\n"
     "A character does not convert when the input holds no valid one there\n"
     "(ill-formed or overlong UTF-8, a surrogate or a value above U+10FFFF, an\n"
     "unpaired UTF-16 surrogate, a code-page byte without a character, the end of\n"
     "the input inside a character) or when the output encoding lacks it. By\n"
     "default each becomes U+FFFD, or the replacement byte in a code page. Then,\n"
     "and with -c, a note on standard error counts them and the exit status is 0.\n"
     "With --strict everything before the first is written, its byte offset is\n"
     "reported and the exit status is 1.\n"
     "Names are matched without regard to case and punctuation (ISO_8859-1,\n"
     "iso88591 and Latin-1 are one). UTF-16 and UTF-32 read a byte-order mark\n"
     "and write one; without a mark they are little-endian, as in glibc's iconv.\n"
     "UCS-2 is little-endian and UCS-4 big-endian; the LE and BE forms have no\n"
     "mark.\n",
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
    const bool overview = std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0;
    const bool version = std::strcmp(name, "--version") == 0;
    if ((overview || version) && argc > 2) {
        return UsageError(
            nullptr, (std::string(name) + " takes no arguments, not " + Quoted(argv[2])).c_str());
    }
    if (overview) {
        PrintOverview(stdout);
        return kExitOk;
    }
    if (version) {
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
    if (std::strcmp(name, "help") == 0) {
        std::printf(
            "usage: faultkit help [COMMAND]\n\n"
            "Shows the list of commands, or the help of COMMAND.\n");
        return kExitOk;
    }
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
