#include "fakes/shell_folder_fake.h"

#include <string>

#include "core/text.h"
#include "platform/shell_folder.h"

namespace {

const char g_typical[] = "C:\\Users\\Ann\\Start Menu\\Programs";
std::string g_programs = g_typical;

} // namespace

void shell_folder_fake_reset() {
    g_programs = g_typical;
}

void shell_folder_fake_set(const char* programs) {
    g_programs = programs;
}

int shell_programs_folder(char* folder, int size) {
    // The shell writes up to SHELL_FOLDER_SIZE bytes whatever it is told.
    if (size < SHELL_FOLDER_SIZE || !text_copy(folder, SHELL_FOLDER_SIZE, g_programs.c_str())) {
        folder[0] = '\0';
    }
    return 1;
}
