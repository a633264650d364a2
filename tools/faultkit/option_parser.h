// Command-line options as Unix tools read them: "--name value",
// "--name=value", "-x value", "-xvalue", flags bundled ("-cx value" is
// "-c -x value"), "-" for standard input, and "--" to end the options.
#pragma once

#include <functional>

namespace faultkit::cli {

struct OptionRule {
    const char* long_name;  // without the leading "--"; null when there is none
    char short_name;        // 0 when there is none
    bool takes_value;
};

// Called with the index of the option in the rule list and its value (null
// for options without one); returns kExitOk or an exit code to stop with.
using OptionHandler = std::function<int(int option, const char* value)>;
// Called for each argument that is not an option.
using OperandHandler = std::function<int(const char* operand)>;

// An operand handler for commands that take at most one FILE: stores it in
// *operand; a second one is a usage error that names it.
OperandHandler TakeOneOperand(const char* command, const char** operand);

// Walks the command's arguments. An unknown option, a missing value or a
// value given to an option that takes none is a usage error that names the
// word (kExitUsage); a handler's result other than kExitOk ends the walk
// and is returned.
int ParseArguments(const char* command, int argc, char** argv, const OptionRule* rules,
                   int rule_count, const OptionHandler& on_option,
                   const OperandHandler& on_operand);

}  // namespace faultkit::cli
