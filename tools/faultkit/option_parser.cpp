#include "option_parser.h"

#include <cstring>
#include <string>

#include "commands.h"
#include "text_escaping.h"

namespace faultkit::cli {
namespace {

int FindLong(const OptionRule* rules, int count, const std::string& name) {
    for (int i = 0; i < count; ++i) {
        if (name == rules[i].long_name) {
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
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (options_ended || word == "-" || word[0] != '-') {
            const int result = on_operand(argv[i]);
            if (result != kExitOk) {
                return result;
            }
            continue;
        }
        if (word == "--") {
            options_ended = true;
            continue;
        }
        const bool is_long = word[1] == '-';
        const size_t equals = is_long ? word.find('=') : std::string::npos;
        const std::string name = is_long ? word.substr(0, equals) : word.substr(0, 2);
        const int option = is_long ? FindLong(rules, rule_count, name.substr(2))
                                   : FindShort(rules, rule_count, word[1]);
        if (option < 0) {
            return UsageError(command, ("unknown option " + Quoted(name.c_str())).c_str());
        }
        const char* value = nullptr;
        if (equals != std::string::npos) {
            value = argv[i] + equals + 1;
        } else if (!is_long && word.size() > 2) {
            value = argv[i] + 2;
        }
        if (!rules[option].takes_value && value != nullptr) {
            return UsageError(command,
                              ("option " + Quoted(name.c_str()) + " takes no value").c_str());
        }
        if (rules[option].takes_value && value == nullptr) {
            if (i + 1 == argc) {
                return UsageError(command,
                                  ("option " + Quoted(name.c_str()) + " needs a value").c_str());
            }
            value = argv[++i];
        }
        const int result = on_option(option, value);
        if (result != kExitOk) {
            return result;
        }
    }
    return kExitOk;
}

}  // namespace faultkit::cli
