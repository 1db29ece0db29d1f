#include "paths.h"

#include "core/log.h"
#include "core/text.h"
#include "platform/registry.h"
#include "script/install_state.h"

namespace {

const char g_current_version_key[] = "Software\\Microsoft\\Windows\\CurrentVersion";

// Makes `text` end in '\'; 0 when it does not and there is no room for one.
int end_with_backslash(char* text, int size) {
    int length = text_length(text);
    if (length > 0 && text[length - 1] == '\\') {
        return 1;
    }
    if (length + 2 > size) {
        return 0;
    }
    text[length] = '\\';
    text[length + 1] = '\0';
    return 1;
}

// The folder that macro '1' to '5' names; 0 when the system did not tell it.
int macro_folder(char macro, char* folder, int size) {
    switch (macro) {
    case '1':
        return get_windows_dir(folder, size);
    case '2':
        return get_system_dir(folder, size);
    case '3':
        return get_module_dir(folder, size);
    case '4':
        return get_temp_dir(folder, size);
    case '5':
        return get_current_dir(folder, size);
    default:
        return 0;
    }
}

} // namespace

int fix_slashes(char* text, int size, int trailing) {
    CORE_ASSERT_POINTER(text);
    int length = 0;
    for (; length < size && text[length] != '\0'; ++length) {
        if (text[length] == '/') {
            text[length] = '\\';
        }
    }
    if (length >= size) {
        return 0;
    }
    return trailing == 1 ? end_with_backslash(text, size) : 1;
}

int get_program_files_dir(char* folder, int size) {
    CORE_ASSERT_POINTER(folder);
    // The fallback: the system folder's drive and its backslash, as in C:\.
    char system[PATHS_FOLDER_SIZE];
    int known = get_system_dir(system, sizeof system);
    char found[PATHS_FOLDER_SIZE];
    text_copy(found, 4, system);
    text_append(found, sizeof found, "Program Files\\");

    RegKey key = nullptr;
    if (!reg_open_key(&key, REG_ROOT_LOCAL_MACHINE, g_current_version_key)) {
        log_printf("Unable to get Program Files path\n");
        return text_copy(folder, size, found) && known;
    }
    // Read as a path: "ProgramFilesDir" may name a folder outside the code page.
    // A missing value leaves the fallback; a refused one leaves nothing.
    if (!reg_get_path(key, "ProgramFilesDir", found, sizeof found) && found[0] == '\0') {
        known = 0;
    }
    reg_close_key(&key);
    int whole = end_with_backslash(found, sizeof found);
    return text_copy(folder, size, found) && whole && known;
}

int expand_path(const InstallState* state, const char* source, char* output, int size) {
    CORE_ASSERT_POINTER(state);
    CORE_ASSERT_POINTER(source);
    CORE_ASSERT_POINTER(output);
    int whole = text_copy(output, size, state->install_path);
    char folder[PATHS_FOLDER_SIZE];
    while (source[0] == '$') {
        char macro = source[1];
        // A '$' that ends the name names no folder: it is dropped.
        if (macro == '\0') {
            ++source;
            break;
        }
        if (macro == '0') {
            int found = get_program_files_dir(folder, sizeof folder);
            whole = text_copy(output, size, folder) && found;
            log_printf("$0 Translates to '%s'\n", output);
        } else if (macro >= '1' && macro <= '5') {
            // An unknown folder leaves no usable path: never a guessed one.
            int found = macro_folder(macro, folder, sizeof folder);
            whole = text_copy(output, size, folder) && found;
        } else if (macro != '?') {
            log_printf("Unknown command '%c'\n", macro);
        }
        source += 2;
    }
    if (source[0] == '\\') {
        ++source;
    }
    return text_append(output, size, source) && whole;
}
