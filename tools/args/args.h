// The one command-line dialect of the maker's tools (ffspack, regdecode,
// makerd): TOOL COMMAND [OPTIONS], a table of commands, --help on the tool and
// on each command, --version, and the exit codes below. Failures and usage
// errors are said on stderr as "TOOL: reason".
#pragma once

#include <map>
#include <string>
#include <vector>

enum { ARGS_EXIT_DONE = 0, ARGS_EXIT_FAILED = 1, ARGS_EXIT_USAGE = 2 };

enum ArgsKind {
    ARGS_VALUE,  // "--name VALUE"
    ARGS_FLAG,   // "--name" alone; its value is ""
    ARGS_OPERAND // a word without a dash, taken by the operands in their order
};

struct ArgsOption {
    const char* name; // an option with its dashes; an operand's name as the usage shows it
    bool required;
    ArgsKind kind = ARGS_VALUE;
};

enum ArgsResult { ARGS_OK, ARGS_HELP, ARGS_WRONG };

// Reads `count` arguments into `values` by option name. ARGS_HELP when one
// is --help; ARGS_WRONG with the reason in `problem` for an unknown, repeated
// or missing option, a missing value or a word that no operand takes.
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

struct ArgsCommand {
    const char* name;
    const char* summary;     // its lines in the tool's usage
    int (*run)(int, char**); // the arguments after its name; returns the exit code
};

struct ArgsTool {
    const char* name;
    const char* version;
    std::vector<ArgsCommand> commands;
    const char* notes;           // closes the tool's usage; may be ""
    const char* implied_command; // run when the first word names no command, or nullptr
};

// The tool's main: --help, -h or help print the usage, --version the tool's
// and the program's versions; otherwise runs the command that the first
// argument names. Sets the name that args_fail and args_usage_error say.
int args_main(const ArgsTool& tool, int argc, char** argv);
