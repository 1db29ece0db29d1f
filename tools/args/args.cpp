#include "args.h"

#include <cstdio>
#include <cstring>

#include "driver/identity.h"

namespace {

const char* g_tool = "";

bool args_is_option(const char* argument) {
    return argument[0] == '-' && argument[1] != '\0';
}

const ArgsOption* args_find(const std::vector<ArgsOption>& options, const std::string& name) {
    for (const ArgsOption& option : options) {
        if (option.kind != ARGS_OPERAND && name == option.name) {
            return &option;
        }
    }
    return nullptr;
}

} // namespace

ArgsResult args_parse(int count, char** arguments, const std::vector<ArgsOption>& options,
                      std::map<std::string, std::string>* values, std::string* problem) {
    for (int i = 0; i < count; ++i) {
        if (strcmp(arguments[i], "--help") == 0 || strcmp(arguments[i], "-h") == 0) {
            return ARGS_HELP;
        }
    }
    size_t operand = 0;
    for (int i = 0; i < count; ++i) {
        std::string name = arguments[i];
        std::string value;
        if (args_is_option(arguments[i])) {
            const ArgsOption* option = args_find(options, name);
            if (!option) {
                *problem = "unknown argument '" + name + "'";
                return ARGS_WRONG;
            }
            if (option->kind == ARGS_VALUE && i + 1 == count) {
                *problem = name + " needs a value";
                return ARGS_WRONG;
            }
            value = option->kind == ARGS_VALUE ? arguments[++i] : "";
        } else {
            while (operand < options.size() && options[operand].kind != ARGS_OPERAND) {
                ++operand;
            }
            if (operand == options.size()) {
                *problem = "unexpected argument '" + name + "'";
                return ARGS_WRONG;
            }
            value = name;
            name = options[operand++].name;
        }
        if (!values->emplace(name, value).second) {
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
    fprintf(stderr, "%s: %s\n%s", g_tool, problem.c_str(), usage);
    return ARGS_EXIT_USAGE;
}

int args_fail(const std::string& message) {
    fprintf(stderr, "%s: %s\n", g_tool, message.c_str());
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

int args_main(const ArgsTool& tool, int argc, char** argv) {
    g_tool = tool.name;
    std::string usage = std::string("Usage: ") + tool.name + " COMMAND [OPTIONS]    (" + tool.name +
                        " COMMAND --help tells more)\n";
    for (const ArgsCommand& command : tool.commands) {
        usage += command.summary;
    }
    usage += tool.notes;
    const char* first = argc >= 2 ? argv[1] : "";
    if (strcmp(first, "--help") == 0 || strcmp(first, "-h") == 0 || strcmp(first, "help") == 0) {
        fputs(usage.c_str(), stdout);
        return ARGS_EXIT_DONE;
    }
    if (strcmp(first, "--version") == 0) {
        printf("%s %s (" PROGRAM_NAME " " PROGRAM_VERSION ")\n", tool.name, tool.version);
        return fflush(stdout) == 0 ? ARGS_EXIT_DONE : args_fail("cannot write the version");
    }
    for (const ArgsCommand& command : tool.commands) {
        if (strcmp(first, command.name) == 0) {
            return command.run(argc - 2, argv + 2);
        }
    }
    // A tool with one job also takes that job's options without its name.
    for (const ArgsCommand& command : tool.commands) {
        if (tool.implied_command && strcmp(tool.implied_command, command.name) == 0) {
            return command.run(argc - 1, argv + 1);
        }
    }
    return args_usage_error(argc < 2 ? "no command given"
                                     : "unknown command '" + std::string(first) + "'",
                            usage.c_str());
}
