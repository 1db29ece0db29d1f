#include "fakes/files_fake.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <set>

#include "platform/files.h"

namespace {

struct Entry {
    std::string path; // as added
    bool folder;
};

std::map<std::string, Entry> g_entries; // by folded path
std::set<std::string> g_held;
std::vector<std::string> g_calls;
int g_visited = 0;

// Folded key: '/' as '\', no trailing separator, lower case.
std::string key(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    while (path.size() > 3 && path.back() == '\\') {
        path.pop_back();
    }
    std::transform(path.begin(), path.end(), path.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return path;
}

std::string parent_of(const std::string& folded) {
    size_t cut = folded.rfind('\\');
    if (cut == std::string::npos || cut < 2) {
        return "";
    }
    return cut == 2 ? folded.substr(0, 3) : folded.substr(0, cut);
}

bool has_children(const std::string& folded) {
    for (const auto& entry : g_entries) {
        if (parent_of(entry.first) == folded) {
            return true;
        }
    }
    return false;
}

void add(const std::string& path, bool folder) {
    std::string folded = key(path);
    std::string parent = parent_of(folded);
    if (!parent.empty() && parent.size() > 3 && !g_entries.count(parent)) {
        add(path.substr(0, parent.size()), true);
    }
    g_entries[folded] = {path, folder};
}

} // namespace

void files_fake_reset() {
    g_entries.clear();
    g_held.clear();
    g_calls.clear();
    g_visited = 0;
}

void files_fake_add_file(const std::string& path) {
    add(path, false);
}

void files_fake_add_folder(const std::string& path) {
    add(path, true);
}

void files_fake_hold(const std::string& path) {
    g_held.insert(key(path));
}

int files_fake_exists(const std::string& path) {
    return g_entries.count(key(path)) ? 1 : 0;
}

std::vector<std::string> files_fake_paths() {
    std::vector<std::string> paths;
    for (const auto& entry : g_entries) {
        paths.push_back(entry.second.path);
    }
    return paths;
}

const std::vector<std::string>& files_fake_calls() {
    return g_calls;
}

int files_fake_entries_visited() {
    return g_visited;
}

int file_delete(const char* path) {
    g_calls.push_back(std::string("delete ") + path);
    auto found = g_entries.find(key(path));
    if (found == g_entries.end() || found->second.folder || g_held.count(found->first)) {
        return 0;
    }
    g_entries.erase(found);
    return 1;
}

int file_exists(const char* path) {
    g_calls.push_back(std::string("exists ") + path);
    return files_fake_exists(path);
}

int folder_leave() {
    g_calls.push_back("cd \\");
    return 1;
}

int folder_remove(const char* folder) {
    g_calls.push_back(std::string("remove ") + folder);
    std::string folded = key(folder);
    auto found = g_entries.find(folded);
    if (found == g_entries.end() || !found->second.folder || g_held.count(folded) ||
        has_children(folded)) {
        return 0;
    }
    g_entries.erase(found);
    return 1;
}

int folder_list(const char* folder, FolderVisit visit, void* context) {
    g_calls.push_back(std::string("list ") + folder);
    std::string folded = key(folder);
    auto found = g_entries.find(folded);
    if (found == g_entries.end() || !found->second.folder || g_held.count(folded)) {
        return 0;
    }
    std::vector<std::string> names = {".", ".."};
    for (const auto& entry : g_entries) {
        if (parent_of(entry.first) == folded) {
            names.push_back(entry.second.path.substr(entry.second.path.rfind('\\') + 1));
        }
    }
    for (const std::string& name : names) {
        ++g_visited;
        if (!visit(name.c_str(), context)) {
            break;
        }
    }
    return 1;
}
