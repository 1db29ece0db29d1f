#include "fakes/library_fake.h"

#include <map>

#include "platform/library.h"

// A loaded fake names its library.
struct HINSTANCE__ {
    std::string path;
};

namespace {

std::map<std::string, FakeLibrary> g_libraries;
std::vector<std::string> g_calls;
int g_loaded = 0;

} // namespace

void library_fake_reset() {
    g_libraries.clear();
    g_calls.clear();
    g_loaded = 0;
}

void library_fake_add(const std::string& path, const FakeLibrary& library) {
    g_libraries[path] = library;
}

const std::vector<std::string>& library_fake_calls() {
    return g_calls;
}

int library_fake_loaded() {
    return g_loaded;
}

int library_load(const char* path, Library* library, unsigned* error) {
    g_calls.push_back(std::string("load ") + path);
    *library = nullptr;
    if (!g_libraries.count(path)) {
        *error = 126;
        return 0;
    }
    *error = 0;
    *library = new HINSTANCE__{path};
    ++g_loaded;
    return 1;
}

int library_call(Library library, const char* entry, int* result) {
    const FakeLibrary& fake = g_libraries.at(library->path);
    std::string name = entry;
    if (!(name == "DllRegisterServer" ? fake.registers
                                      : name == "DllUnregisterServer" && fake.unregisters)) {
        return 0;
    }
    g_calls.push_back("call " + library->path + " " + name);
    *result = fake.result;
    return 1;
}

int library_free(Library* library) {
    if (*library) {
        g_calls.push_back("free " + (*library)->path);
        delete *library;
        --g_loaded;
    }
    *library = nullptr;
    return 1;
}
