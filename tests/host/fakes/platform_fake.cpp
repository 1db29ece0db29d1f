#include "fakes/script_fakes.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "core/text.h"
#include "platform/files.h"
#include "platform/library.h"
#include "platform/shell_folder.h"
#include "script/paths.h"

std::string shell_folder_fake_programs;
int files_fake_listings = 0;
std::vector<std::string> files_fake_held;
int files_fake_delete_wait = 0;
std::map<std::string, int> library_fake_results;

namespace {

// By folded path: the path as added, and whether it is a folder.
std::map<std::string, std::pair<std::string, bool>> g_entries;

// '/' as '\', no trailing separator, lower case.
std::string fold(std::string path) {
    for (char& c : path) {
        c = c == '/' ? '\\' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    return path;
}

std::string parent_of(const std::string& folded) {
    size_t cut = folded.rfind('\\');
    return cut == std::string::npos || cut < 2 ? "" : folded.substr(0, cut == 2 ? 3 : cut);
}

// Adds the names in `folder` to `names`; false when it is no folder to list or remove.
bool folder_names(const char* folder, std::vector<std::string>* names) {
    auto found = g_entries.find(fold(folder));
    if (found == g_entries.end() || !found->second.second) {
        return false;
    }
    for (const auto& entry : g_entries) {
        if (parent_of(entry.first) == found->first) {
            names->push_back(entry.first.substr(entry.first.rfind('\\') + 1));
        }
    }
    return true;
}

bool held(const std::string& path) {
    for (const std::string& one : files_fake_held) {
        if (fold(one) == fold(path)) {
            return true;
        }
    }
    return false;
}

} // namespace

void platform_fake_reset() {
    g_entries.clear();
    files_fake_held.clear();
    files_fake_listings = 0;
    library_fake_results.clear();
    shell_folder_fake_programs = "C:\\Users\\Ann\\Start Menu\\Programs";
}

void files_fake_add(const std::string& path, bool folder) {
    std::string parent = parent_of(fold(path));
    if (parent.size() > 3 && !g_entries.count(parent)) {
        files_fake_add(path.substr(0, parent.size()), true);
    }
    g_entries[fold(path)] = {path, folder};
}

std::vector<std::string> files_fake_paths() {
    std::vector<std::string> paths;
    for (const auto& entry : g_entries) {
        paths.push_back(entry.second.first);
    }
    return paths;
}

int file_delete(const char* path, int milliseconds) {
    files_fake_delete_wait = milliseconds;
    auto found = g_entries.find(fold(path));
    if (found == g_entries.end() || found->second.second || held(path)) {
        return 0;
    }
    g_entries.erase(found);
    return 1;
}

int file_exists(const char* path) {
    return static_cast<int>(g_entries.count(fold(path)));
}

int folder_leave() {
    return 1;
}

int folder_remove(const char* folder) {
    std::vector<std::string> names;
    return folder_names(folder, &names) && names.empty() && !held(folder) &&
           g_entries.erase(fold(folder));
}

int folder_list(const char* folder, FolderVisit visit, void* context) {
    std::vector<std::string> names = {".", ".."};
    if (!folder_names(folder, &names)) {
        return 0;
    }
    ++files_fake_listings;
    // Until the visitor stops the listing.
    std::find_if(names.begin(), names.end(),
                 [&](const std::string& name) { return !visit(name.c_str(), context); });
    return 1;
}

// A library's handle is its entry in library_fake_results; the Win32 scenarios load real ones.
int library_load(const char* path, Library* library, unsigned* error) {
    auto found = library_fake_results.find(path);
    if (found == library_fake_results.end()) {
        *library = nullptr;
        *error = 126; // ERROR_MOD_NOT_FOUND
        return 0;
    }
    *library = reinterpret_cast<Library>(&found->second);
    return 1;
}

int library_call(Library library, const char*, int* result) {
    *result = *reinterpret_cast<int*>(library);
    return 1;
}

int library_free(Library* library) {
    *library = nullptr;
    return 1;
}

int shell_programs_folder(char* folder, int size) {
    // The shell writes up to SHELL_FOLDER_SIZE bytes whatever it is told.
    if (size < SHELL_FOLDER_SIZE ||
        !text_copy(folder, SHELL_FOLDER_SIZE, shell_folder_fake_programs.c_str())) {
        folder[0] = '\0';
    }
    return 1;
}

// The folder queries: answers of a typical machine, the temporary folder as
// the system may write it.
#define FOLDER_QUERY(query, answer)                                                                \
    int query(char* folder, int size) {                                                            \
        if (!text_copy(folder, size, answer)) {                                                    \
            folder[0] = '\0';                                                                      \
        }                                                                                          \
        fix_slashes(folder, size, 1);                                                              \
        return 1;                                                                                  \
    }
FOLDER_QUERY(get_current_dir, "C:\\Work")
FOLDER_QUERY(get_temp_dir, "C:/Temp/")
FOLDER_QUERY(get_windows_dir, "C:\\Windows\\")
FOLDER_QUERY(get_system_dir, "C:\\Windows\\System32\\")
FOLDER_QUERY(get_module_dir, "C:\\Acme\\")
