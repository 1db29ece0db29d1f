#include "fakes/paths_fake.h"

#include "core/text.h"
#include "script/paths.h"

namespace {

const PathsFakeFolders g_typical = {
    "C:\\Work\\", "C:\\Temp\\", "C:\\Windows\\", "C:\\Windows\\System32\\", "C:\\Acme\\",
};

PathsFakeFolders g_folders = g_typical;

// As on Windows: an answer that does not fit leaves an empty text.
int answer(const char* reported, char* folder, int size, int trailing) {
    if (!text_copy(folder, size, reported)) {
        folder[0] = '\0';
    }
    fix_slashes(folder, size, trailing);
    return 1;
}

} // namespace

void paths_fake_reset() {
    g_folders = g_typical;
}

void paths_fake_set(const PathsFakeFolders& folders) {
    g_folders = folders;
}

int get_current_dir(char* folder, int size) {
    return answer(g_folders.current, folder, size, 1);
}

int get_temp_dir(char* folder, int size) {
    return answer(g_folders.temp, folder, size, 1);
}

int get_windows_dir(char* folder, int size) {
    return answer(g_folders.windows, folder, size, 1);
}

int get_system_dir(char* folder, int size) {
    return answer(g_folders.system, folder, size, 1);
}

int get_module_dir(char* folder, int size) {
    return answer(g_folders.module, folder, size, 0);
}
