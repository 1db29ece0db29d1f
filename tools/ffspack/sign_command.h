// The maker's own signing command (signtool, osslsigncode, a signing service's
// client), run once for each file that it signs in place, as bundlers do:
// "%1" in the command stands for the file's path.
//
// No shell comes in between: the command is split into its program and
// arguments here, the path goes into them as it is, and the program is
// started with exactly those arguments (on Windows through a command line
// quoted so that the program's own parsing gives them back).
#pragma once

#include <string>
#include <vector>

// The program and its arguments, every "%1" replaced by `path`. Blanks (spaces
// and tabs) separate arguments; a stretch in double quotes keeps its blanks and
// loses its quotes. Nothing else is special, so backslashes stay as Windows
// paths have them. Fails for an open quote, no program, or no "%1".
bool sign_command_split(const std::string& command, const std::string& path,
                        std::vector<std::string>* arguments, std::string* error);

// The Windows command line whose arguments, as the C runtime and
// CommandLineToArgvW parse it, are `arguments`.
std::string sign_command_line(const std::vector<std::string>& arguments);

// Runs `command` once for `path`. Fails when it cannot be started or ends with
// anything but 0; the error then holds what it printed.
bool sign_command_run(const std::string& command, const std::string& path, std::string* error);

// Starts the program (looked up in the PATH) with its arguments and nothing on
// its input, and waits for it: what it printed on its output and error
// together, and how it ended unless with exit code 0 ("exit code 3"), empty
// when it did. Fails, saying why, when it cannot be started.
bool sign_command_execute(const std::vector<std::string>& arguments, std::string* output,
                          std::string* ending, std::string* error);
