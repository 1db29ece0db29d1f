// Runs the ffspack program, as a maker would.
#pragma once

#include <sys/wait.h>

#include <cstdio>
#include <string>

// The exit status and what the program printed.
inline std::string ffspack(const std::string& arguments) {
    FILE* pipe = popen((FFSPACK_PATH " " + arguments + " 2>&1").c_str(), "r");
    std::string output;
    char chunk[4096];
    for (size_t got; (got = fread(chunk, 1, sizeof chunk, pipe)) > 0;) {
        output.append(chunk, got);
    }
    return std::to_string(WEXITSTATUS(pclose(pipe))) + " " + output;
}
