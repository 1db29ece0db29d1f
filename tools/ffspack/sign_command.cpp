#include "sign_command.h"

namespace {

const char g_placeholder[] = "%1";

} // namespace

bool sign_command_split(const std::string& command, const std::string& path,
                        std::vector<std::string>* arguments, std::string* error) {
    arguments->clear();
    std::string argument;
    bool quoted = false;
    bool started = false;
    for (char c : command) {
        if (c == '"') {
            quoted = !quoted;
            started = true;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            if (started) {
                arguments->push_back(argument);
            }
            argument.clear();
            started = false;
        } else {
            argument += c;
            started = true;
        }
    }
    if (started) {
        arguments->push_back(argument);
    }
    if (quoted) {
        *error = "--sign-command has a double quote that is not closed";
        return false;
    }
    if (arguments->empty() || (*arguments)[0].empty()) {
        *error = "--sign-command names no program";
        return false;
    }
    if (command.find(g_placeholder) == std::string::npos) {
        *error = "--sign-command has no %1 where the file's path goes";
        return false;
    }
    for (std::string& each : *arguments) {
        for (size_t at = each.find(g_placeholder); at != std::string::npos;
             at = each.find(g_placeholder, at + path.size())) {
            each.replace(at, sizeof g_placeholder - 1, path);
        }
    }
    return true;
}

std::string sign_command_line(const std::vector<std::string>& arguments) {
    std::string line;
    for (const std::string& argument : arguments) {
        if (!line.empty()) {
            line += ' ';
        }
        if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) {
            line += argument;
            continue;
        }
        // Backslashes are literal except in front of a quote, where each pair
        // gives one and an odd one makes the quote a character.
        line += '"';
        size_t backslashes = 0;
        for (char c : argument) {
            if (c == '\\') {
                ++backslashes;
                continue;
            }
            line.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
            line += c;
            backslashes = 0;
        }
        line.append(2 * backslashes, '\\');
        line += '"';
    }
    return line;
}

bool sign_command_run(const std::string& command, const std::string& path, std::string* error) {
    std::vector<std::string> arguments;
    std::string output;
    std::string ending;
    if (!sign_command_split(command, path, &arguments, error)) {
        return false;
    }
    if (!sign_command_execute(arguments, &output, &ending, error)) {
        *error = "cannot start the signing command '" + arguments[0] + "': " + *error;
        return false;
    }
    if (ending.empty()) {
        return true;
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) {
        output.pop_back();
    }
    *error = "the signing command failed on '" + path + "' (" + ending + ")" +
             (output.empty() ? ", printing nothing" : ":\n" + output);
    return false;
}
