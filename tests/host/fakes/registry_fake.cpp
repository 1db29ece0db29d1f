#include "fakes/registry_fake.h"

#include "core/system_path.h"

#include <cctype>
#include <cstring>
#include <map>
#include <string>
#include <strings.h>
#include <vector>

// An open handle names its key: the root's number, '\' and the folded path.
struct HKEY__ {
    std::string key;
};

namespace {

struct Value {
    std::string name;
    int kind;
    std::vector<unsigned char> data;
};

std::map<std::string, std::vector<Value>> g_keys;
int g_open = 0;

std::string key_name(int root, std::string path) {
    for (char& c : path) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return std::to_string(root) + "\\" + path;
}

Value* find(RegKey key, const char* name) {
    for (Value& value : g_keys[key->key]) {
        if (strcasecmp(value.name.c_str(), name) == 0) {
            return &value;
        }
    }
    return nullptr;
}

// The keys directly below the named one.
int subkeys_of(const std::string& name) {
    int count = 0;
    for (const auto& key : g_keys) {
        const std::string& other = key.first;
        count += other.size() > name.size() + 1 && other.compare(0, name.size(), name) == 0 &&
                 other[name.size()] == '\\' &&
                 other.find('\\', name.size() + 1) == std::string::npos;
    }
    return count;
}

int set(RegKey key, const char* name, int kind, const void* data, size_t length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    Value* value = find(key, name);
    if (!value) {
        g_keys[key->key].push_back({name, kind, {}});
        value = &g_keys[key->key].back();
    }
    value->kind = kind;
    value->data.assign(bytes, bytes + length);
    return 1;
}

} // namespace

std::vector<std::string> registry_fake_unnamed_paths;

void registry_fake_reset() {
    g_keys.clear();
    g_open = 0;
    registry_fake_unnamed_paths.clear();
}

int reg_get_path(RegKey key, const char* name, char* text, int size) {
    if (!reg_get_string(key, name, text, size)) {
        return 0;
    }
    for (const std::string& unnamed : registry_fake_unnamed_paths) {
        if (unnamed == text) {
            return system_path_choose(unnamed.c_str(), nullptr, nullptr, text, size);
        }
    }
    return 1;
}

int registry_fake_open_keys() {
    return g_open;
}

std::string registry_fake_keys(int root) {
    std::string listed;
    std::string prefix = std::to_string(root) + "\\";
    for (const auto& key : g_keys) {
        if (key.first.compare(0, prefix.size(), prefix) != 0) {
            continue;
        }
        listed += key.first.substr(prefix.size());
        for (size_t i = 0; i < key.second.size(); ++i) {
            listed += (i == 0 ? ": " : ",") + key.second[i].name;
        }
        listed += "\n";
    }
    return listed;
}

int reg_open_key(RegKey* key, int root, const char* path) {
    std::string name = key_name(root, path);
    *key = g_keys.count(name) ? new HKEY__{name} : nullptr;
    g_open += *key != nullptr;
    return *key != nullptr;
}

// Creates the keys above it too, as the registry does.
int reg_create_key(RegKey* key, int root, const char* path) {
    std::string name = key_name(root, path);
    // From the separator behind the root's number.
    for (size_t at = name.find('\\', name.find('\\') + 1); at != std::string::npos;
         at = name.find('\\', at + 1)) {
        g_keys[name.substr(0, at)];
    }
    g_keys[name];
    return reg_open_key(key, root, path);
}

int reg_close_key(RegKey* key) {
    g_open -= *key != nullptr;
    delete *key;
    *key = nullptr;
    return 1;
}

// A key with subkeys is refused, as Windows NT does.
int reg_delete_key(int root, const char* path) {
    std::string name = key_name(root, path);
    return !subkeys_of(name) && g_keys.erase(name);
}

int reg_delete_value(RegKey key, const char* name) {
    auto& values = g_keys[key->key];
    for (auto at = values.begin(); at != values.end(); ++at) {
        if (strcasecmp(at->name.c_str(), name) == 0) {
            values.erase(at);
            return 1;
        }
    }
    return 0;
}

int reg_key_contents(RegKey key, int* subkeys, int* values) {
    *subkeys = subkeys_of(key->key);
    *values = static_cast<int>(g_keys[key->key].size());
    return 1;
}

int reg_value_exists(RegKey key, const char* name) {
    return find(key, name) != nullptr;
}

int reg_enum_value(RegKey key, int index, char* name, int name_size, void* data, int data_size,
                   int* data_length, int* kind) {
    *data_length = data_size;
    const auto& values = g_keys[key->key];
    if (index < 0 || index >= static_cast<int>(values.size())) {
        return 0;
    }
    const Value& value = values[static_cast<size_t>(index)];
    if (static_cast<int>(value.name.size()) >= name_size ||
        static_cast<int>(value.data.size()) > data_size) {
        return 0;
    }
    memcpy(name, value.name.c_str(), value.name.size() + 1);
    memcpy(data, value.data.data(), value.data.size());
    *data_length = static_cast<int>(value.data.size());
    *kind = value.kind;
    return 1;
}

int reg_set_integer(RegKey key, const char* name, int value) {
    return set(key, name, REG_KIND_INTEGER, &value, sizeof value);
}

int reg_set_string(RegKey key, const char* name, const char* text) {
    return set(key, name, REG_KIND_STRING, text, strlen(text) + 1);
}
