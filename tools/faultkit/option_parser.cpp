#include "option_parser.h"

#include <cstring>
#include <string>

#include "commands.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

int FindLong(const OptionRule* rules, int count, const std::string& name) {
    for (int i = 0; i < count; ++i) {
        if (rules[i].long_name != nullptr && name == rules[i].long_name) {
            return i;
        }
    }
    return -1;
}

int FindShort(const OptionRule* rules, int count, char name) {
    for (int i = 0; i < count; ++i) {
        if (rules[i].short_name != 0 && rules[i].short_name == name) {
            return i;
        }
    }
    return -1;
}

// Hands one option and its value to the handler: the value given with it
// (null when none was), or else the next argument, which *next then steps
// over.
int TakeValue(const char* command, const OptionRule& rule, const std::string& name,
              const char* value, int argc, char** argv, int* next, const OptionHandler& on_option,
              int option) {
    if (!rule.takes_value && value != nullptr) {
        return UsageError(command, ("option " + Quoted(name.c_str()) + " takes no value").c_str());
    }
    if (rule.takes_value && value == nullptr) {
        if (*next == argc) {
            return UsageError(command,
                              ("option " + Quoted(name.c_str()) + " needs a value").c_str());
        }
        value = argv[(*next)++];
    }
    return on_option(option, value);
}

int UnknownOption(const char* command, const std::string& name) {
    return UsageError(command, ("unknown option " + Quoted(name.c_str())).c_str());
}

}  // namespace

OperandHandler TakeOneOperand(const char* command, const char** operand) {
    return [command, operand](const char* word) {
        if (*operand != nullptr) {
            return UsageError(command,
                              ("only one FILE, not also '" + std::string(word) + "'").c_str());
        }
        *operand = word;
        return static_cast<int>(kExitOk);
    };
}

int ParseArguments(const char* command, int argc, char** argv, const OptionRule* rules,
                   int rule_count, const OptionHandler& on_option,
                   const OperandHandler& on_operand) {
    bool options_ended = false;
    for (int i = 0; i < argc;) {
        const char* const argument = argv[i++];
        const std::string word = argument;
        int result = kExitOk;
        if (options_ended || word == "-" || word[0] != '-') {
            result = on_operand(argument);
        } else if (word == "--") {
            options_ended = true;
        } else if (word[1] == '-') {
            const size_t equals = word.find('=');
            const std::string name = word.substr(0, equals);
            const int option = FindLong(rules, rule_count, name.substr(2));
            result = option < 0
                         ? UnknownOption(command, name)
                         : TakeValue(command, rules[option], name,
                                     equals == std::string::npos ? nullptr : argument + equals + 1,
                                     argc, argv, &i, on_option, option);
        } else {
            // Flags one after the other; an option with a value takes the rest.
            for (size_t k = 1; k < word.size() && result == kExitOk; ++k) {
                const std::string name = std::string("-") + word[k];
                const int option = FindShort(rules, rule_count, word[k]);
                if (option < 0) {
                    result = UnknownOption(command, name);
                    break;
                }
                const bool rest = rules[option].takes_value && k + 1 < word.size();
                result = TakeValue(command, rules[option], name, rest ? argument + k + 1 : nullptr,
                                   argc, argv, &i, on_option, option);
                if (rules[option].takes_value) {
                    break;
                }
            }
        }
        if (result != kExitOk) {
            return result;
        }
    }
    return kExitOk;
}

}  // namespace faultkit::cli
