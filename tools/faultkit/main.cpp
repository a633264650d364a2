// faultkit: the library's command-line tool.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "faultkit.h"

namespace faultkit::cli {
namespace {

constexpr const char* kVersion = FAULTKIT_VERSION;
const char* g_program_path = "faultkit";

const Command kCommands[] = {
    {"demo", "",
     "walk through the life of an error, from the failing call to another process",
     "Narrates the typical road of an error: two components store errors with\n"
     "contexts on worker threads, one thread is redirected to another, the errors\n"
     "are read, enumerated and rendered, exported to an image that a second\n"
     "faultkit process imports and renders, and reading the root ends the episode.\n",
     RunDemo},
    {"inspect", "[--json] [--import] [FILE|-]", "check a transfer image and print its errors",
     "Reads a transfer image from FILE or standard input, checks it as the\n"
     "library's import does, and prints every error: its code, component UUID,\n"
     "texts, integer and context values.\n"
     "  --json     print one JSON document instead of text\n"
     "  --import   also import the image into this process and print the\n"
     "             errors as the library reads them back\n"
     "A malformed image is reported with the byte offset of the problem (exit 1).\n",
     RunInspect},
    {"convert", "--from ENC --to ENC [--replacement CHAR] [FILE|-]",
     "convert text between UTF-8, UTF-16, UTF-32 and 17 code pages",
     "Converts FILE or standard input to standard output, streaming.\n"
     "  --from ENC, --to ENC   encoding names (case-insensitive; see --list)\n"
     "  --replacement CHAR     byte written for characters a code page lacks\n"
     "                         (one ASCII character or 0xNN; default '?')\n"
     "  --list                 list the encodings and their aliases\n"
     "UTF-16 and UTF-32 are little-endian without byte-order mark. Invalid input\n"
     "stops the conversion with the byte offset of the first bad character (exit 1).\n",
     RunConvert},
    {"export-sample", "[FILE|-]", "write a small valid transfer image",
     "Stores two errors with contexts and texts on the calling thread and writes\n"
     "them as a transfer image to FILE or standard output.\n",
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

void PrintOverview(FILE* out) {
    std::fprintf(out,
                 "usage: faultkit <command> [arguments]\n"
                 "       faultkit --help | --version\n"
                 "       faultkit help <command>\n\ncommands:\n");
    for (const Command& command : kCommands) {
        std::fprintf(out, "  %-14s %s\n", command.name, command.summary);
    }
    std::fprintf(out, "\nexit codes: 0 ok, 1 bad input, 2 usage error\n");
}

}  // namespace

const char* ProgramPath() { return g_program_path; }

int UsageError(const char* command, const char* message) {
    std::fprintf(stderr, "faultkit: %s\n", message);
    const Command* found = command != nullptr ? FindCommand(command) : nullptr;
    if (found != nullptr) {
        std::fprintf(stderr, "usage: faultkit %s %s\n", found->name, found->synopsis);
    } else {
        std::fprintf(stderr, "run 'faultkit --help' for the list of commands\n");
    }
    return kExitUsage;
}

bool WantsHelp(int argc, char** argv) {
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            return true;
        }
    }
    return false;
}

int PrintCommandHelp(const char* name) {
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        return UsageError(nullptr, "unknown command");
    }
    std::printf("usage: faultkit %s %s\n\n%s", command->name, command->synopsis, command->help);
    return kExitOk;
}

}  // namespace faultkit::cli

int main(int argc, char** argv) {
    using namespace faultkit::cli;
    g_program_path = argv[0];
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
        return argc == 3 ? PrintCommandHelp(argv[2]) : UsageError(nullptr, "help takes one command");
    }
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        std::fprintf(stderr, "faultkit: unknown command '%s'\n", name);
        PrintOverview(stderr);
        return kExitUsage;
    }
    if (WantsHelp(argc - 2, argv + 2)) {
        return PrintCommandHelp(name);
    }
    return command->run(argc - 2, argv + 2);
}
