// The command line of makerd's commands: "--name VALUE" options in any order,
// and what the commands share in telling about it.
#pragma once

#include <map>
#include <string>
#include <vector>

enum { ARGS_EXIT_DONE = 0, ARGS_EXIT_FAILED = 1, ARGS_EXIT_USAGE = 2 };

struct ArgsOption {
    const char* name; // with its dashes
    bool required;
};

enum ArgsResult { ARGS_OK, ARGS_HELP, ARGS_WRONG };

// Reads `count` arguments into `values` by option name. ARGS_HELP when one
// is --help; ARGS_WRONG with the reason in `problem` for an unknown, repeated
// or missing option or a missing value.
ArgsResult args_parse(int count, char** arguments, const std::vector<ArgsOption>& options,
                      std::map<std::string, std::string>* values, std::string* problem);

// args_parse as every command uses it: on --help prints `usage` and sets
// `*exit_code` to ARGS_EXIT_DONE, on a wrong command line says why with the
// usage and sets ARGS_EXIT_USAGE; either way returns false. True: go on.
bool args_read(int count, char** arguments, const std::vector<ArgsOption>& options,
               const char* usage, std::map<std::string, std::string>* values, int* exit_code);

// Says `problem` and `usage` on stderr; returns ARGS_EXIT_USAGE.
int args_usage_error(const std::string& problem, const char* usage);

// Says `message` on stderr; returns ARGS_EXIT_FAILED.
int args_fail(const std::string& message);
