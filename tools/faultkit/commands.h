// The subcommands of the faultkit tool. Each takes the arguments after its
// own name and returns the process exit code.
#pragma once

namespace faultkit::cli {

// Exit codes of every command.
enum ExitCode : int {
    kExitOk = 0,
    kExitBadInput = 1,
    kExitUsage = 2,
};

struct Command {
    const char* name;
    const char* synopsis;  // arguments, shown in usage lines
    const char* summary;   // one line for the command list
    const char* help;      // the command's own help text
    int (*run)(int argc, char** argv);
};

int RunDemo(int argc, char** argv);
int RunInspect(int argc, char** argv);
int RunConvert(int argc, char** argv);
int RunExportSample(int argc, char** argv);

// The path this program was started with, for starting it again.
const char* ProgramPath();

// Prints "faultkit: <message>" and the command's usage line to stderr and
// returns kExitUsage.
int UsageError(const char* command, const char* message);

// True when the arguments ask for the command's help (-h or --help).
bool WantsHelp(int argc, char** argv);

// Prints the named command's help to stdout; kExitOk.
int PrintCommandHelp(const char* command);

}  // namespace faultkit::cli
