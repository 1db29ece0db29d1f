#include "args.h"

#include <cstdio>
#include <cstring>

ArgsResult args_parse(int count, char** arguments, const std::vector<ArgsOption>& options,
                      std::map<std::string, std::string>* values, std::string* problem) {
    for (int i = 0; i < count; ++i) {
        if (strcmp(arguments[i], "--help") == 0 || strcmp(arguments[i], "-h") == 0) {
            return ARGS_HELP;
        }
    }
    for (int i = 0; i < count; i += 2) {
        std::string name = arguments[i];
        bool known = false;
        for (const ArgsOption& option : options) {
            known = known || name == option.name;
        }
        if (!known) {
            *problem = "unknown argument '" + name + "'";
            return ARGS_WRONG;
        }
        if (i + 1 == count) {
            *problem = name + " needs a value";
            return ARGS_WRONG;
        }
        if (!values->emplace(name, arguments[i + 1]).second) {
            *problem = name + " is given twice";
            return ARGS_WRONG;
        }
    }
    for (const ArgsOption& option : options) {
        if (option.required && values->count(option.name) == 0) {
            *problem = std::string(option.name) + " is missing";
            return ARGS_WRONG;
        }
    }
    return ARGS_OK;
}

int args_usage_error(const std::string& problem, const char* usage) {
    fprintf(stderr, "makerd: %s\n%s", problem.c_str(), usage);
    return ARGS_EXIT_USAGE;
}

int args_fail(const std::string& message) {
    fprintf(stderr, "makerd: %s\n", message.c_str());
    return ARGS_EXIT_FAILED;
}

bool args_read(int count, char** arguments, const std::vector<ArgsOption>& options,
               const char* usage, std::map<std::string, std::string>* values, int* exit_code) {
    std::string problem;
    switch (args_parse(count, arguments, options, values, &problem)) {
    case ARGS_HELP:
        fputs(usage, stdout);
        *exit_code = ARGS_EXIT_DONE;
        return false;
    case ARGS_WRONG:
        *exit_code = args_usage_error(problem, usage);
        return false;
    case ARGS_OK:
        break;
    }
    return true;
}
