#include "run_mode.h"

#include "core/text.h"

namespace {

int has_option(const char* command_line, const char* option) {
    const char* found = nullptr;
    return text_find_nocase(command_line, option, &found);
}

} // namespace

int run_mode_from_command_line(const char* command_line) {
    int run_mode = RUN_UNINSTALL;
    if (has_option(command_line, "-Register")) {
        run_mode = RUN_REGISTER_STANDALONE;
    }
    if (has_option(command_line, "-InstReg")) {
        run_mode = RUN_REGISTER_INSTALLER;
    }
    if (has_option(command_line, "-Update")) {
        run_mode = RUN_UPDATE;
    }
    return run_mode;
}

int run_mode_relocates(int run_mode, const char* command_line) {
    if (run_mode == RUN_REGISTER_INSTALLER) {
        return 0;
    }
    return !has_option(command_line, "-Spawn");
}
